#pragma once

#include "app/model/Event.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace mugrove {

// The drag-drop object: no window of its own, it makes another window a drop
// target and raises FilesDropped with the dropped file names.
class DropTarget : public QObject {
    Q_OBJECT
public:
    explicit DropTarget(QObject* parent);

    // Binds the object to `window` once; a second registration is refused.
    bool Register(QWidget& window);
    QWidget* TargetWindow() const { return target_; }

    Event<QString> FilesDropped;

private:
    QPointer<QWidget> target_;
};

} // namespace mugrove
