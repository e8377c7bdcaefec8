// One target for every kind that may hold an animation; the build makes one
// program per kind, naming its decoder in MUGROVE_FUZZ_DECODER.

#include "controls/decoders/Avif.h"
#include "controls/decoders/Jxl.h"
#include "controls/decoders/Webp.h"

#if defined(MUGROVE_FUZZ_AV1)
#include <avif/avif.h>
#endif

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

#if defined(MUGROVE_FUZZ_AV1)
// AV1 decoding is the library's, not ours, and uninstrumented it still takes
// seconds under the sanitizers for a few megapixels, which the fuzzer
// reports as a hang. So, as image libraries' own fuzzers do, pictures above
// a megapixel are only parsed (the caps are checked in parsing), never
// decoded. The program decodes them; the tests and benchmarks cover that.
constexpr std::uint64_t kMostPixelsDecoded = std::uint64_t{1} << 20;

bool WithinPixelCap(const std::uint8_t* data, std::size_t size)
{
    avifDecoder* decoder = avifDecoderCreate();
    if (decoder == nullptr)
        return false;
    bool small = true;
    if (avifDecoderSetIOMemory(decoder, data, size) == AVIF_RESULT_OK && avifDecoderParse(decoder) == AVIF_RESULT_OK)
        small = std::uint64_t{decoder->image->width} * decoder->image->height <= kMostPixelsDecoded;
    avifDecoderDestroy(decoder);
    return small;
}
#else
bool WithinPixelCap(const std::uint8_t*, std::size_t) { return true; }
#endif

} // namespace

// Still pictures and animations: an animation is played through twice
// (at most a few dozen frames), and a clone once, so the player's restart
// after the last or a broken frame is exercised too. Every frame costs
// whole-canvas copies, so large canvases get fewer frames: the point is the
// paths through the player, not how long a big canvas takes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!WithinPixelCap(data, size))
        return 0;
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
