#include "output/GifWork.h"

#include "controls/decoders/Animation.h"
#include "output/GifEncoder.h"
#include "output/NewFile.h"

#include <algorithm>

namespace mugrove {

namespace {

// Of a film's save, the share of the pass that makes its palette.
constexpr double kPaletteShare = 0.3;

} // namespace

GifWork::GifWork(GifJob job, SaveLink& link) : job_(std::move(job)), link_(link) {}

OutputOutcome GifWork::Run()
{
    switch (job_.plan.way) {
    case GifWay::SizeLimitedSearch: return EncodeWithinLimit(*this);
    case GifWay::FilmPalette:
    case GifWay::PalettePerFrame: break;
    }
    return Streamed();
}

void GifWork::Report(double done)
{
    const int percent = std::clamp(int(done * 100), 0, 99);
    if (percent <= percentShown_)
        return;
    percentShown_ = percent;
    link_.Progress(percent);
}

OutputOutcome GifWork::Failed(const QString& why) const
{
    return OutputOutcome::Failed(job_.folder + u'/' + job_.fileName + QStringLiteral(": ") + why);
}

// Without a limit the file streams out as it is encoded; unpublished, it
// leaves nothing.
OutputOutcome GifWork::Streamed()
{
    NewFile file(job_.folder);
    const auto failed = [&](const QString& what) { return Failed(file.Error().isEmpty() ? what : file.Error()); };
    if (!file.IsOpen())
        return failed(QString());
    const ByteSink sink = [&file](std::span<const std::uint8_t> bytes) { return file.Write(bytes); };
    GifEncoder encoder;
    const QString encoderFailed = QStringLiteral("the GIF encoder failed");
    // A film's palette takes a first pass, a share of the work.
    const bool filmed = job_.plan.way == GifWay::FilmPalette;
    const double mapFrom = filmed ? kPaletteShare : 0;
    if (filmed) {
        if (!FilmColours(encoder))
            return failed(CalledOff() ? QStringLiteral("cancelled") : encoderFailed);
        Player().Reset();
    }
    const QSize size = job_.scene.box.size;
    if (!encoder.Begin(size.width(), size.height(), Player().LoopCount(), sink, std::move(job_.scene.exact)))
        return failed(encoderFailed);
    QImage frame;
    const std::size_t count = Player().FrameCount();
    for (std::size_t i = 0; i < count; ++i) {
        if (CalledOff())
            return failed(QStringLiteral("cancelled"));
        // A frame that cannot be decoded leaves the last good one on the
        // canvas, as in the window.
        Player().Advance();
        Compose(frame);
        if (!encoder.AddFrame(frame, Player().DelayMs(Player().Current())))
            return failed(encoderFailed);
        Report(mapFrom + (1 - mapFrom) * double(i + 1) / double(count));
    }
    if (!encoder.Finish())
        return failed(encoderFailed);
    if (CalledOff())
        return failed(QStringLiteral("cancelled"));
    const QString path = file.Publish(job_.fileName);
    return path.isEmpty() ? failed(QString()) : OutputOutcome::Written(path);
}

// One palette from the frames of the film, the colours kept exact among
// them, given to `encoder`.
bool GifWork::FilmColours(GifEncoder& encoder)
{
    FilmPalette palette;
    QImage frame;
    const std::size_t count = Player().FrameCount();
    for (std::size_t i = 0; i < count; ++i) {
        if (CalledOff())
            return false;
        Player().Advance();
        Compose(frame);
        if (!palette.Add(frame))
            return false;
        Report(kPaletteShare * double(i + 1) / double(count));
    }
    // One index stays free for the pixels left transparent.
    const std::vector<std::uint32_t> colours = palette.Build(255, job_.scene.exact.colours);
    return !colours.empty() && encoder.SetPalette(colours);
}

} // namespace mugrove
