#include "controls/decoders/Gif.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto bytes = std::make_shared<const mugrove::PictureBytes>(data, data + size);
    mugrove::Image still;
    std::unique_ptr<mugrove::Animation> player;
    if (mugrove::DecodeGif(bytes, still, player) != mugrove::DecodeError::None || player == nullptr)
        return 0;
    // Play every frame once and into the second loop, as the work area
    // would, and a clone alongside, as a save would.
    const std::unique_ptr<mugrove::Animation> clone = player->Clone();
    for (std::size_t i = 0; i < player->FrameCount() + 2; ++i) {
        if (player->Advance() != mugrove::DecodeError::None)
            break;
        clone->Advance();
    }
    if (player->Canvas().pixels.size() !=
        static_cast<std::size_t>(player->Width()) * static_cast<std::size_t>(player->Height()))
        __builtin_trap();
    return 0;
}
