#include "app/model/MainWindow.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

namespace mugrove {

int KeyStateOf(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ControlModifier ? 1 : 0) | (modifiers & Qt::ShiftModifier ? 2 : 0)
        | (modifiers & Qt::AltModifier ? 4 : 0);
}

MainWindow::MainWindow() : QWidget(nullptr), Control(this)
{
    // Moves without a button pressed reach the handler too.
    setMouseTracking(true);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // Keys reach the window only when the focused control did not take them.
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::showEvent(QShowEvent* event)
{
    // Every press in the window passes its native window first, whichever
    // control it is meant for.
    if (QWindow* native = windowHandle(); native && native != watched_) {
        native->installEventFilter(this);
        watched_ = native;
    }
    QWidget::showEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != watched_ || resending_)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        QWidget* control = childAt(press->position().toPoint());
        earlierPressed_ = lastPressed_;
        lastPressed_ = control ? control : this;
    } else if (event->type() == QEvent::MouseButtonDblClick && lastPressed_ != earlierPressed_) {
        // Qt pairs quick presses per top-level window. This one followed a
        // press on another control, so it is an ordinary press: Qt held the
        // press back for the double-click, which goes out as the press now.
        const auto* doubleClick = static_cast<QMouseEvent*>(event);
        QMouseEvent press(QEvent::MouseButtonPress, doubleClick->position(),
                          doubleClick->scenePosition(), doubleClick->globalPosition(),
                          doubleClick->button(), doubleClick->buttons(), doubleClick->modifiers(),
                          doubleClick->pointingDevice());
        press.setTimestamp(doubleClick->timestamp());
        resending_ = true;
        QCoreApplication::sendEvent(watched, &press);
        resending_ = false;
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    MouseMove.Raise(p.x(), p.y(), KeyStateOf(event->modifiers()));
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        MouseUp.Raise(p.x(), p.y(), KeyStateOf(event->modifiers()));
    }
}

} // namespace mugrove
