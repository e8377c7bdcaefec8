#include "controls/PicBox.h"

#include "app/model/Colour.h"

#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace mugrove {

namespace {

bool IsOpaque(const Image& image)
{
    return std::all_of(image.pixels.begin(), image.pixels.end(),
                       [](std::uint32_t p) { return (p >> 24) == 0xFF; });
}

class QtFrameTimer : public FrameTimer {
public:
    QtFrameTimer()
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // The callback usually starts the next wait, replacing fire_;
            // it must not be replaced while it runs.
            const std::function<void()> fire = std::move(fire_);
            fire_ = nullptr;
            if (fire)
                fire();
        });
    }
    void Start(std::chrono::milliseconds delay, std::function<void()> fire) override
    {
        fire_ = std::move(fire);
        timer_.start(delay);
    }
    void Stop() override
    {
        timer_.stop();
        fire_ = nullptr;
    }

private:
    QTimer timer_;
    std::function<void()> fire_;
};

} // namespace

std::unique_ptr<FrameTimer> MakeQtFrameTimer()
{
    return std::make_unique<QtFrameTimer>();
}

QImage PictureView(const Image& image, bool opaque)
{
    return QImage(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                  static_cast<qsizetype>(image.width) * 4,
                  opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
}

void PaintPicture(QPainter& painter, QSize box, const QColor& background, const QImage& view,
                  int mode, bool smooth, QImage& shrunk)
{
    painter.fillRect(QRect(QPoint(0, 0), box), background);
    if (view.isNull())
        return;
    const QRect target = DisplayTarget(mode, box, view.size());
    if (target.isEmpty())
        return;
    // Transparent pixels (icons, GIFs) let the background show.
    if (target.size() == view.size()) {
        painter.drawImage(target.topLeft(), view);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    if (smooth && (target.width() < view.width() || target.height() < view.height())) {
        // Shrinking: painter sampling would skip source pixels, so average
        // them once per size and picture and keep the result for repaints.
        if (shrunk.size() != target.size())
            shrunk = view.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(target.topLeft(), shrunk);
        return;
    }
    painter.drawImage(target, view);
}

QRect DisplayTarget(int mode, QSize box, QSize picture)
{
    const std::int64_t W = std::max(0, box.width()), H = std::max(0, box.height());
    const std::int64_t w = std::max(0, picture.width()), h = std::max(0, picture.height());
    switch (mode) {
    case 0:
        return QRect(0, 0, static_cast<int>(w), static_cast<int>(h));
    case 1:
        return QRect(0, 0, static_cast<int>(W), static_cast<int>(H));
    default: {
        std::int64_t tw = w, th = h;
        if ((w > W || h > H) && w > 0 && h > 0) {
            // Compare W/w with H/h in integers so the truncation is exact.
            if (W * h <= H * w) {
                tw = W;
                th = h * W / w;
            } else {
                th = H;
                tw = w * H / h;
            }
        }
        return QRect(static_cast<int>((W - tw) / 2), static_cast<int>((H - th) / 2), static_cast<int>(tw),
                     static_cast<int>(th));
    }
    }
}

PicBox::PicBox(QWidget* parent) : QWidget(parent), Control(this), timer_(MakeQtFrameTimer())
{
    // Every paint fills the whole box first, so nothing beneath needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

PicBox::~PicBox()
{
    StopPlayer();
}

void PicBox::SetPicture(PictureBytes bytes)
{
    // The player stops before the old picture is released and the new one
    // decoded; the composer refers into the old frames.
    StopPlayer();
    decoded_.reset();
    std::unique_ptr<DecodedPicture> decoded;
    if (!bytes.empty()) {
        decoded = std::make_unique<DecodedPicture>();
        if (DecodePicture(bytes, *decoded) != DecodeError::None)
            decoded.reset();
    }
    Show(std::move(bytes), std::move(decoded));
}

void PicBox::SetDecodedPicture(PictureBytes bytes, std::unique_ptr<DecodedPicture> decoded)
{
    StopPlayer();
    decoded_.reset();
    Show(std::move(bytes), std::move(decoded));
}

void PicBox::Show(PictureBytes bytes, std::unique_ptr<DecodedPicture> decoded)
{
    shrunk_ = QImage();
    ++generation_;
    picture_ = std::move(bytes);
    decoded_ = std::move(decoded);
    // JPEG and PCX pictures have no transparency; the others are looked at.
    const bool noAlpha = decoded_
        && (decoded_->kind == ImageKind::Jpeg || decoded_->kind == ImageKind::Pcx8
            || decoded_->kind == ImageKind::Pcx1);
    opaque_ = decoded_ && !decoded_->Animated() && (noAlpha || IsOpaque(decoded_->image));
    if (decoded_ && decoded_->Animated())
        StartPlayer();
    // Painted with the next paint of the window: a handler that goes on to
    // resize the box then paints it once, at its new size.
    update();
}

void PicBox::SetDisplayMode(int mode)
{
    mode = std::clamp(mode, 0, 2);
    if (mode == displayMode_)
        return;
    displayMode_ = mode;
    repaint();
}

std::size_t PicBox::CurrentFrame() const
{
    return composer_ ? composer_->Current() : 0;
}

void PicBox::SetFrameTimer(std::unique_ptr<FrameTimer> timer)
{
    const bool playing = Animating();
    StopPlayer();
    timer_ = std::move(timer);
    if (playing)
        StartPlayer();
}

void PicBox::StartPlayer()
{
    composer_ = std::make_unique<GifComposer>(*decoded_->animation);
    composer_->Advance();
    ++generation_;
    timer_->Start(std::chrono::milliseconds(decoded_->animation->frames[0].delayMs), [this] { ShowNextFrame(); });
}

void PicBox::StopPlayer()
{
    if (timer_)
        timer_->Stop();
    composer_.reset();
}

void PicBox::ShowNextFrame()
{
    if (!composer_)
        return;
    const std::size_t index = composer_->Advance();
    ++generation_;
    update();
    // After the last frame the composer starts again at the first: the
    // loop count a file may carry is not consulted.
    timer_->Start(std::chrono::milliseconds(decoded_->animation->frames[index].delayMs),
                  [this] { ShowNextFrame(); });
}

const Image* PicBox::Shown() const
{
    if (composer_)
        return &composer_->Canvas();
    if (decoded_)
        return &decoded_->image;
    return nullptr;
}

void PicBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const Image* image = Shown();
    // Averaging when the screen can show the in-between colours, dropping
    // and repeating pixels on 16-bit screens and below.
    const QScreen* s = screen();
    const bool smooth = s == nullptr || s->depth() > 16;
    if (shrunkGeneration_ != generation_) {
        shrunk_ = QImage();
        shrunkGeneration_ = generation_;
    }
    PaintPicture(painter, size(), ButtonFaceColour(),
                 image && !image->Empty() ? PictureView(*image, opaque_ && !composer_) : QImage(),
                 displayMode_, smooth, shrunk_);
}

void PicBox::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The picture is fitted to the box, so every part of it may change.
    update();
}

std::optional<QImage> DecodeToImage(std::span<const std::uint8_t> bytes)
{
    DecodedPicture decoded;
    if (DecodePicture(bytes, decoded) != DecodeError::None)
        return std::nullopt;
    QImage result(decoded.Width(), decoded.Height(), QImage::Format_RGB32);
    if (result.isNull())
        return std::nullopt;
    result.fill(Qt::white);
    QPainter painter(&result);
    painter.drawImage(0, 0, PictureView(decoded.image));
    painter.end();
    return result;
}

} // namespace mugrove
