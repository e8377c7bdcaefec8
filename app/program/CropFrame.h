#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>
#include <vector>

namespace mugrove {

// The crop rectangle over the picture box: the outside darkened, handles at
// the corners and the edges' middles. Dragging a handle resizes it, dragging
// inside moves it, always within the picture and at least a pixel each way.
// Enter or a double-click inside applies it, Esc cancels; a press anywhere
// else in the window cancels too. Until then the window's other keys do
// nothing, and the widgets it hid (the captions) come back at the end.
class CropFrame : public QWidget {
    Q_OBJECT
public:
    using Apply = std::function<void(QRect)>;

    // Over the whole of `box`; `picture` is where the picture lies in it.
    CropFrame(QWidget* box, QRect picture, std::vector<QWidget*> hidden, Apply apply);
    ~CropFrame() override;

    QRect Rectangle() const { return rect_; }
    void SetRectangle(QRect rect);
    // Applies the rectangle, or cancels; either way the frame goes.
    void Finish(bool apply);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What a drag moves: edges as bits, or the whole rectangle.
    enum Edge { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kInside = 16 };
    int EdgesAt(QPoint at) const;

    QRect picture_;
    QRect rect_;
    std::vector<QPointer<QWidget>> hidden_;
    Apply apply_;
    int dragging_ = 0;
    QPoint pressedAt_;
    QRect pressedRect_;
    bool finished_ = false;
};

} // namespace mugrove
