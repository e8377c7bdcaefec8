#pragma once

#include "controls/decoders/PictureBytes.h"
#include "output/ShownPicture.h"

#include <cstddef>

namespace mugrove {

// Sizes of the two headers in front of the pixel rows of a 24-bit BMP file.
inline constexpr std::size_t kBmpFileHeaderSize = 14;
inline constexpr std::size_t kBmpInfoHeaderSize = 40;
inline constexpr std::size_t kBmpPixelOffset = kBmpFileHeaderSize + kBmpInfoHeaderSize;

// Bytes of one stored row: 3 per pixel, rounded up to a multiple of 4.
constexpr std::size_t BmpStride(int width)
{
    return (static_cast<std::size_t>(width) * 24 + 31) / 32 * 4;
}

// Packs a picture into an uncompressed 24-bit bottom-up BMP file (blue,
// green, red; rows padded with zeros). Empty for a null picture or when the
// file would not fit a 32-bit size field.
PictureBytes PackBmp24(const ShownPicture& picture);

} // namespace mugrove
