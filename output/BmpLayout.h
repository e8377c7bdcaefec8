#pragma once

#include "controls/decoders/PictureBytes.h"
#include "output/ShownPicture.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

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

// Where the pixel rows of such a file lie: `bottomRow` is the first row
// stored, which is the bottom row of the picture.
struct Bmp24View {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    const std::uint8_t* bottomRow = nullptr; // points into the file, not owned
};

// Reads the headers of a file in exactly the layout PackBmp24 writes; anything
// else (other depths, top-down rows, compression, a short file) gives nothing.
std::optional<Bmp24View> ReadBmp24(std::span<const std::uint8_t> file);

} // namespace mugrove
