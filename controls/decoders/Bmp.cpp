#include "controls/decoders/PlainDecoders.h"
#include "controls/decoders/ByteReader.h"
#include "controls/decoders/Dib.h"

#include <algorithm>
#include <bit>

namespace mugrove {

namespace dib {

DecodeError Parse(std::span<const std::uint8_t> data, std::size_t offset, Header& h)
{
    ByteReader r(data, offset);
    if (offset > data.size() || !r.U32(h.size))
        return DecodeError::TruncatedInput;
    if (h.size == 12) {
        std::uint16_t w = 0, height = 0, planes = 0, bits = 0;
        if (!r.U16(w) || !r.U16(height) || !r.U16(planes) || !r.U16(bits))
            return DecodeError::TruncatedInput;
        h.width = w;
        h.height = height;
        h.bitCount = bits;
        h.core = true;
        h.paletteOffset = offset + 12;
    } else if (h.size >= 16 && h.size <= 124) {
        std::int32_t w = 0, height = 0;
        std::uint16_t planes = 0, bits = 0;
        if (!r.I32(w) || !r.I32(height) || !r.U16(planes) || !r.U16(bits))
            return DecodeError::TruncatedInput;
        h.width = w;
        h.height = height;
        h.bitCount = bits;
        if (!r.Has(h.size - 16))
            return DecodeError::TruncatedInput;
        // Fields beyond the stored header size are taken as zero.
        // compression, image size, x/y resolution, colours used, colours
        // important, then the red, green, blue and alpha masks.
        std::uint32_t fields[10] = {};
        for (std::size_t i = 0; i < 10 && 16 + 4 * (i + 1) <= h.size; ++i)
            r.U32(fields[i]);
        h.compression = fields[0];
        h.colorsUsed = fields[4];
        // 16..64-byte headers other than 40 are the OS/2 2.x kind, whose
        // compression numbers 3 and 4 mean encodings we do not read.
        const bool os2 = h.size < 40 || (h.size > 40 && h.size < 52) || (h.size > 56 && h.size <= 64);
        if (os2 && h.compression > Rle4)
            return DecodeError::Unsupported;
        h.paletteOffset = offset + h.size;
        if (h.compression == BitFields || h.compression == AlphaBitFields) {
            if (h.size >= 52) {
                h.masks[0] = fields[6];
                h.masks[1] = fields[7];
                h.masks[2] = fields[8];
                h.masks[3] = h.size >= 56 ? fields[9] : 0;
            } else {
                // A 40-byte header is followed by three masks (four with alpha).
                ByteReader m(data, offset + h.size);
                const int count = h.compression == AlphaBitFields ? 4 : 3;
                for (int i = 0; i < count; ++i)
                    if (!m.U32(h.masks[i]))
                        return DecodeError::TruncatedInput;
                h.paletteOffset += 4 * static_cast<std::size_t>(count);
            }
            h.hasMasks = true;
        }
    } else {
        return DecodeError::BadHeader;
    }
    switch (h.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return DecodeError::Unsupported;
    }
    switch (h.compression) {
    case Rgb: break;
    case Rle8: if (h.bitCount != 8) return DecodeError::BadHeader; break;
    case Rle4: if (h.bitCount != 4) return DecodeError::BadHeader; break;
    case BitFields:
    case AlphaBitFields:
        if (h.bitCount != 16 && h.bitCount != 32)
            return DecodeError::BadHeader;
        break;
    default: return DecodeError::Unsupported; // embedded JPEG/PNG and others
    }
    return DecodeError::None;
}

std::vector<std::uint32_t> ReadPalette(std::span<const std::uint8_t> data, const Header& h,
                                       std::size_t count)
{
    const std::size_t entry = h.core ? 3 : 4;
    std::vector<std::uint32_t> palette;
    if (h.paletteOffset >= data.size())
        return palette;
    count = std::min(count, (data.size() - h.paletteOffset) / entry);
    palette.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = data.data() + h.paletteOffset + i * entry;
        palette.push_back(Argb(255, p[2], p[1], p[0]));
    }
    return palette;
}

std::uint64_t RowStride(std::int64_t width, int bitCount)
{
    return (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitCount) + 31) / 32 * 4;
}

