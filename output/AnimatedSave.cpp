#include "output/AnimatedSave.h"

#include "app/model/Colour.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "controls/decoders/Animation.h"
#include "output/GifEncoder.h"
#include "output/GifFit.h"
#include "output/NewFile.h"
#include "output/Snapshot.h"

#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace mugrove {

namespace {

// One frame as the box paints it: the background and the frame canvas fitted
// in by the display mode. `frame` is reused when it has the box's size.
void ComposeBoxFrame(const BoxLook& look, const Animation& player, QImage& frame)
{
    if (frame.size() != look.size || frame.format() != QImage::Format_RGB32)
        frame = QImage(look.size, QImage::Format_RGB32);
    const Image& canvas = player.Canvas();
    QImage shrunk;
    QPainter painter(&frame);
    PaintPicture(painter, look.size, look.background,
                 canvas.Empty() ? QImage() : PictureView(canvas, look.frameFormat), look.fit, look.smooth, shrunk);
}

// Colours kept exact in every palette: the captions'; the rest of the
// palette is the picture's.
constexpr std::size_t kMaxCaptionColours = 16;

// A caption over the box, drawn anew onto each frame from its look taken at
// the click, exactly as the window draws it (its edges blend with whatever
// frame is beneath).
struct Overlay {
    CaptionLook caption;
    QPoint captionAt;
    CaptionPainter painter; // the worker's, keeps an outlined caption between frames
};

// The colours drawn fully opaque in `image` (premultiplied), most used first.
void CountOpaque(const QImage& image, std::map<std::uint32_t, std::size_t>& counts)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(row[x]) == 255)
                ++counts[row[x] & 0xFFFFFFu];
    }
}

void TakeMostUsed(const std::map<std::uint32_t, std::size_t>& counts, std::size_t limit,
                  std::vector<std::uint32_t>& out)
{
    std::vector<std::pair<std::size_t, std::uint32_t>> ranked;
    for (const auto& [colour, count] : counts)
        if (std::find(out.begin(), out.end(), colour) == out.end())
            ranked.emplace_back(count, colour);
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& entry : ranked) {
        if (out.size() >= limit)
            break;
        out.push_back(entry.second);
    }
}

// Marks in `protect` (box-sized) every pixel `image`, placed at `at`, draws on.
void MarkDrawn(const QImage& image, QPoint at, QSize box, std::vector<std::uint8_t>& protect)
{
    for (int y = 0; y < image.height(); ++y) {
        const int by = at.y() + y;
        if (by < 0 || by >= box.height())
            continue;
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int bx = at.x() + x;
            if (bx >= 0 && bx < box.width() && qAlpha(row[x]) != 0)
                protect[std::size_t(by) * std::size_t(box.width()) + std::size_t(bx)] = 1;
        }
    }
}

// Whether `c` lies between colours `a` and `b`, as an antialiased edge of
// one drawn over the other does.
bool Between(QRgb c, QRgb a, QRgb b)
{
    const int ca[] = {qRed(c) - qRed(a), qGreen(c) - qGreen(a), qBlue(c) - qBlue(a)};
    const int ba[] = {qRed(b) - qRed(a), qGreen(b) - qGreen(a), qBlue(b) - qBlue(a)};
    int k = 0;
    for (int i = 1; i < 3; ++i)
        if (std::abs(ba[i]) > std::abs(ba[k]))
            k = i;
    if (ba[k] == 0)
        return std::abs(ca[0]) + std::abs(ca[1]) + std::abs(ca[2]) <= 3;
    const double t = double(ca[k]) / ba[k];
    if (t < 0 || t > 1)
        return false;
    for (int i = 0; i < 3; ++i)
        if (std::abs(ca[i] - t * ba[i]) > 2.0)
            return false;
    return true;
}

// Clears from a caption drawn alone the solid pixels of colour glyphs
// (emoji): those are pictures, mapped like the picture's pixels, while the
// text's own colours (its colour, the effects' and the outline's black and
// white, and their blends into each other) are kept as text.
void KeepTextPixels(QImage& caption, const QColor& text)
{
    const QRgb own[] = {text.rgb(), qRgb(0, 0, 0), qRgb(255, 255, 255)};
    const auto isText = [&](QRgb c) {
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t j = i; j < 3; ++j)
                if (Between(c, own[i], own[j]))
                    return true;
        return false;
    };
    for (int y = 0; y < caption.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(caption.scanLine(y));
        for (int x = 0; x < caption.width(); ++x)
            if (qAlpha(row[x]) == 255 && !isText(row[x]))
                row[x] = 0;
    }
}

