#include "output/Clipboard.h"

#include "controls/PicBox.h"
#include "controls/decoders/DecodedPicture.h"
#include "output/PictureMime.h"
#include "output/Snapshot.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <optional>

namespace mugrove {

std::optional<QImage> DecodeToImage(std::span<const std::uint8_t> bytes)
{
    DecodedPicture decoded;
    if (DecodeOwnPicture(bytes, decoded) != DecodeError::None)
        return std::nullopt;
    QImage result(decoded.Width(), decoded.Height(), QImage::Format_RGB32);
    if (result.isNull())
        return std::nullopt;
    result.fill(Qt::white);
    QPainter painter(&result);
    painter.drawImage(0, 0, PictureView(decoded.image, QImage::Format_ARGB32));
    painter.end();
    return result;
}

bool CopyPictureToClipboard(const PictureBytes& snapshot)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    // Read back with the work area's own decoders, as any dropped BMP would be.
    const std::optional<QImage> picture = DecodeToImage(snapshot);
    if (!picture) {
        // Whatever was there before is gone either way, as after any copy.
        clipboard->clear();
        return false;
    }
    // Placed. It is not read back: a clipboard manager may own the clipboard
    // by then, and asking it would be a slow round trip to another program
    // that can fail for a copy that worked.
    clipboard->setMimeData(new PictureMime(*picture));
    return true;
}

OutputOutcome CopyShown(PicBox& box)
{
    const PictureBytes snapshot = TakeSnapshot(&box.NativeWindow(), box.Width(), box.Height());
    if (!QGuiApplication::clipboard())
        return OutputOutcome::Failed(QStringLiteral("there is no clipboard"));
    if (!CopyPictureToClipboard(snapshot))
        return OutputOutcome::Failed(QStringLiteral("the picture of the work area could not be made"));
    return OutputOutcome::Written();
}

} // namespace mugrove
