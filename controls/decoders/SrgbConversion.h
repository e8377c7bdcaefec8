#pragma once

#include "controls/decoders/Image.h"

#include <cstddef>
#include <cstdint>

namespace mugrove {

// A conversion to sRGB made once and run over a picture in pieces, for
// decoders that convert rows while they are still in the cache, or on
// another thread while the next rows decode. Run may be called from
// several threads at once on different pixels. Made from a colour
// description by the colour library (ColourProfile.h).
class SrgbConversion {
public:
    // What the decoder hands over: 0xAARRGGBB pixels, or four ink bytes
    // per pixel (C, M, Y, K), stored as is or inverted (0 = full ink).
    enum class Input { Argb, Inks, InvertedInks };

    virtual ~SrgbConversion() = default;
    // 0xAARRGGBB pixels in place (Input::Argb), alpha kept.
    virtual void Run(std::uint32_t* pixels, std::size_t count) const = 0;
    // Ink bytes to opaque 0xAARRGGBB pixels (Input::Inks, InvertedInks).
    virtual void RunInks(const std::uint8_t* inks, std::uint32_t* out, std::size_t count) const = 0;
    // Run over a whole picture; a big one in two halves, the second on
    // another thread.
    void RunOver(Image& image) const;
};

} // namespace mugrove
