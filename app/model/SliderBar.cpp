#include "app/model/SliderBar.h"

#include <algorithm>

namespace mugrove {

SliderBar::SliderBar(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent), Control(this)
{
    if (orientation == Qt::Vertical) {
        // Minimum at the top, and Down moves towards the maximum.
        setInvertedAppearance(true);
        setInvertedControls(true);
    }
    position_ = value();
    // actionTriggered covers drags, channel clicks, keys and the wheel; it
    // comes after the thumb has moved. The end of tracking raises nothing.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int) { TakeUserPosition(); });
    connect(this, &QAbstractSlider::sliderPressed, this, [this] {
        ++presses_;
        held_ = true;
    });
    connect(this, &QAbstractSlider::sliderReleased, this, [this] {
        TakeUserPosition();
        held_ = false;
    });
}

void SliderBar::SetPosition(int value)
{
    position_ = std::clamp(value, 0, kMaxPosition);
    setValue(std::clamp(position_, minimum(), maximum()));
    repaint();
}

void SliderBar::TakeUserPosition()
{
    position_ = sliderPosition();
    PositionChanged.Raise();
}

} // namespace mugrove
