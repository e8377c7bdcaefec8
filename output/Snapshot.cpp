#include "output/Snapshot.h"

#include "app/model/MulDiv.h"

#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "output/BmpLayout.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

namespace mugrove {

namespace {

// A 32-bit image of this size stays inside the allocation cap.
bool FitsCap(int width, int height)
{
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4
        <= kMaxSnapshotBytes;
}

// Smooth scaling only pays off on displays with more than 16 bits per pixel;
// an unknown display gets the plain one.
Qt::TransformationMode ScalingMode()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->depth() > 16 ? Qt::SmoothTransformation : Qt::FastTransformation;
}

} // namespace

int OutputExtent(int requested, int captured)
{
    if (requested == 0)
        return captured;
    if (requested > 0)
        return requested;
    // -p is p percent; the negation is done in 64 bits so INT_MIN stays sane.
    const std::int64_t percent = -static_cast<std::int64_t>(requested);
    if (percent > std::numeric_limits<int>::max())
        return -1;
    return MulDiv(captured, static_cast<int>(percent < 10 ? 10 : percent), 100);
}

QList<TransLabel*> CaptionsOver(const QWidget* window)
{
    QList<TransLabel*> over;
    const QWidget* parent = window ? window->parentWidget() : nullptr;
    if (!parent || window->isWindow())
        return over;
    // Siblings later in the parent's child list are stacked higher.
    const QRect area = window->geometry();
    bool above = false;
    for (QObject* child : parent->children()) {
        if (child == window) {
            above = true;
            continue;
        }
        auto* caption = qobject_cast<TransLabel*>(child);
        if (above && caption && !caption->isHidden() && caption->geometry().intersects(area))
            over.push_back(caption);
    }
    return over;
}

namespace {

// Draws `captions`, what lies over `window`, into `image`, whose top-left
// pixel is the window's pixel (0, top). A caption paints from its look, as
// everywhere else it is drawn, without a background, so it stays
// transparent; only its part over the box is drawn.
void DrawCaptionsOver(const QWidget* window, const QList<TransLabel*>& captions, QImage& image, int top = 0)
{
    const QRect area = window->geometry();
    const QPoint origin = area.topLeft() + QPoint(0, top);
    for (const TransLabel* caption : captions) {
        QPainter painter(&image);
        painter.setClipRect(caption->geometry().intersected(area).translated(-origin));
        caption->PaintOnto(painter, caption->pos() - origin);
    }
}

// Draws the picture of `window` and the captions over it into `image`,
// which must be a 32-bit image of the window's size. Its old pixels do not matter: every one
// is painted over.
void CaptureInto(QWidget* window, QImage& image)
{
    // Drawn as the bottom of the picture, the box fills its whole rectangle
    // (a widget marked opaque-paint promises to paint every pixel itself);
    // for one without any background the unpainted pixels are made
    // deterministic here.
    if (window->testAttribute(Qt::WA_NoSystemBackground))
        image.fill(Qt::black);

    window->render(&image, QPoint(), QRegion(),
                 QWidget::DrawWindowBackground | QWidget::DrawChildren);
    DrawCaptionsOver(window, CaptionsOver(window), image);
}

// What a box paints without drawing anything (its own picture as it is, or
// its background alone), when nothing of its own lies over it; null else.
ShownPicture PaintedAsIs(const QWidget* window)
{
    const auto* box = qobject_cast<const PicBox*>(window);
    if (!box || !box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty())
        return {};
    if (QImage picture = box->PaintedAsIs(); !picture.isNull())
        return ShownPicture(std::move(picture));
    const std::optional<QRgb> colour = box->PaintedPlain();
    if (!colour)
        return {};
    QImage row(window->width(), 1, QImage::Format_RGB32);
    if (row.isNull())
        return {};
    row.fill(*colour);
    return ShownPicture::RepeatedRow(std::move(row), window->height());
}

// The box read from what it paints: only the rows that something lies over
// are copied and drawn anew.
ShownPicture OverPicture(QWidget* window, const ShownPicture& painted)
{
    const QRect area = window->geometry();
    const QList<TransLabel*> over = CaptionsOver(window);
    QRect covered;
    for (const TransLabel* caption : over)
        covered |= caption->geometry().intersected(area);
    if (covered.isEmpty())
        return painted;
    const int top = covered.top() - area.top();
    const int rows = covered.height();
    QImage band(painted.Width(), rows, QImage::Format_RGB32);
    if (band.isNull())
        return {};
    const auto rowBytes = static_cast<std::size_t>(painted.Width()) * 4;
    for (int y = 0; y < rows; ++y)
        std::memcpy(band.scanLine(y), painted.Row(top + y), rowBytes);
    DrawCaptionsOver(window, over, band, top);
    return painted.WithBand(std::move(band), top);
}

} // namespace

bool CapturableSize(const QWidget* window)
{
    return window && window->width() >= 1 && window->height() >= 1
        && FitsCap(window->width(), window->height());
}

QImage CaptureWindow(QWidget* window)
{
    if (!CapturableSize(window))
        return {};
    QImage image(window->size(), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    CaptureInto(window, image);
    return image;
}

ShownPicture ShowingNow(QWidget* window, int width, int height)
{
    if (!CapturableSize(window))
        return {};
    const int capturedWidth = window->width();
    const int capturedHeight = window->height();
    const int outWidth = OutputExtent(width, capturedWidth);
    const int outHeight = OutputExtent(height, capturedHeight);
    if (outWidth < 1 || outHeight < 1 || !FitsCap(outWidth, outHeight))
        return {};
    const bool sameSize = outWidth == capturedWidth && outHeight == capturedHeight;
    if (sameSize) {
        if (const ShownPicture painted = PaintedAsIs(window); !painted.IsNull())
            return OverPicture(window, painted);
    }

    // A fresh buffer each time costs no page faults: the heap keeps the
    // last one's (TuneHeapForPictures).
    const QImage image = CaptureWindow(window);
    if (image.isNull())
        return {};
    if (sameSize)
        return ShownPicture(image);
    QImage scaled = image.scaled(outWidth, outHeight, Qt::IgnoreAspectRatio, ScalingMode());
    return scaled.isNull() ? ShownPicture() : ShownPicture(std::move(scaled));
}

PictureBytes TakeSnapshot(QWidget* window, int width, int height)
{
    return PackBmp24(ShowingNow(window, width, height));
}

} // namespace mugrove
