#pragma once

class QString;

namespace mugrove {

struct Form;

// 拖放对象1 FilesDropped: shows the dropped image file at its own size.
void OnPhotoDropped(Form& form, const QString& fileNames);

} // namespace mugrove
