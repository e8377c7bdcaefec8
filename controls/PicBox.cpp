#include "controls/PicBox.h"

#include "app/model/Colour.h"

#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <any>
#include <mutex>

namespace mugrove {

namespace {

bool IsOpaque(const Image& image)
{
    return std::all_of(image.pixels.begin(), image.pixels.end(),
                       [](std::uint32_t p) { return (p >> 24) == 0xFF; });
}

} // namespace

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
    std::unique_ptr<DecodedPicture> decoded = DecodeOwnOrNull(shared);
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
    frameLook_.reset();
    shape_ = {};
    picture_ = std::move(bytes);
    decoded_ = std::move(decoded);
    // JPEG and PCX pictures have no transparency; the others are looked at.
    const bool noAlpha = decoded_
        && (decoded_->kind == ImageKind::Jpeg || decoded_->kind == ImageKind::Pcx8
            || decoded_->kind == ImageKind::Pcx1);
    opaque_ = decoded_ && !decoded_->Animated() && (noAlpha || decoded_->image.opaque || IsOpaque(decoded_->image));
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
    ShareLook();
    repaint();
}

void PicBox::SetBand(int rows)
{
    rows = std::max(0, rows);
    if (rows == band_)
        return;
    band_ = rows;
    shrunk_ = QImage();
    ShareLook();
    update();
}

void PicBox::SetShape(const PictureShape& shape)
{
    if (shape == shape_)
        return;
    shape_ = shape;
    shrunk_ = QImage();
    ShareLook();
    update();
}

QSize PicBox::ShapedSize() const
{
    if (!decoded_)
        return {};
    return mugrove::ShapedSize(QSize(decoded_->Width(), decoded_->Height()), shape_);
}

void PicBox::SetFrameTimer(std::unique_ptr<FrameTimer> timer)
{
    const bool playing = Animating();
    StopPlayer();
    timer_ = std::move(timer);
    if (playing)
        StartPlayer();
}

struct PicBox::FrameLook {
    std::mutex mutex;
    BoxLook look;
};

void PicBox::ShareLook()
{
    if (!frameLook_)
        return;
    const BoxLook look = Look();
    const std::lock_guard lock(frameLook_->mutex);
    frameLook_->look = look;
}

void PicBox::StartPlayer()
{
    Animation& animation = *decoded_->animation;
    // A player that decodes ahead also shrinks each frame to the box there,
    // with the function the paint uses, so the paint only copies it.
    frameLook_ = std::make_shared<FrameLook>();
    ShareLook();
    animation.SetFrameTask([shared = frameLook_](const Image& frame) -> std::any {
        BoxLook look;
        {
            const std::lock_guard lock(shared->mutex);
            look = shared->look;
        }
        QImage shrunk =
            ShrunkPicture(look.PictureSize(), look.fit, look.smooth, PictureView(frame, look.frameFormat), look.shape);
        if (shrunk.isNull())
            return {};
        return PreparedFrame{std::move(shrunk), look.shape};
    });
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
            ViewFormat(decoded_ ? decoded_->kind : ImageKind::Unrecognised, false), band_, shape_};
}

void PicBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const BoxLook look = Look();
    if (shrunk_.isNull() && playing_)
        if (const auto* worked = std::any_cast<PreparedFrame>(&decoded_->animation->TaskResult());
            worked != nullptr && worked->shape == shape_)
            shrunk_ = worked->image;
    PaintBox(painter, look, View(Shown()), shrunk_);
}

QImage PicBox::View(const Image* image) const
{
    if (image == nullptr || image->Empty())
        return {};
    return PictureView(*image, ViewFormat(decoded_->kind, image == &decoded_->image && opaque_));
}

QImage PicBox::PaintedAsIs() const
{
    // A shaped picture is drawn from a part or a turned copy.
    if (!shape_.Plain())
        return {};
    const QImage view = View(Shown());
    // PaintPicture draws such a picture with one unscaled drawImage and no
    // fill under it: a copy of each pixel to its place.
    // At the box's own size every fit places it over the whole box.
    if (band_ > 0 || view.format() != QImage::Format_RGB32 || view.size() != size())
        return {};
    return view;
}

std::optional<QRgb> PicBox::PaintedPlain() const
{
    // PaintPicture fills the whole box with the background when there is
    // no picture to draw.
    if (band_ > 0 || !View(Shown()).isNull())
        return std::nullopt;
    return ButtonFaceColour().rgb();
}

void PicBox::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ShareLook();
    // The picture is fitted to the box, so every part of it may change.
    update();
}

} // namespace mugrove
