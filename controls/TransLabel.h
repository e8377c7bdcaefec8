#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"
#include "app/model/LogFont.h"

#include <QWidget>

#include <cstdint>
#include <optional>

namespace mugrove {

// A transparent label: it paints only the glyphs of its caption, so whatever
// lies beneath shows between them.
class TransLabel : public QWidget, public Control {
    Q_OBJECT
public:
    explicit TransLabel(QWidget* parent);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    void SetLogFont(const std::optional<LogFont>& font);
    const std::optional<LogFont>& StoredFont() const { return font_; }
    std::uint32_t TextColour() const { return textColour_; }
    void SetTextColour(std::uint32_t colour);
    int HorizontalAlignment() const { return horizontalAlignment_; }
    void SetHorizontalAlignment(int value);
    int VerticalAlignment() const { return verticalAlignment_; }
    void SetVerticalAlignment(int value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool on);
    int TextEffect() const { return textEffect_; }
    void SetTextEffect(int value);

    Event<int, int, int> MouseDown; // left press, label coordinates

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString caption_ = QStringLiteral("透明标签");
    std::optional<LogFont> font_;
    std::uint32_t textColour_ = 0;
    int horizontalAlignment_ = 0;
    int verticalAlignment_ = 1;
    bool wordWrap_ = false;
    int textEffect_ = 0;
};

} // namespace mugrove
