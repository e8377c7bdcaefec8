#pragma once

#include <QColor>

#include <cstdint>

namespace mugrove {

// Colours are stored as 0x00BBGGRR. This value means "the control's default
// colour", which paints as the system button-face colour.
inline constexpr std::uint32_t kDefaultColour = 0xFF000000u;

QColor ButtonFaceColour();

// 0x00BBGGRR to a Qt colour; the default value becomes the button face.
QColor ToQColor(std::uint32_t colour);
std::uint32_t FromQColor(const QColor& colour);

} // namespace mugrove
