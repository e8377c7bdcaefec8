#pragma once

#include "controls/decoders/Animation.h"
#include "controls/decoders/ClipSource.h"
#include "controls/decoders/DecodedPicture.h"
#include "controls/decoders/Image.h"
#include "controls/decoders/PictureBytes.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace mugrove {

// The longest stretch of a clip played when it opens, in seconds.
inline constexpr double kDefaultSegmentSeconds = 15.0;
// The longest stretch that can be chosen: a reaction GIF is seconds long,
// and the frame times of a longer one would take long to gather.
inline constexpr double kMaxSegmentSeconds = 60.0;
// A clip with more streams than this is not opened: no real file needs
// them, and each costs the demuxer memory.
inline constexpr unsigned kMaxClipStreams = 64;
// Frames closer together than this are not shown apart: a timer cannot
// keep up with them, and a box shows at most a hundred frames a second.
inline constexpr int kMinClipFrameMs = 10;

// True when the leading bytes are those of a video container: an ISO base
// media file whose `ftyp` names a video brand, or an EBML header (WebM,
// Matroska). Picture containers of the same family (HEIF, AVIF) are not.
bool LooksLikeClip(std::span<const std::uint8_t> head);

// A video clip played frame by frame from its source, never read whole.
// A worker thread decodes a few frames ahead and converts each once to the
// clip's display size (rotation and pixel shape applied), so memory stays
// flat however long the clip is. The frames played are those of the
// segment, looping: from its start (the frame on show at that moment) to
// its end, at most kMaxSegmentSeconds; by default from the first frame for
// at most kDefaultSegmentSeconds.
class ClipPlayer final : public Animation {
public:
    // Opens the source, checks its stream count and sizes against the caps
    // before any frame is decoded, reads the segment's frame times and
    // starts the worker. Fails with why when there is no video stream that
    // can be decoded.
    static DecodeError Open(ClipSource source, std::unique_ptr<ClipPlayer>& out, ClipSegment segment = {});
    ~ClipPlayer() override;

    int Width() const override;
    int Height() const override;
    std::size_t FrameCount() const override;
    int LoopCount() const override { return 0; }
    // From the frames' timestamps, so a variable frame rate plays as
    // recorded; the first frame from the segment's start, the last until
    // its end.
    int DelayMs(std::size_t index) const override;

    // Waits for the worker when it has not got the next frame ready yet.
    DecodeError Advance() override;
    void Reset() override;
    const Image& Canvas() const override { return canvas_; }
    std::size_t Current() const override { return current_; }
    std::unique_ptr<Animation> Clone() const override;
    // Done on the worker as each frame is converted.
    void SetFrameWork(FrameWork work) override;
    std::shared_ptr<const void> FrameWorkResult() const override { return workResult_; }

    // The whole clip's length in seconds, as its container tells it (or,
    // when that is missing, the segment's end); and the segment's start and
    // end, counted from the first frame.
    double LengthSeconds() const;
    double SegmentStart() const;
    double SegmentEnd() const;
    // The rotation applied to show the clip upright, clockwise: 0, 90, 180 or 270.
    int Rotation() const;

    struct Impl;

private:
    explicit ClipPlayer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    Image canvas_;
    std::shared_ptr<const void> workResult_;
    std::size_t current_ = 0;
    // The first frame stays on the canvas after Open's first Advance: a
    // Reset straight after it plays on from there instead of decoding it again.
    bool primed_ = false;
};

// A clip as a picture: its first frame as the still picture, and its player.
DecodeError DecodeClip(ClipSource source, Image& still, std::unique_ptr<Animation>& player);
// The same as a decoded picture of kind Clip that knows its clip, playing
// `segment`.
DecodeError DecodeClip(ClipSource source, DecodedPicture& out, ClipSegment segment = {});

// The frame on show `seconds` after the clip's first, at the clip's display
// size, decoded without a worker.
DecodeError DecodeClipFrameAt(const ClipSource& source, double seconds, Image& out);

} // namespace mugrove
