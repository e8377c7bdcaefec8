#pragma once

// The decoders that need no codec library: our own, and JPEG over
// libjpeg-turbo, which the program links anyway to write JPEGs. They can
// run in the program itself for its own pictures; pictures from outside go
// to a decoder process (sandbox/Decode.h). Each reads a whole file held in
// memory, never reads outside it, checks every size against the caps in
// Image.h before allocating, and on failure leaves `out` empty and says why.

#include "controls/decoders/Gif.h"
#include "controls/decoders/Image.h"
#include "controls/decoders/SrgbConversion.h"

#include <cstdint>
#include <memory>
#include <span>

namespace mugrove {

DecodeError DecodeBmp(std::span<const std::uint8_t> data, Image& out);
// Icon and cursor files share one layout; the largest, deepest image wins.
DecodeError DecodeIcon(std::span<const std::uint8_t> data, Image& out);
// PCX with 8 bits per pixel (one plane with the trailing 256-colour table,
// or three planes of red, green, blue) or 1 bit per pixel (one or four planes).
DecodeError DecodePcx(std::span<const std::uint8_t> data, Image& out);

// Makes the conversion to sRGB that an embedded ICC profile describes (see
// IccConversion); false, or true with `out` empty, leaves the colours as
// decoded.
using IccReader = bool (*)(std::span<const std::uint8_t> icc, SrgbConversion::Input input,
                           std::unique_ptr<SrgbConversion>& out);
// A JPEG the right way up by its EXIF orientation, its colours converted by
// `profiles` when it embeds a profile; with none given, shown as decoded.
DecodeError DecodeJpegWith(std::span<const std::uint8_t> data, Image& out, IccReader profiles);

} // namespace mugrove
