#include "output/Clipboard.h"

#include "app/Form.h"
#include "app/model/Button.h"
#include "controls/PicBox.h"
#include "output/PictureMime.h"
#include "output/Snapshot.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include <optional>

namespace mugrove {

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

void OnCopyClicked(Form& form)
{
    PicBox& box = *form.workArea;
    const PictureBytes snapshot = TakeSnapshot(&box.NativeWindow(), box.Width(), box.Height());
    const bool copied = CopyPictureToClipboard(snapshot);
    form.copyButton->SetCaption(copied ? QStringLiteral("复制成功!!") : QStringLiteral("复制失败!!"));
}

} // namespace mugrove
