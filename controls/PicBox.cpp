#include "controls/PicBox.h"

#include "app/model/Colour.h"

#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

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

QImage::Format ViewFormat(ImageKind kind, bool opaque)
{
    // Video frames carry no transparency.
    if (opaque || kind == ImageKind::Clip)
        return QImage::Format_RGB32;
    // GIF pixels are opaque or 0, so they are their own premultiplied form.
    return kind == ImageKind::Gif ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32;
}

QImage PictureView(const Image& image, QImage::Format format)
{
    return QImage(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                  static_cast<qsizetype>(image.width) * 4, format);
}

namespace {

// Each side at most two pixels off the picture's.
bool NearItsSize(QSize target, QSize picture)
{
    return std::abs(target.width() - picture.width()) <= 2 && std::abs(target.height() - picture.height()) <= 2;
}

} // namespace

void PaintPicture(QPainter& painter, QSize box, const QColor& background, const QImage& view,
                  PictureFit fit, bool smooth, QImage& shrunk)
{
    const QRect whole(QPoint(0, 0), box);
    if (view.isNull()) {
        painter.fillRect(whole, background);
        return;
    }
    const QRect target = DisplayTarget(fit, box, view.size());
    // An opaque picture over the whole box hides the background: no pass
    // over the pixels for it.
    if (!(view.format() == QImage::Format_RGB32 && target.contains(whole)))
        painter.fillRect(whole, background);
    if (target.isEmpty())
        return;
    // Transparent pixels (icons, GIFs) let the background show.
    if (target.size() == view.size()) {
        painter.drawImage(target.topLeft(), view);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    if (smooth && (target.width() < view.width() || target.height() < view.height())
        && !NearItsSize(target.size(), view.size())) {
        // Shrinking: painter sampling would skip source pixels, so average
        // them once per size and picture and keep the result for repaints.
        // Within two pixels of its size it skips none, and the painter's
        // filter samples where the averaging centres its areas: the same
        // picture within rounding, for a small part of the averaging's cost.
        if (shrunk.size() != target.size())
            shrunk = view.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(target.topLeft(), shrunk);
        return;
    }
    painter.drawImage(target, view);
}

QRect DisplayTarget(PictureFit fit, QSize box, QSize picture)
{
    const std::int64_t W = std::max(0, box.width()), H = std::max(0, box.height());
    const std::int64_t w = std::max(0, picture.width()), h = std::max(0, picture.height());
    switch (fit) {
    case PictureFit::OwnSize:
        return QRect(0, 0, static_cast<int>(w), static_cast<int>(h));
    case PictureFit::Stretch:
        return QRect(0, 0, static_cast<int>(W), static_cast<int>(H));
    case PictureFit::Centre: {
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
    return {};
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

const PictureBytes& PicBox::Picture() const
{
    static const PictureBytes kNone;
    return picture_ ? *picture_ : kNone;
}

void PicBox::SetPicture(PictureBytes bytes)
{
    // The player stops before the old picture is released and the new one
    // decoded.
    StopPlayer();
    decoded_.reset();
    auto shared = std::make_shared<const PictureBytes>(std::move(bytes));
    std::unique_ptr<DecodedPicture> decoded = DecodeOrNull(shared);
    Show(std::move(shared), std::move(decoded));
}

void PicBox::SetDecodedPicture(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<DecodedPicture> decoded)
{
    StopPlayer();
    decoded_.reset();
    Show(std::move(bytes), std::move(decoded));
}

void PicBox::Show(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<DecodedPicture> decoded)
{
    shrunk_ = QImage();
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
    const auto fit = static_cast<PictureFit>(std::clamp(mode, 0, 2));
    if (fit == fit_)
        return;
    fit_ = fit;
    repaint();
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
    Animation& animation = *decoded_->animation;
    animation.Reset();
    shrunk_ = QImage();
    // The still picture shows when even the first frame cannot be composed.
    if (animation.Advance() != DecodeError::None)
        return;
    playing_ = true;
    timer_->Start(std::chrono::milliseconds(animation.DelayMs(animation.Current())), [this] { ShowNextFrame(); });
}

void PicBox::StopPlayer()
{
    if (timer_)
        timer_->Stop();
    playing_ = false;
}

void PicBox::ShowNextFrame()
{
    if (!playing_)
        return;
    Animation& animation = *decoded_->animation;
    // A damaged frame ends the play on the last good frame, which stays.
    // After the last frame the player starts again at the first: the loop
    // count a file may carry is not consulted.
    if (animation.Advance() != DecodeError::None) {
        playing_ = false;
        return;
    }
    shrunk_ = QImage();
    update();
    timer_->Start(std::chrono::milliseconds(animation.DelayMs(animation.Current())), [this] { ShowNextFrame(); });
}

const Image* PicBox::Shown() const
{
    if (!decoded_)
        return nullptr;
    if (decoded_->animation && !decoded_->animation->Canvas().Empty())
        return &decoded_->animation->Canvas();
    return &decoded_->image;
}

BoxLook PicBox::Look() const
{
    // Averaging when the screen can show the in-between colours, dropping
    // and repeating pixels on 16-bit screens and below.
    const QScreen* s = screen();
    return {size(), ButtonFaceColour(), fit_, s == nullptr || s->depth() > 16,
            ViewFormat(decoded_ ? decoded_->kind : ImageKind::Unrecognised, false)};
}

void PicBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const BoxLook look = Look();
    PaintPicture(painter, look.size, look.background, View(Shown()), look.fit, look.smooth, shrunk_);
}

QImage PicBox::View(const Image* image) const
{
    if (image == nullptr || image->Empty())
        return {};
    return PictureView(*image, ViewFormat(decoded_->kind, image == &decoded_->image && opaque_));
}

QImage PicBox::PaintedAsIs() const
{
    const QImage view = View(Shown());
    // PaintPicture draws such a picture with one unscaled drawImage and no
    // fill under it: a copy of each pixel to its place.
    // At the box's own size every fit places it over the whole box.
    if (view.format() != QImage::Format_RGB32 || view.size() != size())
        return {};
    return view;
}

std::optional<QRgb> PicBox::PaintedPlain() const
{
    // PaintPicture fills the whole box with the background when there is
    // no picture to draw.
    if (!View(Shown()).isNull())
        return std::nullopt;
    return ButtonFaceColour().rgb();
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
    painter.drawImage(0, 0, PictureView(decoded.image, QImage::Format_ARGB32));
    painter.end();
    return result;
}

} // namespace mugrove
