#include "controls/PictureShape.h"

#include <QTransform>

#include <algorithm>
#include <cstdint>

namespace mugrove {

namespace {

int Turns(int turns)
{
    return ((turns % 4) + 4) % 4;
}

// Keeps [lo, hi) within [0, extent) and at least one wide (extent >= 1).
void KeepInside(std::int64_t& lo, std::int64_t& hi, std::int64_t extent)
{
    lo = std::clamp<std::int64_t>(lo, 0, extent - 1);
    hi = std::clamp<std::int64_t>(hi, lo + 1, extent);
}

// `a * b / c` rounded to the nearest whole number, without overflow for
// picture sizes.
std::int64_t Scaled(std::int64_t a, std::int64_t b, std::int64_t c)
{
    return (2 * a * b + c) / (2 * c);
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

std::int64_t CeilDiv(std::int64_t a, std::int64_t b)
{
    return -FloorDiv(-a, b);
}

} // namespace

PictureShape Reoriented(const PictureShape& shape, Reorientation how)
{
    // Shown = turn^t · mirror^m (the part). A flip after it is a mirror
    // taken through the turns, which reverses them: mirror · turn^t =
    // turn^-t · mirror; a vertical flip is a half turn after a mirror.
    PictureShape out = shape;
    switch (how) {
    case Reorientation::TurnRight: out.turns = Turns(shape.turns + 1); break;
    case Reorientation::TurnLeft: out.turns = Turns(shape.turns + 3); break;
    case Reorientation::FlipHorizontal:
        out.turns = Turns(-shape.turns);
        out.mirrored = !shape.mirrored;
        break;
    case Reorientation::FlipVertical:
        out.turns = Turns(2 - shape.turns);
        out.mirrored = !shape.mirrored;
        break;
    }
    return out;
}

QRect PartOf(QSize picture, const PictureShape& shape)
{
    const QRect whole(QPoint(0, 0), picture);
    const QRect part = shape.crop.intersected(whole);
    return part.isEmpty() ? whole : part;
}

QSize ShapedSize(QSize picture, const PictureShape& shape)
{
    const QSize part = PartOf(picture, shape).size();
    return Turns(shape.turns) % 2 == 0 ? part : part.transposed();
}

PictureShape Cropped(const PictureShape& shape, QSize picture, QRect part)
{
    if (picture.isEmpty())
        return shape;
    const QRect cut = PartOf(picture, shape);
    // The part as edges [x0, x1) × [y0, y1) of the shaped picture, then
    // taken back through each turn (counter-clockwise) and the mirror.
    std::int64_t w = cut.width(), h = cut.height();
    if (Turns(shape.turns) % 2 != 0)
        std::swap(w, h);
    std::int64_t x0 = part.x(), x1 = std::int64_t(part.x()) + part.width();
    std::int64_t y0 = part.y(), y1 = std::int64_t(part.y()) + part.height();
    KeepInside(x0, x1, w);
    KeepInside(y0, y1, h);
    for (int i = 0; i < Turns(shape.turns); ++i) {
        // A clockwise turn took (x, y) of a W × H picture to (H-1-y, x):
        // back, (x', y') of the turned one came from (y', W'-1-x').
        const std::int64_t nx0 = y0, nx1 = y1;
        const std::int64_t ny0 = w - x1, ny1 = w - x0;
        x0 = nx0;
        x1 = nx1;
        y0 = ny0;
        y1 = ny1;
        std::swap(w, h);
    }
    if (shape.mirrored) {
        const std::int64_t nx0 = w - x1;
        x1 = w - x0;
        x0 = nx0;
    }
    PictureShape out = shape;
    out.crop = QRect(int(cut.x() + x0), int(cut.y() + y0), int(x1 - x0), int(y1 - y0));
    // The whole picture needs no cut.
    if (out.crop == QRect(QPoint(0, 0), picture))
        out.crop = QRect();
    return out;
}

QRect PartUnder(QRect target, QSize shaped, QRect onScreen)
{
    if (target.isEmpty() || shaped.isEmpty())
        return {};
    const auto edges = [](std::int64_t from, std::int64_t to, std::int64_t start, std::int64_t span,
                          std::int64_t pixels) {
        // Every picture pixel whose span on screen the rectangle touches.
        std::int64_t lo = FloorDiv((from - start) * pixels, span);
        std::int64_t hi = CeilDiv((to - start) * pixels, span);
        KeepInside(lo, hi, pixels);
        return std::pair{lo, hi};
    };
    const auto [x0, x1] = edges(onScreen.x(), std::int64_t(onScreen.x()) + onScreen.width(), target.x(),
                                target.width(), shaped.width());
    const auto [y0, y1] = edges(onScreen.y(), std::int64_t(onScreen.y()) + onScreen.height(), target.y(),
                                target.height(), shaped.height());
    return QRect(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
}

QRect PartOnScreen(QRect target, QSize shaped, QRect part)
{
    if (target.isEmpty() || shaped.isEmpty())
        return {};
    const auto edges = [](std::int64_t lo, std::int64_t hi, std::int64_t start, std::int64_t span,
                          std::int64_t pixels) {
        const std::int64_t from = start + Scaled(lo, span, pixels);
        const std::int64_t to = std::max(from + 1, start + Scaled(hi, span, pixels));
        return std::pair{from, to};
    };
    const auto [x0, x1] = edges(part.x(), std::int64_t(part.x()) + part.width(), target.x(), target.width(),
                                shaped.width());
    const auto [y0, y1] = edges(part.y(), std::int64_t(part.y()) + part.height(), target.y(), target.height(),
                                shaped.height());
    return QRect(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
}

QImage PartView(const QImage& view, const PictureShape& shape)
{
    if (view.isNull() || shape.crop.isEmpty())
        return view;
    const QRect part = PartOf(view.size(), shape);
    if (part.size() == view.size())
        return view;
    // A view into the same rows: the const constructor copies nothing, and
    // the caller keeps `view`'s pixels alive while it is drawn.
    const uchar* first = view.constBits() + qsizetype(part.y()) * view.bytesPerLine()
        + qsizetype(part.x()) * (view.depth() / 8);
    return QImage(first, part.width(), part.height(), view.bytesPerLine(), view.format());
}

QImage Reorient(const QImage& part, const PictureShape& shape)
{
    if (part.isNull() || !shape.Reorients())
        return part;
    QImage out = shape.mirrored ? part.mirrored(true, false) : part;
    if (const int turns = Turns(shape.turns); turns != 0)
        out = out.transformed(QTransform().rotate(90.0 * turns));
    return out;
}

} // namespace mugrove
