#include "controls/TransLabel.h"

#include "app/model/Colour.h"
#include "app/model/MainWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPainter>

#include <algorithm>

namespace mugrove {

TransLabel::TransLabel(QWidget* parent) : QWidget(parent), Control(this)
{
    // Nothing of its own beneath the glyphs: the siblings below show through.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setCursor(Qt::ArrowCursor);
}

TransLabel::~TransLabel() = default;

void TransLabel::SetCaption(const QString& caption)
{
    caption_ = caption;
    setWindowTitle(caption); // the window text is always the caption
    Changed();
}

void TransLabel::SetTextEffect(int value)
{
    effect_ = mugrove::TextEffect(std::clamp(value, 0, 3));
    Changed();
}

void TransLabel::SetTextColour(std::uint32_t colour)
{
    textColour_ = colour;
    Changed();
}

void TransLabel::SetHorizontalAlignment(int value)
{
    horizontal_ = mugrove::HorizontalAlignment(std::clamp(value, 0, 2));
    Changed();
}

void TransLabel::SetVerticalAlignment(int value)
{
    vertical_ = mugrove::VerticalAlignment(std::clamp(value, 0, 2));
    Changed();
}

void TransLabel::SetWordWrap(bool on)
{
    wordWrap_ = on;
    Changed();
}

void TransLabel::SetOutline(bool on)
{
    outline_ = on;
    Changed();
}

OverlayFont TransLabel::Font() const
{
    const int dpi = ScreenDpiY();
    return ToOverlayFont(font_ ? paintFont_ : DefaultGuiLogFont(dpi), dpi);
}

void TransLabel::SetFont(const OverlayFont& font)
{
    StoreFont(ToBytes(ToLogFont(font, ScreenDpiY())));
}

LogFontBytes TransLabel::FontForFieldWrite() const
{
    return font_ ? *font_ : ToBytes(DefaultGuiLogFont(ScreenDpiY()));
}

void TransLabel::SetFontBold(bool bold)
{
    LogFontBytes bytes = FontForFieldWrite();
    WriteInt32(bytes, LogFontField::Weight, bold ? kWeightBold : 0);
    StoreFont(bytes);
}

void TransLabel::SetFontSize(int points)
{
    LogFontBytes bytes = FontForFieldWrite();
    WriteInt32(bytes, LogFontField::Height, HeightForSize(points, ScreenDpiY()));
    StoreFont(bytes);
}

std::optional<LogFont> TransLabel::StoredFont() const
{
    if (!font_)
        return std::nullopt;
    return paintFont_;
}

void TransLabel::SetLogFont(const std::optional<LogFont>& font)
{
    StoreFont(font ? std::optional<LogFontBytes>(ToBytes(*font)) : std::nullopt);
}

void TransLabel::StoreFont(const std::optional<LogFontBytes>& bytes)
{
    font_ = bytes;
    paintFont_ = bytes ? FromBytes(*bytes) : LogFont{};
    Changed();
}

void TransLabel::Changed()
{
    look_.reset();
    // Whoever lays the label out does so before it is painted.
    SettingChanged.Raise();
    RepaintBeneath();
}

void TransLabel::RepaintBeneath()
{
    // The label is transparent, so Qt paints whatever lies beneath its
    // rectangle before the label itself. The synchronous repaint also paints
    // every area already marked dirty, such as the place a move just left,
    // which Qt invalidates in the parent before the move event arrives.
    // (Repainting a region of the top-level window instead can be dropped
    // by Qt 6.4 when other widgets are waiting to be painted.)
    if (isVisible())
        repaint();
}

void TransLabel::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    RepaintBeneath();
}

