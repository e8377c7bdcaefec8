#pragma once

#include "controls/decoders/Image.h"

#include <cstddef>
#include <cstdint>
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

// Four bytes R, G, B, A per pixel into 0xAARRGGBB values.
inline void RgbaToArgb(const std::uint8_t* from, std::uint32_t* to, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i, from += 4)
        to[i] = (static_cast<std::uint32_t>(from[3]) << 24) | (static_cast<std::uint32_t>(from[0]) << 16) |
                (static_cast<std::uint32_t>(from[1]) << 8) | from[2];
}

} // namespace mugrove
