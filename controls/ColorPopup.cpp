#include "controls/ColorPopup.h"

#include "app/model/Colour.h"

#include <QApplication>
#include <QColorDialog>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <qdrawutil.h>

#include <algorithm>
#include <optional>

namespace mugrove {

namespace {

// One-pixel 3-D edge along the border of `r`.
void DrawThinEdge(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
{
    p.setPen(topLeft);
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.setPen(bottomRight);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
}

// The modal colour dialog, starting at `initial`; nullopt when cancelled.
std::optional<std::uint32_t> AskColourWithDialog(std::uint32_t initial, QWidget* parent)
{
    // The dialog has no "transparent"; it starts from black then.
    const QColor start = ToQColor(initial == kDefaultColour ? 0u : initial);
    const QColor chosen = QColorDialog::getColor(start, parent);
    if (!chosen.isValid())
        return std::nullopt;
    return FromQColor(chosen);
}

int TextHeight(const QFontMetrics& metrics, const QString& text)
{
    return text.isEmpty() ? 0 : metrics.height();
}

} // namespace

ColorPopup::ColorPopup(std::uint32_t initialColour, const QString& transparentText,
                       const QString& otherColoursText, QWidget* owner)
    : QWidget(owner, Qt::Popup), initial_(initialColour),
      transparentText_(transparentText), otherColoursText_(otherColoursText)
{
    setMouseTracking(true);             // hot tracking without a button held
    setFocusPolicy(Qt::StrongFocus);
    setFont(QApplication::font());      // the message font

    const QFontMetrics metrics(font());
    const bool withTransparent = !transparentText_.isEmpty();
    const int textHeight
        = std::max(TextHeight(metrics, transparentText_), TextHeight(metrics, otherColoursText_));
    const int textWidth = std::max(metrics.horizontalAdvance(transparentText_),
                                   metrics.horizontalAdvance(otherColoursText_));
    layout_ = LayOutColorPopup(kEdgeWidth, textHeight, textWidth, withTransparent);
    current_ = CurrentItemFor(initialColour, withTransparent);
    setFixedSize(layout_.size);
}

ColorPopup::~ColorPopup()
{
    ended_ = true; // being destroyed reports nothing
}

void ColorPopup::PlaceAt(QPoint wanted, const QRect& screen)
{
    // setGeometry places the pop-up's own area; move() would place a frame,
    // which a pop-up should not have but some platforms add anyway.
    setGeometry(QRect(KeepOnScreen(wanted, layout_.size, screen), layout_.size));
}

bool ColorPopup::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int item = layout_.ItemAt(help->pos());
        if (item >= 0 && item < kPaletteSize) {
            QToolTip::showText(help->globalPos(),
                               QString::fromUtf8(PaletteColours()[std::size_t(item)].name), this,
                               layout_.CellRect(item));
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void ColorPopup::SetHot(int item)
{
    if (item == hot_)
        return;
    hot_ = item;
    update();
}

void ColorPopup::mouseMoveEvent(QMouseEvent* event)
{
    const int item = layout_.ItemAt(event->position().toPoint());
    if (item != kNoItem) // the margins and the world outside change nothing
        SetHot(item);
    event->accept();
}

void ColorPopup::mousePressEvent(QMouseEvent* event)
{
    // Presses anywhere on the screen arrive here. Unlike a plain Qt popup we
    // do not close on an outside press: the release decides.
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    event->accept();
}

void ColorPopup::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    // Without a press of our own this is the release of the click that
    // opened us.
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    End(rect().contains(event->position().toPoint()));
}

void ColorPopup::keyPressEvent(QKeyEvent* event)
{
    const bool withTransparent = layout_.HasTransparentBox();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        End(true);
        break;
    case Qt::Key_Escape:
        End(false);
        break;
    case Qt::Key_Left: SetHot(NextItem(hot_, current_, Move::Left, withTransparent)); break;
    case Qt::Key_Right: SetHot(NextItem(hot_, current_, Move::Right, withTransparent)); break;
    case Qt::Key_Up: SetHot(NextItem(hot_, current_, Move::Up, withTransparent)); break;
    case Qt::Key_Down: SetHot(NextItem(hot_, current_, Move::Down, withTransparent)); break;
    default:
        event->ignore();
        return;
    }
    event->accept();
}

void ColorPopup::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Closed from outside (another window took over): that is a cancel.
    if (!ended_)
        End(false);
}

