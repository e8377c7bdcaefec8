#pragma once

// The palette entry nearest to a colour (squared RGB distance, first of
// equals): found by walking the palette, or fast through a table made once
// for a palette that many frames share.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace mugrove::gif {

std::uint8_t Nearest(std::span<const std::uint32_t> palette, std::uint32_t colour);

// The colour cube is cut into cells, and each cell lists the only entries
// that can be nearest to a colour inside it (those no farther than the
// farthest corner of the cell from the entry nearest to all of it).
class NearestColourTable {
public:
    // An entry's channels apart, read faster than unpacked once a pixel.
    struct Channels {
        std::uint8_t r, g, b;
    };

    explicit NearestColourTable(std::span<const std::uint32_t> palette);

    // Inline: the dithering asks once a pixel.
    std::uint8_t Nearest(int r, int g, int b) const
    {
        const int cell = ((r >> (8 - kBits)) << (2 * kBits)) | ((g >> (8 - kBits)) << kBits) | (b >> (8 - kBits));
        int best = 0, bestDistance = std::numeric_limits<int>::max();
        for (std::uint32_t k = starts_[std::size_t(cell)]; k < starts_[std::size_t(cell) + 1]; ++k) {
            const Channels& e = channels_[candidates_[k]];
            const int dr = e.r - r, dg = e.g - g, db = e.b - b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = candidates_[k];
            }
        }
        return std::uint8_t(best);
    }
    std::span<const std::uint32_t> Palette() const { return palette_; }
    const Channels& Entry(int index) const { return channels_[std::size_t(index)]; }

private:
    static constexpr int kBits = 5;
    static constexpr int kSide = 1 << kBits;
    static constexpr int kCells = kSide * kSide * kSide;
    std::vector<std::uint32_t> palette_;
    std::vector<Channels> channels_;
    std::vector<std::uint32_t> starts_;
    std::vector<std::uint8_t> candidates_;
};

} // namespace mugrove::gif
