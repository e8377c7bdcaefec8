// One target for every kind that may hold an animation; the build makes one
// program per kind, naming its decoder in MUGROVE_FUZZ_DECODER.

#include "controls/decoders/Avif.h"
#include "controls/decoders/Jxl.h"
#include "controls/decoders/Webp.h"

#include <algorithm>
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
// after the last or a broken frame is exercised too. Every frame costs
// whole-canvas copies, so large canvases get fewer frames: the point is the
// paths through the player, not how long a big canvas takes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto bytes = std::make_shared<const mugrove::PictureBytes>(data, data + size);
    mugrove::Image still;
    std::unique_ptr<mugrove::Animation> player;
    if (mugrove::MUGROVE_FUZZ_DECODER(bytes, still, player) != mugrove::DecodeError::None)
        return 0;
    if (still.width <= 0 || !Whole(still, still.width, still.height))
        __builtin_trap();
    if (!player)
        return 0;
    if (player->FrameCount() < 2 || !Whole(still, player->Width(), player->Height()))
        __builtin_trap();
    const std::size_t canvas = static_cast<std::size_t>(player->Width()) * static_cast<std::size_t>(player->Height());
    constexpr std::size_t kPixelFrames = std::size_t{4} << 20;
    const std::size_t steps = std::max<std::size_t>(
        1, std::min<std::size_t>(player->FrameCount() < 20 ? 2 * player->FrameCount() : 40, kPixelFrames / canvas));
    // A clone holds canvases of its own: only for canvases of modest size.
    const std::unique_ptr<mugrove::Animation> clone = canvas <= (std::size_t{1} << 20) ? player->Clone() : nullptr;
    for (std::size_t i = 0; i < steps; ++i) {
        if (player->Advance() == mugrove::DecodeError::None &&
            (!Whole(player->Canvas(), player->Width(), player->Height()) ||
             player->Current() >= player->FrameCount() || player->DelayMs(player->Current()) < 10))
            __builtin_trap();
        if (clone && i < steps / 2)
            clone->Advance();
    }
    return 0;
}
