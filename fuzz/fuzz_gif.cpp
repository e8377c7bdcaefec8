#include "controls/decoders/Gif.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mugrove::GifAnimation animation;
    if (mugrove::DecodeGif({data, size}, animation) != mugrove::DecodeError::None)
        return 0;
    // Play every frame once and into the second loop, as the player would.
    mugrove::GifComposer composer(animation);
    for (std::size_t i = 0; i < animation.frames.size() + 2; ++i)
        composer.Advance();
    if (composer.Canvas().pixels.size() !=
        static_cast<std::size_t>(animation.width) * static_cast<std::size_t>(animation.height))
        __builtin_trap();
    return 0;
}
