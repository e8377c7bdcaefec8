#pragma once

#include "Mp4.h"
#include "VideoEncoder.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mugrove::mp4 {

struct PassSettings {
    VideoSettings video;       // its size is the size encoded at, made even
    int encodedWidth = 0;      // the pictures scaled to this (before evening)
    int encodedHeight = 0;
    std::optional<SoundFormat> sound; // none: no audio stream
    int soundKbps = 0;
    // A pass that only teaches the rate control writes no file.
    bool writes = true;
};

struct PassOutcome {
    std::vector<std::uint8_t> bytes;
    std::uint64_t videoBytes = 0; // of the coded pictures alone
    std::string failure;          // set when the pass failed
    bool stopped = false;         // the progress asked to stop
};

// One reading of the source through the encoders: every picture converted
// and coded at its own time, the sound laid on the pictures' timeline and
// coded, both muxed into an MP4. `tick` is told after each picture and
// returns false to stop.
PassOutcome RunPass(Source& source, const Description& description, const PassSettings& settings,
                    const std::function<bool()>& tick);

} // namespace mugrove::mp4
