#include "controls/PicturePaint.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace mugrove {

QImage::Format ViewFormat(ImageKind kind, bool opaque)
{
    // Video frames carry no transparency.
    if (opaque || kind == ImageKind::Clip)
        return QImage::Format_RGB32;
    // GIF pixels are opaque or 0, so they are their own premultiplied form.
    return kind == ImageKind::Gif ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32;
}

QImage PictureView(const Image& image, QImage::Format format)
{
    return QImage(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                  static_cast<qsizetype>(image.width) * 4, format);
}

namespace {

// Each side at most two pixels off the picture's.
bool NearItsSize(QSize target, QSize picture)
{
    return std::abs(target.width() - picture.width()) <= 2 && std::abs(target.height() - picture.height()) <= 2;
}

// Shrinking: painter sampling would skip source pixels, so they are
// averaged once per size and picture instead. Within two pixels of its size
// it skips none, and the painter's filter samples where the averaging
// centres its areas: the same picture within rounding, for a small part of
// the averaging's cost.
bool Averages(QRect target, QSize picture, bool smooth)
{
    return smooth && (target.width() < picture.width() || target.height() < picture.height())
        && !NearItsSize(target.size(), picture);
}

} // namespace

namespace {

// A part turned or mirrored and shrunk is drawn from a copy averaged down
// to the target first, then turned: a turn of a big photo turns only the
// box's pixels.
QImage Prepared(const QImage& part, const PictureShape& shape, QRect target)
{
    const QSize unturned = shape.turns % 2 == 0 ? target.size() : target.size().transposed();
    return Reorient(part.scaled(unturned, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), shape);
}

// Maps a `part`-sized picture, mirrored and turned, onto `target`.
QTransform OntoTarget(QSize part, const PictureShape& shape, QRect target)
{
    qreal w = part.width(), h = part.height();
    QTransform map;
    if (shape.mirrored)
        map *= QTransform(-1, 0, 0, 1, w, 0);
    for (int i = 0; i < ((shape.turns % 4) + 4) % 4; ++i) {
        // A quarter turn clockwise of a w × h picture: (x, y) to (h - y, x).
        map *= QTransform(0, 1, -1, 0, h, 0);
        std::swap(w, h);
    }
    map *= QTransform::fromScale(target.width() / w, target.height() / h);
    map *= QTransform::fromTranslate(target.x(), target.y());
    return map;
}

} // namespace

QImage ShrunkPicture(QSize box, PictureFit fit, bool smooth, const QImage& view, const PictureShape& shape)
{
    if (view.isNull())
        return {};
    const QImage part = PartView(view, shape);
    const QSize shown = ShapedSize(view.size(), shape);
    const QRect target = DisplayTarget(fit, box, shown);
    if (target.isEmpty())
        return {};
    const bool averages = target.size() != shown && Averages(target, shown, smooth);
    if (!averages)
        return {};
    if (shape.Reorients())
        return Prepared(part, shape, target);
    return part.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void PaintPicture(QPainter& painter, QSize box, const QColor& background, const QImage& view,
                  PictureFit fit, bool smooth, QImage& shrunk, const PictureShape& shape)
{
    const QRect whole(QPoint(0, 0), box);
    if (view.isNull()) {
        painter.fillRect(whole, background);
        return;
    }
    const QImage part = PartView(view, shape);
    const QSize shown = ShapedSize(view.size(), shape);
    const QRect target = DisplayTarget(fit, box, shown);
    // An opaque picture over the whole box hides the background: no pass
    // over the pixels for it.
    if (!(view.format() == QImage::Format_RGB32 && target.contains(whole)))
        painter.fillRect(whole, background);
    if (target.isEmpty())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    const bool averages = target.size() != shown && Averages(target, shown, smooth);
    if (shape.Reorients()) {
        if (averages) {
            // Kept for repaints.
            if (shrunk.size() != target.size())
                shrunk = Prepared(part, shape, target);
            painter.drawImage(target.topLeft(), shrunk);
            return;
        }
        // Drawn turned rather than turned first: only the pixels painted
        // are fetched, never a turned copy of a big picture. At its own
        // size each pixel lands on a pixel, taken whole.
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth && target.size() != shown);
        painter.setTransform(OntoTarget(part.size(), shape, target), true);
        painter.drawImage(QPointF(0, 0), part);
        painter.restore();
        return;
    }
    // Transparent pixels (icons, GIFs) let the background show.
    if (target.size() == shown) {
        painter.drawImage(target.topLeft(), part);
        return;
    }
    if (averages) {
        // Kept for repaints.
        if (shrunk.size() != target.size())
            shrunk = part.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(target.topLeft(), shrunk);
        return;
    }
    painter.drawImage(target, part);
}

void PaintBox(QPainter& painter, const BoxLook& look, const QImage& picture, QImage& shrunk)
{
    if (look.band <= 0) {
        PaintPicture(painter, look.size, look.background, picture, look.fit, look.smooth, shrunk, look.shape);
        return;
    }
    painter.fillRect(QRect(0, 0, look.size.width(), look.band), kBandColour);
    painter.save();
    painter.translate(0, look.band);
    PaintPicture(painter, look.PictureSize(), look.background, picture, look.fit, look.smooth, shrunk, look.shape);
    painter.restore();
}

QRect DisplayTarget(PictureFit fit, QSize box, QSize picture)
{
    const std::int64_t W = std::max(0, box.width()), H = std::max(0, box.height());
    const std::int64_t w = std::max(0, picture.width()), h = std::max(0, picture.height());
    switch (fit) {
    case PictureFit::OwnSize:
        return QRect(0, 0, static_cast<int>(w), static_cast<int>(h));
    case PictureFit::Stretch:
        return QRect(0, 0, static_cast<int>(W), static_cast<int>(H));
    case PictureFit::Centre: {
        std::int64_t tw = w, th = h;
        if ((w > W || h > H) && w > 0 && h > 0) {
            // Compare W/w with H/h in integers so the truncation is exact.
            if (W * h <= H * w) {
                tw = W;
                th = h * W / w;
            } else {
                th = H;
                tw = w * H / h;
            }
        }
        return QRect(static_cast<int>((W - tw) / 2), static_cast<int>((H - th) / 2), static_cast<int>(tw),
                     static_cast<int>(th));
    }
    }
    return {};
}

} // namespace mugrove
