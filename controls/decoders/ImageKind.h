#pragma once

#include <cstdint>
#include <span>

namespace mugrove {

enum class ImageKind { Unrecognised, Bmp, Jpeg, Icon, Cursor, Gif, Pcx8, Pcx1, Png, Webp, Heif, Avif, Jxl };

// Recognises picture data by its leading bytes alone; fewer than 6 bytes
// are never recognised.
ImageKind DetectImageKind(std::span<const std::uint8_t> data);

} // namespace mugrove
