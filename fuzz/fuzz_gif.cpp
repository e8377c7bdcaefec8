#include "controls/decoders/Gif.h"

#include <algorithm>
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
    // would, and a clone from its start, as a save would. A long animation
    // is played only in part: each step costs about the same, and the
    // fuzzer looks for one slow step, not for many ordinary ones.
    const std::size_t steps = std::min<std::size_t>(player->FrameCount() + 2, 40);
    for (std::size_t i = 0; i < steps; ++i)
        if (player->Advance() != mugrove::DecodeError::None)
            break;
    const std::unique_ptr<mugrove::Animation> clone = player->Clone();
    clone->Advance();
    clone->Advance();
    if (player->Canvas().pixels.size() !=
        static_cast<std::size_t>(player->Width()) * static_cast<std::size_t>(player->Height()))
        __builtin_trap();
    return 0;
}
