#pragma once

#include "AvHandles.h"
#include "EncodeFrame.h"

#include <functional>
#include <string>

namespace mugrove::mp4 {

// Frame times are counted in this unit: fine enough for any clip's own
// timing and for a GIF's hundredths of a second.
inline constexpr AVRational kVideoTimeBase{1, 90000};

struct VideoSettings {
    int width = 0; // even
    int height = 0; // even
    // The mean frame rate, which the rate control reasons with; the frames'
    // own times still decide when each shows.
    AVRational frameRate{30, 1};
    enum class Rate {
        Quality,    // the quality `crf` asks for, whatever the size
        FirstPass,  // a pass that writes what it learns to `statsPath`
        SecondPass, // `kbps` spread as the first pass found best
    };
    Rate rate = Rate::Quality;
    double crf = 23;
    int kbps = 0;
    std::string statsPath;
    // A first pass in the quality's mode, writing its statistics as it goes,
    // rather than a quick one at `kbps`: its result may be kept.
    bool firstPassAtQuality = false;
};

// H.264 through libavcodec's libx264: frames in, packets out in decoding
// order with their times in kVideoTimeBase.
class VideoEncoder {
public:

    static std::unique_ptr<VideoEncoder> Open(const VideoSettings& settings, std::string& failure);

    const AVCodecContext& Context() const { return *context_; }

    // Encodes `frame` (null once the frames are over, to drain what the
    // encoder holds back) and hands each packet that comes out to `sink`.
    bool Encode(const AVFrame* frame, const PacketSink& sink, std::string& failure);

private:
    explicit VideoEncoder(CodecContextPtr context, PacketPtr packet);
    CodecContextPtr context_;
    PacketPtr packet_;
};

} // namespace mugrove::mp4
