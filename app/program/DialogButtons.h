#pragma once

#include <QDialogButtonBox>
#include <QPushButton>

namespace mugrove {

// OK and Cancel for our own dialogs, named in the window's own language
// whatever the desktop's, like every other text of the window.
inline QDialogButtonBox* OkCancelButtons(QWidget* parent)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, parent);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    return buttons;
}

} // namespace mugrove
