#include "Mp4Pass.h"

#include "Mp4Muxer.h"
#include "PictureConverter.h"
#include "SoundEncoder.h"
#include "SoundTimeline.h"

namespace mugrove::mp4 {

namespace {

std::int64_t VideoPts(std::int64_t timeUs)
{
    return av_rescale_q(timeUs, AVRational{1, 1000000}, kVideoTimeBase);
}

// Takes what the source plays and sends it through the encoders.
class Pass final : public Receiver {
public:
    Pass(const Description& description, const PassSettings& settings, const std::function<bool()>& tick)
        : description_(description), settings_(settings), tick_(tick), endPts_(VideoPts(description.durationUs))
    {
    }

    bool Open(std::string& failure);
    bool TakePicture(const Picture& picture) override;
    bool TakeSound(const Sound& sound) override;
    bool Finish();

    PassOutcome outcome;

private:
    bool Fail(std::string why);
    bool MuxVideo(AVPacket& packet);
    bool MuxSound(AVPacket& packet);

    const Description& description_;
    const PassSettings& settings_;
    const std::function<bool()>& tick_;
    const std::int64_t endPts_;
    std::unique_ptr<PictureConverter> converter_;
    std::unique_ptr<VideoEncoder> video_;
    std::unique_ptr<SoundEncoder> sound_;
    std::optional<SoundTimeline> timeline_;
    std::unique_ptr<Mp4Muxer> muxer_;
    std::vector<float> laid_;
    std::int64_t lastPts_ = -1;
    bool failed_ = false;
};

bool Pass::Fail(std::string why)
{
    if (!failed_ && outcome.failure.empty())
        outcome.failure = std::move(why);
    failed_ = true;
    return false;
}

bool Pass::Open(std::string& failure)
{
    converter_ = PictureConverter::Make(description_.width, description_.height, settings_.encodedWidth,
                                        settings_.encodedHeight, failure);
    if (!converter_)
        return false;
    video_ = VideoEncoder::Open(settings_.video, failure);
    if (!video_)
        return false;
    if (settings_.writes && settings_.sound) {
        const SoundFormat format = *settings_.sound;
        timeline_.emplace(format.sampleRate, format.channels, description_.durationUs);
        sound_ = SoundEncoder::Open(format, settings_.soundKbps, timeline_->End(), failure);
        if (!sound_)
            return false;
    }
    if (settings_.writes) {
        muxer_ = Mp4Muxer::Open(video_->Context(), sound_ ? &sound_->Context() : nullptr, endPts_, failure);
        if (!muxer_)
            return false;
    }
    return true;
}

bool Pass::MuxVideo(AVPacket& packet)
{
    outcome.videoBytes += static_cast<std::uint64_t>(packet.size);
    std::string why;
    return !muxer_ || muxer_->AddVideo(packet, why) || Fail(why);
}

bool Pass::MuxSound(AVPacket& packet)
{
    std::string why;
    return muxer_->AddSound(packet, why) || Fail(why);
}

bool Pass::TakePicture(const Picture& picture)
{
    if (failed_)
        return false;
    // The first picture shows from the start whatever its time says; a
    // picture at or past the end, or no later than the one before, never shows.
    const std::int64_t pts = lastPts_ < 0 ? 0 : VideoPts(picture.timeUs);
    if (pts <= lastPts_ || pts >= endPts_)
        return true;
    const AVFrame* frame = converter_->Convert(picture, pts);
    if (!frame)
        return Fail("a picture came at another size");
    lastPts_ = pts;
    std::string why;
    if (!video_->Encode(frame, [this](AVPacket& p) { return MuxVideo(p); }, why))
        return Fail(why);
    if (!tick_()) {
        outcome.stopped = true;
        return Fail("stopped");
    }
    return true;
}

bool Pass::TakeSound(const Sound& sound)
{
    if (failed_)
        return false;
    if (!sound_ || !sound.samples)
        return true;
    laid_.clear();
    timeline_->Lay(sound.samples, sound.frames, sound.timeUs, laid_);
    const std::size_t frames = laid_.size() / static_cast<std::size_t>(settings_.sound->channels);
    std::string why;
    return sound_->Add(laid_.data(), frames, [this](AVPacket& p) { return MuxSound(p); }, why) || Fail(why);
}

bool Pass::Finish()
{
    if (failed_)
        return false;
    if (lastPts_ < 0)
        return Fail("there was no picture to write");
    std::string why;
    if (!video_->Encode(nullptr, [this](AVPacket& p) { return MuxVideo(p); }, why))
        return Fail(why);
    if (sound_) {
        laid_.clear();
        timeline_->Close(laid_);
        const std::size_t frames = laid_.size() / static_cast<std::size_t>(settings_.sound->channels);
        const auto mux = [this](AVPacket& p) { return MuxSound(p); };
        if (!sound_->Add(laid_.data(), frames, mux, why) || !sound_->Finish(mux, why))
            return Fail(why);
    }
    if (muxer_) {
        if (!muxer_->Finish(why))
            return Fail(why);
        outcome.bytes = muxer_->TakeBytes();
    }
    return !failed_;
}

} // namespace

PassOutcome RunPass(Source& source, const Description& description, const PassSettings& settings,
                    const std::function<bool()>& tick)
{
    Pass pass(description, settings, tick);
    std::string failure;
    if (!pass.Open(failure)) {
        pass.outcome.failure = failure;
        return std::move(pass.outcome);
    }
    if (!source.Play(pass, failure)) {
        if (pass.outcome.failure.empty())
            pass.outcome.failure = failure.empty() ? "the pictures could not be read" : failure;
        pass.outcome.bytes.clear();
        return std::move(pass.outcome);
    }
    if (!pass.Finish())
        pass.outcome.bytes.clear();
    return std::move(pass.outcome);
}

} // namespace mugrove::mp4
