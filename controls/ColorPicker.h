#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"
#include "controls/ColorPopup.h"

#include <QAbstractButton>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace mugrove {

struct ColorPickerSettings {
    std::uint32_t currentColour = 0; // black
    bool allowTransparent = false;
};

// The settings record of the window definition: three 32-bit little-endian
// integers (version, CurrentColour, AllowTransparent). nullopt for a record
// that is too short or of a version newer than 1.
std::optional<ColorPickerSettings> ReadColorPickerRecord(std::span<const std::uint8_t> record);

// The modal colour dialog, starting at `initial`; nullopt when cancelled.
std::optional<std::uint32_t> AskColourWithDialog(std::uint32_t initial, QWidget* parent);

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

    // Takes the settings of a stored record; a rejected record leaves the
    // values of a new control. Returns whether the record was taken.
    bool ApplyRecord(std::span<const std::uint8_t> record);

    // Replaces the modal colour dialog behind "其它颜色..." (tests need no person).
    using ColourDialog = std::function<std::optional<std::uint32_t>(std::uint32_t initial)>;
    void SetColourDialog(ColourDialog dialog) { colourDialog_ = std::move(dialog); }

    // Drops the palette down under the button; nothing when it is open already.
    void OpenPopup();
    // The open palette, or null.
    ColorPopup* Popup() const { return popup_; }
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
    ColourDialog colourDialog_;
    QPointer<ColorPopup> popup_; // owned as a child while open; deleted when it ends
};

} // namespace mugrove
