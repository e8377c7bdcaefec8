#pragma once

#include "controls/decoders/Image.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace mugrove {

// Converts 0xAARRGGBB pixels from the embedded ICC profile to sRGB in place
// (perceptual intent); a broken or unusable profile leaves the pixels as
// they are and returns false. sRGB-equivalent profiles cost (almost)
// nothing. Alpha is kept.
bool ConvertProfileToSrgb(Image& image, std::span<const std::uint8_t> icc);

// The same for colour given by ISO/IEC 23091-2 codes (HEIF/AVIF nclx):
// primaries and transfer. sRGB/BT.709 with sRGB transfer, or unspecified
// codes, leave the pixels as they are.
bool ConvertCicpToSrgb(Image& image, int colourPrimaries, int transferCharacteristics);

// A conversion to sRGB made once and run over a picture in pieces, for
// decoders that convert rows while they are still in the cache, or on
// another thread while the next rows decode. Run may be called from
// several threads at once on different pixels.
class SrgbConversion {
public:
    // What the decoder hands over: 0xAARRGGBB pixels, or four ink bytes
    // per pixel (C, M, Y, K), stored as is or inverted (0 = full ink).
    enum class Input { Argb, Inks, InvertedInks };

    // Prepares the conversion from an ICC profile for pixels of the given
    // form. False when the profile is broken or does not describe such
    // pixels; true with `out` empty when it changes nothing (sRGB itself).
    static bool FromIcc(std::span<const std::uint8_t> icc, Input input, std::unique_ptr<SrgbConversion>& out);
    // The same from ISO/IEC 23091-2 primaries and transfer.
    static bool FromCicp(int colourPrimaries, int transferCharacteristics, std::unique_ptr<SrgbConversion>& out);

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
