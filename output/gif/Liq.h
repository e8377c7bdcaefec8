#pragma once

// libimagequant's objects owned, and its colours converted to the encoder's.

#include "output/gif/Rgb.h"

#include <libimagequant.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace mugrove::gif {

struct LiqDeleter {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
    void operator()(liq_image* p) const { liq_image_destroy(p); }
    void operator()(liq_result* p) const { liq_result_destroy(p); }
    void operator()(liq_histogram* p) const { liq_histogram_destroy(p); }
};
template <class T>
using LiqPtr = std::unique_ptr<T, LiqDeleter>;

inline liq_color ToLiq(std::uint32_t c)
{
    return {std::uint8_t(Red(c)), std::uint8_t(Green(c)), std::uint8_t(Blue(c)), 255};
}

// The palette's colours (0xRRGGBB); empty without a palette.
inline std::vector<std::uint32_t> Colours(const liq_palette* palette)
{
    std::vector<std::uint32_t> out;
    for (unsigned i = 0; palette && i < palette->count; ++i)
        out.push_back(Pack(palette->entries[i].r, palette->entries[i].g, palette->entries[i].b));
    return out;
}

} // namespace mugrove::gif
