#pragma once

#include "controls/decoders/Animation.h"
#include "controls/decoders/Image.h"
#include "controls/decoders/PictureBytes.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct WebPAnimDecoder;

namespace mugrove {

// A still WebP: lossy or lossless, with or without alpha. An animated file
// is refused as Unsupported here; WebpAnimation plays those.
DecodeError DecodeWebp(std::span<const std::uint8_t> data, Image& out);

// An animated WebP, decoded frame by frame from the file's bytes as it is
// played. Frames are composed by the library onto the canvas (offsets,
// blending, disposal to transparent), so the canvas is what a viewer shows.
class WebpAnimation final : public Animation {
public:
    // Reads the file's frame index; the bytes are kept, shared with every
    // clone. Fails with why when the file is no animated WebP we can play,
    // or its canvas is beyond the caps (a picture and its player hold four).
    static DecodeError Open(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<WebpAnimation>& out);
    ~WebpAnimation() override;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    std::size_t FrameCount() const override { return frames_->size(); }
    int LoopCount() const override { return loopCount_; }
    // A stored 0 shows for 50 ms and anything shorter than 10 ms for 10 ms,
    // as a GIF's delays do.
    int DelayMs(std::size_t index) const override;

    // A frame whose data cannot be decoded ends the round: the canvas keeps
    // the last good frame, and the next call starts again at the first.
    DecodeError Advance() override;
    void Reset() override;
    const Image& Canvas() const override { return canvas_; }
    std::size_t Current() const override { return current_; }
    std::unique_ptr<Animation> Clone() const override;

private:
    friend DecodeError DecodeWebpAsStored(std::shared_ptr<const PictureBytes>, Image&, std::unique_ptr<Animation>&);

    // What a frame changes on the canvas: its own rectangle, and afterwards
    // that rectangle again when it is disposed to transparent.
    struct Frame {
        int delay = 0; // milliseconds as stored
        int x = 0, y = 0, width = 0, height = 0;
        bool disposed = false;
    };
    struct Index {
        int width = 0, height = 0, loopCount = 0;
        std::vector<Frame> frames;
    };
    void CopyArea(const std::uint8_t* from, const Frame& area);
    WebpAnimation(std::shared_ptr<const PictureBytes> bytes, std::shared_ptr<const Index> index,
                  WebPAnimDecoder* decoder);

    std::shared_ptr<const PictureBytes> bytes_;
    std::shared_ptr<const Index> index_;
    const std::vector<Frame>* frames_;
    int width_ = 0, height_ = 0, loopCount_ = 0;
    WebPAnimDecoder* decoder_ = nullptr; // owned; null when it could not be made
    Image canvas_;
    std::size_t current_ = 0;
    std::size_t next_ = 0;
    bool restart_ = false;
    // The first frame is decoded once for the still picture; the library
    // keeps it until its next call, so playing from the start does not
    // decode it again.
    const std::uint8_t* primed_ = nullptr;
    const std::uint8_t* shown_ = nullptr; // the library's last composed frame
};

// Any WebP file: its still picture and, for an animation of two frames or
// more, the player (whose first frame the still picture is), turned by the
// file's EXIF orientation and converted by its colour profile.
DecodeError DecodeWebpPicture(std::shared_ptr<const PictureBytes> bytes, Image& still,
                              std::unique_ptr<Animation>& animation);

// The same with the pixels as stored, nothing turned or converted.
DecodeError DecodeWebpAsStored(std::shared_ptr<const PictureBytes> bytes, Image& still,
                               std::unique_ptr<Animation>& animation);

} // namespace mugrove
