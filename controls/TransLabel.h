#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"
#include "app/model/LogFont.h"

#include <QByteArray>
#include <QWidget>

#include <cstdint>
#include <optional>

class QRegion;

namespace mugrove {

// The settings of a transparent label, with the values a new label has.
struct TransLabelSettings {
    std::int32_t textEffect = 0;           // 0 none, 1 light relief, 2 raised, 3 dark shadow
    std::uint32_t textColour = 0;          // 0x00BBGGRR
    std::int32_t horizontalAlignment = 0;  // 0 left, 1 centre, 2 right
    std::int32_t verticalAlignment = 1;    // 0 top, 1 centre, 2 bottom
    bool wordWrap = false;
    std::optional<LogFontBytes> font;      // none: the default GUI font
    QString caption = QStringLiteral("透明标签");

    bool operator==(const TransLabelSettings&) const = default;
};

// The settings as the window definition stores them: version word 1, then
// effect, colour, alignments and word wrap as 32-bit little-endian integers,
// then the font as a byte count (60 or 0) and its bytes, then the caption as
// a byte count and its code page 936 bytes without terminator.
QByteArray EncodeTransLabelSettings(const TransLabelSettings& settings);
// Null for a record of another version or with counts that do not fit it.
// Out-of-range values are clamped as the setting writes clamp them.
std::optional<TransLabelSettings> DecodeTransLabelSettings(const QByteArray& record);

// A transparent label: it paints only the glyphs of its caption, so whatever
// lies beneath shows between them. Every setting write, also of an unchanged
// value, and every move repaint what lies beneath at once.
class TransLabel : public QWidget, public Control {
    Q_OBJECT
public:
    explicit TransLabel(QWidget* parent);

    QString Caption() const { return settings_.caption; }
    void SetCaption(const QString& caption);
    int TextEffect() const { return settings_.textEffect; }
    void SetTextEffect(int value); // clamped to 0..3
    std::uint32_t TextColour() const { return settings_.textColour; }
    void SetTextColour(std::uint32_t colour);
    int HorizontalAlignment() const { return settings_.horizontalAlignment; }
    void SetHorizontalAlignment(int value); // clamped to 0..2
    int VerticalAlignment() const { return settings_.verticalAlignment; }
    void SetVerticalAlignment(int value); // clamped to 0..2
    bool WordWrap() const { return settings_.wordWrap; }
    void SetWordWrap(bool on);

    // The font as a record; a label without a stored description answers
    // with the default GUI font's.
    OverlayFont Font() const;
    // Replaces the whole description by the record's conversion.
    void SetFont(const OverlayFont& font);
    // Single-field writes: everything else of the description stays.
    void SetFontAngle(int angle); // brought into 0..3599
    void SetFontBold(int bold);
    void SetFontItalic(int italic);
    void SetFontStrikeOut(int strikeOut);
    void SetFontUnderline(int underline);
    void SetFontSize(int points);
    void SetFontFaceName(const QString& name); // "宋体" when empty or too long

    // The stored 60-byte description itself.
    const std::optional<LogFontBytes>& FontBytes() const { return settings_.font; }
    void SetFontBytes(const std::optional<LogFontBytes>& bytes);
    std::optional<LogFont> StoredFont() const;
    void SetLogFont(const std::optional<LogFont>& font);

    const TransLabelSettings& Settings() const { return settings_; }
    void SetSettings(const TransLabelSettings& settings);
    QByteArray SettingsRecord() const { return EncodeTransLabelSettings(settings_); }
    bool LoadSettingsRecord(const QByteArray& record); // false leaves everything

    // Paints the window beneath the label, and the label over it, now.
    void RepaintBeneath();

    Event<int, int, int> MouseDown; // left press, label coordinates

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The stored description, or the default GUI font's for a field write.
    LogFontBytes FontForFieldWrite() const;
    void StoreFont(const std::optional<LogFontBytes>& bytes);

    TransLabelSettings settings_;
    LogFont paintFont_; // settings_.font decoded once per write, not per paint
};

} // namespace mugrove
