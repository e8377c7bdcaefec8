#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"
#include "controls/ColorPopup.h"

#include <QAbstractButton>
#include <QPointer>

#include <cstdint>

namespace mugrove {

// The settings of a colour picker, with the values a new one has.
struct ColorPickerSettings {
    std::uint32_t currentColour = 0; // black; 0xFF000000 is transparent
    bool allowTransparent = false;
};

// A button showing the current colour as a swatch. A press drops down a
// palette; confirming a choice there stores it and raises ColourChanged.
class ColorPicker : public QAbstractButton, public Control {
    Q_OBJECT
public:
    explicit ColorPicker(QWidget* parent);
    ~ColorPicker() override;

    std::uint32_t CurrentColour() const { return currentColour_; }
    // Stores the colour and redraws at once; raises nothing.
    void SetCurrentColour(std::uint32_t colour);

    bool AllowTransparent() const { return allowTransparent_; }
    void SetAllowTransparent(bool allow);

    // Drops the palette down under the button; nothing when it is open already.
    void OpenPopup();
    bool IsDroppedDown() const { return popup_ != nullptr; }

    Event<> ColourChanged;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void OnPopupFinished(bool confirmed, std::uint32_t colour);

    std::uint32_t currentColour_ = 0;
    std::uint32_t popupInitial_ = 0; // the colour when the palette opened
    bool allowTransparent_ = false;
    QPointer<ColorPopup> popup_; // owned as a child while open; deleted when it ends
};

} // namespace mugrove
