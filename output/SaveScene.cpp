#include "output/SaveScene.h"

#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "controls/decoders/Animation.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace mugrove {

namespace {

// One frame as the box paints it: the background and the frame canvas fitted
// in by the display mode. `frame` is reused when it has the box's size.
void ComposeBoxFrame(const BoxLook& look, const Image& canvas, QImage& frame)
{
    if (frame.size() != look.size || frame.format() != QImage::Format_RGB32)
        frame = QImage(look.size, QImage::Format_RGB32);
    QImage shrunk;
    QPainter painter(&frame);
    PaintPicture(painter, look.size, look.background,
                 canvas.Empty() ? QImage() : PictureView(canvas, look.frameFormat), look.fit, look.smooth, shrunk,
                 look.shape);
}

// Colours kept exact in every palette: the captions'; the rest of the
// palette is the picture's.
constexpr std::size_t kMaxCaptionColours = 16;

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

} // namespace

SaveScene CaptureScene(const PicBox& box, const QList<TransLabel*>& captions)
{
    SaveScene scene;
    scene.box = box.Look();
    const QSize size = scene.box.size;
    scene.exact.protect.assign(std::size_t(size.width()) * std::size_t(size.height()), 0);
    std::map<std::uint32_t, std::size_t> captionColours;
    const QPoint origin = box.NativeWindow().geometry().topLeft();
    for (const TransLabel* label : captions) {
        PlacedCaption caption{label->Look(), label->pos() - origin};
        // Drawn once alone to learn where its pixels are and which are solid.
        QImage alone(label->size(), QImage::Format_ARGB32_Premultiplied);
        alone.fill(Qt::transparent);
        {
            QPainter painter(&alone);
            PaintCaption(painter, caption.look, QPoint());
        }
        KeepTextPixels(alone, caption.look.colour);
        CountOpaque(alone, captionColours);
        MarkDrawn(alone, caption.at, size, scene.exact.protect);
        scene.captions.push_back(std::move(caption));
    }
    TakeMostUsed(captionColours, kMaxCaptionColours, scene.exact.colours);
    return scene;
}

FrameComposer::FrameComposer(const SaveScene& scene) : scene_(scene), painters_(scene.captions.size()) {}

void FrameComposer::Compose(const Animation& player, QImage& frame)
{
    Compose(player.Canvas(), frame);
}

void FrameComposer::Compose(const Image& canvas, QImage& frame)
{
    ComposeBoxFrame(scene_.box, canvas, frame);
    QPainter painter(&frame);
    for (std::size_t i = 0; i < painters_.size(); ++i)
        painters_[i].Paint(painter, scene_.captions[i].look, scene_.captions[i].at);
}

} // namespace mugrove
