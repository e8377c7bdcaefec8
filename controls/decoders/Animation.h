#pragma once

#include "controls/decoders/Image.h"

#include <algorithm>
#include <any>
#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>

namespace mugrove {

// How long a frame stays on show, in milliseconds, for the delay its file
// stores in milliseconds (fractions round to the nearest): a delay of
// nothing (zero or less, or not a number) shows for 50 ms as viewers show
// it, and none shows for less than 10 ms or longer than a GIF can keep
// (655.35 s). AVIF sequences and animated JPEG XL files play by this.
inline int FrameDelayMs(double storedMs)
{
    if (!std::isfinite(storedMs) || storedMs < 0.5)
        return 50;
    return static_cast<int>(std::min(std::max(std::round(storedMs), 10.0), 655350.0));
}

// A picture of several frames, decoded one frame at a time as it is shown.
// A player keeps the file's bytes (shared, never copied per player) and a
// small index of its frames, and composes each frame onto one canvas of the
// picture's size when its turn comes, so memory does not grow with the
// number of frames. GIF and animated WebP both play through this.
class Animation {
public:
    virtual ~Animation() = default;

    // The canvas size: a GIF's logical screen, a WebP's canvas.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Frames found in the index built when the picture was read (two or
    // more; a file with one frame is a still picture).
    virtual std::size_t FrameCount() const = 0;
    // How often the file asks to be played: 0 for ever.
    virtual int LoopCount() const = 0;
    // How long frame `index` stays on show, in milliseconds, after the
    // format's own rules (a GIF's ×10 and 0 → 50).
    virtual int DelayMs(std::size_t index) const = 0;

    // Composes the next frame onto the canvas: the first after creation or
    // Reset, and after the last the first again from a cleared canvas.
    // Returns None, or why the frame's data could not be decoded; then the
    // canvas still shows the last good frame and Current() is unchanged.
    virtual DecodeError Advance() = 0;
    virtual void Reset() = 0;
    // The composed frame, 0xAARRGGBB, Width() × Height(); empty before the
    // first Advance.
    virtual const Image& Canvas() const = 0;
    // Index of the frame now on the canvas; meaningless before Advance.
    virtual std::size_t Current() const = 0;

    // An independent player over the same bytes, at its start (nothing
    // composed yet): safe to drive on another thread while this one plays.
    virtual std::unique_ptr<Animation> Clone() const = 0;

    // Work the box showing the frames wants done on every frame as it is
    // made (shrinking it to the box, say). A player that decodes ahead on a
    // worker does it there, off the box's thread, and hands the result back
    // with the frame; the others ignore it, and the box does the work
    // itself. Not passed on to clones.
    using FrameTask = std::function<std::any(const Image&)>;
    virtual void SetFrameTask(FrameTask) {}
    // The task's result for the frame on the canvas; empty when there is
    // none. Read it back as the type the task returns (std::any_cast to a
    // pointer gives null for any other).
    virtual const std::any& TaskResult() const
    {
        static const std::any none;
        return none;
    }
};

} // namespace mugrove
