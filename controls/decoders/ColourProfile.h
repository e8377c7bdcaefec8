#pragma once

#include "controls/decoders/Image.h"
#include "controls/decoders/SrgbConversion.h"

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

// The conversion to sRGB that an ICC profile describes for pixels of the
// given form. False when the profile is broken or does not describe such
// pixels; true with `out` empty when it changes nothing (sRGB itself).
bool IccConversion(std::span<const std::uint8_t> icc, SrgbConversion::Input input,
                   std::unique_ptr<SrgbConversion>& out);
// The same from ISO/IEC 23091-2 primaries and transfer.
bool CicpConversion(int colourPrimaries, int transferCharacteristics, std::unique_ptr<SrgbConversion>& out);

} // namespace mugrove