namespace {

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;

    explicit Channel(std::uint32_t m) : mask(m)
    {
        if (m != 0) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    std::uint32_t Get(std::uint32_t pixel, std::uint32_t absent) const
    {
        if (max == 0)
            return absent;
        const std::uint64_t v = (pixel & mask) >> shift;
        return static_cast<std::uint32_t>((v * 255 + max / 2) / max);
    }
};

} // namespace

void ReadRows(const Header& h, std::span<const std::uint32_t> palette,
              std::span<const std::uint8_t> pixels, bool topDown, bool useAlpha, Image& out)
{
    const auto stride = static_cast<std::size_t>(RowStride(out.width, h.bitCount));
    const int width = out.width;
    std::uint32_t masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.masks[3]};
    if (!h.hasMasks) {
        if (h.bitCount == 16) {
            masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F; masks[3] = 0;
        } else {
            masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF; masks[3] = 0xFF000000u;
        }
    }
    if (!useAlpha)
        masks[3] = 0;
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    const bool plain32 = h.bitCount == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 &&
                         masks[2] == 0xFF && (masks[3] == 0 || masks[3] == 0xFF000000u);
    const auto colour = [&](std::uint32_t index) {
        return index < palette.size() ? palette[index] : kOpaqueBlack;
    };
    for (int row = 0; row < out.height; ++row) {
        const std::uint8_t* src = pixels.data() + static_cast<std::size_t>(row) * stride;
        std::uint32_t* dst = out.Row(topDown ? row : out.height - 1 - row);
        switch (h.bitCount) {
        case 1:
            for (int x = 0; x < width; ++x)
                dst[x] = colour((src[x >> 3] >> (7 - (x & 7))) & 1);
            break;
        case 4:
            for (int x = 0; x < width; ++x)
                dst[x] = colour((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF);
            break;
        case 8:
            for (int x = 0; x < width; ++x)
                dst[x] = colour(src[x]);
            break;
        case 24:
            for (int x = 0; x < width; ++x, src += 3)
                dst[x] = Argb(255, src[2], src[1], src[0]);
            break;
        case 16:
            for (int x = 0; x < width; ++x, src += 2) {
                const std::uint32_t p = LoadU16(src);
                dst[x] = Argb(alpha.Get(p, 255), red.Get(p, 0), green.Get(p, 0), blue.Get(p, 0));
            }
            break;
        case 32:
            for (int x = 0; x < width; ++x, src += 4) {
                const std::uint32_t p = LoadU32(src);
                if (plain32)
                    dst[x] = masks[3] != 0 ? p : (p | 0xFF000000u);
                else
                    dst[x] = Argb(alpha.Get(p, 255), red.Get(p, 0), green.Get(p, 0), blue.Get(p, 0));
            }
            break;
        default:
            break;
        }
    }
}

} // namespace dib

