#pragma once

// The clip reader's own: a clip's sound stream decoded beside its video
// from the packets the decoder's one reading loop hands it. Not for use
// outside controls/clips.

#include "ClipLibav.h"

extern "C" {
#include <libswresample/swresample.h>
}

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mugrove::clips {

struct ResamplerFree {
    void operator()(SwrContext* swr) const noexcept { swr_free(&swr); }
};

// The sound stream of a clip: packets in, runs of interleaved float samples
// out at the stream's first rate and channel count, each with its time.
class ClipSound {
public:
    // A run of `frames` samples, the first at `seconds` on the clip's own
    // clock (the container's time 0, not the video's first frame).
    using RunSink = std::function<bool(const float* samples, std::size_t frames, double seconds)>;

    // Opens the clip's default sound stream: the one flagged as the default
    // when several are, else the one libav thinks best for `videoStream`.
    // False with `why` set when there is one that cannot be decoded; false
    // with `why` empty when there is none.
    bool Open(AVFormatContext& format, int videoStream, std::string& why);
    ClipSound() = default;
    ~ClipSound();
    ClipSound(const ClipSound&) = delete;
    ClipSound& operator=(const ClipSound&) = delete;

    int Stream() const { return stream_; }
    int SampleRate() const { return rate_; }
    int Channels() const { return channels_; }
    // The stamp (in the stream's time base) of `seconds` on the clip's clock.
    std::int64_t StampAt(double seconds) const;

    // Starts a new round: whatever the decoder holds is dropped.
    void Flush();
    // Decodes `packet` and hands on every run it gives; false when the sink
    // says to stop. Data that cannot be decoded is passed over.
    bool Send(const AVPacket* packet, const RunSink& sink);

private:
    bool Receive(const RunSink& sink);
    bool Convert(const AVFrame& frame, const RunSink& sink);

    int stream_ = -1;
    int rate_ = 0;
    int channels_ = 0;
    AVRational timeBase_{1, 1};
    CodecPtr codec_;
    FramePtr frame_{av_frame_alloc()};
    std::unique_ptr<SwrContext, ResamplerFree> resampler_;
    // What the resampler was made for: a frame of another shape makes anew.
    int inRate_ = 0, inFormat_ = -1;
    AVChannelLayout inLayout_{};
    double nextSeconds_ = 0; // where a run without a time of its own goes
    std::vector<float> out_;
};

} // namespace mugrove::clips
