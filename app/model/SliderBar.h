#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"

#include <QSlider>

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

private:
    void TakeUserPosition();

    int position_ = 0;
};

} // namespace mugrove
