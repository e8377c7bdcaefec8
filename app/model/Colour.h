#pragma once

#include <QColor>

#include <cstdint>

class QWidget;

namespace mugrove {

// Colours are stored as 0x00BBGGRR. This value means "the control's default
// colour", which paints as the button-face colour.
inline constexpr std::uint32_t kDefaultColour = 0xFF000000u;

// The button face every default colour paints as. It is the program's own
// light grey, not the desktop theme's, so that the black texts the window
// definition gives stay readable under a dark theme.
inline constexpr std::uint32_t kButtonFace = 0x00EFEFEFu;

QColor ButtonFaceColour();

// 0x00BBGGRR to a Qt colour; the default value becomes the button face.
QColor ToQColor(std::uint32_t colour);
std::uint32_t FromQColor(const QColor& colour);

// Gives a control its text and background colours whatever the desktop
// theme's palette says, in every state; its fields (a list's or an edit
// box's area, a check box's box) are white, as on a light desktop.
void SetFixedColours(QWidget& widget, std::uint32_t text, std::uint32_t background);

} // namespace mugrove
