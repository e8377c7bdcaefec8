#pragma once

#include <cstdint>
#include <span>

namespace mugrove {

// The Orientation tag (1..8) of a TIFF-structured EXIF block (starting at
// "II*\0"/"MM\0*", or with the "Exif\0\0" prefix); 0 when absent, malformed
// or out of range. Bounded: loops and outside offsets are ignored.
int ReadExifOrientation(std::span<const std::uint8_t> exif);

} // namespace mugrove
