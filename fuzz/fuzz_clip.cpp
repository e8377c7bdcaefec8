#include "controls/clips/Clip.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

// A clip read from memory through the same reader a file uses: opened,
// its first frame taken as the still picture, then played a round and a
// bit, so the loop back to the start is exercised too. Large frames get
// fewer steps: the point is the paths, not how long a big frame takes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mugrove::ClipSource source;
    source.bytes = std::make_shared<const mugrove::PictureBytes>(data, data + size);
    mugrove::Image still;
    std::unique_ptr<mugrove::Animation> player;
    if (mugrove::DecodeClip(source, still, player) != mugrove::DecodeError::None)
        return 0;
    if (still.width <= 0 || still.height <= 0 ||
        still.pixels.size() != static_cast<std::size_t>(still.width) * static_cast<std::size_t>(still.height))
        __builtin_trap();
    if (!player)
        return 0;
    const std::size_t frame = static_cast<std::size_t>(player->Width()) * static_cast<std::size_t>(player->Height());
    const std::size_t steps =
        std::max<std::size_t>(1, std::min<std::size_t>(player->FrameCount() + 2, (std::size_t{4} << 20) / frame));
    for (std::size_t i = 0; i < steps; ++i) {
        if (player->Advance() != mugrove::DecodeError::None)
            break;
        const mugrove::Image& canvas = player->Canvas();
        if (canvas.width != player->Width() || canvas.height != player->Height() ||
            player->Current() >= player->FrameCount() || player->DelayMs(player->Current()) < 1)
            __builtin_trap();
    }
    return 0;
}
