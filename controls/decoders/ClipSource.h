#pragma once

#include "controls/decoders/PictureBytes.h"

#include <memory>
#include <string>

namespace mugrove {

// Where a clip is read from as it plays: a file, opened anew by every
// player, or bytes held in memory and shared by every player, or (in a
// decoder process, which opens nothing) a descriptor read by position, so
// that players never move each other's place; whoever made the source keeps
// the descriptor open while any player of it lives.
struct ClipSource {
    std::string path;
    std::shared_ptr<const PictureBytes> bytes;
    int descriptor = -1;
};

// A stretch of a clip in seconds, counted from its first frame. An end at or
// before the start stands for the stretch a clip plays when it opens.
struct ClipSegment {
    double start = 0;
    double end = 0;
};

// A clip on show: where it comes from, its whole length and the stretch of
// it that plays, so another stretch can be chosen later.
struct ShownClip {
    ClipSource source;
    double length = 0;
    ClipSegment segment;
};

} // namespace mugrove
