#pragma once

#include "controls/decoders/Image.h"

class QWidget;

namespace mugrove {

// Window coordinates are kept inside what a 16-bit signed coordinate can hold
// with room for a frame; writes outside are clamped, never refused. The
// largest picture side is the same bound, so a picture always fits a box.
inline constexpr int kMaxCoordinate = static_cast<int>(kMaxPictureSide);

int ClampCoordinate(int value); // -kMaxCoordinate .. kMaxCoordinate
int ClampExtent(int value);     // 0 .. kMaxCoordinate

// The geometry every windowed control shares. Mixed into each control kind
// next to the Qt widget that shows it; `self` is that widget.
class Control {
public:
    explicit Control(QWidget* self) : self_(*self) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // Outer top-left corner in the parent's client area.
    int Left() const;
    int Top() const;
    // Outer size, frame included.
    int Width() const;
    int Height() const;

    // Moves the control, keeping its size.
    void SetLeft(int value);
    void SetTop(int value);
    // Resizes the control, keeping its top-left corner and stacking.
    void SetWidth(int value);
    void SetHeight(int value);

    // The widget that stands for the control's native window.
    QWidget& NativeWindow() const { return self_; }

private:
    QWidget& self_; // not owned: it is the control itself
};

} // namespace mugrove
