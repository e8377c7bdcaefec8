#pragma once

#include "app/model/LogFont.h"

#include <cstdint>

namespace mugrove {

// Whether a drag runs and where the caption was grabbed, in pixels from its
// top-left corner. All clear at start.
struct DragState {
    bool Dragging = false;
    std::int32_t GrabX = 0;
    std::int32_t GrabY = 0;
};

// What the caption's handlers keep between events: the font record the font
// dialog fills (Size 9, FaceName "宋体", the rest 0) and the drag in progress.
struct CaptionState {
    OverlayFont font;
    DragState drag;
    // Set while the controls are being shown a caption's values: the
    // writes that raise their events then change no caption.
    bool showing = false;
    // Set while a meme is put back: the band's caption then takes its kept
    // place instead of being laid out anew.
    bool placingBand = false;
};

} // namespace mugrove
