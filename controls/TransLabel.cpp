#include "controls/TransLabel.h"

#include "app/model/Colour.h"
#include "app/model/MainWindow.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace mugrove {

TransLabel::TransLabel(QWidget* parent) : QWidget(parent), Control(this)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void TransLabel::SetCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

void TransLabel::SetLogFont(const std::optional<LogFont>& font)
{
    font_ = font;
    update();
}

void TransLabel::SetTextColour(std::uint32_t colour)
{
    textColour_ = colour;
    update();
}

void TransLabel::SetHorizontalAlignment(int value)
{
    horizontalAlignment_ = std::clamp(value, 0, 2);
    update();
}

void TransLabel::SetVerticalAlignment(int value)
{
    verticalAlignment_ = std::clamp(value, 0, 2);
    update();
}

void TransLabel::SetWordWrap(bool on)
{
    wordWrap_ = on;
    update();
}

void TransLabel::SetTextEffect(int value)
{
    textEffect_ = std::clamp(value, 0, 3);
    update();
}

void TransLabel::paintEvent(QPaintEvent*)
{
    if (caption_.isEmpty())
        return;
    QPainter painter(this);
    painter.setFont(font_ ? ToQFont(*font_) : QWidget::font());
    painter.setPen(ToQColor(textColour_));
    static constexpr Qt::Alignment kHorizontal[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    int flags = kHorizontal[horizontalAlignment_] | Qt::TextShowMnemonic;
    flags |= wordWrap_ ? (Qt::TextWordWrap | Qt::AlignTop) : (Qt::TextSingleLine | Qt::AlignVCenter);
    painter.drawText(rect(), flags, caption_);
}

void TransLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        MouseDown.Raise(p.x(), p.y(), KeyStateOf(event->modifiers()));
    }
}

} // namespace mugrove
