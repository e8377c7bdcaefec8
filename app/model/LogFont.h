#pragma once

#include <QString>

#include <cstdint>

class QFont;

namespace mugrove {

// A stored font description: the fields of the platform's 60-byte LOGFONT.
// Negative heights are character heights in pixels, positive ones cell
// heights; 0 asks for the face's default height.
struct LogFont {
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int32_t escapement = 0;  // tenths of a degree
    std::int32_t orientation = 0; // tenths of a degree
    std::int32_t weight = 0;      // 0 = don't care (drawn normal), 400 normal, 700 bold
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    QString faceName;

    bool operator==(const LogFont&) const = default;
};

inline constexpr std::int32_t kWeightBold = 700;
inline constexpr std::uint8_t kCharSetGb2312 = 134;

// The two fonts the window definition stores: "宋体" and "微软雅黑",
// both 16 pixels, the latter bold.
LogFont SongTi16();
LogFont YaHeiBold16();

// The Qt font a description draws with (rotation is left to the painter).
QFont ToQFont(const LogFont& font);

// Makes the Windows face names resolve to installed Chinese faces.
void RegisterFontSubstitutions();

} // namespace mugrove