QSize Scaled(QSize size, double scale)
{
    return QSize(std::max(1, int(std::lround(size.width() * scale))),
                 std::max(1, int(std::lround(size.height() * scale))));
}

// The text pixels of a frame scaled to `size`: any pixel text reaches.
ExactColours ScaledExact(const ExactColours& exact, QSize box, QSize size)
{
    if (size == box || exact.protect.empty())
        return exact;
    QImage mask(box, QImage::Format_Grayscale8);
    for (int y = 0; y < box.height(); ++y)
        for (int x = 0; x < box.width(); ++x)
            mask.scanLine(y)[x] = exact.protect[std::size_t(y) * std::size_t(box.width()) + std::size_t(x)] ? 255 : 0;
    const QImage scaled = mask.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    ExactColours out;
    out.colours = exact.colours;
    out.protect.resize(std::size_t(size.width()) * std::size_t(size.height()));
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            out.protect[std::size_t(y) * std::size_t(size.width()) + std::size_t(x)] = scaled.constScanLine(y)[x] != 0;
    return out;
}

// A GIF encoder that applies a reduction to the box-sized frames it is given.
class ReducedGif {
public:
    ReducedGif(const Reduction& reduction, QSize box) : reduction_(reduction), box_(box), size_(Scaled(box, reduction.scale)) {}

    bool Begin(int plays, ByteSink sink, const ExactColours& exact)
    {
        encoder_.SetMaxColours(reduction_.colours);
        encoder_.SetLossiness(reduction_.lossiness);
        return encoder_.Begin(size_.width(), size_.height(), plays, std::move(sink), ScaledExact(exact, box_, size_));
    }
    bool Add(const QImage& frame, int delayMs)
    {
        if (size_ == box_)
            return encoder_.AddFrame(frame, delayMs);
        return encoder_.AddFrame(frame.scaled(size_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), delayMs);
    }
    bool Finish() { return encoder_.Finish(); }
    std::size_t Size() const { return encoder_.Size(); }
    // What a viewer shows so far, at the box's size.
    QImage Shown() const
    {
        const QImage shown = encoder_.Shown();
        return size_ == box_ ? shown : shown.scaled(box_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }

private:
    Reduction reduction_;
    QSize box_, size_;
    GifEncoder encoder_;
};

// How long frame `i` shows once the frames a reduction drops after it are
// added to it.
int KeptDelay(const std::vector<int>& delays, std::size_t i, int step)
{
    int sum = 0;
    for (std::size_t j = i; j < std::min(delays.size(), i + std::size_t(step)); ++j)
        sum += delays[j];
    return sum;
}

// Frames of the animation, composed once, that the size of a reduction is
// predicted from: a few runs of consecutive frames spread over the film,
// each run's first frame only setting the scene, as the file's first does.
// The search tries a dozen reductions, so even a short film is sampled by a
// fifth or so of its frames; only a very short one whole.
struct Sample {
    static constexpr std::size_t kRuns = 5;
    static constexpr std::size_t kRunLength = 4;
    static constexpr std::size_t kFramesPerRun = 16; // of the film
    std::vector<std::size_t> starts;
    std::vector<std::vector<QImage>> runs;
    bool whole = false;

    explicit Sample(std::size_t count)
    {
        if (count <= 2 * kRunLength) {
            starts.push_back(0);
            whole = true;
            return;
        }
        const std::size_t runCount = std::clamp(count / kFramesPerRun, std::size_t(1), kRuns);
        for (std::size_t r = 0; r < runCount; ++r)
            starts.push_back(runCount == 1 ? 0 : r * (count - kRunLength) / (runCount - 1));
    }
    std::size_t RunLength(std::size_t count) const { return whole ? count : kRunLength; }
    // Which run frame `i` belongs to, or -1.
    int RunOf(std::size_t i, std::size_t count) const
    {
        for (std::size_t r = 0; r < starts.size(); ++r)
            if (i >= starts[r] && i < starts[r] + RunLength(count))
                return int(r);
        return -1;
    }
};

} // namespace

