#include "output/gif/NearestColour.h"

#include "output/gif/Rgb.h"

#include <algorithm>
#include <limits>

namespace mugrove::gif {

std::uint8_t Nearest(std::span<const std::uint32_t> palette, std::uint32_t colour)
{
    const int r = Red(colour), g = Green(colour), b = Blue(colour);
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int d = Distance2(r, g, b, palette[i]);
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
            if (d == 0)
                break;
        }
    }
    return std::uint8_t(best);
}

NearestColourTable::NearestColourTable(std::span<const std::uint32_t> palette)
    : palette_(palette.begin(), palette.end())
{
    const int n = int(palette_.size());
    for (std::uint32_t c : palette_)
        channels_.push_back({std::uint8_t(Red(c)), std::uint8_t(Green(c)), std::uint8_t(Blue(c))});
    starts_.reserve(kCells + 1);
    std::vector<int> nearest(std::size_t(n), 0);
    for (int cell = 0; cell < kCells; ++cell) {
        starts_.push_back(std::uint32_t(candidates_.size()));
        int lo[3], hi[3];
        for (int k = 0; k < 3; ++k) {
            lo[k] = ((cell >> (kBits * (2 - k))) & (kSide - 1)) << (8 - kBits);
            hi[k] = lo[k] + (1 << (8 - kBits)) - 1;
        }
        // The least, over entries, of the greatest distance to the cell.
        int bound = std::numeric_limits<int>::max();
        for (int i = 0; i < n; ++i) {
            const std::uint32_t e = palette_[std::size_t(i)];
            const int c[3] = {Red(e), Green(e), Blue(e)};
            int far = 0, near = 0;
            for (int k = 0; k < 3; ++k) {
                const int f = std::max(std::abs(c[k] - lo[k]), std::abs(c[k] - hi[k]));
                const int d = c[k] < lo[k] ? lo[k] - c[k] : c[k] > hi[k] ? c[k] - hi[k] : 0;
                far += f * f;
                near += d * d;
            }
            bound = std::min(bound, far);
            nearest[std::size_t(i)] = near;
        }
        for (int i = 0; i < n; ++i)
            if (nearest[std::size_t(i)] <= bound)
                candidates_.push_back(std::uint8_t(i));
    }
    starts_.push_back(std::uint32_t(candidates_.size()));
}

} // namespace mugrove::gif
