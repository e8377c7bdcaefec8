#include "controls/decoders/ByteReader.h"
#include "controls/decoders/PlainDecoders.h"

#include <algorithm>

namespace mugrove {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kTrailingPalette = 769; // 0x0C and 256 × RGB

// Run-length decoding that carries across scan lines (many writers let a
// run cross a line end); bytes beyond the last line are ignored.
class RleReader {
public:
    explicit RleReader(std::span<const std::uint8_t> data) : data_(data) {}

    // Fills `line`; false when the data ends first.
    bool Line(std::vector<std::uint8_t>& line)
    {
        std::size_t filled = 0;
        while (filled < line.size()) {
            if (run_ == 0) {
                if (pos_ >= data_.size())
                    return false;
                const std::uint8_t b = data_[pos_++];
                if ((b & 0xC0) == 0xC0) {
                    if (pos_ >= data_.size())
                        return false;
                    run_ = b & 0x3F;
                    value_ = data_[pos_++];
                    continue;
                }
                run_ = 1;
                value_ = b;
            }
            const std::size_t n = std::min<std::size_t>(run_, line.size() - filled);
            std::fill_n(line.begin() + static_cast<std::ptrdiff_t>(filled), n, value_);
            filled += n;
            run_ -= n;
        }
        return true;
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    std::size_t run_ = 0;
    std::uint8_t value_ = 0;
};

// What the header says about the pixels.
struct PcxLayout {
    std::int64_t width = 0, height = 0;
    std::uint8_t bits = 0, planes = 0;
    unsigned bytesPerLine = 0;
    bool Palette8() const { return bits == 8 && planes == 1; }
    bool Rgb24() const { return bits == 8 && planes == 3; }
    bool Mono() const { return bits == 1 && planes == 1; }
    bool Ega() const { return bits == 1 && planes == 4; }
};

DecodeError ReadHeader(std::span<const std::uint8_t> data, PcxLayout& layout)
{
    if (data.size() < kHeaderSize)
        return DecodeError::TruncatedInput;
    ByteReader r(data);
    std::uint8_t maker = 0, version = 0, encoding = 0;
    std::uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    r.U8(maker);
    r.U8(version);
    r.U8(encoding);
    r.U8(layout.bits);
    r.U16(xMin);
    r.U16(yMin);
    r.U16(xMax);
    r.U16(yMax);
    layout.planes = data[65];
    layout.bytesPerLine = LoadU16(data.data() + 66);
    if (maker != 0x0A || version > 5 || encoding != 1)
        return DecodeError::BadHeader;
    if (xMax < xMin || yMax < yMin)
        return DecodeError::UnsupportedDimension;
    layout.width = std::int64_t{xMax} - xMin + 1;
    layout.height = std::int64_t{yMax} - yMin + 1;
    if (const DecodeError e = CheckDimensions(layout.width, layout.height); e != DecodeError::None)
        return e;
    if (!layout.Palette8() && !layout.Rgb24() && !layout.Mono() && !layout.Ega())
        return DecodeError::Unsupported;
    // Each plane's line must hold the whole width.
    const std::uint64_t need = layout.bits == 8 ? static_cast<std::uint64_t>(layout.width)
                                                : (static_cast<std::uint64_t>(layout.width) + 7) / 8;
    if (layout.bytesPerLine < need)
        return DecodeError::BadHeader;
    return DecodeError::None;
}

// One decoded scan line (all its planes) as ARGB pixels.
void WriteRow(const PcxLayout& layout, const std::vector<std::uint8_t>& line,
              const std::vector<std::uint32_t>& palette, std::uint32_t* dst)
{
    const auto w = static_cast<std::size_t>(layout.width);
    const unsigned bytesPerLine = layout.bytesPerLine;
    if (layout.Palette8()) {
        for (std::size_t x = 0; x < w; ++x)
            dst[x] = palette[line[x]];
    } else if (layout.Rgb24()) {
        const std::uint8_t* red = line.data();
        const std::uint8_t* green = red + bytesPerLine;
        const std::uint8_t* blue = green + bytesPerLine;
        for (std::size_t x = 0; x < w; ++x)
            dst[x] = Argb(255, red[x], green[x], blue[x]);
    } else {
        for (std::size_t x = 0; x < w; ++x) {
            unsigned index = 0;
            for (unsigned p = 0; p < layout.planes; ++p)
                index |= ((line[p * bytesPerLine + (x >> 3)] >> (7 - (x & 7))) & 1u) << p;
            dst[x] = palette[index];
        }
    }
}

} // namespace

// The scan lines must all be present: a PCX whose data ends before its last
// line gives no picture (TruncatedInput), and an 8-bit one-plane file
// without its trailing colour table is treated the same way, since its
// colours are unknown.
DecodeError DecodePcx(std::span<const std::uint8_t> data, Image& out)
{
    out = {};
    PcxLayout layout;
    if (const DecodeError e = ReadHeader(data, layout); e != DecodeError::None)
        return e;

    std::vector<std::uint32_t> palette(256, kOpaqueBlack);
    std::span<const std::uint8_t> pixels = data.subspan(kHeaderSize);
    if (layout.Palette8()) {
        if (data.size() < kHeaderSize + kTrailingPalette || data[data.size() - kTrailingPalette] != 0x0C)
            return DecodeError::TruncatedInput;
        const std::uint8_t* p = data.data() + data.size() - kTrailingPalette + 1;
        for (std::size_t i = 0; i < 256; ++i)
            palette[i] = Argb(255, p[3 * i], p[3 * i + 1], p[3 * i + 2]);
        pixels = pixels.first(pixels.size() - kTrailingPalette);
    } else if (layout.Ega()) {
        for (std::size_t i = 0; i < 16; ++i)
            palette[i] = Argb(255, data[16 + 3 * i], data[17 + 3 * i], data[18 + 3 * i]);
    } else if (layout.Mono()) {
        palette[0] = kOpaqueBlack;
        palette[1] = 0xFFFFFFFFu;
    }

    // Two bytes give at most 63 (the longest run), so data too short for
    // every line is refused before the picture is allocated.
    const std::uint64_t lineBytes = static_cast<std::uint64_t>(layout.bytesPerLine) * layout.planes;
    if ((pixels.size() / 2) * 63 + pixels.size() % 2 < lineBytes * static_cast<std::uint64_t>(layout.height))
        return DecodeError::TruncatedInput;
    // Every row is written below, or the decode fails and the picture goes.
    if (const DecodeError e = AllocateImageUninitialised(out, layout.width, layout.height); e != DecodeError::None)
        return e;
    std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
    RleReader rle(pixels);
    for (int y = 0; y < out.height; ++y) {
        if (!rle.Line(line)) {
            out = {};
            return DecodeError::TruncatedInput;
        }
        WriteRow(layout, line, palette, out.Row(y));
    }
    return DecodeError::None;
}

} // namespace mugrove
