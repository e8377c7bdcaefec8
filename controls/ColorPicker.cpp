#include "controls/ColorPicker.h"

#include "app/model/Colour.h"

#include <QPainter>

namespace mugrove {

ColorPicker::ColorPicker(QWidget* parent) : QAbstractButton(parent), Control(this)
{
    setFocusPolicy(Qt::StrongFocus);
}

void ColorPicker::SetCurrentColour(std::uint32_t colour)
{
    currentColour_ = colour;
    repaint();
}

void ColorPicker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(Qt::black);
    painter.setBrush(ToQColor(currentColour_ == kDefaultColour ? 0 : currentColour_));
    painter.drawRect(rect().adjusted(4, 3, -5, -4));
}

} // namespace mugrove
