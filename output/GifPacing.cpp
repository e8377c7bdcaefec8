#include "output/GifPacing.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace mugrove {

namespace {

// Frames closer than this count as faster than the most a second (with room
// for stamps rounded to milliseconds).
constexpr double kMinGapMs = 1000.0 / kGifMaxFramesPerSecond - 2.0;

int RoundCs(double ms)
{
    return static_cast<int>(std::lround(ms / 10.0));
}

class PacedAnimation final : public Animation {
public:
    PacedAnimation(std::unique_ptr<Animation> clip, std::vector<PacedFrame> frames)
        : clip_(std::move(clip)), frames_(std::move(frames))
    {
    }

    int Width() const override { return clip_->Width(); }
    int Height() const override { return clip_->Height(); }
    std::size_t FrameCount() const override { return frames_.size(); }
    int LoopCount() const override { return clip_->LoopCount(); }
    int DelayMs(std::size_t index) const override { return frames_[index].delayCs * 10; }

    DecodeError Advance() override
    {
        const std::size_t next = started_ ? (current_ + 1) % frames_.size() : 0;
        if (next == 0 && started_) {
            clip_->Reset();
            fresh_ = true;
        }
        // The clip's frames up to the one wanted; a clip that skips a frame
        // it could not decode stops at the one after.
        const std::size_t want = frames_[next].source;
        for (std::size_t steps = 0; fresh_ || clip_->Current() < want; ++steps) {
            const std::size_t before = clip_->Current();
            if (steps > clip_->FrameCount())
                break;
            if (const DecodeError e = clip_->Advance(); e != DecodeError::None)
                return e;
            const bool wrapped = !fresh_ && clip_->Current() < before;
            fresh_ = false;
            if (wrapped)
                break;
        }
        started_ = true;
        current_ = next;
        return DecodeError::None;
    }
    void Reset() override
    {
        clip_->Reset();
        started_ = false;
        fresh_ = true;
        current_ = 0;
    }
    const Image& Canvas() const override { return clip_->Canvas(); }
    std::size_t Current() const override { return current_; }
    std::unique_ptr<Animation> Clone() const override
    {
        std::unique_ptr<Animation> clip = clip_->Clone();
        if (!clip)
            return nullptr;
        return std::make_unique<PacedAnimation>(std::move(clip), frames_);
    }

private:
    std::unique_ptr<Animation> clip_;
    std::vector<PacedFrame> frames_;
    std::size_t current_ = 0;
    bool started_ = false;
    bool fresh_ = true; // the clip has shown nothing since its start
};

} // namespace

std::vector<PacedFrame> PaceForGif(const std::vector<int>& startsMs, int endMs)
{
    const std::size_t n = startsMs.size();
    if (n == 0)
        return {};
    // Which frames show, and from when (ms).
    std::vector<std::pair<std::size_t, double>> shown;
    // The first frame may be cut short by the segment's start: only the
    // gaps after it tell the clip's rate.
    bool fast = false;
    for (std::size_t i = 2; i < n; ++i)
        fast = fast || startsMs[i] - startsMs[i - 1] < kMinGapMs;
    if (!fast) {
        for (std::size_t i = 0; i < n; ++i)
            shown.emplace_back(i, startsMs[i]);
    } else {
        // Evenly spaced moments at the most frames a second, each showing
        // the frame on show then; the last moment shows the last frame, so
        // the segment ends as it does.
        const auto slots = static_cast<std::size_t>(
            std::clamp<long>(std::lround(endMs * kGifMaxFramesPerSecond / 1000.0), 1, static_cast<long>(n)));
        std::size_t i = 0;
        for (std::size_t k = 0; k < slots; ++k) {
            const double at = double(endMs) * double(k) / double(slots);
            while (i + 1 < n && startsMs[i + 1] <= at + 1.0)
                ++i;
            const std::size_t frame = k + 1 == slots && slots > 1 ? n - 1 : i;
            if (shown.empty() || shown.back().first != frame)
                shown.emplace_back(frame, at);
        }
    }

    // In hundredths, rounded from the start so the total stays right.
    const int endCs = std::max(RoundCs(endMs), kGifMinDelayCs);
    std::vector<int> at(shown.size());
    for (std::size_t k = 0; k < shown.size(); ++k)
        at[k] = k == 0 ? 0 : RoundCs(shown[k].second);
    // A frame too close to the one before goes later, one too close to the
    // end earlier; a frame left with no room is dropped, the first and the
    // last of the segment kept.
    for (std::size_t k = 1; k < at.size(); ++k)
        at[k] = std::max(at[k], at[k - 1] + kGifMinDelayCs);
    for (std::size_t k = at.size(); k-- > 1;) {
        const int next = k + 1 < at.size() ? at[k + 1] : endCs;
        at[k] = std::min(at[k], next - kGifMinDelayCs);
    }
    std::vector<PacedFrame> paced;
    std::vector<int> from;
    for (std::size_t k = 0; k < shown.size(); ++k) {
        if (k > 0 && at[k] < from.back() + kGifMinDelayCs) {
            if (from.size() == 1)
                continue;
            // The one before gives way, keeping the later picture at this moment.
            paced.pop_back();
            from.pop_back();
            if (at[k] < from.back() + kGifMinDelayCs)
                continue;
        }
        paced.push_back({shown[k].first, 0});
        from.push_back(at[k]);
    }
    for (std::size_t k = 0; k < paced.size(); ++k)
        paced[k].delayCs = (k + 1 < paced.size() ? from[k + 1] : endCs) - from[k];
    return paced;
}

std::unique_ptr<Animation> PacedForGif(std::unique_ptr<Animation> clip)
{
    if (!clip || clip->FrameCount() == 0)
        return clip;
    std::vector<int> starts;
    int end = 0;
    for (std::size_t i = 0; i < clip->FrameCount(); ++i) {
        starts.push_back(end);
        end += std::max(0, clip->DelayMs(i));
    }
    std::vector<PacedFrame> frames = PaceForGif(starts, end);
    return std::make_unique<PacedAnimation>(std::move(clip), std::move(frames));
}

} // namespace mugrove
