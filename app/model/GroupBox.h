#pragma once

#include "app/model/Control.h"

#include <QGroupBox>
#include <QStaticText>

#include <cstdint>

namespace mugrove {

// A framed group with a left-aligned caption; its background fills the
// whole box.
class GroupBox : public QGroupBox, public Control {
    Q_OBJECT
public:
    explicit GroupBox(QWidget* parent);

    QString Caption() const { return title(); }
    void SetCaption(const QString& caption);
    // 0x00BBGGRR colours of the caption and of the whole box's background.
    void SetColours(std::uint32_t text, std::uint32_t background);

protected:
    // The caption lies under the dragged caption overlay and is repainted on
    // every drag step, so its layout is worked out once, not per paint.
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Relayout();

    QStaticText titleText_; // laid out once per caption, font or size
    QRect titleRect_;
    int titleTop_ = 0; // where the caption's line starts, above the em box
    QRect frameRect_;
};

} // namespace mugrove
