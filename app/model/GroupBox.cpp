#include "app/model/GroupBox.h"

#include "app/model/Colour.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionGroupBox>

#include <algorithm>

namespace mugrove {

GroupBox::GroupBox(QWidget* parent) : QGroupBox(parent), Control(this)
{
    setAlignment(Qt::AlignLeft);
    SetColours(0x00000000u, kDefaultColour);
}

void GroupBox::SetCaption(const QString& caption)
{
    setTitle(caption);
    Relayout();
    update();
}

void GroupBox::Relayout()
{
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    titleRect_ = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
    frameRect_ = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, this);
    titleText_ = QStaticText(title());
    titleText_.setTextFormat(Qt::PlainText);
    titleText_.prepare(QTransform(), font());
    // The caption's em box starts at the top edge: the controls framed
    // below leave it no more room than one em, which the glyphs fit.
    const int em = font().pixelSize();
    titleTop_ = em > 0 ? std::min(titleRect_.top(), em - QFontMetrics(font()).ascent()) : titleRect_.top();
}

void GroupBox::changeEvent(QEvent* event)
{
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        Relayout();
}

void GroupBox::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    Relayout();
}

void GroupBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.rect = frameRect_;
    frame.features = QStyleOptionFrame::None;
    frame.lineWidth = 1;
    frame.midLineWidth = 0;
    // Leave a gap in the frame behind the caption, as the style does.
    if (!title().isEmpty()) {
        QRegion clip(rect());
        clip -= titleRect_.adjusted(-2, 0, 2, 0);
        painter.setClipRegion(clip);
    }
    style()->drawPrimitive(QStyle::PE_FrameGroupBox, &frame, &painter, this);
    painter.setClipping(false);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawStaticText(titleRect_.left(), titleTop_, titleText_);
}

void GroupBox::SetColours(std::uint32_t text, std::uint32_t background)
{
    SetFixedColours(*this, text, background);
    setAutoFillBackground(true);
}

} // namespace mugrove