namespace {

// Run-length rows, bottom-up. Pixels the stream never reaches (skipped by a
// delta, or left when a line ends early) stay transparent so the background
// shows. A run that reaches past its row is cut at the row's end, and a
// delta or line past the last row ends the picture. When the data stops
// before the end-of-bitmap code, the rows drawn so far are kept: the stream
// carries its own length, and files that omit the final code are common.
void ReadRle(std::span<const std::uint8_t> data, std::span<const std::uint32_t> palette,
             bool four, Image& out)
{
    const auto colour = [&](std::uint32_t index) {
        return index < palette.size() ? palette[index] : kOpaqueBlack;
    };
    std::int64_t x = 0;
    std::int64_t y = 0; // from the bottom
    const std::int64_t w = out.width;
    const std::int64_t h = out.height;
    const auto put = [&](std::uint32_t index) {
        if (x < w && y < h)
            out.Row(static_cast<int>(h - 1 - y))[x] = colour(index);
        ++x;
    };
    std::size_t i = 0;
    while (i + 1 < data.size() && y < h) {
        const std::uint8_t count = data[i];
        const std::uint8_t value = data[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count && x < w; ++k)
                put(four ? ((k & 1) ? value & 0xF : value >> 4) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (i + 1 >= data.size())
                break;
            x += data[i];
            y += data[i + 1];
            i += 2;
        } else { // absolute run of `value` pixels, padded to 16 bits
            const std::size_t bytes = four ? (value + 1u) / 2 : value;
            const std::size_t padded = (bytes + 1) & ~std::size_t{1};
            if (data.size() - i < bytes)
                break;
            for (int k = 0; k < value && x < w; ++k) {
                const std::uint8_t b = data[i + (four ? k / 2 : k)];
                put(four ? ((k & 1) ? b & 0xF : b >> 4) : b);
            }
            i += std::min(padded, data.size() - i);
        }
    }
}

} // namespace

// A BMP file: 14-byte file header, then a DIB. Rows of an uncompressed BMP
// that are not all present give no picture (TruncatedInput): a picture with
// a missing band would pass for a different one.
DecodeError DecodeBmp(std::span<const std::uint8_t> data, Image& out)
{
    out = {};
    ByteReader r(data);
    std::uint16_t magic = 0;
    std::uint32_t fileSize = 0, reserved = 0, pixelOffset = 0;
    if (!r.U16(magic) || !r.U32(fileSize) || !r.U32(reserved) || !r.U32(pixelOffset))
        return DecodeError::TruncatedInput;
    if (magic != 0x4D42)
        return DecodeError::BadHeader;
    dib::Header h;
    if (const DecodeError e = dib::Parse(data, 14, h); e != DecodeError::None)
        return e;
    const bool topDown = h.height < 0;
    const std::int64_t height = topDown ? -h.height : h.height;
    if (topDown && (h.compression == dib::Rle8 || h.compression == dib::Rle4))
        return DecodeError::BadHeader;
    if (const DecodeError e = CheckDimensions(h.width, height); e != DecodeError::None)
        return e;
    if (pixelOffset > data.size())
        return DecodeError::TruncatedInput;

    std::vector<std::uint32_t> palette;
    if (h.bitCount <= 8) {
        std::size_t count = std::size_t{1} << h.bitCount;
        if (h.colorsUsed != 0 && h.colorsUsed < count)
            count = h.colorsUsed;
        // A colour table cannot run into the pixels.
        const std::size_t entry = h.core ? 3 : 4;
        if (pixelOffset >= h.paletteOffset)
            count = std::min(count, (pixelOffset - h.paletteOffset) / entry);
        palette = dib::ReadPalette(data, h, count);
    }
    const auto pixels = data.subspan(pixelOffset);

    if (h.compression == dib::Rle8 || h.compression == dib::Rle4) {
        if (const DecodeError e = AllocateImage(out, h.width, height, kTransparent); e != DecodeError::None)
            return e;
        ReadRle(pixels, palette, h.compression == dib::Rle4, out);
        return DecodeError::None;
    }
    const std::uint64_t needed = dib::RowStride(h.width, h.bitCount) * static_cast<std::uint64_t>(height);
    if (needed > pixels.size())
        return DecodeError::TruncatedInput;
    if (const DecodeError e = AllocateImage(out, h.width, height, kOpaqueBlack); e != DecodeError::None)
        return e;
    // 32-bit pixels carry alpha only when a header names an alpha mask.
    const bool useAlpha = h.hasMasks && h.masks[3] != 0;
    dib::ReadRows(h, palette, pixels, topDown, useAlpha, out);
    return DecodeError::None;
}

} // namespace mugrove
