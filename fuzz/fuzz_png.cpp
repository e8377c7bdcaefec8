#include "controls/decoders/Png.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mugrove::Image image;
    const mugrove::DecodeError e = mugrove::DecodePng({data, size}, image);
    // A success must come with a whole picture inside the caps.
    if (e == mugrove::DecodeError::None &&
        (image.width <= 0 || image.height <= 0 ||
         image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)))
        __builtin_trap();
    return 0;
}
