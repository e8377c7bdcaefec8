#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"

#include <QPointer>
#include <QWidget>

namespace mugrove {

// Key state carried by mouse events: Ctrl 1, Shift 2, Alt 4, added together.
int KeyStateOf(Qt::KeyboardModifiers modifiers);

// The one top-level window. Raises Created once (before it is shown), and
// MouseMove / MouseUp in its client coordinates. An Esc that no control
// consumes closes it, whatever modifier keys are held. A second quick press
// is a double-click only when the first one was on the same control.
class MainWindow : public QWidget, public Control {
    Q_OBJECT
public:
    MainWindow();

    // x, y in client coordinates; key state as KeyStateOf.
    Event<> Created;
    Event<int, int, int> MouseMove;
    Event<int, int, int> MouseUp; // left button released

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QPointer<QWindow> watched_;        // the native window whose presses are seen
    QPointer<QWidget> lastPressed_;    // the control under the latest press
    QPointer<QWidget> earlierPressed_; // ... and under the one before it
    bool resending_ = false;
};

} // namespace mugrove
