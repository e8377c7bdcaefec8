#include "app/model/DropTarget.h"

#include <QWidget>

namespace mugrove {

DropTarget::DropTarget(QObject* parent) : QObject(parent) {}

bool DropTarget::Register(QWidget& window)
{
    if (target_)
        return false;
    target_ = &window;
    return true;
}

} // namespace mugrove
