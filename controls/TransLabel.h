#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"
#include "app/model/LogFont.h"
#include "controls/CaptionLook.h"

#include <QWidget>

#include <cstdint>
#include <optional>

class QMenu;
class QPainter;

namespace mugrove {

// A transparent label: it paints only the glyphs of its caption, so whatever
// lies beneath shows between them. Every setting write, also of an unchanged
// value, and every move repaint what lies beneath at once. A right-click
// opens the caption's menu of effects and the outline.
class TransLabel : public QWidget, public Control {
    Q_OBJECT
public:
    explicit TransLabel(QWidget* parent);
    ~TransLabel() override;

    // The settings read and write the numbers of the window definition;
    // values out of range are clamped.
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    int TextEffect() const { return int(effect_); }
    void SetTextEffect(int value); // clamped to 0..3
    std::uint32_t TextColour() const { return textColour_; }
    void SetTextColour(std::uint32_t colour);
    int HorizontalAlignment() const { return int(horizontal_); }
    void SetHorizontalAlignment(int value); // clamped to 0..2
    int VerticalAlignment() const { return int(vertical_); }
    void SetVerticalAlignment(int value); // clamped to 0..2
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool on);
    bool Outline() const { return outline_; }
    void SetOutline(bool on);

    // The font as a record; a label without a stored description answers
    // with the default GUI font's.
    OverlayFont Font() const;
    // Replaces the whole description by the record's conversion.
    void SetFont(const OverlayFont& font);
    // The two single-field writes (record fields 1 and 5): everything else
    // of the description stays.
    void SetFontBold(bool bold);
    void SetFontSize(int points);

    // The stored 60-byte description, decoded; none draws the default GUI font.
    std::optional<LogFont> StoredFont() const;
    void SetLogFont(const std::optional<LogFont>& font);

    // Everything the label's pixels depend on, as they are now: a copy
    // paints the same glyphs anywhere.
    CaptionLook Look() const;
    // Paints what the label shows with its top-left corner at `at`, from the
    // glyphs it keeps for its own paints (so a picture of the window costs
    // no new text layout). Window thread only.
    void PaintOnto(QPainter& painter, QPoint at) const;

    // Paints the window beneath the label, and the label over it, now.
    void RepaintBeneath();

    Event<int, int, int> MouseDown; // left press, label coordinates
    // An effect or the outline was chosen in the menu (and is in force).
    Event<> LookChosen;

    // A removable label's menu ends with "删除文字", which raises RemoveChosen
    // once the menu has closed. Set before the first right-click.
    void SetRemovable(bool removable) { removable_ = removable; }
    Event<> RemoveChosen;
    // Any setting was written (the text, the font, a colour...), after it
    // is in force.
    Event<> SettingChanged;

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // A setting changed: the kept look goes, and what lies beneath repaints.
    void Changed();
    // The look the label paints with, kept between paints (its font shared).
    const CaptionLook& KeptLook() const;
    // The stored description, or the default GUI font's for a field write.
    LogFontBytes FontForFieldWrite() const;
    void StoreFont(const std::optional<LogFontBytes>& bytes);
    QMenu& Menu();

    QString caption_ = QStringLiteral("透明标签");
    mugrove::TextEffect effect_ = mugrove::TextEffect::None;
    std::uint32_t textColour_ = 0; // 0x00BBGGRR
    mugrove::HorizontalAlignment horizontal_ = mugrove::HorizontalAlignment::Left;
    mugrove::VerticalAlignment vertical_ = mugrove::VerticalAlignment::Centre;
    bool wordWrap_ = false;
    bool outline_ = false;
    std::optional<LogFontBytes> font_;
    LogFont paintFont_; // font_ decoded once per write, not per paint

    mutable std::optional<CaptionLook> look_;
    mutable CaptionPainter painter_; // keeps the drawn text while a drag only moves the label
    QMenu* menu_ = nullptr; // made at the first right-click, owned as a child
    bool removable_ = false;
};

} // namespace mugrove
