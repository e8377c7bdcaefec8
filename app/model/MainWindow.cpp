#include "app/model/MainWindow.h"

#include <QKeyEvent>
#include <QMouseEvent>

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
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
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
