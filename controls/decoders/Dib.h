#pragma once

// The device-independent bitmap layout shared by BMP files and the images
// inside icon and cursor files. Internal to the decoders.

#include "controls/decoders/Image.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mugrove::dib {

enum Compression : std::uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

struct Header {
    std::uint32_t size = 0;      // of the header itself
    std::int64_t width = 0;
    std::int64_t height = 0;     // as stored: negative means top-down rows
    int bitCount = 0;
    std::uint32_t compression = Rgb;
    std::uint32_t colorsUsed = 0;
    std::uint32_t masks[4] = {}; // red, green, blue, alpha; valid when hasMasks
    bool hasMasks = false;
    bool core = false;           // 12-byte header: 3-byte palette entries
    std::size_t paletteOffset = 0; // where the colour table starts in the span given to Parse
};

// Reads the header starting at `offset` in `data`, including bit-field masks
// that follow a 40-byte header.
DecodeError Parse(std::span<const std::uint8_t> data, std::size_t offset, Header& header);

// Reads up to `count` colour-table entries at the header's palette offset,
// fewer if the data ends first; each becomes opaque 0xFFRRGGBB.
std::vector<std::uint32_t> ReadPalette(std::span<const std::uint8_t> data, const Header& header,
                                       std::size_t count);

// Bytes per stored row of `width` pixels at `bitCount`, rows padded to 4 bytes.
std::uint64_t RowStride(std::int64_t width, int bitCount);

// Uncompressed rows (1, 4, 8, 16, 24, 32 bits) into `out`, already sized
// width × rows. `pixels` must hold all rows. Indices beyond the palette are
// black. `useAlpha` keeps the alpha channel of 32-bit pixels (from the
// alpha mask, or the top byte when there are no masks).
void ReadRows(const Header& header, std::span<const std::uint32_t> palette,
              std::span<const std::uint8_t> pixels, bool topDown, bool useAlpha, Image& out);

} // namespace mugrove::dib
