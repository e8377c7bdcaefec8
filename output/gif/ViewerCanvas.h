#pragma once

// What a viewer shows of the animation so far, and which pixels of the next
// frame it must be shown anew: a GIF frame leaves in place every pixel it
// does not cover or leaves transparent.

#include "output/gif/PixelMasks.h"

#include <QImage>
#include <QRect>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mugrove::gif {

class ViewerCanvas {
public:
    // An empty canvas of the animation's size, before its first frame.
    void Reset(int width, int height);

    // Marks the pixels of `frame` (RGB32, the canvas's size) the viewer must
    // be shown anew and gives the rectangle around them (empty when none).
    // Every pixel of the first frame is new; after it, a pixel is new when it
    // differs from what the viewer shows by more than `tolerance` in a
    // channel (text pixels, nonzero in `text`, when they differ at all) and
    // is not the colour it had in the last frame, which keeps what was
    // decided for it then.
    QRect Compare(const QImage& frame, const std::uint8_t* text, int tolerance);
    // Whether some pixel inside `rect` is not to be shown anew.
    bool HasHoles(const QRect& rect) const;
    // The pixels marked by the last Compare, with `text`.
    PixelMasks Masks(const std::uint8_t* text) const { return {changed_.data(), text, std::size_t(width_)}; }
    // The last frame compared (0xRRGGBB, width a row).
    const std::uint32_t* Frame() const { return last_.data(); }
    // What the viewer shows (0xRRGGBB, width a row).
    const std::uint32_t* Shown() const { return shown_.data(); }

    // The viewer after an image over `rect` whose pixels (rect's width a row)
    // are `indices` into `palette`, `transparent` leaving what was there.
    void Show(const QRect& rect, const std::uint8_t* indices, std::span<const std::uint32_t> palette,
              int transparent);
    // What the viewer shows as a picture (RGB32).
    QImage Image() const;

private:
    int width_ = 0, height_ = 0;
    bool first_ = true;
    std::vector<std::uint32_t> shown_;
    std::vector<std::uint32_t> last_;
    std::vector<std::uint8_t> changed_;
};

} // namespace mugrove::gif
