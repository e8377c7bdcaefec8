#pragma once

#include <cstdint>
#include <cstdio> // before jpeglib.h, which uses FILE
#include <vector>

#include <jpeglib.h>

namespace mugrove {

// The marker segments read before a JPEG's picture: EXIF (orientation) and
// the embedded colour profile.

// Has libjpeg keep them while it reads the header.
void KeepSegments(jpeg_decompress_struct& info);

// The orientation of the first EXIF segment (1 when it has none) and the
// colour profile, which may be split over several segments, each numbered
// i of n; a profile with a part missing or twice is left out (the picture
// is then shown as sRGB).
void ReadSegments(const jpeg_decompress_struct& info, int& orientation, std::vector<std::uint8_t>& icc) noexcept;

} // namespace mugrove
