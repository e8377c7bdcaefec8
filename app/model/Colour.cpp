#include "app/model/Colour.h"

#include <QPalette>
#include <QWidget>

namespace mugrove {

QColor ButtonFaceColour()
{
    return ToQColor(kButtonFace);
}

QColor ToQColor(std::uint32_t colour)
{
    if (colour == kDefaultColour)
        colour = kButtonFace;
    return QColor(int(colour & 0xFFu), int((colour >> 8) & 0xFFu), int((colour >> 16) & 0xFFu));
}

std::uint32_t FromQColor(const QColor& colour)
{
    return std::uint32_t(colour.red()) | (std::uint32_t(colour.green()) << 8)
        | (std::uint32_t(colour.blue()) << 16);
}

void SetFixedColours(QWidget& widget, std::uint32_t text, std::uint32_t background)
{
    const QColor ink = ToQColor(text);
    const QColor face = ToQColor(background);
    QPalette p = widget.palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text})
        p.setColor(role, ink);
    p.setColor(QPalette::Window, face);
    p.setColor(QPalette::Base, Qt::white);
    widget.setPalette(p);
}

} // namespace mugrove
