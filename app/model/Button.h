#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"

#include <QPushButton>

namespace mugrove {

// An ordinary push button; a user click raises Clicked.
class Button : public QPushButton, public Control {
    Q_OBJECT
public:
    explicit Button(QWidget* parent);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }

    Event<> Clicked;
};

} // namespace mugrove
