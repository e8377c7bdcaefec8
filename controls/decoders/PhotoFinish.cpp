#include "controls/decoders/PhotoFinish.h"

#include "controls/decoders/Orientation.h"

#include <algorithm>

namespace mugrove {

bool PhotoFinish::Apply(Image& image) const
{
    if (colour)
        colour->RunOver(image);
    return ApplyOrientation(image, orientation);
}

namespace {

class FinishedAnimation final : public Animation {
public:
    FinishedAnimation(std::unique_ptr<Animation> inner, PhotoFinish finish)
        : inner_(std::move(inner)), finish_(std::move(finish)), turn_(OrientationSwapsSides(finish_.orientation))
    {
    }

    int Width() const override { return turn_ ? inner_->Height() : inner_->Width(); }
    int Height() const override { return turn_ ? inner_->Width() : inner_->Height(); }
    std::size_t FrameCount() const override { return inner_->FrameCount(); }
    int LoopCount() const override { return inner_->LoopCount(); }
    int DelayMs(std::size_t index) const override { return inner_->DelayMs(index); }
    void Reset() override { inner_->Reset(); }
    const Image& Canvas() const override { return canvas_; }
    std::size_t Current() const override { return inner_->Current(); }
    std::unique_ptr<Animation> Clone() const override
    {
        return std::make_unique<FinishedAnimation>(inner_->Clone(), finish_);
    }

    // The frame is copied (turned when the sides swap) into a canvas kept
    // from frame to frame, then converted there.
    DecodeError Advance() override
    {
        if (const DecodeError e = inner_->Advance(); e != DecodeError::None)
            return e;
        const Image& frame = inner_->Canvas();
        const int width = turn_ ? frame.height : frame.width, height = turn_ ? frame.width : frame.height;
        if (canvas_.width != width || canvas_.height != height || canvas_.Empty()) {
            canvas_ = {};
            if (const DecodeError e = AllocateImageUninitialised(canvas_, width, height); e != DecodeError::None)
                return e;
        }
        if (turn_) {
            TurnRowsInto(canvas_, frame.pixels.data(), 0, frame.height, frame.width, frame.height,
                         finish_.orientation);
        } else {
            std::copy(frame.pixels.begin(), frame.pixels.end(), canvas_.pixels.begin());
            ApplyOrientation(canvas_, finish_.orientation); // in place, nothing allocated
        }
        if (finish_.colour)
            finish_.colour->Run(canvas_.pixels.data(), canvas_.pixels.size());
        return DecodeError::None;
    }

private:
    std::unique_ptr<Animation> inner_;
    PhotoFinish finish_;
    bool turn_;
    Image canvas_;
};

} // namespace

std::unique_ptr<Animation> FinishAnimation(std::unique_ptr<Animation> inner, const PhotoFinish& finish)
{
    if (!inner || finish.Nothing())
        return inner;
    return std::make_unique<FinishedAnimation>(std::move(inner), finish);
}

} // namespace mugrove
