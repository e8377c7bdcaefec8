#pragma once

#include "AvHandles.h"
#include "EncodeFrame.h"
#include "Mp4.h"

#include <functional>
#include <string>

namespace mugrove::mp4 {

// AAC through libavcodec's own encoder: interleaved float samples in,
// packets out with their times in samples of the output rate. More than
// two channels are mixed down to stereo; a sample rate AAC has no code for
// is converted to the next one up.
class SoundEncoder {
public:

    // `totalFrames` is how many samples (at `format`'s rate) will come in
    // all: the sound is made exactly that long.
    static std::unique_ptr<SoundEncoder> Open(SoundFormat format, int kbps, std::int64_t totalFrames,
                                              std::string& failure);
    ~SoundEncoder();

    const AVCodecContext& Context() const { return *context_; }

    // Encodes `frames` samples of `channels` interleaved floats each.
    bool Add(const float* samples, std::size_t frames, const PacketSink& sink, std::string& failure);
    // Encodes what is left and drains the encoder.
    bool Finish(const PacketSink& sink, std::string& failure);

private:
    SoundEncoder() = default;
    bool Resample(const float* samples, int frames, std::string& failure);
    bool EncodeFull(const PacketSink& sink, bool all, std::string& failure);
    bool Send(const AVFrame* frame, const PacketSink& sink, std::string& failure);

    CodecContextPtr context_;
    ResamplerPtr resampler_;
    AudioFifoPtr fifo_;
    FramePtr frame_;
    PacketPtr packet_;
    int inChannels_ = 0;
    std::int64_t wanted_ = 0;  // output samples in all
    std::int64_t queued_ = 0;  // output samples put in the fifo
    std::int64_t sent_ = 0;    // output samples sent to the encoder
};

// The sample rate AAC codes `rate` at: itself when AAC has a code for it,
// else the next higher rate that has one (48000 for anything above 96000).
int AacSampleRate(int rate);

} // namespace mugrove::mp4
