#include "output/GifWork.h"

#include "controls/decoders/Animation.h"
#include "output/GifEncoder.h"
#include "output/GifFit.h"
#include "output/Likeness.h"
#include "output/NewFile.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace mugrove {

namespace {

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
        encoder_.SetDithering(reduction_.dithering);
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
    // What a viewer shows so far, scaled back to the box's size as the
    // file is judged.
    QImage Shown() const { return ScaledBack(encoder_.Shown(), box_); }

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
    // The runs as an unlimited save shows them: a limited file is judged
    // against that, dithering and all, not against the composed frames.
    std::vector<std::vector<QImage>> unlimited;
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

// Of a limited save's progress, the share of the first pass that
// samples; each full encoding then takes most of what is left.
constexpr double kSampledShare = 0.3;

// A limited save's frames: the delay of each, and the sample's frames,
// composed once. False when the save was called off.
bool TakeSample(GifWork& work, Sample& sample, std::vector<int>& delays)
{
    Animation& player = work.Player();
    const std::size_t count = delays.size();
    sample.runs.resize(sample.starts.size());
    QImage frame;
    for (std::size_t i = 0; i < count; ++i) {
        if (work.CalledOff())
            return false;
        player.Advance();
        delays[i] = player.DelayMs(player.Current());
        work.Report(kSampledShare * double(i + 1) / double(count));
        const int run = sample.RunOf(i, count);
        if (run < 0)
            continue;
        work.Compose(frame);
        sample.runs[std::size_t(run)].push_back(frame.copy());
    }
    return true;
}

// The predicted size of the whole file under `reduction`: the header and
// first frame as the sample's first run has them, the rest from what the
// sample's later frames cost each; and how like the unlimited save the
// sample looks at each frame's moment.
Trial Predict(GifWork& work, const Reduction& reduction, const Sample& sample, const std::vector<int>& delays)
{
    if (work.CalledOff())
        return {1e18, 0}; // fits nothing: the search ends at once
    const SaveScene& scene = work.Job().scene;
    const std::size_t count = delays.size();
    double head = 0, body = 0, quality = 0;
    std::size_t represented = 0, compared = 0;
    for (std::size_t r = 0; r < sample.runs.size(); ++r) {
        ReducedGif gif(reduction, scene.box.size);
        gif.Begin(work.Player().LoopCount(), [](std::span<const std::uint8_t>) { return true; }, scene.exact);
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
            quality += Likeness(sample.unlimited[r][j], shown);
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

// The whole film under `reduction`, into `bytes`. False when the encoder
// failed or the save was called off.
bool EncodeAll(GifWork& work, const Reduction& reduction, const std::vector<int>& delays,
               std::vector<std::uint8_t>& bytes)
{
    const double from = std::max(kSampledShare, work.Reported());
    const double to = from + (0.99 - from) * 0.9;
    Animation& player = work.Player();
    player.Reset();
    const SaveScene& scene = work.Job().scene;
    ReducedGif gif(reduction, scene.box.size);
    if (!gif.Begin(player.LoopCount(), [&bytes](std::span<const std::uint8_t> b) {
            bytes.insert(bytes.end(), b.begin(), b.end());
            return true;
        }, scene.exact))
        return false;
    QImage frame;
    for (std::size_t i = 0; i < delays.size(); ++i) {
        if (work.CalledOff())
            return false;
        player.Advance();
        work.Report(from + (to - from) * double(i + 1) / double(delays.size()));
        if (i % std::size_t(reduction.step) != 0)
            continue;
        work.Compose(frame);
        if (!gif.Add(frame, KeptDelay(delays, i, reduction.step)))
            return false;
    }
    return gif.Finish();
}

} // namespace

// A reduction is chosen by predicting its size from a sample of frames, the
// whole film encoded (in memory) only to confirm it, and the bytes checked
// before the file gets a name.
OutputOutcome EncodeWithinLimit(GifWork& work)
{
    const ByteLimit limit = work.Job().plan.limit;
    const std::size_t count = work.Player().FrameCount();
    Sample sample(count);
    std::vector<int> delays(count);
    if (!TakeSample(work, sample, delays))
        return work.Failed(QStringLiteral("cancelled"));

    for (std::size_t r = 0; r < sample.runs.size(); ++r) {
        ReducedGif gif(Reduction(), work.Job().scene.box.size);
        gif.Begin(work.Player().LoopCount(), [](std::span<const std::uint8_t>) { return true; }, work.Job().scene.exact);
        auto& shown = sample.unlimited.emplace_back();
        for (std::size_t j = 0; j < sample.runs[r].size(); ++j) {
            gif.Add(sample.runs[r][j], delays[sample.starts[r] + j]);
            shown.push_back(gif.Shown());
        }
    }
    ReductionSearch search(limit, [&](const Reduction& reduction) { return Predict(work, reduction, sample, delays); });
    std::vector<std::uint8_t> kept; // the best file within the limit so far
    while (const std::optional<Reduction> reduction = search.Next()) {
        if (work.CalledOff())
            return work.Failed(QStringLiteral("cancelled"));
        std::vector<std::uint8_t> bytes;
        if (!EncodeAll(work, *reduction, delays, bytes))
            return work.Failed(QStringLiteral("the GIF encoder failed"));
        if (bytes.size() > limit) {
            search.TooBig(bytes.size());
            continue;
        }
        kept = std::move(bytes);
        search.Fitted(kept.size());
    }
    if (kept.empty() || kept.size() > limit)
        return work.Failed(QStringLiteral("no GIF of this animation fits in ") + LimitText(limit));
    const GifJob& job = work.Job();
    NewFile file(job.folder);
    if (!file.Write(kept) || work.CalledOff())
        return work.Failed(file.Error());
    const QString path = file.Publish(job.fileName);
    return path.isEmpty() ? work.Failed(file.Error()) : OutputOutcome::Written(path);
}

} // namespace mugrove
