#include "app/program/CropFrame.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace mugrove {

namespace {

constexpr int kHandle = 7; // a handle's side
constexpr int kReach = 5;  // how far from a handle's centre a press takes it

// The handles' centres and the edges each one moves.
std::array<std::pair<QPoint, int>, 8> Handles(QRect r)
{
    const int l = r.left(), t = r.top(), ri = r.left() + r.width(), b = r.top() + r.height();
    const int mx = l + r.width() / 2, my = t + r.height() / 2;
    return {{{{l, t}, 1 | 2},
             {{ri, t}, 4 | 2},
             {{l, b}, 1 | 8},
             {{ri, b}, 4 | 8},
             {{mx, t}, 2},
             {{mx, b}, 8},
             {{l, my}, 1},
             {{ri, my}, 4}}};
}

Qt::CursorShape CursorFor(int edges)
{
    switch (edges) {
    case 1 | 2:
    case 4 | 8: return Qt::SizeFDiagCursor;
    case 4 | 2:
    case 1 | 8: return Qt::SizeBDiagCursor;
    case 1:
    case 4: return Qt::SizeHorCursor;
    case 2:
    case 8: return Qt::SizeVerCursor;
    case 16: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
    }
}

} // namespace

CropFrame::CropFrame(QWidget* box, QRect picture, std::vector<QWidget*> hidden, Apply apply)
    : QWidget(box), picture_(picture), rect_(picture), apply_(std::move(apply))
{
    setObjectName(QStringLiteral("cropFrame"));
    setGeometry(box->rect());
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    for (QWidget* widget : hidden)
        if (widget->isVisible()) {
            widget->hide();
            hidden_.emplace_back(widget);
        }
    // Keys go to the crop alone while it lasts; presses elsewhere end it.
    qApp->installEventFilter(this);
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
}

CropFrame::~CropFrame()
{
    qApp->removeEventFilter(this);
    for (const QPointer<QWidget>& widget : hidden_)
        if (widget)
            widget->show();
}

void CropFrame::SetRectangle(QRect rect)
{
    rect_ = rect.intersected(picture_);
    if (rect_.isEmpty())
        rect_ = QRect(picture_.topLeft(), QSize(1, 1));
    update();
}

void CropFrame::Finish(bool apply)
{
    if (finished_)
        return;
    finished_ = true;
    qApp->removeEventFilter(this);
    // The captions come back first: the crop moves them.
    for (const QPointer<QWidget>& widget : hidden_)
        if (widget)
            widget->show();
    hidden_.clear();
    hide();
    deleteLater();
    if (apply)
        apply_(rect_);
}

int CropFrame::EdgesAt(QPoint at) const
{
    for (const auto& [centre, edges] : Handles(rect_))
        if (std::abs(at.x() - centre.x()) <= kReach && std::abs(at.y() - centre.y()) <= kReach)
            return edges;
    return rect_.contains(at) ? kInside : 0;
}

void CropFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setClipRegion(QRegion(rect()).subtracted(QRegion(rect_)));
    painter.fillRect(rect(), QColor(0, 0, 0, 128));
    painter.setClipping(false);
    // White with a dark edge shows on any picture.
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(rect_.adjusted(-1, -1, 0, 0));
    painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
    painter.drawRect(rect_.adjusted(-1, -1, 0, 0));
    painter.setPen(QPen(Qt::black, 1));
    for (const auto& [centre, edges] : Handles(rect_)) {
        const QRect handle(centre.x() - kHandle / 2, centre.y() - kHandle / 2, kHandle, kHandle);
        painter.fillRect(handle, Qt::white);
        painter.drawRect(handle.adjusted(0, 0, -1, -1));
    }
}

void CropFrame::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = EdgesAt(event->position().toPoint());
    pressedAt_ = event->position().toPoint();
    pressedRect_ = rect_;
}

void CropFrame::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    const QPoint at = event->position().toPoint();
    if (dragging_ == 0) {
        setCursor(CursorFor(EdgesAt(at)));
        return;
    }
    const QPoint d = at - pressedAt_;
    const QRect& p = pressedRect_;
    if (dragging_ == kInside) {
        // Moved whole, kept within the picture.
        const int x = std::clamp(p.x() + d.x(), picture_.left(), picture_.left() + picture_.width() - p.width());
        const int y = std::clamp(p.y() + d.y(), picture_.top(), picture_.top() + picture_.height() - p.height());
        rect_ = QRect(QPoint(x, y), p.size());
        update();
        return;
    }
    // Each edge dragged stays within the picture and a pixel from the
    // opposite one.
    int l = p.left(), t = p.top(), r = p.left() + p.width(), b = p.top() + p.height();
    const int pr = picture_.left() + picture_.width(), pb = picture_.top() + picture_.height();
    if (dragging_ & kLeft)
        l = std::clamp(l + d.x(), picture_.left(), r - 1);
    if (dragging_ & kRight)
        r = std::clamp(r + d.x(), l + 1, pr);
    if (dragging_ & kTop)
        t = std::clamp(t + d.y(), picture_.top(), b - 1);
    if (dragging_ & kBottom)
        b = std::clamp(b + d.y(), t + 1, pb);
    rect_ = QRect(l, t, r - l, b - t);
    update();
}

void CropFrame::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        dragging_ = 0;
}

void CropFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect_.contains(event->position().toPoint()))
        Finish(true);
}

void CropFrame::wheelEvent(QWheelEvent* event)
{
    // No zoom under a crop rectangle.
    event->accept();
}

void CropFrame::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
}

bool CropFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (finished_ || !watched->isWidgetType())
        return false;
    const auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != window())
        return false; // dialogs keep their own keys
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                Finish(true);
            else if (key == Qt::Key_Escape)
                Finish(false);
        }
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // A press elsewhere in the window ends the crop, and does what it does.
        if (widget != this)
            Finish(false);
        return false;
    default: return false;
    }
}

} // namespace mugrove
