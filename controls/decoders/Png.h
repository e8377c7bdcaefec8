#pragma once

#include "controls/decoders/Image.h"

#include <cstdint>
#include <span>

namespace mugrove {

// PNG of every colour type and bit depth (1 to 16; 16-bit samples keep
// their high byte), palettes with transparency, interlaced or not. Only the
// still image is read: an animated PNG shows its default image.
DecodeError DecodePng(std::span<const std::uint8_t> data, Image& out);

} // namespace mugrove
