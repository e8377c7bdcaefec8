#include "SoundTimeline.h"

#include <algorithm>

namespace mugrove::mp4 {

namespace {

// How far apart a run may start from where the last one ended and still be
// taken as joined to it; well under a frame, so sync is kept.
constexpr std::int64_t kSlackUs = 2000;

} // namespace

SoundTimeline::SoundTimeline(int sampleRate, int channels, std::int64_t endUs)
    : rate_(sampleRate), channels_(channels), end_(0), slack_(kSlackUs * sampleRate / 1000000)
{
    end_ = SampleAt(std::max<std::int64_t>(endUs, 0));
}

std::int64_t SoundTimeline::SampleAt(std::int64_t timeUs) const
{
    // Rounded to the nearest sample, also for times before 0.
    const std::int64_t scaled = timeUs * rate_;
    return (scaled >= 0 ? scaled + 500000 : scaled - 500000) / 1000000;
}

void SoundTimeline::Lay(const float* samples, std::size_t frames, std::int64_t timeUs, std::vector<float>& out)
{
    std::int64_t start = SampleAt(timeUs);
    if (start > laid_ && start - laid_ <= slack_)
        start = laid_;
    else if (start < laid_ && laid_ - start <= slack_ && start >= 0)
        start = laid_;
    const std::int64_t stop = std::min<std::int64_t>(start + static_cast<std::int64_t>(frames), end_);
    if (start > laid_) {
        const std::int64_t gap = std::min(start, end_) - laid_;
        out.insert(out.end(), static_cast<std::size_t>(gap * channels_), 0.0f);
        laid_ += gap;
    }
    if (stop <= laid_)
        return;
    const float* first = samples + (laid_ - start) * channels_; // the first sample not yet laid
    out.insert(out.end(), first, first + (stop - laid_) * channels_);
    laid_ = stop;
}

void SoundTimeline::Close(std::vector<float>& out)
{
    if (laid_ < end_)
        out.insert(out.end(), static_cast<std::size_t>((end_ - laid_) * channels_), 0.0f);
    laid_ = end_;
}

} // namespace mugrove::mp4
