#pragma once

#include "controls/decoders/Image.h"
#include "output/ShownPicture.h"

#include <cstdint>
#include <vector>

namespace mugrove {

// An encoded file. Its buffer is not cleared before the encoder writes it.
using EncodedBytes = std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>>;

// What the work area shows as a baseline JPEG with every channel at full
// resolution, so thin caption strokes keep their colour. It is read straight
// from the picture's rows, so a big picture costs no pass over its pixels
// before the encoder's own. With `fittedTables` the Huffman tables are made
// for this picture in a second pass: the same pixels in a few percent fewer
// bytes, for a save that has to fit; with `halfChroma` the colour channels
// are kept at half the width and height (4:2:0), leaving more of the bytes to
// brightness. Empty on any encoder error.
EncodedBytes EncodeShownAsJpeg(const ShownPicture& shown, int quality = 95, bool fittedTables = false,
                               bool halfChroma = false);

} // namespace mugrove
