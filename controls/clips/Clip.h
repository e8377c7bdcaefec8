#pragma once

#include "controls/clips/ClipDecoder.h"
#include "controls/decoders/Animation.h"
#include "controls/decoders/ClipSource.h"
#include "controls/decoders/DecodedPicture.h"
#include "controls/decoders/Image.h"

#include <any>
#include <cstddef>
#include <memory>

namespace mugrove {

// A video clip played frame by frame from its source, never read whole.
// A worker thread runs the clip's decoder a few frames ahead, so memory
// stays flat however long the clip is. The frames played are those of the
// segment, looping.
class ClipPlayer final : public Animation {
public:
    // Opens the clip's decoder (see ClipDecoder::Open) and starts the worker.
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
    void SetFrameTask(FrameTask task) override;
    const std::any& TaskResult() const override { return taskResult_; }

    // The whole clip's length in seconds, as its container tells it (or,
    // when that is missing, the segment's end); and the segment's start and
    // end, counted from the first frame.
    double LengthSeconds() const;
    double SegmentStart() const;
    double SegmentEnd() const;
    // The rotation applied to show the clip upright, clockwise: 0, 90, 180 or 270.
    int Rotation() const;

private:
    struct Playing; // the clip's facts, the worker and what crosses to it
    explicit ClipPlayer(std::unique_ptr<Playing> playing);
    std::unique_ptr<Playing> playing_;
    Image canvas_;
    std::any taskResult_;
    std::size_t current_ = 0;
    // The first frame stays on the canvas after Open's first Advance: a
    // Reset straight after it plays on from there instead of decoding it again.
    bool primed_ = false;
};

// A clip as a decoded picture of kind Clip that knows its clip, playing
// `segment`: its first frame as the still picture, and its player when the
// segment has two frames or more.
DecodeError DecodeClipInProcess(ClipSource source, DecodedPicture& out, ClipSegment segment = {});

// The frame on show `seconds` after the clip's first, at the clip's display
// size, decoded on the caller's thread.
DecodeError DecodeClipFrameAtInProcess(const ClipSource& source, double seconds, Image& out);

} // namespace mugrove
