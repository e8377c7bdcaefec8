#include "templates/PhotoDrop.h"

#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/DropTarget.h"
#include "app/model/GroupBox.h"
#include "controls/clips/ClipReader.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "controls/decoders/DecodedPicture.h"
#include "sandbox/Decode.h"
#include "templates/BandLayout.h"
#include "templates/Selection.h"
#include "templates/Zoom.h"

#include <QFile>
#include <QFileInfo>

#include <memory>
#include <new>

namespace mugrove {

DecodeError ReadWholeFile(const QString& fileName, PictureBytes& bytes)
{
    bytes.clear();
    // Other writers cannot be shut out portably here; a file that changes
    // length while it is read gives nothing rather than a torn picture.
    const QFileInfo info(fileName);
    if (!info.isFile())
        return DecodeError::CannotOpen;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return DecodeError::CannotOpen;
    const qint64 size = file.size();
    if (size > kMaxPictureFileBytes)
        return DecodeError::TooLarge;
    if (size <= 0)
        return DecodeError::None;
    PictureBytes read;
    try {
        read.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return DecodeError::OutOfMemory; // within the size read, but not available now
    }
    if (file.read(reinterpret_cast<char*>(read.data()), size) != size || !file.atEnd())
        return DecodeError::CannotOpen;
    bytes = std::move(read);
    return DecodeError::None;
}

namespace {

// A video clip in the file, played from the file as it is shown.
// Unrecognised when the file's leading bytes are not a clip's.
DecodeError DecodeClipFile(const QString& fileName, std::unique_ptr<DecodedPicture>& decoded)
{
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
        return DecodeError::CannotOpen;
    const QByteArray head = file.read(64);
    const std::span<const std::uint8_t> lead(reinterpret_cast<const std::uint8_t*>(head.constData()),
                                             static_cast<std::size_t>(head.size()));
    if (DetectImageKind(lead) != ImageKind::Unrecognised || !LooksLikeClip(lead))
        return DecodeError::Unrecognised;
    auto clip = std::make_unique<DecodedPicture>();
    if (const DecodeError e = DecodeClip({QFile::encodeName(fileName).toStdString(), nullptr}, *clip);
        e != DecodeError::None)
        return e;
    decoded = std::move(clip);
    return DecodeError::None;
}

} // namespace

DecodeError DecodePictureFile(const QString& fileName, std::shared_ptr<const PictureBytes>& bytes,
                              std::unique_ptr<DecodedPicture>& decoded)
{
    bytes = std::make_shared<const PictureBytes>();
    decoded.reset();
    const DecodeError asClip = DecodeClipFile(fileName, decoded);
    if (asClip == DecodeError::None || asClip == DecodeError::CannotOpen)
        return asClip;
    // Not a clip that plays: read whole as a picture (some pictures start
    // as clips do).
    PictureBytes read;
    if (const DecodeError e = ReadWholeFile(fileName, read); e != DecodeError::None)
        return e;
    bytes = std::make_shared<const PictureBytes>(std::move(read));
    auto picture = std::make_unique<DecodedPicture>();
    const DecodeError e = DecodePicture(bytes, *picture);
    if (e == DecodeError::None)
        decoded = std::move(picture);
    // Of a file taken for a clip that holds no picture either, the clip's
    // reason is the one that says what went wrong.
    return e == DecodeError::Unrecognised ? asClip : e;
}

namespace {

// The decoded form of the file's picture or clip; null when it has none.
std::unique_ptr<DecodedPicture> DecodeFile(const QString& fileName, std::shared_ptr<const PictureBytes>& bytes)
{
    std::unique_ptr<DecodedPicture> decoded;
    DecodePictureFile(fileName, bytes, decoded);
    return decoded;
}

} // namespace

std::int32_t ImageFileWidth(const QString& fileName)
{
    std::shared_ptr<const PictureBytes> bytes;
    const auto decoded = DecodeFile(fileName, bytes);
    return decoded ? decoded->Width() : 0;
}

std::int32_t ImageFileHeight(const QString& fileName)
{
    std::shared_ptr<const PictureBytes> bytes;
    const auto decoded = DecodeFile(fileName, bytes);
    return decoded ? decoded->Height() : 0;
}

QStringList DroppedFileNames(const QString& text)
{
    const QString separator = QStringLiteral("\r\n");
    if (!text.contains(separator))
        return text.isEmpty() ? QStringList() : QStringList{text};
    return text.split(separator, Qt::SkipEmptyParts);
}

namespace {

void Show(Form& form, std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<DecodedPicture> decoded)
{
    // The work area takes the decoded form as it is, and its size is the
    // picture's own; a clip larger than the frame opens fitted to it, so the
    // whole clip shows and its GIF is the size of a reaction, not of a film.
    QSize size(decoded->Width(), decoded->Height());
    if (decoded->clip && (size.width() > kWorkAreaFrame.width() || size.height() > kWorkAreaFrame.height()))
        size = FitInFrame(size);
    const int width = size.width();
    const int height = size.height();
    form.workArea->SetDecodedPicture(std::move(bytes), std::move(decoded));
    form.workArea->SetWidth(width);
    form.workArea->SetHeight(height);
    RefreshSizeLabels(form);
    PlacePictureUnderBand(form);
}

} // namespace

bool ShowPictureBytes(Form& form, PictureBytes bytes)
{
    auto shared = std::make_shared<const PictureBytes>(std::move(bytes));
    std::unique_ptr<DecodedPicture> decoded = DecodeOrNull(shared);
    if (!decoded)
        return false;
    Show(form, std::move(shared), std::move(decoded));
    return true;
}

bool ShowFirstPicture(Form& form, const QStringList& fileNames)
{
    // Each file is read and decoded once.
    for (const QString& name : fileNames) {
        std::shared_ptr<const PictureBytes> bytes;
        std::unique_ptr<DecodedPicture> decoded = DecodeFile(name, bytes);
        if (!decoded)
            continue;
        Show(form, std::move(bytes), std::move(decoded));
        return true;
    }
    return false;
}

void WidenPhotoDrops(Form& form)
{
    form.dropTarget->Widen(*form.pictureGroup);
    form.dropTarget->Widen(*form.captionOverlay);
}

void OnPhotoDropped(Form& form, const QString& fileNames)
{
    ShowFirstPicture(form, DroppedFileNames(fileNames));
}

} // namespace mugrove
