#pragma once

#include "app/model/Control.h"
#include "controls/FrameTimer.h"
#include "controls/PicturePaint.h"
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

// What a playing box's player prepares on its worker for each frame: the
// frame averaged down to the box (and turned), with the shape it was made
// for, so a frame made before a turn is not shown after it.
struct PreparedFrame {
    QImage image;
    PictureShape shape;
};

// The picture box: shows a picture decoded from its bytes, fitted into the
// box by its display mode, over the button-face background. A picture of
// several frames plays for ever, each frame decoded when its turn comes.
class PicBox : public QWidget, public Control {
    Q_OBJECT
public:
    explicit PicBox(QWidget* parent);
    ~PicBox() override;

    const PictureBytes& Picture() const;
    // The same bytes as the box shares them (null before any picture), so
    // whoever keeps them keeps no second copy.
    std::shared_ptr<const PictureBytes> SharedPicture() const { return picture_; }
    // Keeps the bytes of one of our own pictures (a template) and decodes
    // them once, here (DecodeOwnPicture); bytes that do not decode stay the
    // Picture but show nothing. Empty bytes clear the picture. Pictures from
    // outside come decoded, through SetDecodedPicture.
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

    // How the picture is cut, mirrored and turned before it is fitted into
    // the box. A new picture starts plain; frames are shaped as they are
    // drawn, never ahead of time.
    const PictureShape& Shape() const { return shape_; }
    void SetShape(const PictureShape& shape);
    // The picture's size as shaped (empty without a picture).
    QSize ShapedSize() const;

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

    // The caption band: white rows at the top of the box, above the picture,
    // which is fitted into the rest. 0 (no band) at first.
    int Band() const { return band_; }
    void SetBand(int rows);

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
    PictureShape shape_;
    bool playing_ = false;
    bool opaque_ = false; // the still picture has no transparent pixel
    int band_ = 0;
    // The picture averaged down to the box, kept while neither the target
    // size nor the picture (or GIF frame) changes.
    QImage shrunk_;
    // The look a player that works ahead shrinks its frames for, shared
    // with its worker; null while no such player is set up.
    struct FrameLook;
    std::shared_ptr<FrameLook> frameLook_;
    void ShareLook();
};

} // namespace mugrove
