#include "controls/clips/Clip.h"
#include "controls/clips/ClipDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// A frame found by its time, and a stretch from inside the clip, each from
// an opening of its own: their frames come at the still picture's size.
void FrameAtAndStretch(const mugrove::ClipSource& source, const mugrove::Image& still)
{
    mugrove::Image at;
    if (mugrove::DecodeClipFrameAtInProcess(source, 0.5, at) == mugrove::DecodeError::None &&
        (at.width != still.width || at.height != still.height))
        __builtin_trap();
    std::unique_ptr<mugrove::ClipPlayer> stretch;
    if (mugrove::ClipPlayer::Open(source, stretch, {0.3, 1.0}) == mugrove::DecodeError::None) {
        if (stretch->SegmentEnd() > 1.0 + 1e-9 || stretch->SegmentStart() != 0.3 || stretch->FrameCount() == 0)
            __builtin_trap();
        for (int i = 0; i < 3 && stretch->Advance() == mugrove::DecodeError::None; ++i)
            if (stretch->Canvas().width != still.width || stretch->Canvas().height != still.height)
                __builtin_trap();
    }
}

// Takes a segment's frames and checks its sound's runs: samples there,
// the last of each run read, a time that is a number.
class SoundCheck final : public mugrove::ClipFrameSink {
public:
    explicit SoundCheck(int channels) : channels_(channels) {}
    bool Take(std::size_t, mugrove::Image&) override { return true; }
    bool TakeSound(const float* samples, std::size_t frames, double seconds) override
    {
        if (samples == nullptr || frames == 0 || !std::isfinite(seconds))
            __builtin_trap();
        last_ = samples[frames * static_cast<std::size_t>(channels_) - 1];
        return true;
    }

private:
    int channels_;
    volatile float last_ = 0;
};

// The first second decoded again with its sound, when it has any.
void WithSound(const mugrove::ClipSource& source)
{
    std::unique_ptr<mugrove::ClipDecoder> decoder;
    if (mugrove::ClipDecoder::Open(source, {0, 1.0}, decoder) != mugrove::DecodeError::None)
        return;
    std::string why;
    const std::optional<mugrove::ClipSoundFormat> format = decoder->OpenSound(why);
    if (!format)
        return;
    if (format->channels < 1 || format->channels > 8 || format->sampleRate < 1)
        __builtin_trap();
    SoundCheck sink(format->channels);
    decoder->DecodeSegment(sink);
}

} // namespace

// A clip read from memory through the same reader a file uses: opened,
// its first frame taken as the still picture, a frame found by its time, a
// stretch from inside it played and its first second decoded with its
// sound, then played a round and a bit, so the loop back to the start is
// exercised too. Large frames get fewer steps, and no further openings
// (small frames take the same paths): the point is the paths, not how long
// a big frame takes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mugrove::ClipSource source;
    source.bytes = std::make_shared<const mugrove::PictureBytes>(data, data + size);
    mugrove::DecodedPicture decoded;
    if (mugrove::DecodeClipInProcess(source, decoded) != mugrove::DecodeError::None)
        return 0;
    const mugrove::Image& still = decoded.image;
    if (still.width <= 0 || still.height <= 0 ||
        still.pixels.size() != static_cast<std::size_t>(still.width) * static_cast<std::size_t>(still.height))
        __builtin_trap();
    const std::size_t frame = still.pixels.size();
    if (frame <= (std::size_t{1} << 20)) {
        FrameAtAndStretch(source, still);
        WithSound(source);
    }
    mugrove::Animation* player = decoded.animation.get();
    if (player == nullptr)
        return 0;
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
