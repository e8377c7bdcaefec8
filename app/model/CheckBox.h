#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"

#include <QCheckBox>

namespace mugrove {

// A check box that toggles itself on a user click and then raises Clicked.
// Writing Checked only changes the tick.
class CheckBox : public QCheckBox, public Control {
    Q_OBJECT
public:
    explicit CheckBox(QWidget* parent);

    int Checked() const { return isChecked() ? 1 : 0; }
    // 1 ticks; any other value unticks.
    void SetChecked(int value) { setChecked(value == 1); }

    Event<> Clicked;
};

} // namespace mugrove
