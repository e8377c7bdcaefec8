#pragma once

#include "app/model/Control.h"
#include "controls/decoders/DecodedPicture.h"
#include "controls/decoders/PictureBytes.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace mugrove {

// How a picture is fitted into its box; the values are those of the
// DisplayMode property.
enum class PictureFit {
    OwnSize = 0, // at its own size at the top-left
    Stretch = 1, // stretched or shrunk to the whole box
    Centre = 2,  // centred at its own size, first shrunk to fit when larger
};

// The rectangle a w × h picture is drawn into in a W × H box. Centred
// pictures wider or taller than the box are shrunk keeping proportions, by
// the smaller of W/w and H/h, sizes truncated to whole pixels.
QRect DisplayTarget(PictureFit fit, QSize box, QSize picture);

// Calls back once after a delay; the GIF player's clock. The real one is a
// QTimer on the window thread; tests put in one they fire by hand.
class FrameTimer {
public:
    virtual ~FrameTimer() = default;
    // Replaces whatever was scheduled.
    virtual void Start(std::chrono::milliseconds delay, std::function<void()> fire) = 0;
    virtual void Stop() = 0;
};

std::unique_ptr<FrameTimer> MakeQtFrameTimer();

// The format the box views a picture's pixels in: RGB32 for an opaque one,
// which draws without blending; premultiplied for GIF pixels, which are
// opaque or 0 and so their own premultiplied form; plain ARGB32 otherwise.
QImage::Format ViewFormat(ImageKind kind, bool opaque);
// A decoded picture as a QImage of `format` over the same pixels (no copy).
QImage PictureView(const Image& image, QImage::Format format);

// How a box paints its picture: enough to paint frames the same way on
// another thread.
struct BoxLook {
    QSize size;
    QColor background;
    PictureFit fit = PictureFit::OwnSize;
    bool smooth = true;
    QImage::Format frameFormat = QImage::Format_ARGB32; // how an animation's frames are viewed
};

// Paints a box of `box` pixels as the work area shows `picture` fitted by
// `fit`: the background, then the picture in its DisplayTarget, scaled
// smoothly (averaged down when shrinking) or by dropping and repeating pixels.
// `shrunk` keeps the averaged-down picture from paint to paint; clear it
// whenever the picture changes. Safe on any thread.
void PaintPicture(QPainter& painter, QSize box, const QColor& background, const QImage& picture,
                  PictureFit fit, bool smooth, QImage& shrunk);

// The picture box: shows a picture decoded from its bytes, fitted into the
// box by its display mode, over the button-face background. A picture of
// several frames plays for ever, each frame decoded when its turn comes.
class PicBox : public QWidget, public Control {
    Q_OBJECT
public:
    explicit PicBox(QWidget* parent);
    ~PicBox() override;

    const PictureBytes& Picture() const;
    // Keeps the bytes and decodes them once; bytes that do not decode stay
    // the Picture but show nothing. Empty bytes clear the picture.
    void SetPicture(PictureBytes bytes);
    // The same for bytes that the caller has decoded already (`decoded` is
    // their decoded form, or null when they are not a picture); an animation
    // plays from the same shared bytes the box keeps.
    void SetDecodedPicture(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<DecodedPicture> decoded);

    // The DisplayMode property: 0 own size at the top-left, 1 stretched to
    // the box, 2 centred and shrunk to fit (PictureFit); other values are
    // clamped into 0..2.
    int DisplayMode() const { return static_cast<int>(fit_); }
    void SetDisplayMode(int mode);

    // The decoded picture, or null when there is none.
    const DecodedPicture* Decoded() const { return decoded_.get(); }
    // Whether frames are still being changed: false for a still picture and
    // after a damaged frame ended the play.
    bool Animating() const { return playing_; }
    // The picture on show when painting the box is one plain copy of it over
    // the whole box (an opaque picture of the box's size); null otherwise.
    // Whoever reads the box's pixels can read these without painting.
    QImage PaintedAsIs() const;
    // The colour of every pixel when the box shows no picture and paints its
    // background alone; nothing otherwise.
    std::optional<QRgb> PaintedPlain() const;
    // How the box paints now.
    BoxLook Look() const;

    // Replaces the player's clock (tests drive time with their own).
    void SetFrameTimer(std::unique_ptr<FrameTimer> timer);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Show(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<DecodedPicture> decoded);
    void StartPlayer();
    void StopPlayer();
    void ShowNextFrame();
    const Image* Shown() const;
    // The picture as the painter draws it, sharing its pixels.
    QImage View(const Image* image) const;

    std::shared_ptr<const PictureBytes> picture_; // shared with a playing animation
    std::unique_ptr<DecodedPicture> decoded_;
    std::unique_ptr<FrameTimer> timer_;
    PictureFit fit_ = PictureFit::OwnSize;
    bool playing_ = false;
    bool opaque_ = false; // the still picture has no transparent pixel
    // The picture averaged down to the box, kept while neither the target
    // size nor the picture (or GIF frame) changes.
    QImage shrunk_;
};

} // namespace mugrove
