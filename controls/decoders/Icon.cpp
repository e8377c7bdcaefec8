#include "controls/decoders/ByteReader.h"
#include "controls/decoders/PlainDecoders.h"
#include "controls/decoders/Dib.h"

#include <algorithm>
#include <cstring>

namespace mugrove {

namespace {

struct Candidate {
    std::span<const std::uint8_t> data; // the entry's bytes
    std::int64_t area = 0;
    int bitCount = 0;
};

// One bitmap inside an icon: a DIB whose height counts the colour rows and
// the AND-mask rows together. An entry whose colour or mask rows are not all
// present is not used (TruncatedInput); the next best entry is tried.
DecodeError DecodeEntry(std::span<const std::uint8_t> data, Image& out)
{
    dib::Header h;
    if (const DecodeError e = dib::Parse(data, 0, h); e != DecodeError::None)
        return e;
    if (h.compression != dib::Rgb && h.compression != dib::BitFields)
        return DecodeError::Unsupported;
    // Stored heights are doubled and always bottom-up; zero and negative
    // heights (INT_MIN included) describe no picture.
    if (h.height <= 0 || h.width <= 0)
        return DecodeError::UnsupportedDimension;
    const std::int64_t height = h.height / 2;
    if (const DecodeError e = CheckDimensions(h.width, height); e != DecodeError::None)
        return e;
    std::vector<std::uint32_t> palette;
    std::size_t paletteBytes = 0;
    if (h.bitCount <= 8) {
        std::size_t count = std::size_t{1} << h.bitCount;
        if (h.colorsUsed != 0 && h.colorsUsed < count)
            count = h.colorsUsed;
        paletteBytes = count * (h.core ? 3 : 4);
        if (h.paletteOffset + paletteBytes > data.size())
            return DecodeError::TruncatedInput;
        palette = dib::ReadPalette(data, h, count);
    }
    const std::uint64_t colourBytes = dib::RowStride(h.width, h.bitCount) * static_cast<std::uint64_t>(height);
    const std::uint64_t maskStride = dib::RowStride(h.width, 1);
    const std::uint64_t maskBytes = maskStride * static_cast<std::uint64_t>(height);
    const std::size_t pixelStart = h.paletteOffset + paletteBytes;
    if (pixelStart > data.size() || colourBytes + maskBytes > data.size() - pixelStart)
        return DecodeError::TruncatedInput;
    if (const DecodeError e = AllocateImage(out, h.width, height, kOpaqueBlack); e != DecodeError::None)
        return e;
    const auto colour = data.subspan(pixelStart, static_cast<std::size_t>(colourBytes));
    const auto mask = data.subspan(pixelStart + static_cast<std::size_t>(colourBytes),
                                   static_cast<std::size_t>(maskBytes));
    // 32-bit images carry their own alpha in the top byte, or under the
    // alpha mask when they have bit fields; bit fields without an alpha mask
    // carry none. Images without alpha (and 32-bit ones whose alpha is all
    // zero) use the AND mask: a set bit is transparent.
    const bool hasAlpha = h.bitCount == 32 && (!h.hasMasks || h.masks[3] != 0);
    dib::ReadRows(h, palette, colour, false, hasAlpha, out);
    bool anyAlpha = false;
    if (hasAlpha)
        anyAlpha = std::any_of(out.pixels.begin(), out.pixels.end(),
                               [](std::uint32_t p) { return (p >> 24) != 0; });
    if (anyAlpha)
        return DecodeError::None;
    for (int row = 0; row < out.height; ++row) {
        const std::uint8_t* bits = mask.data() + static_cast<std::size_t>(row) * maskStride;
        std::uint32_t* dst = out.Row(out.height - 1 - row);
        for (int x = 0; x < out.width; ++x) {
            if ((bits[x >> 3] >> (7 - (x & 7))) & 1)
                dst[x] = kTransparent;
            else
                dst[x] |= 0xFF000000u;
        }
    }
    return DecodeError::None;
}

} // namespace

DecodeError DecodeIcon(std::span<const std::uint8_t> data, Image& out)
{
    out = {};
    ByteReader r(data);
    std::uint16_t reserved = 0, type = 0, count = 0;
    if (!r.U16(reserved) || !r.U16(type) || !r.U16(count))
        return DecodeError::TruncatedInput;
    if (reserved != 0 || (type != 1 && type != 2) || count == 0)
        return DecodeError::BadHeader;

    static constexpr std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<Candidate> candidates;
    DecodeError firstError = DecodeError::Unsupported;
    for (unsigned i = 0; i < count; ++i) {
        std::span<const std::uint8_t> entry;
        if (!r.Bytes(16, entry)) {
            firstError = DecodeError::TruncatedInput;
            break;
        }
        const std::uint32_t size = LoadU32(entry.data() + 8);
        const std::uint32_t offset = LoadU32(entry.data() + 12);
        if (offset > data.size() || size > data.size() - offset) {
            if (firstError == DecodeError::Unsupported)
                firstError = DecodeError::TruncatedInput;
            continue;
        }
        const auto bytes = data.subspan(offset, size);
        if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPng, 8) == 0)
            continue; // stored as PNG: not read here
        dib::Header h;
        if (const DecodeError e = dib::Parse(bytes, 0, h); e != DecodeError::None) {
            if (firstError == DecodeError::Unsupported)
                firstError = e;
            continue;
        }
        const std::int64_t w = std::clamp<std::int64_t>(h.width, 0, kMaxPictureSide + 1);
        const std::int64_t ht = std::clamp<std::int64_t>(h.height / 2, 0, kMaxPictureSide + 1);
        candidates.push_back({bytes, w * ht, h.bitCount});
    }
    // Largest first, then deepest; equal ones keep their directory order.
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.area != b.area ? a.area > b.area : a.bitCount > b.bitCount;
    });
    for (const Candidate& c : candidates) {
        const DecodeError e = DecodeEntry(c.data, out);
        if (e == DecodeError::None)
            return e;
        out = {};
        if (firstError == DecodeError::Unsupported)
            firstError = e;
    }
    return firstError;
}

} // namespace mugrove
