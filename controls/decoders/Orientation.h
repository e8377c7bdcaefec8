#pragma once

#include "controls/decoders/Image.h"

namespace mugrove {

// Turns a picture stored with EXIF orientation 2..8 the right way up (5..8
// swap width and height). 1 and any other value leave it as stored.
// Returns false (picture unchanged) only when memory runs out.
bool ApplyOrientation(Image& image, int orientation);

// Whether the tag swaps the picture's width and height.
constexpr bool OrientationSwapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// Writes `count` stored rows, starting at stored row `firstRow`, of a
// storedWidth × storedHeight picture into `target` (already sized
// storedHeight × storedWidth) turned by orientation 5..8. Decoders that
// turn a picture band by band while it is still in the cache use this.
void TurnRowsInto(Image& target, const std::uint32_t* rows, int firstRow, int count, int storedWidth,
                  int storedHeight, int orientation);

} // namespace mugrove
