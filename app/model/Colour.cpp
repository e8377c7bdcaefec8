#include "app/model/Colour.h"

#include <QApplication>
#include <QPalette>

namespace mugrove {

QColor ButtonFaceColour()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

QColor ToQColor(std::uint32_t colour)
{
    if (colour == kDefaultColour)
        return ButtonFaceColour();
    return QColor(int(colour & 0xFFu), int((colour >> 8) & 0xFFu), int((colour >> 16) & 0xFFu));
}

std::uint32_t FromQColor(const QColor& colour)
{
    return std::uint32_t(colour.red()) | (std::uint32_t(colour.green()) << 8)
        | (std::uint32_t(colour.blue()) << 16);
}

} // namespace mugrove
