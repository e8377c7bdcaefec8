#include "Mp4.h"

#include "Mp4Pass.h"
#include "Mp4Plan.h"
#include "PictureConverter.h"
#include "ScratchFolder.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <mutex>

namespace mugrove::mp4 {

namespace {

// x264 will not code a larger picture.
constexpr int kLargestSide = 16384;
// The quality of a save without a limit: sharp captions, no visible blocks
// in a moving photo, a few hundred KB for seconds of phone video. With the
// tuning for similarity this comes a little closer to the frames than the
// usual command line's default (23 without that tuning) gets from them, in
// a few per cent fewer bytes (a captioned clip of 380 x 214).
constexpr double kQualityCrf = 19.5;
// Passes at a lower bit rate after the first second pass came out too large.
constexpr int kMostRetries = 2;

// The share of the work done, over every pass, told as it grows.
class Progress {
public:
    Progress(const Options& options, std::size_t pictures, int passes)
        : report_(options.progress), pictures_(std::max<std::size_t>(pictures, 1)), passes_(passes)
    {
    }

    void AddPass() { ++passes_; }
    void PassOver() { done_ = ++passesOver_ * pictures_; }

    bool Tick()
    {
        ++done_;
        if (!report_)
            return true;
        const auto total = static_cast<double>(pictures_ * static_cast<std::size_t>(passes_));
        const int percent = std::min(99, static_cast<int>(100.0 * static_cast<double>(done_) / total));
        // A pass added later never takes back what was told.
        if (percent <= told_)
            return true;
        told_ = percent;
        return report_(percent);
    }

private:
    const std::function<bool(int)>& report_;
    const std::size_t pictures_;
    int passes_;
    int passesOver_ = 0;
    std::size_t done_ = 0;
    int told_ = 0;
};

Written Failed(std::string why)
{
    Written w;
    w.failure = std::move(why);
    return w;
}

std::string Unfit(const Description& d)
{
    if (d.width < 1 || d.height < 1)
        return "the pictures have no pixels";
    if (d.width > kLargestSide || d.height > kLargestSide)
        return "the pictures are too large for H.264";
    if (d.durationUs <= 0 || d.pictureCount == 0)
        return "there are no pictures to write";
    if (d.sound && (d.sound->sampleRate < 1 || d.sound->sampleRate > 384000 || d.sound->channels < 1 ||
                    d.sound->channels > 8))
        return "the sound's format makes no sense";
    return {};
}

AVRational MeanFrameRate(const Description& d)
{
    const double rate = static_cast<double>(d.pictureCount) * 1e6 / static_cast<double>(d.durationUs);
    return av_d2q(std::clamp(rate, 1.0, 1000.0), 100000);
}

int CodedChannels(const Description& d)
{
    return d.sound ? std::min(d.sound->channels, 2) : 0;
}

PassSettings SettingsAt(const Description& d, int width, int height)
{
    PassSettings s;
    s.encodedWidth = width;
    s.encodedHeight = height;
    s.video.width = EvenCeil(width);
    s.video.height = EvenCeil(height);
    s.video.frameRate = MeanFrameRate(d);
    s.video.crf = kQualityCrf;
    s.sound = d.sound;
    s.soundKbps = d.sound ? FullSoundKbps(CodedChannels(d)) : 0;
    return s;
}

Written Done(PassOutcome&& pass, const PassSettings& s, int passes)
{
    Written w;
    w.bytes = std::move(pass.bytes);
    w.width = s.video.width;
    w.height = s.video.height;
    w.videoKbps = s.video.rate == VideoSettings::Rate::SecondPass ? s.video.kbps : 0;
    w.soundKbps = s.sound ? s.soundKbps : 0;
    w.passes = passes;
    return w;
}

Written Unlimited(Source& source, const Description& d, Progress& progress)
{
    const PassSettings s = SettingsAt(d, d.width, d.height);
    PassOutcome pass = RunPass(source, d, s, [&] { return progress.Tick(); });
    if (!pass.failure.empty())
        return Failed(pass.failure);
    return Done(std::move(pass), s, 1);
}

Written Limited(Source& source, const Description& d, std::uint64_t limit, Progress& progress)
{
    PlanInput in;
    in.limit = limit;
    in.seconds = static_cast<double>(d.durationUs) / 1e6;
    in.width = d.width;
    in.height = d.height;
    in.pictures = d.pictureCount;
    in.soundChannels = CodedChannels(d);
    const Plan plan = PlanForLimit(in);
    if (!plan.failure.empty())
        return Failed("no MP4 of it fits in the limit: " + plan.failure);

    const ScratchFolder scratch;
    if (scratch.Path().empty())
        return Failed("no temporary folder for the encoder's notes between passes");
    PassSettings s = SettingsAt(d, plan.width, plan.height);
    s.soundKbps = plan.soundKbps;
    s.video.statsPath = scratch.Path() + "/passes.log";
    const auto tick = [&] { return progress.Tick(); };

    // The first pass: at the full quality when that may well fit (its file
    // is kept if it does), else a quick one that only learns the pictures.
    s.video.rate = VideoSettings::Rate::FirstPass;
    s.video.firstPassAtQuality = plan.qualityFirst;
    s.video.kbps = plan.videoKbps;
    s.writes = plan.qualityFirst;
    PassOutcome first = RunPass(source, d, s, tick);
    if (!first.failure.empty())
        return Failed(first.failure);
    progress.PassOver();
    if (plan.qualityFirst && first.bytes.size() <= limit) {
        s.video.rate = VideoSettings::Rate::Quality;
        return Done(std::move(first), s, 1);
    }

    s.video.rate = VideoSettings::Rate::SecondPass;
    s.writes = true;
    for (int pass = 0; pass <= kMostRetries && s.video.kbps > 0; ++pass) {
        if (pass > 0)
            progress.AddPass();
        PassOutcome out = RunPass(source, d, s, tick);
        if (!out.failure.empty())
            return Failed(out.failure);
        progress.PassOver();
        if (out.bytes.size() <= limit)
            return Done(std::move(out), s, pass + 2);
        s.video.kbps = RetryVideoKbps(s.video.kbps, out.videoBytes, out.bytes.size(), limit);
    }
    return Failed("no MP4 of it fits in the limit: even at the lowest bit rate tried it is larger");
}

} // namespace

Written Encode(Source& source, const Description& description, const Options& options)
{
    if (std::string why = Unfit(description); !why.empty())
        return Failed(why);
    // The encoders' own chatter would reach standard error; what fails is
    // told in the result instead.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    const bool limited = options.limit > 0;
    Progress progress(options, description.pictureCount, limited ? 2 : 1);
    Written w = limited ? Limited(source, description, options.limit, progress)
                        : Unlimited(source, description, progress);
    if (!w.bytes.empty() && options.progress)
        options.progress(100);
    return w;
}

} // namespace mugrove::mp4
