#pragma once

#include "app/model/Control.h"
#include "controls/decoders/PictureBytes.h"

#include <QWidget>

namespace mugrove {

// The picture box: shows a picture decoded from its bytes, fitted into the
// box by its display mode, over the button-face background.
class PicBox : public QWidget, public Control {
    Q_OBJECT
public:
    explicit PicBox(QWidget* parent);

    const PictureBytes& Picture() const { return picture_; }
    void SetPicture(PictureBytes bytes);

    // 0 own size at the top-left, 1 stretched to the box, 2 centred and
    // shrunk to fit; other values are clamped into 0..2.
    int DisplayMode() const { return displayMode_; }
    void SetDisplayMode(int mode);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PictureBytes picture_;
    int displayMode_ = 0;
};

} // namespace mugrove
