#include "controls/decoders/ImageKind.h"

namespace mugrove {

ImageKind DetectImageKind(std::span<const std::uint8_t> data)
{
    (void)data;
    return ImageKind::Unrecognised;
}

} // namespace mugrove
