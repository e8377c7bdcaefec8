#include "output/gif/ViewerCanvas.h"

#include "output/gif/Rgb.h"

#include <algorithm>

namespace mugrove::gif {

void ViewerCanvas::Reset(int width, int height)
{
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    width_ = width;
    height_ = height;
    first_ = true;
    shown_.assign(pixels, 0);
    last_.assign(pixels, 0);
    changed_.assign(pixels, 0);
}

QRect ViewerCanvas::Compare(const QImage& frame, const std::uint8_t* text, int tolerance)
{
    int x0 = width_, y0 = height_, x1 = -1, y1 = -1;
    for (int y = 0; y < height_; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(frame.constScanLine(y));
        for (int x = 0; x < width_; ++x) {
            const std::size_t p = std::size_t(y) * std::size_t(width_) + std::size_t(x);
            const std::uint32_t colour = row[x] & 0xFFFFFFu;
            bool differs = true;
            if (!first_) {
                // Text must stay exact; elsewhere an invisible change is no change.
                differs = colour != last_[p] && colour != shown_[p]
                    && ((text && text[p]) || !Close(colour, shown_[p], tolerance));
            }
            last_[p] = colour;
            changed_[p] = differs;
            if (differs) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    first_ = false;
    return x1 < 0 ? QRect() : QRect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

bool ViewerCanvas::HasHoles(const QRect& rect) const
{
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (!changed_[std::size_t(y) * std::size_t(width_) + std::size_t(x)])
                return true;
    return false;
}

void ViewerCanvas::Show(const QRect& rect, const std::uint8_t* indices, std::span<const std::uint32_t> palette,
                        int transparent)
{
    const int w = rect.width();
    for (int y = 0; y < rect.height(); ++y)
        for (int x = 0; x < w; ++x) {
            const int index = indices[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            if (index != transparent)
                shown_[std::size_t(rect.y() + y) * std::size_t(width_) + std::size_t(rect.x() + x)] =
                    palette[std::size_t(index)];
        }
}

QImage ViewerCanvas::Image() const
{
    QImage image(width_, height_, QImage::Format_RGB32);
    if (image.isNull() || shown_.empty())
        return image;
    for (int y = 0; y < height_; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::uint32_t* from = shown_.data() + std::size_t(y) * std::size_t(width_);
        for (int x = 0; x < width_; ++x)
            row[x] = 0xFF000000u | from[x];
    }
    return image;
}

} // namespace mugrove::gif
