#include "controls/clips/ClipFrameTimes.h"

#include <algorithm>
#include <cmath>

namespace mugrove {

ClipFrameTimes TimeFrames(std::span<const StampedFrame> frames, std::int64_t start, double secondsPerTick,
                          std::optional<double> cutSeconds, std::size_t maxFrames)
{
    ClipFrameTimes t;
    int lastDuration = 0;
    for (const StampedFrame& f : frames) {
        const double fromUs = static_cast<double>(std::max<std::int64_t>(f.stamp - start, 0)) * secondsPerTick * 1e6;
        const auto ms = static_cast<int>(std::llround(fromUs / 1000.0));
        if (!t.startMs.empty() && ms - t.startMs.back() < kMinClipFrameMs) {
            // A frame just after the start shows rather than the one before it.
            if (t.stamps.size() == 1 && t.stamps[0] < start)
                t.stamps[0] = f.stamp;
            continue;
        }
        if (t.stamps.size() == maxFrames)
            break;
        t.stamps.push_back(f.stamp);
        t.startMs.push_back(ms);
        t.startUs.push_back(std::llround(fromUs));
        lastDuration = static_cast<int>(
            std::clamp<double>(std::round(static_cast<double>(f.duration) * secondsPerTick * 1000.0), 0, 60000));
    }
    if (t.stamps.empty())
        return t;
    if (lastDuration <= 0)
        lastDuration = t.startMs.size() > 1 ? t.startMs.back() - t.startMs[t.startMs.size() - 2] : 100;
    double span = (t.startMs.back() + std::max(lastDuration, kMinClipFrameMs)) / 1000.0;
    if (cutSeconds)
        span = std::min(span, *cutSeconds);
    t.spanSeconds = span;
    t.lastDelayMs = std::max(kMinClipFrameMs, static_cast<int>(std::lround(span * 1000.0)) - t.startMs.back());
    return t;
}

} // namespace mugrove
