#pragma once

#include "app/document/Meme.h"
#include "app/store/MemeStore.h"
#include "controls/decoders/PictureBytes.h"

#include <QString>

#include <optional>

class QMenu;

namespace mugrove {

struct Form;

// Records `meme` in `store` as the one that made the file just saved as
// `savedPath`: its dropped or pasted picture kept in the store, a clip by
// its path and the hash of its file, under the hash of the saved file's
// bytes as they are on the disk now. False when nothing was recorded; then
// `why` says why, in one line.
bool RecordSavedMeme(MemeStore& store, const Meme& meme, const QString& savedPath, QString* why = nullptr);

// The meme that made `shown` (the bytes of a file the work area shows)
// when it is a file this program saved, unchanged, whose record is whole
// and of this version and whose sources are all there: the picture kept in
// the store with its bytes as they were, the template still built in, the
// clip at its path with the same bytes. Nothing otherwise.
std::optional<Meme> FindSavedMeme(const MemeStore& store, const PictureBytes& shown);

// The meme that made the picture the work area shows, as FindSavedMeme; a
// clip shown from its file (a saved MP4 opens as one) by its file's hash.
std::optional<Meme> FindShownMeme(const Form& form);

// Puts a saved meme back into the window as one step of its history: the
// picture, the box, every caption editable again.
void ReEdit(Form& form, const Meme& meme);

// "重新编辑(&E)" at the end of the work area's menu, after a separator:
// enabled when the shown picture is a saved meme (FindShownMeme).
void AddReEditEntry(QMenu& menu, Form& form);

} // namespace mugrove