void ColorPopup::End(bool confirmed)
{
    if (ended_)
        return;
    ended_ = true;
    hide(); // gives the mouse back before any dialog appears

    // Nothing hot yet (hot tracking never returns to no item): the initial
    // colour is confirmed as it was.
    std::uint32_t result = initial_;
    if (confirmed) {
        if (hot_ == kOtherColoursBox) {
            // The popup's owner, the picker, is the dialog's parent.
            const std::optional<std::uint32_t> chosen = AskColourWithDialog(initial_, parentWidget());
            if (chosen)
                result = *chosen;
            else
                confirmed = false; // cancelling the dialog cancels the whole choice
        } else if (hot_ >= 0 && hot_ < kPaletteSize) {
            result = PaletteColours()[std::size_t(hot_)].colour;
        } else if (hot_ == kTransparentBox) {
            result = kDefaultColour;
        }
    }
    if (finished_)
        finished_(confirmed, result);
}

void ColorPopup::DrawItemFrame(QPainter& p, int item, const QRect& r) const
{
    const QPalette& pal = palette();
    if (item == current_)
        DrawThinEdge(p, r, pal.color(QPalette::Dark), pal.color(QPalette::Light));
    if (item == hot_)
        DrawThinEdge(p, r, pal.color(QPalette::Light), pal.color(QPalette::Dark));
}

void ColorPopup::DrawBox(QPainter& p, int item, const QString& text) const
{
    const QPalette& pal = palette();
    const int e = layout_.edge;
    QRect face = layout_.ItemRect(item);
    if (item == kOtherColoursBox) {
        // A separator above the box, inset at both ends.
        const QRect r = face;
        const int left = r.left() + 2 * e;
        const int right = r.right() - 2 * e;
        p.setPen(pal.color(QPalette::Dark));
        p.drawLine(left, r.top(), right, r.top());
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(left, r.top() + 1, right, r.top() + 1);
        face.setTop(r.top() + 2 * e);
    }
    const bool marked = item == current_ && item != hot_;
    p.fillRect(face, marked ? pal.color(QPalette::Light) : ButtonFaceColour());
    DrawItemFrame(p, item, face);
    p.setPen(pal.color(QPalette::ButtonText));
    p.drawText(face, Qt::AlignCenter | Qt::TextSingleLine, text);
}

void ColorPopup::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), ButtonFaceColour());

    const int inset = layout_.edge + 1;
    for (int i = 0; i < kPaletteSize; ++i) {
        const QRect cell = layout_.CellRect(i);
        const bool marked = i == current_ && i != hot_;
        p.fillRect(cell, marked ? pal.color(QPalette::Light) : ButtonFaceColour());
        DrawItemFrame(p, i, cell);
        const QRect square = cell.adjusted(inset, inset, -inset, -inset);
        p.setPen(pal.color(QPalette::Dark));
        p.setBrush(ToQColor(PaletteColours()[std::size_t(i)].colour));
        // drawRect strokes one pixel beyond the rectangle at the right and bottom.
        p.drawRect(square.adjusted(0, 0, -1, -1));
    }
    p.setBrush(Qt::NoBrush);
    if (layout_.HasTransparentBox())
        DrawBox(p, kTransparentBox, transparentText_);
    DrawBox(p, kOtherColoursBox, otherColoursText_);

    qDrawWinPanel(&p, rect(), pal, false);
}

} // namespace mugrove
