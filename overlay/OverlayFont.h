#pragma once

// The record type lives with the other font descriptions, since the caption
// control reads and writes it as its Font.
#include "app/model/LogFont.h"

namespace mugrove {

// The one instance: created at start-up with Size 9 and FaceName "宋体",
// released by the clean-up at exit.
void CreateOverlayFont();
void ReleaseOverlayFont();
// Null before creation and after release.
OverlayFont* TheOverlayFont();

} // namespace mugrove
