#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace mugrove {

// Frames closer together than this are not shown apart: a timer cannot
// keep up with them, and a box shows at most a hundred frames a second.
inline constexpr int kMinClipFrameMs = 10;

// A frame as its packet stamps it, in the ticks of its stream's time base.
struct StampedFrame {
    std::int64_t stamp = 0;
    std::int64_t duration = 0; // 0 when the packet does not say
    auto operator<=>(const StampedFrame&) const = default;
};

// When the frames of a segment show.
struct ClipFrameTimes {
    std::vector<std::int64_t> stamps; // the frames shown, in time order
    std::vector<int> startMs;         // when each shows, from the segment's start
    // The same to the microsecond, for a file that keeps the clip's own
    // timing (a frame every 1/30 s is not a whole number of milliseconds).
    std::vector<std::int64_t> startUs;
    int lastDelayMs = 0;              // how long the last one shows
    double spanSeconds = 0;           // the segment as played, from its start

    std::size_t Count() const { return stamps.size(); }
    // How long frame `index` shows, in milliseconds.
    int DelayMs(std::size_t index) const
    {
        return index + 1 < startMs.size() ? startMs[index + 1] - startMs[index] : lastDelayMs;
    }
};

// The times of a segment that starts at tick `start`, from its frames in
// time order (the first may lie before the start: the frame on show at it).
// A frame closer than kMinClipFrameMs to the one kept before it is dropped,
// except that a frame just after the start replaces one from before it; at
// most `maxFrames` are kept. The last shows for its own duration, else as
// long as the one before it, else 100 ms; the segment ends there, or at
// `cutSeconds` after its start when that comes first. No frames when none
// are given.
ClipFrameTimes TimeFrames(std::span<const StampedFrame> frames, std::int64_t start, double secondsPerTick,
                          std::optional<double> cutSeconds, std::size_t maxFrames);

} // namespace mugrove