// The worker's side: everything it reads is its own from the start.
struct AnimatedSave::Job {
    std::unique_ptr<Animation> player;
    BoxLook look;
    std::vector<Overlay> overlays;
    ExactColours exact;
    QString folder;
    QString fileName;
    ByteLimit limit = 0;
    bool filmed = false;
    std::thread worker;
    bool running = true; // the starting thread's only
    AnimatedSave* owner = nullptr;
    int percentShown = 0; // the worker's only

    std::mutex mutex;
    bool cancelled = false;

    // Tells the starting thread how much of the work is done, once per
    // whole percent, never going back.
    void Report(double done)
    {
        const int percent = std::clamp(int(done * 100), 0, 99);
        if (percent <= percentShown)
            return;
        percentShown = percent;
        const std::lock_guard lock(mutex);
        if (!cancelled)
            QMetaObject::invokeMethod(owner, [save = owner, percent] { emit save->Progress(percent); },
                                      Qt::QueuedConnection);
    }

    bool Cancelled()
    {
        const std::lock_guard lock(mutex);
        return cancelled;
    }

    OutputOutcome Encode()
    {
        if (limit != 0)
            return EncodeWithin();
        // The file streams out as it is encoded; unpublished, it leaves nothing.
        NewFile file(folder);
        const auto failed = [&](const QString& what) {
            return OutputOutcome::Failed(folder + u'/' + fileName + QStringLiteral(": ")
                                         + (file.Error().isEmpty() ? what : file.Error()));
        };
        if (!file.IsOpen())
            return failed(QString());
        const ByteSink sink = [&file](std::span<const std::uint8_t> bytes) { return file.Write(bytes); };
        GifEncoder encoder;
        const QString encoderFailed = QStringLiteral("the GIF encoder failed");
        // A film's palette takes a first pass, a share of the work.
        const double mapFrom = filmed ? kPaletteShare : 0;
        if (filmed) {
            if (!FilmColours(encoder))
                return failed(Cancelled() ? QStringLiteral("cancelled") : encoderFailed);
            player->Reset();
        }
        if (!encoder.Begin(look.size.width(), look.size.height(), player->LoopCount(), sink, std::move(exact)))
            return failed(encoderFailed);
        QImage frame;
        const std::size_t count = player->FrameCount();
        for (std::size_t i = 0; i < count; ++i) {
            if (Cancelled())
                return failed(QStringLiteral("cancelled"));
            // A frame that cannot be decoded leaves the last good one on the
            // canvas, as in the window.
            player->Advance();
            ComposeBoxFrame(look, *player, frame);
            DrawOverlays(frame);
            if (!encoder.AddFrame(frame, player->DelayMs(player->Current())))
                return failed(encoderFailed);
            Report(mapFrom + (1 - mapFrom) * double(i + 1) / double(count));
        }
        if (!encoder.Finish())
            return failed(encoderFailed);
        if (Cancelled())
            return failed(QStringLiteral("cancelled"));
        const QString path = file.Publish(fileName);
        return path.isEmpty() ? failed(QString()) : OutputOutcome::Written(path);
    }

    // Of a film's save, the share of the pass that makes its palette.
    static constexpr double kPaletteShare = 0.3;

    // One palette from the frames of the film, the colours kept exact among
    // them, given to `encoder`.
    bool FilmColours(GifEncoder& encoder)
    {
        FilmPalette palette;
        QImage frame;
        const std::size_t count = player->FrameCount();
        for (std::size_t i = 0; i < count; ++i) {
            if (Cancelled())
                return false;
            player->Advance();
            ComposeBoxFrame(look, *player, frame);
            DrawOverlays(frame);
            if (!palette.Add(frame))
                return false;
            Report(kPaletteShare * double(i + 1) / double(count));
        }
        // One index stays free for the pixels left transparent.
        const std::vector<std::uint32_t> colours = palette.Build(255, exact.colours);
        return !colours.empty() && encoder.SetPalette(colours);
    }

