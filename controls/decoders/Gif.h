#pragma once

#include "controls/decoders/Animation.h"
#include "controls/decoders/Image.h"
#include "controls/decoders/PictureBytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <span>
#include <vector>

namespace mugrove {

// Where one image of a GIF file lies and how it is shown. Its pixels stay
// compressed in the file until its turn comes.
struct GifFrameInfo {
    // The frame's own rectangle as stored in the file.
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    // The part on the logical screen: the first clipWidth columns of the
    // first clipHeight rows (frames never start left of or above it).
    int clipWidth = 0, clipHeight = 0;
    std::size_t palette = 0;      // file offset of its colour table (local or global); 0: none
    int paletteColours = 0;       // entries in that table
    int transparentIndex = -1;    // -1: none
    int disposal = 0;             // 0..7 as stored
    int delayMs = 50;             // after ×10 and the 0 → 50 rule
    int minCodeSize = 2;
    std::size_t data = 0;         // file offset of the first LZW sub-block
};

// A GIF file read through once without decoding any pixels.
struct GifIndex {
    int width = 0, height = 0;    // the logical screen
    // How often the file asks to be played: 0 for ever; without the
    // NETSCAPE2.0 extension once; with it, its repeat count plus the first
    // showing.
    int loopCount = 1;
    std::vector<GifFrameInfo> frames;
    // The largest on-screen part of any frame, and of any frame whose area
    // is put back after it (disposal 2 or 3): what a player allocates.
    std::size_t largestClip = 0;
    std::size_t largestSavedClip = 0;
};

// Reads the headers and finds every frame. A truncated file keeps the frames
// whose data is complete; the frame that was cut is dropped, and with no
// complete frame there is no picture. An unknown block ends the picture in
// the same way. Checks the screen and the index against the memory caps.
DecodeError IndexGif(std::span<const std::uint8_t> data, GifIndex& out);

// Decompresses one frame's pixels into `indices` (clipWidth × clipHeight
// colour indices, top-down) and stops as soon as every on-screen row is
// done; pixels off the screen are counted, never expanded. `decodedPixels`
// is how many pixels the stream delivered, in stream (interlaced) order:
// when the data ends early the rest are not part of the frame. Returns
// CorruptData at a code that cannot occur, with the pixels before it kept.
DecodeError DecodeGifFrame(std::span<const std::uint8_t> data, const GifFrameInfo& frame,
                           std::uint8_t* indices, std::uint64_t& decodedPixels);

// The place in the stream of frame row y (of `height`): rows come straight
// down, or in the four interlace passes (every 8th row from 0, every 8th
// from 4, every 4th from 2, every 2nd from 1).
std::uint64_t GifStreamRow(int y, int height, bool interlaced);

// Plays a GIF frame by frame from the file's bytes and its index onto one
// canvas of the logical screen size, which starts fully transparent. Frames
// with disposal 2 or 3 have the area they cover saved before they are drawn
// and put back before the next frame. Pixels of a frame's transparent
// colour, and pixels its data never reached, leave the canvas as it is.
// A damaged frame after the first ends the play on the last good frame;
// what decodes of the first frame is always shown.
class GifPlayer final : public Animation {
public:
    GifPlayer(std::shared_ptr<const PictureBytes> bytes, std::shared_ptr<const GifIndex> index);

    int Width() const override { return index_->width; }
    int Height() const override { return index_->height; }
    std::size_t FrameCount() const override { return index_->frames.size(); }
    int LoopCount() const override { return index_->loopCount; }
    int DelayMs(std::size_t frame) const override { return index_->frames.at(frame).delayMs; }

    DecodeError Advance() override;
    void Reset() override;
    const Image& Canvas() const override;
    // The canvas itself, for a player that is not played any further.
    Image TakeCanvas() { return std::move(canvas_); }
    std::size_t Current() const override { return current_; }
    std::unique_ptr<Animation> Clone() const override;

private:
    DecodeError Allocate();
    void Draw(const GifFrameInfo& frame);
    void SaveArea(const GifFrameInfo& frame);
    void RestoreArea();

    std::shared_ptr<const PictureBytes> bytes_;
    std::shared_ptr<const GifIndex> index_;
    // Sized once, on the first Advance, so no later step allocates.
    Image canvas_;
    std::vector<std::uint32_t> saved_;
    std::vector<std::uint8_t> indices_;
    std::uint64_t decodedPixels_ = 0;
    std::array<std::uint32_t, 256> palette_{};
    // Where frames have drawn since the canvas was last clear: starting
    // the loop again clears only those, not the whole screen.
    struct Area {
        int left, top, width, height;
    };
    std::vector<Area> drawn_;
    int savedLeft_ = 0, savedTop_ = 0, savedWidth_ = 0, savedHeight_ = 0;
    bool restorePending_ = false;
    std::size_t current_ = 0;
    bool started_ = false;
};

// Reads a GIF: its first frame composed alone as the still picture and,
// when it has two frames or more, a player sharing `bytes`.
DecodeError DecodeGif(const std::shared_ptr<const PictureBytes>& bytes, Image& still,
                      std::unique_ptr<Animation>& player);

} // namespace mugrove
