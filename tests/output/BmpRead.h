#pragma once

// The snapshot's BMP read back by the tests in exactly the layout the
// program writes, so its rows can be checked and encoded by the tests' own
// means.

#include "controls/decoders/ByteReader.h"
#include "output/BmpLayout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace mugrove::testing {

// Where the pixel rows of such a file lie: `bottomRow` is the first row
// stored, which is the bottom row of the picture.
struct Bmp24View {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    const std::uint8_t* bottomRow = nullptr; // points into the file, not owned
};

// Anything but that layout (other depths, top-down rows, compression, a short
// file) gives nothing.
inline std::optional<Bmp24View> ReadBmp24(std::span<const std::uint8_t> file)
{
    if (file.size() < kBmpPixelOffset)
        return std::nullopt;
    const std::uint8_t* h = file.data();
    if (h[0] != 'B' || h[1] != 'M' || LoadU32(h + 2) != file.size()
        || LoadU32(h + 10) != kBmpPixelOffset || LoadU32(h + 14) != kBmpInfoHeaderSize
        || LoadU16(h + 26) != 1 || LoadU16(h + 28) != 24 || LoadU32(h + 30) != 0)
        return std::nullopt;
    const auto width = static_cast<std::int32_t>(LoadU32(h + 18));
    const auto height = static_cast<std::int32_t>(LoadU32(h + 22));
    if (width < 1 || height < 1)
        return std::nullopt;
    const std::size_t stride = BmpStride(width);
    const std::size_t imageSize = stride * static_cast<std::size_t>(height);
    if (LoadU32(h + 34) != imageSize || file.size() - kBmpPixelOffset != imageSize)
        return std::nullopt;
    return Bmp24View{width, height, stride, h + kBmpPixelOffset};
}

} // namespace mugrove::testing
