#pragma once

#include <cstdint>
#include <span>

namespace mugrove {

enum class ImageKind { Unrecognised, Bmp, Jpeg, Icon, Cursor, Gif, Pcx8, Pcx1, Png, Webp, Heif, Avif, Jxl, Clip };

// Recognises picture data by its leading bytes alone; fewer than 6 bytes
// are never recognised. Clip is never answered here: video is recognised
// after the pictures, by the clip reader.
ImageKind DetectImageKind(std::span<const std::uint8_t> data);

} // namespace mugrove
