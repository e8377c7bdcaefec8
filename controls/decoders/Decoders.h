#pragma once

// One decoder per picture kind. Each reads a whole file held in memory,
// never reads outside it, checks every size against the caps in Image.h
// before allocating, and on failure leaves `out` empty and says why.

#include "controls/decoders/Gif.h"
#include "controls/decoders/Image.h"

#include <cstdint>
#include <span>

namespace mugrove {

DecodeError DecodeBmp(std::span<const std::uint8_t> data, Image& out);
// Icon and cursor files share one layout; the largest, deepest image wins.
DecodeError DecodeIcon(std::span<const std::uint8_t> data, Image& out);
// PCX with 8 bits per pixel (one plane with the trailing 256-colour table,
// or three planes of red, green, blue) or 1 bit per pixel (one or four planes).
DecodeError DecodePcx(std::span<const std::uint8_t> data, Image& out);
DecodeError DecodeJpeg(std::span<const std::uint8_t> data, Image& out);
// The primary image of a HEIF file (HEVC, or any coding the library reads),
// cropped, turned and mirrored as its properties say, in sRGB colours.
DecodeError DecodeHeif(std::span<const std::uint8_t> data, Image& out);

} // namespace mugrove
