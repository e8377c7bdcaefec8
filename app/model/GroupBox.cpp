#include "app/model/GroupBox.h"

#include "app/model/Colour.h"

namespace mugrove {

GroupBox::GroupBox(QWidget* parent) : QGroupBox(parent), Control(this)
{
    setAlignment(Qt::AlignLeft);
    SetBackgroundColour(kDefaultColour);
}

void GroupBox::SetBackgroundColour(std::uint32_t colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, ToQColor(colour));
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);
    setAutoFillBackground(true);
}

} // namespace mugrove