const CaptionLook& TransLabel::KeptLook() const
{
    // Made anew after a setting write, or when the label's size or the
    // screen's resolution changed; a move keeps it.
    const qreal ratio = devicePixelRatioF();
    const int dpi = logicalDpiY();
    if (look_ && look_->size == size() && look_->pixelRatio == ratio && look_->dpi == dpi)
        return *look_;
    CaptionLook look;
    look.text = caption_;
    look.font = font_ ? ToQFont(paintFont_) : QApplication::font();
    look.colour = ToQColor(textColour_);
    look.horizontal = horizontal_;
    look.vertical = vertical_;
    look.wordWrap = wordWrap_;
    look.effect = effect_;
    look.outline = outline_;
    look.escapement = font_ ? paintFont_.escapement : 0;
    look.size = size();
    look.pixelRatio = ratio;
    look.dpi = dpi;
    look_ = std::move(look);
    return *look_;
}

CaptionLook TransLabel::Look() const
{
    CaptionLook look = KeptLook();
    look.font = OwnFont(look.font); // the copy may go to another thread
    return look;
}

void TransLabel::changeEvent(QEvent* event)
{
    // A label without a font of its own draws with the application's.
    if (event->type() == QEvent::ApplicationFontChange)
        look_.reset();
    QWidget::changeEvent(event);
}

void TransLabel::PaintOnto(QPainter& painter, QPoint at) const
{
    if (!caption_.isEmpty())
        painter_.Paint(painter, KeptLook(), at);
}

void TransLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintOnto(painter, QPoint());
}

void TransLabel::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        MouseDown.Raise(p.x(), p.y(), KeyStateOf(event->modifiers()));
    }
}

void TransLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A second quick press arrives as a double-click, which is not a press.
    event->accept();
}

// The label keeps the mouse from a press until the release; what it sees in
// between belongs to the main window, as if the window held the capture.
void TransLabel::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (auto* main = qobject_cast<MainWindow*>(window())) {
        const QPoint p = mapTo(main, event->position().toPoint());
        main->MouseMove.Raise(p.x(), p.y(), KeyStateOf(event->modifiers()));
    }
}

void TransLabel::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    if (auto* main = qobject_cast<MainWindow*>(window())) {
        const QPoint p = mapTo(main, event->position().toPoint());
        main->MouseUp.Raise(p.x(), p.y(), KeyStateOf(event->modifiers()));
    }
}

// The caption's own menu: the four effects, one of them marked, and the
// outline as a tick. A right-click starts no drag; closing the menu without
// a choice changes nothing.
QMenu& TransLabel::Menu()
{
    if (menu_)
        return *menu_;
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("文字效果"));
    auto* effects = new QActionGroup(menu_);
    const QString names[] = {QStringLiteral("无效果(&N)"), QStringLiteral("浅色浮雕(&L)"),
                             QStringLiteral("凸起(&R)"), QStringLiteral("深色阴影(&S)")};
    for (int value = 0; value < 4; ++value) {
        QAction* action = menu_->addAction(names[value]);
        action->setCheckable(true);
        action->setData(value);
        effects->addAction(action);
        connect(action, &QAction::triggered, this, [this, value] {
            SetTextEffect(value);
            LookChosen.Raise();
        });
    }
    menu_->addSeparator();
    QAction* outline = menu_->addAction(QStringLiteral("描边(&O)"));
    outline->setCheckable(true);
    connect(outline, &QAction::triggered, this, [this](bool on) {
        SetOutline(on);
        LookChosen.Raise();
    });
    if (removable_) {
        menu_->addSeparator();
        QAction* remove = menu_->addAction(QStringLiteral("删除文字(&D)"));
        // Queued: the handler may delete this label, and with it the menu
        // whose signal is still being delivered.
        connect(remove, &QAction::triggered, this, [this] { RemoveChosen.Raise(); }, Qt::QueuedConnection);
    }
    return *menu_;
}

void TransLabel::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    // During a drag the menu would take the left button's release from the
    // window and leave the drag running.
    if (QGuiApplication::mouseButtons() & Qt::LeftButton)
        return;
    QMenu& menu = Menu();
    const QList<QAction*> actions = menu.actions();
    for (QAction* action : actions) {
        if (!action->isCheckable())
            continue;
        action->setChecked(action->data().isValid() ? action->data().toInt() == TextEffect()
                                                    : outline_);
    }
    menu.popup(event->globalPos());
}

} // namespace mugrove
