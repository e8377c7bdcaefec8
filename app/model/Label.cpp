#include "app/model/Label.h"

#include "app/model/LogFont.h"

#include <QPainter>

namespace mugrove {

Label::Label(QWidget* parent) : QLabel(parent), Control(this)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void Label::SetCaption(const QString& caption)
{
    caption_ = caption;
    QString shown = caption;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines_ = shown.split(QLatin1Char('\n'));
    setText(shown); // repainted with the window's next paint
}

void Label::paintEvent(QPaintEvent* event)
{
    if (lines_.size() < 2) {
        QLabel::paintEvent(event);
        return;
    }
    // The block of lines is centred; each line's own height is centred on
    // its pitch, so the glyphs of an em-high face stay inside the block.
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QFontMetrics metrics(font());
    const QRect box = contentsRect();
    const int pitch = kGuiLineSpacing;
    const int blockTop = box.top() + (box.height() - pitch * int(lines_.size())) / 2;
    const int baselineInSlot = (pitch - metrics.height()) / 2 + metrics.ascent();
    for (int i = 0; i < lines_.size(); ++i)
        painter.drawText(QPoint(box.left(), blockTop + i * pitch + baselineInSlot), lines_[i]);
}

} // namespace mugrove
