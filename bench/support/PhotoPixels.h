#pragma once

// A photo-like picture for the decoding and saving benchmarks: smooth
// gradients with fine noise, so every JPEG block is real work. Three bytes a
// pixel (R, G, B), or four with an opaque alpha.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mugrove::bench {

inline std::vector<std::uint8_t> PhotoLikePixels(int width, int height, int channels = 3)
{
    std::vector<std::uint8_t> pixels(std::size_t(channels) * std::size_t(width) * std::size_t(height));
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            std::uint8_t* p = &pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * std::size_t(channels)];
            p[0] = std::uint8_t(std::clamp(x * 255 / width + noise, 0, 255));
            p[1] = std::uint8_t(std::clamp(y * 255 / height + noise, 0, 255));
            p[2] = std::uint8_t(std::clamp((x + y) % 256 + noise, 0, 255));
            if (channels == 4)
                p[3] = 255;
        }
    return pixels;
}

} // namespace mugrove::bench
