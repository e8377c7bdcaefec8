#include "Mp4Plan.h"

#include <algorithm>
#include <cmath>

namespace mugrove::mp4 {

namespace {

// Bits per pixel of each picture (video bits over pictures × pixels) at
// which H.264 of a moving photo still looks good; below it the sound gives
// up bits first.
constexpr double kComfortableBpp = 0.06;
// Below this the picture is shrunk, to where each pixel gets kShrunkBpp:
// H.264 then runs out of coarser steps and a smaller picture scaled back up
// looks more like the original than blocks do. Shrinking by a little only
// blurs, so it is all or nothing. Measured on a busy 720p clip against the
// frames scaled back up: at 0.013 bits per pixel the full size still looked
// better than two thirds of it, at 0.008 two thirds looked better.
constexpr double kShrinkBpp = 0.01;
constexpr double kShrunkBpp = 0.02;
// From this on the quality of a save without a limit probably fits.
constexpr double kGenerousBpp = 0.15;
// Sound never takes more than this share of the bits.
constexpr double kMostSoundShare = 0.25;
// Room left for the encoder's rate control, which lands within a per cent
// or two of what it is asked over two passes.
constexpr double kRateMargin = 0.98;
// A video bit rate lower than this holds nothing worth seeing.
constexpr int kLeastVideoKbps = 8;
// The smallest share of the width and height a picture is shrunk to.
constexpr double kSmallestScale = 0.5;

constexpr int kStereoSteps[] = {128, 96, 64, 48, 32, 0};
constexpr int kMonoSteps[] = {64, 48, 32, 24, 0};

double BitsPerPixel(double videoBits, const PlanInput& in, double scale)
{
    const double pixels = double(in.width) * double(in.height) * scale * scale * double(std::max<std::size_t>(in.pictures, 1));
    return videoBits / pixels;
}

// An even size no smaller than half of `full`.
int ScaledSide(int full, double scale)
{
    const int even = 2 * static_cast<int>(std::lround(full * scale / 2));
    const int least = 2 * ((full + 3) / 4); // half, rounded up to even
    return std::clamp(even, std::min(least, full), full);
}

} // namespace

int FullSoundKbps(int channels)
{
    return SoundKbpsSteps(channels)[0];
}

const int* SoundKbpsSteps(int channels)
{
    return channels >= 2 ? kStereoSteps : kMonoSteps;
}

std::uint64_t ContainerBytes(std::size_t pictures, double seconds, bool sound)
{
    // The file's and tracks' headers with the encoder's own note, then per
    // picture its size, time, order and chunk entries; per AAC packet (1024
    // samples at up to 48 kHz) its size.
    const double soundPackets = sound ? seconds * 48000.0 / 1024.0 + 2 : 0;
    return 4096 + 20 * std::uint64_t(pictures) + static_cast<std::uint64_t>(5 * soundPackets);
}

Plan PlanForLimit(const PlanInput& in)
{
    Plan plan;
    plan.width = in.width;
    plan.height = in.height;
    const std::uint64_t container = ContainerBytes(in.pictures, in.seconds, in.soundChannels > 0);
    const double seconds = std::max(in.seconds, 0.001);
    if (in.limit <= container) {
        plan.failure = "not even the MP4's index fits";
        return plan;
    }
    const double bits = double(in.limit - container) * 8.0 * kRateMargin;
    const double kbps = bits / seconds / 1000.0;

    if (in.soundChannels > 0) {
        // The highest step that leaves the picture enough, else the lowest.
        for (const int* step = SoundKbpsSteps(in.soundChannels); *step != 0; ++step) {
            plan.soundKbps = *step;
            const double videoBits = (kbps - *step) * 1000.0 * seconds;
            if (*step <= kbps * kMostSoundShare && BitsPerPixel(videoBits, in, 1.0) >= kComfortableBpp)
                break;
        }
    }
    const double videoKbps = kbps - plan.soundKbps;
    if (videoKbps < kLeastVideoKbps) {
        plan.failure = in.soundChannels > 0 ? "the sound alone takes nearly all of it" : "too few bytes for the pictures";
        return plan;
    }
    plan.videoKbps = static_cast<int>(videoKbps);

    const double bpp = BitsPerPixel(videoKbps * 1000.0 * seconds, in, 1.0);
    plan.qualityFirst = bpp >= kGenerousBpp;
    if (bpp < kShrinkBpp) {
        const double scale = std::max(kSmallestScale, std::sqrt(bpp / kShrunkBpp));
        plan.width = ScaledSide(in.width, scale);
        plan.height = ScaledSide(in.height, scale);
    }
    return plan;
}

int RetryVideoKbps(int videoKbps, std::uint64_t videoBytes, std::uint64_t fileBytes, std::uint64_t limit)
{
    if (fileBytes <= limit || videoBytes == 0)
        return videoKbps;
    const std::uint64_t over = fileBytes - limit;
    if (over >= videoBytes)
        return 0;
    // Aim a little lower again than the bytes say: the rate control misses
    // by a similar share each time.
    const double share = double(videoBytes - over) / double(videoBytes) * kRateMargin;
    const int lower = static_cast<int>(videoKbps * share);
    return lower < kLeastVideoKbps ? 0 : lower;
}

} // namespace mugrove::mp4
