#include "controls/decoders/Webp.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

bool Whole(const mugrove::Image& image, int width, int height)
{
    return image.width == width && image.height == height &&
           image.pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

} // namespace

// Still pictures and animations: an animation is played through twice
// (at most a few dozen frames), and a clone once, so the player's restart
// after the last or a broken frame is exercised too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto bytes = std::make_shared<const mugrove::PictureBytes>(data, data + size);
    mugrove::Image still;
    std::unique_ptr<mugrove::Animation> player;
    if (mugrove::DecodeWebpPicture(bytes, still, player) != mugrove::DecodeError::None)
        return 0;
    if (still.width <= 0 || !Whole(still, still.width, still.height))
        __builtin_trap();
    if (!player)
        return 0;
    if (player->FrameCount() < 2 || !Whole(still, player->Width(), player->Height()))
        __builtin_trap();
    const std::size_t steps = player->FrameCount() < 20 ? 2 * player->FrameCount() : 40;
    const std::unique_ptr<mugrove::Animation> clone = player->Clone();
    for (std::size_t i = 0; i < steps; ++i) {
        if (player->Advance() == mugrove::DecodeError::None &&
            (!Whole(player->Canvas(), player->Width(), player->Height()) ||
             player->Current() >= player->FrameCount() || player->DelayMs(player->Current()) < 10))
            __builtin_trap();
        if (i < steps / 2)
            clone->Advance();
    }
    return 0;
}
