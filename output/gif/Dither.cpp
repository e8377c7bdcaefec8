#include "output/gif/Dither.h"

#include "output/gif/Rgb.h"

#include <algorithm>
#include <cmath>

namespace mugrove::gif {

void PaletteDither::Map(const QImage& frame, const QRect& rect, const PixelMasks& masks, float level,
                        std::vector<std::uint8_t>& indices)
{
    const int x0 = rect.x(), y0 = rect.y(), w = rect.width(), h = rect.height();
    indices.resize(std::size_t(w) * std::size_t(h));
    const int transparent = Transparent();
    // In 1/16ths of a level, so the weights stay whole; capped so that a
    // colour the palette lacks cannot run away.
    const int strength = int(std::lround(level * 16));
    constexpr int kMaxError = 32 * 16;
    const std::size_t rowLength = std::size_t(w + 2) * 3;
    errors_.assign(2 * rowLength, 0);
    for (int y = 0; y < h; ++y) {
        int* here = errors_.data() + std::size_t(y & 1) * rowLength;
        int* below = errors_.data() + std::size_t((y + 1) & 1) * rowLength;
        std::fill(below, below + rowLength, 0);
        const auto* row = reinterpret_cast<const std::uint32_t*>(frame.constScanLine(y0 + y)) + x0;
        for (int x = 0; x < w; ++x) {
            const std::size_t p = masks.At(x0 + x, y0 + y);
            std::uint8_t& index = indices[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            if (!masks.Changed(p)) {
                index = std::uint8_t(transparent);
                continue;
            }
            const std::uint32_t c = row[x];
            if (masks.Text(p)) {
                index = table_.Nearest(Red(c), Green(c), Blue(c));
                continue;
            }
            const int want[3] = {Red(c), Green(c), Blue(c)};
            int* e = here + std::size_t(x + 1) * 3;
            int v[3];
            for (int k = 0; k < 3; ++k)
                v[k] = std::clamp(want[k] + (std::clamp(e[k], -kMaxError, kMaxError) * strength) / 256, 0, 255);
            index = table_.Nearest(v[0], v[1], v[2]);
            const NearestColourTable::Channels& got = table_.Entry(index);
            const int error[3] = {(v[0] - got.r) * 16, (v[1] - got.g) * 16, (v[2] - got.b) * 16};
            for (int k = 0; k < 3; ++k) {
                e[3 + k] += error[k] * 7 / 16;
                below[std::size_t(x) * 3 + std::size_t(k)] += error[k] * 3 / 16;
                below[std::size_t(x + 1) * 3 + std::size_t(k)] += error[k] * 5 / 16;
                below[std::size_t(x + 2) * 3 + std::size_t(k)] += error[k] / 16;
            }
        }
    }
}

} // namespace mugrove::gif
