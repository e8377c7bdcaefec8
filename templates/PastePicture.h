#pragma once

class QMimeData;

namespace mugrove {

struct Form;

// Whether the data offers something a paste can show: local files (a file
// manager's copy) or a picture.
bool OffersPicture(const QMimeData* data);

// Shows what the data offers as a drop would: the first of its local files
// that holds a picture, else the first picture it carries that decodes.
// False, changing nothing, when nothing in it can be shown.
bool PastePicture(Form& form, const QMimeData* data);

// Ctrl+V, Shift+Insert and the work area's "粘贴图片": pastes what the
// clipboard holds.
void OnPicturePasted(Form& form);

} // namespace mugrove
