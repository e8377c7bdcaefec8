#pragma once

// GIF's LZW coding with a tolerance: a string runs on through any pixel whose
// colour lies close enough to a symbol that continues it, so runs grow long
// and the file small. With no tolerance it is plain LZW.

#include <QRect>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace mugrove::gif {

// One image's rectangle as the coder takes it. `symbols` (rect's width a
// row) are the palette indices chosen for its pixels and are replaced by the
// ones written. `wanted`, `beneath` and `text` cover the whole frame,
// `stride` pixels a row, and are read at the rectangle's pixels.
struct LossyImage {
    QRect rect;
    std::uint8_t* symbols = nullptr;
    std::size_t stride = 0;
    const std::uint32_t* wanted = nullptr;  // the colour each pixel should have (0xRRGGBB)
    const std::uint32_t* beneath = nullptr; // what the viewer already shows there
    const std::uint8_t* text = nullptr;     // nonzero: text, only its own symbol; null when none
    std::span<const std::uint32_t> palette;
    int transparent = -1; // the symbol that leaves `beneath` showing, or -1
};

class LossyLzw {
public:
    LossyLzw();
    ~LossyLzw();
    LossyLzw(const LossyLzw&) = delete;
    LossyLzw& operator=(const LossyLzw&) = delete;

    // The image's codes, `codeSize` the LZW minimum code size, packed into
    // the sub-blocks that follow an image descriptor (each with its length
    // byte first, the empty block last). A pixel may take another symbol
    // whose colour lies within `tolerance` (RGB distance) of the one wanted.
    std::vector<std::uint8_t> Encode(const LossyImage& image, int codeSize, int tolerance);

private:
    struct StringTable;
    std::unique_ptr<StringTable> table_; // made at the first image, kept for the next
};

} // namespace mugrove::gif
