#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"

#include <QSlider>

#include <cstdint>

namespace mugrove {

// A trackbar. Position is the stored value, which may lie outside the range
// (the thumb then stands at the nearest end). Writing it raises nothing; user
// input raises PositionChanged for every movement and once more on release.
class SliderBar : public QSlider, public Control {
    Q_OBJECT
public:
    static constexpr int kMaxPosition = 32767;

    SliderBar(Qt::Orientation orientation, QWidget* parent);

    int Position() const { return position_; }
    void SetPosition(int value);

    Event<> PositionChanged;

    // While the thumb is held (from its press until the release has been
    // raised): which press of the thumb this is, counted from 1; 0 for a
    // movement by a key, the wheel or a click into the channel.
    std::uint64_t HeldPress() const { return held_ ? presses_ : 0; }

private:
    void TakeUserPosition();

    int position_ = 0;
    std::uint64_t presses_ = 0;
    bool held_ = false;
};

} // namespace mugrove
