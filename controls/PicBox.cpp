#include "controls/PicBox.h"

#include "app/model/Colour.h"

#include <QPainter>

#include <algorithm>

namespace mugrove {

PicBox::PicBox(QWidget* parent) : QWidget(parent), Control(this) {}

void PicBox::SetPicture(PictureBytes bytes)
{
    picture_ = std::move(bytes);
    repaint();
}

void PicBox::SetDisplayMode(int mode)
{
    mode = std::clamp(mode, 0, 2);
    if (mode == displayMode_)
        return;
    displayMode_ = mode;
    repaint();
}

void PicBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), ButtonFaceColour());
}

} // namespace mugrove
