#include "app/model/CheckBox.h"

namespace mugrove {

CheckBox::CheckBox(QWidget* parent) : QCheckBox(parent), Control(this)
{
    connect(this, &QCheckBox::clicked, this, [this] { Clicked.Raise(); });
}

} // namespace mugrove
