#pragma once

#include <cstddef>
#include <cstdint>

namespace mugrove::gif {

// What the encoder's parts need to know of each pixel of a whole frame,
// `stride` pixels a row: whether the viewer must show it anew (nonzero), and
// whether it is text, kept exact (nonzero; null when the frame has none).
struct PixelMasks {
    const std::uint8_t* changed = nullptr;
    const std::uint8_t* text = nullptr;
    std::size_t stride = 0;

    std::size_t At(int x, int y) const { return std::size_t(y) * stride + std::size_t(x); }
    bool Changed(std::size_t p) const { return changed[p] != 0; }
    bool Text(std::size_t p) const { return text && text[p]; }
};

} // namespace mugrove::gif
