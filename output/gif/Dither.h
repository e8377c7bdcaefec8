#pragma once

// A frame mapped to a fixed palette with error diffusion, the way a film
// with one palette is encoded frame by frame.

#include "output/gif/NearestColour.h"
#include "output/gif/PixelMasks.h"

#include <QImage>
#include <QRect>

#include <cstdint>
#include <span>
#include <vector>

namespace mugrove::gif {

class PaletteDither {
public:
    explicit PaletteDither(std::span<const std::uint32_t> palette) : table_(palette) {}

    std::span<const std::uint32_t> Palette() const { return table_.Palette(); }
    // The index after the palette's colours, left for transparency.
    int Transparent() const { return int(table_.Palette().size()); }

    // The indices of `rect` of `frame` (RGB32), rect's width a row, with
    // Floyd and Steinberg's weights at `level` (0..1). Pixels the viewer
    // need not show anew take Transparent(), text pixels their nearest
    // colour undithered (the palette holds text colours exactly); neither
    // passes error on.
    void Map(const QImage& frame, const QRect& rect, const PixelMasks& masks, float level,
             std::vector<std::uint8_t>& indices);

private:
    NearestColourTable table_;
    std::vector<int> errors_; // the carried error, two rows of RGB
};

} // namespace mugrove::gif
