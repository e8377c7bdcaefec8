#include "controls/ColorPicker.h"

#include "app/model/Colour.h"
#include "controls/ColorPopup.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <qdrawutil.h>

#include <algorithm>

namespace mugrove {

namespace {

const char* const kTransparentText = "透明";
const char* const kOtherColoursText = "其它颜色...";

} // namespace

ColorPicker::ColorPicker(QWidget* parent) : QAbstractButton(parent), Control(this)
{
    setFocusPolicy(Qt::StrongFocus);
    // The mouse opens the palette on the press; this is the keyboard's way.
    connect(this, &QAbstractButton::clicked, this, [this] { OpenPopup(); });
}

ColorPicker::~ColorPicker()
{
    delete popup_.data(); // before our members go; it reports nothing then
}

void ColorPicker::SetCurrentColour(std::uint32_t colour)
{
    currentColour_ = colour;
    repaint();
}

void ColorPicker::SetAllowTransparent(bool allow)
{
    allowTransparent_ = allow;
    update();
}

void ColorPicker::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractButton::mousePressEvent(event);
        return;
    }
    // Drop down on the press, like a combo box: the popup then receives the
    // release of this click and ignores it.
    event->accept();
    if (!hasFocus() && focusPolicy() != Qt::NoFocus)
        setFocus(Qt::MouseFocusReason);
    OpenPopup();
}

void ColorPicker::OpenPopup()
{
    if (popup_ || !isEnabled())
        return;
    popupInitial_ = currentColour_;
    auto* popup = new ColorPopup(currentColour_,
                                 allowTransparent_ ? QString::fromUtf8(kTransparentText) : QString(),
                                 QString::fromUtf8(kOtherColoursText), this);
    popup->setObjectName(QStringLiteral("ColorPopup"));
    popup->SetFinishedHandler(
        [this](bool confirmed, std::uint32_t colour) { OnPopupFinished(confirmed, colour); });

    const QScreen* where = screen();
    const QRect screenRect = where ? where->geometry() : QRect(0, 0, 32767, 32767);
    popup->PlaceAt(mapToGlobal(QPoint(0, height())), screenRect);
    popup_ = popup;
    repaint(); // the arrow now draws pushed
    popup->show();
}

void ColorPicker::OnPopupFinished(bool confirmed, std::uint32_t colour)
{
    if (ColorPopup* ended = popup_.data()) {
        popup_ = nullptr;
        ended->deleteLater(); // we are inside one of its event handlers
    }
    setDown(false);
    if (!confirmed) {
        SetCurrentColour(popupInitial_);
        return;
    }
    SetCurrentColour(colour);
    ColourChanged.Raise();
}

void ColorPicker::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    const QRect r = rect();
    const int e = kEdgeWidth;

    p.fillRect(r, Qt::white);
    qDrawWinPanel(&p, r, pal, true);

    // Arrow box at the right inside the edge.
    const int arrowWidth = std::max(5 * e, style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
    const QRect arrow(r.width() - e - arrowWidth, e, arrowWidth, std::max(0, r.height() - 2 * e));
    const bool pushed = IsDroppedDown() || isDown();
    const QBrush face(ButtonFaceColour());
    qDrawWinButton(&p, arrow, pal, pushed, &face);
    {
        const QPointF centre = QRectF(arrow).center() + (pushed ? QPointF(1, 1) : QPointF(0, 0));
        const qreal half = std::max(2.0, arrowWidth / 4.0);
        QPainterPath triangle;
        triangle.moveTo(centre.x() - half, centre.y() - half / 2);
        triangle.lineTo(centre.x() + half, centre.y() - half / 2);
        triangle.lineTo(centre.x(), centre.y() + half / 2);
        triangle.closeSubpath();
        if (isEnabled()) {
            p.fillPath(triangle, pal.color(QPalette::Active, QPalette::ButtonText));
        } else {
            p.fillPath(triangle.translated(1, 1), pal.color(QPalette::Light));
            p.fillPath(triangle, pal.color(QPalette::Dark));
        }
    }

    // Without "透明" the transparent value shows as black.
    const bool transparent = currentColour_ == kDefaultColour && AllowTransparent();
    const std::uint32_t shown = currentColour_ == kDefaultColour && !transparent ? 0u : currentColour_;
    QRect swatch = r.adjusted(e + 2, e + 1, -(e + 2), -(e + 1));
    swatch.setRight(swatch.right() - arrowWidth);
    QColor fill = transparent ? QColor(Qt::white) : ToQColor(shown);
    if (!isEnabled())
        fill = ButtonFaceColour();
    p.setPen(Qt::black);
    p.setBrush(fill);
    if (swatch.width() > 0 && swatch.height() > 0)
        p.drawRect(swatch.adjusted(0, 0, -1, -1)); // the pen adds one pixel at right and bottom
    p.setBrush(Qt::NoBrush);

    const QString label = transparent ? QString::fromUtf8(kTransparentText) : text();
    if (!label.isEmpty()) {
        p.setFont(QApplication::font());
        const int flags = Qt::AlignCenter | Qt::TextSingleLine;
        if (isEnabled()) {
            p.setPen(pal.color(QPalette::Active, QPalette::ButtonText));
            p.drawText(swatch, flags, label);
        } else {
            p.setPen(pal.color(QPalette::Light));
            p.drawText(swatch.translated(1, 1), flags, label);
            p.setPen(pal.color(QPalette::Dark));
            p.drawText(swatch, flags, label);
        }
    }

    if (hasFocus()) {
        QPen dotted(Qt::black);
        dotted.setStyle(Qt::DotLine);
        p.setPen(dotted);
        const QRect focus = swatch.adjusted(1, 1, -1, -1);
        if (focus.width() > 1 && focus.height() > 1)
            p.drawRect(focus.adjusted(0, 0, -1, -1));
    }
}

} // namespace mugrove
