#pragma once

#include "controls/decoders/Image.h"
#include "controls/decoders/PictureBytes.h"

#include <QStringList>

#include <cstdint>
#include <memory>

namespace mugrove {

struct DecodedPicture;
struct Form;

// Files larger than this are not read: no picture we can show comes from one.
inline constexpr std::int64_t kMaxPictureFileBytes = std::int64_t{256} << 20;

// The whole file into `bytes` (empty when the file is). CannotOpen when it
// is not a regular file or cannot be opened or read whole (it changed
// length while it was read, say), TooLarge when it is larger than
// kMaxPictureFileBytes, OutOfMemory when there is no room for it; `bytes`
// is then empty.
DecodeError ReadWholeFile(const QString& fileName, PictureBytes& bytes);

// The picture or clip in a file, as a drop reads it: the bytes read (none
// for a clip, which plays from its file) and their decoded form, or why
// there is none and `decoded` is null.
DecodeError DecodePictureFile(const QString& fileName, std::shared_ptr<const PictureBytes>& bytes,
                              std::unique_ptr<DecodedPicture>& decoded);

// The pixel width or height of the picture in a file; 0 when the file holds
// no picture this program reads.
std::int32_t ImageFileWidth(const QString& fileName);
std::int32_t ImageFileHeight(const QString& fileName);

// The names in a FilesDropped text: one name, or names each ended by CR LF.
QStringList DroppedFileNames(const QString& text);

// Shows the bytes in the work area at the picture's own size and refreshes
// the size labels, as a drop does; false, changing nothing, when they hold
// no picture this program reads.
bool ShowPictureBytes(Form& form, PictureBytes bytes);

// Shows the first of the files that holds a picture, as a drop does; false,
// changing nothing, when none does.
bool ShowFirstPicture(Form& form, const QStringList& fileNames);

// Makes the whole frame around the work area take photo drops as the work
// area does: 分组框3 (beside a picture smaller than the frame) and the
// caption lying over the picture. Called once the drop target is registered.
void WidenPhotoDrops(Form& form);

// 拖放对象1 FilesDropped: shows the first dropped file that holds a picture
// at its own size. When none does, the work area keeps what it had.
void OnPhotoDropped(Form& form, const QString& fileNames);

} // namespace mugrove
