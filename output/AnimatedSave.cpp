#include "output/AnimatedSave.h"

#include "app/Form.h"
#include "app/model/Button.h"
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

// Colours kept exact in every palette: the captions' first, then those of
// other controls over the box; the rest of the palette is the picture's.
constexpr std::size_t kMaxCaptionColours = 16;
constexpr std::size_t kMaxExactColours = 32;

const QString kSaving = QStringLiteral("保存中...");
const QString kSaved = QStringLiteral("保存成功!!");
const QString kFailed = QStringLiteral("保存失败!!");

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

class AnimatedSaveJob : public QObject {
public:
    AnimatedSaveJob(Button& button, std::unique_ptr<Animation> player, BoxLook look,
                    std::vector<Overlay> overlays, ExactColours exact, QString folder, QString fileName)
        : QObject(&button), button_(button), player_(std::move(player)), look_(std::move(look)),
          overlays_(std::move(overlays)), exact_(std::move(exact)), folder_(std::move(folder)),
          fileName_(std::move(fileName))
    {
    }

    ~AnimatedSaveJob() override
    {
        {
            const std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        if (worker_.joinable())
            worker_.join();
    }

    void Start() { worker_ = std::thread([this] { Run(); }); }
    bool Running() const { return running_; }

private:
    void Run()
    {
        const bool saved = Encode();
        const std::lock_guard lock(mutex_);
        if (!cancelled_)
            QMetaObject::invokeMethod(this, [this, saved] { Finish(saved); }, Qt::QueuedConnection);
    }

    bool Cancelled()
    {
        const std::lock_guard lock(mutex_);
        return cancelled_;
    }

    bool Encode()
    {
        // The file streams out as it is encoded; unpublished, it leaves nothing.
        NewFile file(folder_);
        if (!file.IsOpen())
            return false;
        const ByteSink sink = [&file](std::span<const std::uint8_t> bytes) { return file.Write(bytes); };
        GifEncoder encoder;
        if (!encoder.Begin(look_.size.width(), look_.size.height(), player_->LoopCount(), sink,
                           std::move(exact_)))
            return false;
        QImage frame;
        const std::size_t count = player_->FrameCount();
        for (std::size_t i = 0; i < count; ++i) {
            if (Cancelled())
                return false;
            // A frame that cannot be decoded leaves the last good one on the
            // canvas, as in the window.
            player_->Advance();
            ComposeBoxFrame(look_, *player_, frame);
            DrawOverlays(frame);
            if (!encoder.AddFrame(frame, player_->DelayMs(player_->Current())))
                return false;
        }
        return encoder.Finish() && !Cancelled() && !file.Publish(fileName_).isEmpty();
    }

    void DrawOverlays(QImage& frame)
    {
        QPainter painter(&frame);
        for (Overlay& overlay : overlays_) {
            if (overlay.caption)
                overlay.painter.Paint(painter, *overlay.caption, overlay.captionAt);
            else
                painter.drawImage(overlay.layerAt, overlay.layer);
        }
    }

    void Finish(bool saved)
    {
        if (worker_.joinable())
            worker_.join();
        running_ = false;
        button_.SetCaption(saved ? kSaved : kFailed);
        deleteLater();
    }

    Button& button_;
    std::unique_ptr<Animation> player_;
    const BoxLook look_;
    std::vector<Overlay> overlays_;
    ExactColours exact_;
    const QString folder_;
    const QString fileName_;
    std::thread worker_;
    bool running_ = true; // window thread only

    std::mutex mutex_;
    bool cancelled_ = false;
};

AnimatedSaveJob* RunningJob(const Form& form)
{
    for (auto* job : form.saveButton->findChildren<AnimatedSaveJob*>(Qt::FindDirectChildrenOnly))
        if (job->Running())
            return job;
    return nullptr;
}

} // namespace

bool StartAnimatedSave(Form& form, std::unique_ptr<Animation> player, const QString& folder,
                       const QString& fileName)
{
    Button& button = *form.saveButton;
    QWidget& box = form.workArea->NativeWindow();
    const BoxLook look = form.workArea->Look();
    if (!player || player->FrameCount() == 0 || !CapturableSize(&box) || folder.isEmpty() || fileName.isEmpty()) {
        button.SetCaption(kFailed);
        return false;
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
    const QPoint origin = box.geometry().topLeft();
    for (QWidget* sibling : WidgetsOver(&box)) {
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
            KeepTextPixels(alone, overlay.caption->colour);
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

    auto* job = new AnimatedSaveJob(button, std::move(player), look, std::move(overlays), std::move(exact),
                                    folder, fileName);
    button.SetCaption(kSaving);
    job->Start();
    return true;
}

bool AnimatedSaveRunning(const Form& form)
{
    return RunningJob(form) != nullptr;
}

} // namespace mugrove
