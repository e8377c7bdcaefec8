#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"

#include <QAbstractButton>

#include <cstdint>

namespace mugrove {

// A button showing the current colour as a swatch; choosing a colour raises
// ColourChanged.
class ColorPicker : public QAbstractButton, public Control {
    Q_OBJECT
public:
    explicit ColorPicker(QWidget* parent);

    std::uint32_t CurrentColour() const { return currentColour_; }
    void SetCurrentColour(std::uint32_t colour);

    Event<> ColourChanged;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::uint32_t currentColour_ = 0;
};

} // namespace mugrove