    // The file within `limit` bytes: a reduction is chosen by predicting its
    // size from a sample of frames, the whole film encoded (in memory) only to
    // confirm it, and the bytes checked before the file gets a name.
    OutputOutcome EncodeWithin()
    {
        const QString target = folder + u'/' + fileName + QStringLiteral(": ");
        const std::size_t count = player->FrameCount();
        Sample sample(count);
        sample.runs.resize(sample.starts.size());
        std::vector<int> delays(count);
        QImage frame;
        for (std::size_t i = 0; i < count; ++i) {
            if (Cancelled())
                return OutputOutcome::Failed(target + QStringLiteral("cancelled"));
            player->Advance();
            delays[i] = player->DelayMs(player->Current());
            Report(kSampledShare * double(i + 1) / double(count));
            const int run = sample.RunOf(i, count);
            if (run < 0)
                continue;
            ComposeBoxFrame(look, *player, frame);
            DrawOverlays(frame);
            sample.runs[std::size_t(run)].push_back(frame.copy());
        }

        ReductionSearch search(limit, [&](const Reduction& reduction) { return Predict(reduction, sample, delays); });
        std::vector<std::uint8_t> kept; // the best file within the limit so far
        while (const std::optional<Reduction> reduction = search.Next()) {
            if (Cancelled())
                return OutputOutcome::Failed(target + QStringLiteral("cancelled"));
            std::vector<std::uint8_t> bytes;
            if (!EncodeAll(*reduction, delays, bytes))
                return OutputOutcome::Failed(target + QStringLiteral("the GIF encoder failed"));
            if (bytes.size() > limit) {
                search.TooBig(bytes.size());
                continue;
            }
            kept = std::move(bytes);
            if (!search.Fits(kept.size()))
                break;
        }
        if (!kept.empty() && kept.size() <= limit) {
            NewFile file(folder);
            if (!file.Write(kept) || Cancelled())
                return OutputOutcome::Failed(target + file.Error());
            const QString path = file.Publish(fileName);
            return path.isEmpty() ? OutputOutcome::Failed(target + file.Error()) : OutputOutcome::Written(path);
        }
        return OutputOutcome::Failed(target + QStringLiteral("no GIF of this animation fits in ") + LimitText(limit));
    }

    // The predicted size of the whole file under `reduction`: the header and
    // first frame as the sample's first run has them, the rest from what the
    // sample's later frames cost each; and how like the frames the sample
    // looks at each frame's moment.
    Trial Predict(const Reduction& reduction, const Sample& sample, const std::vector<int>& delays)
    {
        if (Cancelled())
            return {1e18, 0}; // fits nothing: the search ends at once
        const std::size_t count = delays.size();
        double head = 0, body = 0, quality = 0;
        std::size_t represented = 0, compared = 0;
        for (std::size_t r = 0; r < sample.runs.size(); ++r) {
            ReducedGif gif(reduction, look.size);
            gif.Begin(player->LoopCount(), [](std::span<const std::uint8_t>) { return true; }, exact);
            const auto& run = sample.runs[r];
            std::size_t afterFirst = 0;
            QImage shown;
            for (std::size_t j = 0; j < run.size(); ++j) {
                if (j % std::size_t(reduction.step) == 0) {
                    gif.Add(run[j], KeptDelay(delays, sample.starts[r] + j, reduction.step));
                    shown = gif.Shown();
                }
                if (j == 0)
                    afterFirst = gif.Size();
                quality += Similarity(run[j], shown);
                ++compared;
            }
            gif.Finish();
            if (r == 0)
                head = double(afterFirst);
            body += double(gif.Size() - afterFirst);
            represented += run.size() - std::min(run.size(), std::size_t(reduction.step));
        }
        const std::size_t rest = count - std::min(count, std::size_t(reduction.step));
        return {head + (represented ? body * double(rest) / double(represented) : 0),
                compared ? quality / double(compared) : 0};
    }

    // Of a limited save's progress, the share of the first pass that
    // samples; each full encoding then takes most of what is left.
    static constexpr double kSampledShare = 0.3;

