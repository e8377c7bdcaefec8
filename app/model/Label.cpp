#include "app/model/Label.h"

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
    setText(shown); // repainted with the window's next paint
}

} // namespace mugrove
