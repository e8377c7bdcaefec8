#pragma once

// Palettes made by libimagequant: one for a frame's changed rectangle, with
// the frame mapped to it. (A film's one palette is FilmPalette, in the
// encoder's public header.)

#include "output/gif/PixelMasks.h"

#include <QImage>
#include <QRect>

#include <cstdint>
#include <memory>
#include <vector>

namespace mugrove::gif {

class FrameQuantizer {
public:
    FrameQuantizer();
    ~FrameQuantizer();
    FrameQuantizer(const FrameQuantizer&) = delete;
    FrameQuantizer& operator=(const FrameQuantizer&) = delete;

    // False when libimagequant cannot be set up.
    bool Ready() const;

    // A palette of at most `maxColours` for the pixels of `rect` of `frame`
    // (RGB32) the viewer must show anew, holding `fixed` (0xRRGGBB)
    // exactly, with one entry more left free for transparency when `holes`;
    // the rectangle's indices in it, dithered at `dither`, rect's width a
    // row. The palette, or empty when none could be made.
    std::vector<std::uint32_t> Quantize(const QImage& frame, const QRect& rect, const PixelMasks& masks, bool holes,
                                        const std::vector<std::uint32_t>& fixed, int maxColours, float dither,
                                        std::vector<std::uint8_t>& indices);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace mugrove::gif
