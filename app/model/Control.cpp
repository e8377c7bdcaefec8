#include "app/model/Control.h"

#include <QWidget>

#include <algorithm>

namespace mugrove {

int ClampCoordinate(int value)
{
    return std::clamp(value, -kMaxCoordinate, kMaxCoordinate);
}

int ClampExtent(int value)
{
    return std::clamp(value, 0, kMaxCoordinate);
}

int Control::Left() const { return self_.x(); }
int Control::Top() const { return self_.y(); }
int Control::Width() const { return self_.width(); }
int Control::Height() const { return self_.height(); }

void Control::SetLeft(int value)
{
    self_.move(ClampCoordinate(value), self_.y());
}

void Control::SetTop(int value)
{
    self_.move(self_.x(), ClampCoordinate(value));
}

void Control::SetWidth(int value)
{
    self_.resize(ClampExtent(value), self_.height());
}

void Control::SetHeight(int value)
{
    self_.resize(self_.width(), ClampExtent(value));
}

} // namespace mugrove
