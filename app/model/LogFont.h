#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

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
inline constexpr std::uint8_t kCharSetDefault = 1;
inline constexpr std::uint8_t kCharSetGb2312 = 134;

// The record as it is stored: little-endian, face name in code page 936,
// zero-terminated within its 32 bytes.
inline constexpr std::size_t kLogFontSize = 60;
inline constexpr std::size_t kFaceNameSize = 32;
using LogFontBytes = std::array<std::uint8_t, kLogFontSize>;

// Byte offsets of the fields inside the stored record.
namespace LogFontField {
inline constexpr std::size_t Height = 0;
inline constexpr std::size_t Width = 4;
inline constexpr std::size_t Escapement = 8;
inline constexpr std::size_t Orientation = 12;
inline constexpr std::size_t Weight = 16;
inline constexpr std::size_t Italic = 20;
inline constexpr std::size_t Underline = 21;
inline constexpr std::size_t StrikeOut = 22;
inline constexpr std::size_t CharSet = 23;
inline constexpr std::size_t OutPrecision = 24;
inline constexpr std::size_t ClipPrecision = 25;
inline constexpr std::size_t Quality = 26;
inline constexpr std::size_t PitchAndFamily = 27;
inline constexpr std::size_t FaceName = 28;
} // namespace LogFontField

// A face name longer than 31 bytes is cut at a character boundary.
LogFontBytes ToBytes(const LogFont& font);
LogFont FromBytes(const LogFontBytes& bytes);

std::int32_t ReadInt32(const LogFontBytes& bytes, std::size_t offset);
void WriteInt32(LogFontBytes& bytes, std::size_t offset, std::int32_t value);
// Writes the name and its terminator; the bytes after the terminator stay.
void WriteFaceName(LogFontBytes& bytes, const QString& name);

// Texts in the Chinese ANSI code page (936). Characters it cannot hold become
// "?", as the platform's conversion does.
QByteArray ToGbk(const QString& text);
QString FromGbk(const QByteArray& bytes);
// The number of code page 936 bytes the text takes, terminator excluded.
qsizetype GbkLength(const QString& text);

// The screen's vertical resolution in dots per inch (96 when no screen).
int ScreenDpiY();

// The font record the caption's font is set through. Field numbers address
// single fields: Bold is field 1, Size field 5.
struct OverlayFont {
    std::int32_t Angle = 0; // tenths of a degree
    std::int32_t Bold = 0;
    std::int32_t Italic = 0;
    std::int32_t StrikeOut = 0;
    std::int32_t Underline = 0;
    std::int32_t Size = 9; // points
    std::optional<QString> FaceName = QStringLiteral("宋体"); // absent: no face

    bool operator==(const OverlayFont&) const = default;
};

// The face every font conversion falls back to.
QString FallbackFaceName();
// True for a face the stored record can hold: not empty, under 32 bytes.
bool FaceNameFits(const QString& name);
// -MulDiv(size, dpi, 72); a negative size counts as 0.
std::int32_t HeightForSize(std::int32_t size, int dpi);

// A whole record written as a description: everything not named by the
// record (character set, precisions, quality, pitch) is 0.
LogFont ToLogFont(const OverlayFont& font, int dpi);
// A description read back as a record.
OverlayFont ToOverlayFont(const LogFont& font, int dpi);

// The description of the default GUI font (the application font).
LogFont DefaultGuiLogFont(int dpi);

// The two fonts the window definition stores: "宋体" and "微软雅黑",
// both 16 pixels, the latter bold.
LogFont SongTi16();
LogFont YaHeiBold16();

// The Qt font a description draws with. Character set, precisions, quality
// and pitch do not influence it; rotation is left to the painter.
QFont ToQFont(const LogFont& font);

// The face emoji are drawn from, in colour. User text gives it the emoji
// stretch by stretch (EmojiRuns): among a font's families it would lose to a
// face with black emoji of its own, and where the first family is missing it
// would draw digits and spaces.
inline const QString kColourEmojiFamily = QStringLiteral("Noto Color Emoji");
// The font with glyph fallback on, as ToQFont makes every font.
QFont WithGlyphFallback(QFont font);

// Makes the Windows face names resolve to installed Chinese faces.
void RegisterFontSubstitutions();

// The default GUI font's character height (one em). The window's fixed texts
// are laid out for it, so it does not follow the desktop's font size: a
// group's caption has 13 pixels above the control beneath it, which the
// Chinese face's glyphs fill at this size.
inline constexpr int kGuiFontPixels = 11;
// The line pitch of a label with several lines. The face's own line spacing
// (16 pixels) would push the eight lines of the font-size label out of their
// 96-pixel box; its glyphs fit one em, so lines are set solid.
inline constexpr int kGuiLineSpacing = kGuiFontPixels;

// Makes the default GUI font the application font, which every control
// without a font of its own draws with: a Chinese face that also carries
// Latin glyphs, when installed (the fixed texts then need no search through
// other faces), at kGuiFontPixels.
void UseDefaultGuiFont();

} // namespace mugrove
