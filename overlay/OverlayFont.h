#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace mugrove {

// The program-wide font record that carries the font dialog's choice to the
// caption. Field numbers address single fields: Bold is 1, Size is 5.
struct OverlayFont {
    std::int32_t Angle = 0; // tenths of a degree
    std::int32_t Bold = 0;
    std::int32_t Italic = 0;
    std::int32_t StrikeOut = 0;
    std::int32_t Underline = 0;
    std::int32_t Size = 9; // points
    std::optional<QString> FaceName = QStringLiteral("宋体"); // absent: no face
};

// The one instance: created at start-up, released by the clean-up at exit.
void CreateOverlayFont();
void ReleaseOverlayFont();
// Null before creation and after release.
OverlayFont* TheOverlayFont();

} // namespace mugrove
