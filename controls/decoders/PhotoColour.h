#pragma once

#include "controls/decoders/Image.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace mugrove {

// How a photo's numbers are meant: an embedded ICC profile, or colour
// primaries and transfer given by their registered numbers (2 for
// unspecified). Neither means sRGB.
struct PhotoColour {
    std::vector<std::uint8_t> icc;
    int primaries = 2;
    int transfer = 2;
};

// Turns the picture's colours into sRGB. A description that is sRGB already
// costs nothing; one that cannot be used leaves the picture as it is.
void ConvertToSrgb(Image& image, const PhotoColour& colour);

// Four bytes R, G, B, A per pixel into 0xAARRGGBB values: on a
// little-endian machine a swap of the red and blue bytes of each word,
// which the compiler turns into vector code.
inline void RgbaToArgb(const std::uint8_t* from, std::uint32_t* to, std::size_t count)
{
    if constexpr (std::endian::native == std::endian::little) {
        if (static_cast<const void*>(to) != from)
            std::memmove(to, from, count * 4); // may overlap
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t p = to[i];
            to[i] = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i, from += 4)
            to[i] = (static_cast<std::uint32_t>(from[3]) << 24) | (static_cast<std::uint32_t>(from[0]) << 16) |
                    (static_cast<std::uint32_t>(from[1]) << 8) | from[2];
    }
}

// The same over a whole picture in place: a big one in two halves, the
// second on another thread, as the decoders that fill it use several.
void RgbaToArgbOver(Image& image);

} // namespace mugrove
