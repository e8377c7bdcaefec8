#include "output/AnimatedSave.h"

#include "app/model/Colour.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "controls/decoders/Animation.h"
#include "output/GifEncoder.h"
#include "output/NewFile.h"
#include "output/Snapshot.h"

#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <algorithm>
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

// Colours kept exact in every palette: the captions' first, then those of
// other controls over the box; the rest of the palette is the picture's.
constexpr std::size_t kMaxCaptionColours = 16;
constexpr std::size_t kMaxExactColours = 32;

// What lies above the box, bottom first. Captions are drawn anew onto each
// frame from their looks taken at the click, exactly as the window draws
// them (their edges blend with whatever frame is beneath); other controls
// are drawn once at the click and laid over every frame.
struct Overlay {
    QImage layer; // premultiplied; transparent where nothing is drawn
    QPoint layerAt;
    std::optional<CaptionLook> caption;
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

// The part of a layer that holds anything, so untouched space costs nothing.
QImage Trimmed(const QImage& layer, QPoint& at)
{
    int x0 = layer.width(), y0 = layer.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < layer.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
        for (int x = 0; x < layer.width(); ++x)
            if (qAlpha(row[x]) != 0) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    }
    if (x1 < 0)
        return {};
    at = QPoint(x0, y0);
    return layer.copy(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

} // namespace

// The worker's side: everything it reads is its own from the start.
struct AnimatedSave::Job {
    std::unique_ptr<Animation> player;
    BoxLook look;
    std::vector<Overlay> overlays;
    ExactColours exact;
    QString folder;
    QString fileName;
    std::thread worker;
    bool running = true; // the starting thread's only

    std::mutex mutex;
    bool cancelled = false;

    bool Cancelled()
    {
        const std::lock_guard lock(mutex);
        return cancelled;
    }

    OutputOutcome Encode()
    {
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
        }
        if (!encoder.Finish())
            return failed(encoderFailed);
        if (Cancelled())
            return failed(QStringLiteral("cancelled"));
        const QString path = file.Publish(fileName);
        return path.isEmpty() ? failed(QString()) : OutputOutcome::Written(path);
    }

    void DrawOverlays(QImage& frame)
    {
        QPainter painter(&frame);
        for (Overlay& overlay : overlays) {
            if (overlay.caption)
                overlay.painter.Paint(painter, *overlay.caption, overlay.captionAt);
            else
                painter.drawImage(overlay.layerAt, overlay.layer);
        }
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
                                                  OutputOutcome& failure)
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

    // Everything above the box that the snapshot takes, in stacking order.
    std::vector<Overlay> overlays;
    ExactColours exact;
    exact.protect.assign(std::size_t(look.size.width()) * std::size_t(look.size.height()), 0);
    std::map<std::uint32_t, std::size_t> captionColours, otherColours;
    QImage layer;
    const auto closeLayer = [&] {
        if (layer.isNull())
            return;
        Overlay overlay;
        overlay.layer = Trimmed(layer, overlay.layerAt);
        if (!overlay.layer.isNull()) {
            CountOpaque(overlay.layer, otherColours);
            MarkDrawn(overlay.layer, overlay.layerAt, look.size, exact.protect);
            overlays.push_back(std::move(overlay));
        }
        layer = QImage();
    };
    const QPoint origin = window.geometry().topLeft();
    for (QWidget* sibling : WidgetsOver(&window)) {
        const QPoint at = sibling->pos() - origin;
        if (auto* label = qobject_cast<TransLabel*>(sibling)) {
            closeLayer();
            Overlay overlay;
            overlay.caption = label->Look();
            overlay.captionAt = at;
            // Drawn once alone to learn where its pixels are and which are solid.
            QImage alone(label->size(), QImage::Format_ARGB32_Premultiplied);
            alone.fill(Qt::transparent);
            {
                QPainter painter(&alone);
                PaintCaption(painter, *overlay.caption, QPoint());
            }
            CountOpaque(alone, captionColours);
            MarkDrawn(alone, at, look.size, exact.protect);
            overlays.push_back(std::move(overlay));
            continue;
        }
        if (layer.isNull()) {
            layer = QImage(look.size, QImage::Format_ARGB32_Premultiplied);
            layer.fill(Qt::transparent);
        }
        sibling->render(&layer, at, QRegion(), QWidget::DrawChildren);
    }
    closeLayer();
    TakeMostUsed(captionColours, kMaxCaptionColours, exact.colours);
    TakeMostUsed(otherColours, kMaxExactColours, exact.colours);

    auto job = std::make_unique<Job>();
    job->player = std::move(player);
    job->look = look;
    job->overlays = std::move(overlays);
    job->exact = std::move(exact);
    job->folder = folder;
    job->fileName = fileName;
    std::unique_ptr<AnimatedSave> save(new AnimatedSave(std::move(job)));
    AnimatedSave* self = save.get();
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
