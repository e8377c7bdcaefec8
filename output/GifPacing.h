#pragma once

#include "controls/decoders/Animation.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace mugrove {

// The most frames a second a GIF made from a clip shows: more only make the
// file larger, and many viewers cannot keep up with them.
inline constexpr int kGifMaxFramesPerSecond = 30;
// The shortest delay written: browsers show shorter ones as 10 cs.
inline constexpr int kGifMinDelayCs = 2;

// One frame of such a GIF: which frame of the clip, shown how long.
struct PacedFrame {
    std::size_t source;
    int delayCs;
};

// The frames of a clip's segment as a GIF shows them. `startsMs` says when
// each frame starts (the first at 0, rising), `endMs` when the segment ends.
// Above kGifMaxFramesPerSecond frames are dropped evenly, the first and the
// last kept; no delay is under kGifMinDelayCs; the delays add up to the
// segment's length in hundredths of a second.
std::vector<PacedFrame> PaceForGif(const std::vector<int>& startsMs, int endMs);

// A player showing `clip` (at its start) paced as above: the frames it keeps,
// each for a whole number of hundredths of a second.
std::unique_ptr<Animation> PacedForGif(std::unique_ptr<Animation> clip);

} // namespace mugrove
