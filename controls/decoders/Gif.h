#pragma once

#include "controls/decoders/Image.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mugrove {

// One image of a GIF, kept as colour indices and cut to the logical screen
// (pixels outside it are never shown), so a long animation costs a byte per
// shown pixel per frame rather than a full composed picture per frame.
struct GifFrame {
    // The frame's own rectangle as stored in the file.
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    // The stored part: rows clipTop..clipTop+clipHeight-1 and columns
    // clipLeft..clipLeft+clipWidth-1 of the frame, in frame coordinates.
    int clipLeft = 0, clipTop = 0, clipWidth = 0, clipHeight = 0;
    std::vector<std::uint8_t> indices;  // clipWidth × clipHeight, top-down
    // Pixels decoded from the stream, in stream (interlaced) order; when the
    // compressed data ends early the rest leave the picture unchanged.
    std::uint64_t decodedPixels = 0;
    std::size_t palette = 0;            // index into GifAnimation::palettes
    int transparentIndex = -1;          // -1: none
    int disposal = 0;                   // 0..7 as stored
    int delayMs = 50;                   // after ×10 and the 0 → 50 rule
};

struct GifAnimation {
    int width = 0, height = 0;          // the logical screen
    std::vector<std::vector<std::uint32_t>> palettes; // opaque 0xFFRRGGBB, 256 entries each
    std::vector<GifFrame> frames;
};

// Decodes every frame of a GIF 87a/89a file. A truncated file keeps the
// frames completed so far; one with no complete frame gives no picture.
DecodeError DecodeGif(std::span<const std::uint8_t> data, GifAnimation& out);

// Composes frames in file order onto a canvas of the logical screen size,
// which starts fully transparent. Frames with disposal 2 or 3 have the area
// they cover saved before they are drawn and put back before the next frame.
// After the last frame it starts again from a cleared canvas.
class GifComposer {
public:
    explicit GifComposer(const GifAnimation& animation); // keeps a reference
    // Composes the next frame (the first after construction or Reset) and
    // returns its index.
    std::size_t Advance();
    void Reset();
    const Image& Canvas() const { return canvas_; }
    // Index of the frame now on the canvas; meaningless before Advance.
    std::size_t Current() const { return current_; }

private:
    void Draw(const GifFrame& frame);
    void SaveArea(const GifFrame& frame);
    void RestoreArea();

    const GifAnimation& animation_; // not owned: outlives the composer
    Image canvas_;
    std::vector<std::uint32_t> saved_;
    int savedLeft_ = 0, savedTop_ = 0, savedWidth_ = 0, savedHeight_ = 0;
    bool restorePending_ = false;
    std::size_t current_ = 0;
    bool started_ = false;
};

// The first frame composed alone: the still picture of a GIF.
Image ComposeFirstFrame(const GifAnimation& animation);

} // namespace mugrove
