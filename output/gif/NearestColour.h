#pragma once

// The palette entry nearest to a colour (squared RGB distance, first of
// equals): found by walking the palette, or fast through a table made once
// for a palette that many frames share.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mugrove::gif {

std::uint8_t Nearest(std::span<const std::uint32_t> palette, std::uint32_t colour);

// The colour cube is cut into cells, and each cell lists the only entries
// that can be nearest to a colour inside it (those no farther than the
// farthest corner of the cell from the entry nearest to all of it).
class NearestColourTable {
public:
    explicit NearestColourTable(std::span<const std::uint32_t> palette);

    std::uint8_t Nearest(int r, int g, int b) const;
    std::span<const std::uint32_t> Palette() const { return palette_; }

private:
    static constexpr int kBits = 5;
    static constexpr int kSide = 1 << kBits;
    static constexpr int kCells = kSide * kSide * kSide;
    std::vector<std::uint32_t> palette_;
    std::vector<std::uint32_t> starts_;
    std::vector<std::uint8_t> candidates_;
};

} // namespace mugrove::gif