    bool EncodeAll(const Reduction& reduction, const std::vector<int>& delays, std::vector<std::uint8_t>& bytes)
    {
        const double from = std::max(kSampledShare, percentShown / 100.0);
        const double to = from + (0.99 - from) * 0.9;
        player->Reset();
        ReducedGif gif(reduction, look.size);
        if (!gif.Begin(player->LoopCount(), [&bytes](std::span<const std::uint8_t> b) {
                bytes.insert(bytes.end(), b.begin(), b.end());
                return true;
            }, exact))
            return false;
        QImage frame;
        for (std::size_t i = 0; i < delays.size(); ++i) {
            if (Cancelled())
                return false;
            player->Advance();
            Report(from + (to - from) * double(i + 1) / double(delays.size()));
            if (i % std::size_t(reduction.step) != 0)
                continue;
            ComposeBoxFrame(look, *player, frame);
            DrawOverlays(frame);
            if (!gif.Add(frame, KeptDelay(delays, i, reduction.step)))
                return false;
        }
        return gif.Finish();
    }

    void DrawOverlays(QImage& frame)
    {
        QPainter painter(&frame);
        for (Overlay& overlay : overlays)
            overlay.painter.Paint(painter, overlay.caption, overlay.captionAt);
    }
};

AnimatedSave::AnimatedSave(std::unique_ptr<Job> job) : job_(std::move(job)) {}

AnimatedSave::~AnimatedSave()
{
    {
        const std::lock_guard lock(job_->mutex);
        job_->cancelled = true;
    }
    if (job_->worker.joinable())
        job_->worker.join();
}

bool AnimatedSave::Running() const
{
    return job_->running;
}

void AnimatedSave::Finish(OutputOutcome outcome)
{
    if (job_->worker.joinable())
        job_->worker.join();
    job_->running = false;
    emit Finished(outcome);
}

std::unique_ptr<AnimatedSave> AnimatedSave::Start(PicBox& box, std::unique_ptr<Animation> player,
                                                  const QString& folder, const QString& fileName,
                                                  OutputOutcome& failure, ByteLimit limit, bool filmed)
{
    QWidget& window = box.NativeWindow();
    const BoxLook look = box.Look();
    if (!player || player->FrameCount() == 0) {
        failure = OutputOutcome::Failed(QStringLiteral("the picture has no frames"));
        return nullptr;
    }
    if (!CapturableSize(&window)) {
        failure = OutputOutcome::Failed(QStringLiteral("the work area has no pixels or is too large"));
        return nullptr;
    }
    if (folder.isEmpty() || fileName.isEmpty()) {
        failure = OutputOutcome::Failed(QStringLiteral("no folder or file name"));
        return nullptr;
    }

    // The captions over the box that the snapshot takes, in stacking order.
    std::vector<Overlay> overlays;
    ExactColours exact;
    exact.protect.assign(std::size_t(look.size.width()) * std::size_t(look.size.height()), 0);
    std::map<std::uint32_t, std::size_t> captionColours;
    const QPoint origin = window.geometry().topLeft();
    for (TransLabel* label : CaptionsOver(&window)) {
        const QPoint at = label->pos() - origin;
        Overlay overlay;
        overlay.caption = label->Look();
        overlay.captionAt = at;
        // Drawn once alone to learn where its pixels are and which are solid.
        QImage alone(label->size(), QImage::Format_ARGB32_Premultiplied);
        alone.fill(Qt::transparent);
        {
            QPainter painter(&alone);
            PaintCaption(painter, overlay.caption, QPoint());
        }
        KeepTextPixels(alone, overlay.caption.colour);
        CountOpaque(alone, captionColours);
        MarkDrawn(alone, at, look.size, exact.protect);
        overlays.push_back(std::move(overlay));
    }
    TakeMostUsed(captionColours, kMaxCaptionColours, exact.colours);

    auto job = std::make_unique<Job>();
    job->player = std::move(player);
    job->look = look;
    job->overlays = std::move(overlays);
    job->exact = std::move(exact);
    job->folder = folder;
    job->fileName = fileName;
    job->limit = limit;
    job->filmed = filmed;
    std::unique_ptr<AnimatedSave> save(new AnimatedSave(std::move(job)));
    AnimatedSave* self = save.get();
    save->job_->owner = self;
    Job* running = save->job_.get();
    running->worker = std::thread([self, running] {
        OutputOutcome outcome = running->Encode();
        const std::lock_guard lock(running->mutex);
        // Once cancelled, the save is being destroyed: nobody waits for it.
        if (!running->cancelled)
            QMetaObject::invokeMethod(self, [self, outcome] { self->Finish(outcome); }, Qt::QueuedConnection);
    });
    return save;
}

} // namespace mugrove
