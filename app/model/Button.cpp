#include "app/model/Button.h"

namespace mugrove {

Button::Button(QWidget* parent) : QPushButton(parent), Control(this)
{
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, [this] { Clicked.Raise(); });
}

} // namespace mugrove
