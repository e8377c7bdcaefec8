#pragma once

#include "controls/decoders/Image.h"
#include "output/ShownPicture.h"

#include <cstdint>
#include <functional>

namespace mugrove {

// 4 bytes per pixel, one of them unused.
enum class PixelOrder { Bgrx, Xrgb };

// Rows of pixels to encode: `row(y)` gives row y, top first, and stays
// valid until the encoding ends.
struct PixelRows {
    std::function<const std::uint8_t*(int y)> row;
    int width = 0;
    int height = 0;
    PixelOrder order = PixelOrder::Bgrx;
};

// An encoded file. Its buffer is not cleared before the encoder writes it.
using EncodedBytes = std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>>;

// Baseline JPEG with every channel at full resolution, so thin caption
// strokes keep their colour. Empty on any encoder error.
EncodedBytes EncodeJpeg(const PixelRows& rows, int quality);

// What the work area shows as such a JPEG, read straight from its rows, so a
// big picture costs no pass over its pixels before the encoder's own.
EncodedBytes EncodeShownAsJpeg(const ShownPicture& shown, int quality = 95);

} // namespace mugrove
