#include "output/Mp4Save.h"

#include "controls/PicBox.h"
#include "sandbox/Decode.h"
#include "controls/decoders/Animation.h"
#include "output/NewFile.h"
#include "output/SaveScene.h"
#include "output/Snapshot.h"
#include "output/mp4/Mp4Loader.h"

#include <QImage>

#include <cmath>
#include <cstdio>
#include <functional>
#include <mutex>

namespace mugrove {

namespace {

mp4::Picture PictureOf(const QImage& frame, std::int64_t timeUs)
{
    return {reinterpret_cast<const std::uint32_t*>(frame.constBits()), frame.width(), frame.height(),
            static_cast<std::ptrdiff_t>(frame.bytesPerLine()), timeUs};
}

// The frames of an animation, each as the window shows it, at the times
// their delays add up to.
class AnimationFrames final : public mp4::Source {
public:
    AnimationFrames(Animation& player, FrameComposer& composer) : player_(player), composer_(composer) {}

    mp4::Description Describe(QSize size) const
    {
        mp4::Description d;
        d.width = size.width();
        d.height = size.height();
        d.pictureCount = player_.FrameCount();
        for (std::size_t i = 0; i < d.pictureCount; ++i)
            d.durationUs += std::int64_t(player_.DelayMs(i)) * 1000;
        return d;
    }

    bool Play(mp4::Receiver& to, std::string&) override
    {
        player_.Reset();
        std::int64_t at = 0;
        for (std::size_t i = 0; i < player_.FrameCount(); ++i) {
            // A frame that cannot be decoded leaves the last good one on
            // the canvas, as in the window.
            player_.Advance();
            composer_.Compose(player_, frame_);
            if (!to.TakePicture(PictureOf(frame_, at)))
                return false;
            at += std::int64_t(player_.DelayMs(i)) * 1000;
        }
        return true;
    }

private:
    Animation& player_;
    FrameComposer& composer_;
    QImage frame_;
};

// A clip's segment read by its own decoder: the frames, each as the window
// shows it, at their own times, and the clip's sound beside them, both from
// the one reading of the file.
class ClipFramesAndSound final : public mp4::Source, private ClipFrameSink {
public:
    ClipFramesAndSound(std::unique_ptr<ClipReader> decoder, FrameComposer& composer)
        : decoder_(std::move(decoder)), composer_(composer)
    {
    }

    // Asks the decoder for the sound; says why on standard error when the
    // clip has sound that cannot be decoded, and is then saved without it.
    void TakeSound()
    {
        std::string why;
        sound_ = decoder_->OpenSound(why);
        if (!sound_ && !why.empty())
            std::fprintf(stderr, "mugrove: the clip's sound cannot be decoded (%s); it is saved without sound\n",
                         why.c_str());
    }

    mp4::Description Describe(QSize size) const
    {
        mp4::Description d;
        d.width = size.width();
        d.height = size.height();
        d.pictureCount = decoder_->Times().Count();
        d.durationUs = std::llround(decoder_->Times().spanSeconds * 1e6);
        if (sound_)
            d.sound = mp4::SoundFormat{sound_->sampleRate, sound_->channels};
        return d;
    }

    bool Play(mp4::Receiver& to, std::string& failure) override
    {
        to_ = &to;
        refused_ = false;
        const std::size_t given = decoder_->DecodeSegment(*this);
        to_ = nullptr;
        if (refused_)
            return false;
        if (given == 0) {
            failure = decoder_->Problem() == DecodeError::OutOfMemory ? "no memory for the clip's frames"
                                                                      : "none of the clip's frames could be decoded";
            return false;
        }
        return true;
    }

private:
    bool Take(std::size_t index, Image& frame) override
    {
        composer_.Compose(frame, frame_);
        const std::int64_t at = decoder_->Times().startUs[index];
        refused_ = !to_->TakePicture(PictureOf(frame_, at));
        return !refused_;
    }

    bool TakeSound(const float* samples, std::size_t frames, double seconds) override
    {
        refused_ = !to_->TakeSound({samples, frames, std::llround(seconds * 1e6)});
        return !refused_;
    }

    std::unique_ptr<ClipReader> decoder_;
    FrameComposer& composer_;
    std::optional<ClipSoundFormat> sound_;
    mp4::Receiver* to_ = nullptr;
    bool refused_ = false;
    QImage frame_;
};

// Everything the worker reads: made at the click, then the worker's alone.
struct Mp4Job {
    std::unique_ptr<Animation> player;
    std::optional<ShownClip> clip;
    SaveScene scene;
    QString folder;
    QString fileName;
    ByteLimit limit = 0;
};

// The job encoded and written, never over an existing file; `link` is told
// each percent and says whether the save was called off.
OutputOutcome Encode(Mp4Job& job, SaveLink& link)
{
    const QString target = job.folder + u'/' + job.fileName + QStringLiteral(": ");
    FrameComposer composer(job.scene);
    const QSize size = job.scene.box.size;
    std::unique_ptr<mp4::Source> source;
    mp4::Description description;
    if (job.clip) {
        std::unique_ptr<ClipReader> decoder;
        if (OpenClipReader(job.clip->source, job.clip->segment, decoder) != DecodeError::None)
            return OutputOutcome::Failed(target + QStringLiteral("the clip can no longer be read"));
        auto clip = std::make_unique<ClipFramesAndSound>(std::move(decoder), composer);
        clip->TakeSound();
        description = clip->Describe(size);
        source = std::move(clip);
    } else {
        auto frames = std::make_unique<AnimationFrames>(*job.player, composer);
        description = frames->Describe(size);
        source = std::move(frames);
    }

    mp4::Options options;
    options.limit = job.limit;
    // Going on unless called off.
    options.progress = [&link](int percent) {
        link.Progress(percent);
        return !link.CalledOff();
    };
    const mp4::Written written = mp4::EncodeByModule(*source, description, options);
    if (link.CalledOff())
        return OutputOutcome::Failed(target + QStringLiteral("cancelled"));
    if (written.bytes.empty())
        return OutputOutcome::Failed(target + QString::fromStdString(written.failure));
    // The writer keeps to the limit; checked again before the file is named.
    if (job.limit != 0 && written.bytes.size() > job.limit)
        return OutputOutcome::Failed(target + QStringLiteral("the MP4 came out larger than ") + LimitText(job.limit));
    NewFile file(job.folder);
    if (!file.Write(written.bytes) || link.CalledOff())
        return OutputOutcome::Failed(target + file.Error());
    const QString path = file.Publish(job.fileName);
    return path.isEmpty() ? OutputOutcome::Failed(target + file.Error()) : OutputOutcome::Written(path);
}

} // namespace

std::unique_ptr<Mp4Save> Mp4Save::Start(PicBox& box, std::unique_ptr<Animation> player, std::optional<ShownClip> clip,
                                        const QString& folder, const QString& fileName, ByteLimit limit,
                                        OutputOutcome& failure)
{
    if (!CanStart(box, clip || (player && player->FrameCount() > 0), folder, fileName, failure))
        return nullptr;
    Mp4Job job{std::move(player), std::move(clip), CaptureScene(box, CaptionsOver(&box.NativeWindow())),
               folder, fileName, limit};
    std::unique_ptr<Mp4Save> save(new Mp4Save);
    save->Launch([job = std::move(job)](SaveLink& link) mutable { return Encode(job, link); });
    return save;
}

} // namespace mugrove
