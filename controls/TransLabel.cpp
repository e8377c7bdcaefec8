#include "controls/TransLabel.h"

#include "app/model/Colour.h"
#include "app/model/MainWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace mugrove {

namespace {

Qt::Alignment HorizontalFlag(HorizontalAlignment alignment)
{
    switch (alignment) {
    case HorizontalAlignment::Centre: return Qt::AlignHCenter;
    case HorizontalAlignment::Right: return Qt::AlignRight;
    case HorizontalAlignment::Left: break;
    }
    return Qt::AlignLeft;
}

Qt::Alignment VerticalFlag(VerticalAlignment alignment)
{
    switch (alignment) {
    case VerticalAlignment::Top: return Qt::AlignTop;
    case VerticalAlignment::Bottom: return Qt::AlignBottom;
    case VerticalAlignment::Centre: break;
    }
    return Qt::AlignVCenter;
}

// Stands for "no glyph on this line": farther than any two pixels of a
// label can be apart, and still exact when squares are added to it.
constexpr double kFar = 1e12;

// Squared distances to the nearest glyph sample along one line, in place:
// the lower envelope of the parabolas rooted at every sample.
void SquaredDistances1D(double* f, std::size_t stride, std::size_t n, std::vector<double>& d,
                        std::vector<std::size_t>& v, std::vector<double>& z)
{
    const auto at = [&](std::size_t i) { return f[i * stride]; };
    const auto crossing = [&](std::size_t q, std::size_t p) {
        const double dq = double(q), dp = double(p);
        return ((at(q) + dq * dq) - (at(p) + dp * dp)) / (2.0 * dq - 2.0 * dp);
    };
    std::size_t k = 0;
    v[0] = 0;
    z[0] = -std::numeric_limits<double>::infinity();
    z[1] = std::numeric_limits<double>::infinity();
    for (std::size_t q = 1; q < n; ++q) {
        double s = crossing(q, v[k]);
        while (s <= z[k]) {
            --k;
            s = crossing(q, v[k]);
        }
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = std::numeric_limits<double>::infinity();
    }
    k = 0;
    for (std::size_t q = 0; q < n; ++q) {
        while (z[k + 1] < double(q))
            ++k;
        const double dq = double(q) - double(v[k]);
        d[q] = dq * dq + at(v[k]);
    }
    for (std::size_t q = 0; q < n; ++q)
        f[q * stride] = d[q];
}

// The edge layer for a glyph mask: opaque `colour` wherever a pixel lies
// within `width` pixels of one whose alpha is at least one half, fading out
// over the next pixel, transparent beyond. Same size as the mask.
QImage OutlineLayer(const QImage& glyphs, int width, const QColor& colour)
{
    const QImage mask = glyphs.convertToFormat(QImage::Format_ARGB32);
    const std::size_t w = std::size_t(mask.width()), h = std::size_t(mask.height());
    QImage layer(mask.size(), QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(glyphs.devicePixelRatio());
    layer.fill(Qt::transparent);
    if (w == 0 || h == 0)
        return layer;

    std::vector<double> f(w * h);
    for (std::size_t y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(mask.constScanLine(int(y)));
        for (std::size_t x = 0; x < w; ++x)
            f[y * w + x] = qAlpha(row[x]) >= 128 ? 0.0 : kFar;
    }
    const std::size_t n = std::max(w, h);
    std::vector<double> d(n), z(n + 1);
    std::vector<std::size_t> v(n);
    for (std::size_t x = 0; x < w; ++x)
        SquaredDistances1D(f.data() + x, w, h, d, v, z);
    for (std::size_t y = 0; y < h; ++y)
        SquaredDistances1D(f.data() + y * w, 1, w, d, v, z);

    // A glyph pixel's own edge lies half a pixel beyond its centre, so a
    // pixel whose centre is `width` away is still wholly covered.
    const QColor c = colour.toRgb();
    for (std::size_t y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(layer.scanLine(int(y)));
        for (std::size_t x = 0; x < w; ++x) {
            const double distance = std::sqrt(f[y * w + x]);
            const double cover = std::clamp(double(width) + 1.0 - distance, 0.0, 1.0);
            if (cover > 0)
                row[x] = qPremultiply(qRgba(c.red(), c.green(), c.blue(), int(std::lround(cover * 255))));
        }
    }
    return layer;
}

} // namespace

int OutlineWidth(int fontPixelHeight)
{
    return std::max(1, (std::max(fontPixelHeight, 0) + 6) / 12);
}

QColor OutlineColour(const QColor& text)
{
    const QColor rgb = text.toRgb();
    const int weighted = 299 * rgb.red() + 587 * rgb.green() + 114 * rgb.blue();
    return weighted * 2 > 1000 * 255 ? QColor(0, 0, 0) : QColor(255, 255, 255);
}

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
    RepaintBeneath();
}

void TransLabel::SetTextEffect(int value)
{
    effect_ = mugrove::TextEffect(std::clamp(value, 0, 3));
    RepaintBeneath();
}

void TransLabel::SetTextColour(std::uint32_t colour)
{
    textColour_ = colour;
    RepaintBeneath();
}

void TransLabel::SetHorizontalAlignment(int value)
{
    horizontal_ = mugrove::HorizontalAlignment(std::clamp(value, 0, 2));
    RepaintBeneath();
}

void TransLabel::SetVerticalAlignment(int value)
{
    vertical_ = mugrove::VerticalAlignment(std::clamp(value, 0, 2));
    RepaintBeneath();
}

void TransLabel::SetWordWrap(bool on)
{
    wordWrap_ = on;
    RepaintBeneath();
}

void TransLabel::SetOutline(bool on)
{
    outline_ = on;
    RepaintBeneath();
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

void TransLabel::CopyLook(const TransLabel& from)
{
    SetLogFont(from.StoredFont());
    SetTextEffect(from.TextEffect());
    SetTextColour(from.TextColour());
    SetHorizontalAlignment(from.HorizontalAlignment());
    SetVerticalAlignment(from.VerticalAlignment());
    SetWordWrap(from.WordWrap());
    SetOutline(from.Outline());
    SetCaption(from.Caption());
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

const std::vector<TransLabel::Tile>& TransLabel::OutlinedText(const QFont& font, int flags,
                                                              const QPoint& offset,
                                                              const QTransform& turn,
                                                              const QColor& text)
{
    const qreal ratio = devicePixelRatioF();
    OutlineKey key{caption_, font.key(), flags, offset, turn, text.rgba(), size(), ratio};
    if (key == outlineKey_)
        return outlined_;

    // The glyphs are drawn into a mask with room around the label, so that
    // glyphs cut at its edges still have their edge inside it. The mask lays
    // text out at the screen's resolution, as the label does.
    // An edge wider than the label covers it as far as it can reach; so
    // fonts of any size cost no more than the label's own size.
    const int width = std::min(OutlineWidth(QFontInfo(font).pixelSize()), std::max(this->width(), height()));
    const int margin = width + 1;
    const QSize padded = size() + QSize(2 * margin, 2 * margin);
    const auto canvas = [&](QImage image) {
        image.setDevicePixelRatio(ratio);
        image.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
        image.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
        return image;
    };
    const auto drawText = [&](QImage& image, const QColor& colour) {
        QPainter p(&image);
        p.translate(margin, margin);
        p.setTransform(turn, true);
        p.setFont(font);
        p.setPen(colour);
        p.drawText(rect().translated(offset), flags, caption_);
    };
    QImage mask = canvas(QImage((QSizeF(padded) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied));
    outlined_.clear();
    outlineKey_ = key;
    if (mask.isNull()) // no memory for it: the text is drawn without an edge
        return outlined_;
    mask.fill(Qt::transparent);
    drawText(mask, Qt::black);
    QImage layer = canvas(OutlineLayer(mask, int(std::lround(width * ratio)), OutlineColour(text)));
    drawText(layer, text);

    // Only the tiles holding some of it are kept: most of a large label is
    // empty, and every tile drawn is blended.
    constexpr int kTile = 64;
    const QRect inside = QRectF(QPointF(margin, margin) * ratio, QSizeF(size()) * ratio).toRect();
    for (int y = inside.top(); y <= inside.bottom(); y += kTile)
        for (int x = inside.left(); x <= inside.right(); x += kTile) {
            const QRect tile = QRect(x, y, kTile, kTile) & inside;
            bool any = false;
            for (int row = tile.top(); row <= tile.bottom() && !any; ++row) {
                const auto* line = reinterpret_cast<const QRgb*>(layer.constScanLine(row));
                for (int column = tile.left(); column <= tile.right() && !any; ++column)
                    any = qAlpha(line[column]) != 0;
            }
            if (!any)
                continue;
            QImage image = layer.copy(tile);
            image.setDevicePixelRatio(ratio);
            outlined_.push_back({QPointF(tile.topLeft() - inside.topLeft()) / ratio, image});
        }
    return outlined_;
}

void TransLabel::paintEvent(QPaintEvent*)
{
    const QString& text = caption_;
    if (text.isEmpty())
        return;

    QPainter painter(this);
    // The font is made for this paint only, from the stored description.
    const QFont font = font_ ? ToQFont(paintFont_) : QApplication::font();
    painter.setFont(font);

    // An ampersand underlines the next character; a doubled one draws one.
    // No pass is clipped to its own rectangle, so a shifted pass keeps its
    // first pixels at the left and top; the label's edges cut them all.
    int flags = HorizontalFlag(horizontal_) | Qt::TextShowMnemonic | Qt::TextDontClip;
    if (wordWrap_)
        flags |= Qt::TextWordWrap | Qt::AlignTop; // wrapped text always starts at the top
    else
        flags |= Qt::TextSingleLine | VerticalFlag(vertical_);

    const QRect r = rect();
    const std::int32_t escapement = font_ ? paintFont_.escapement : 0;
    QTransform turn;
    if (escapement % 3600 != 0) {
        // Counter-clockwise in tenths of a degree, turned about the label's centre.
        const QPointF centre = QRectF(r).center();
        turn.translate(centre.x(), centre.y());
        turn.rotate(-escapement / 10.0);
        turn.translate(-centre.x(), -centre.y());
    }
    painter.setTransform(turn);

    // No background is filled: only the glyph pixels are written.
    const auto pass = [&](const QColor& colour, const QPoint& offset) {
        painter.setPen(colour);
        painter.drawText(r.translated(offset), flags, text);
    };
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);
    QPoint mainOffset(0, 0);
    switch (effect_) {
    case mugrove::TextEffect::LightRelief: pass(white, QPoint(1, 1)); break;
    case mugrove::TextEffect::Raised: pass(white, QPoint(0, 0)); mainOffset = QPoint(1, 1); break;
    case mugrove::TextEffect::DarkShadow: pass(black, QPoint(2, 2)); break;
    case mugrove::TextEffect::None: break;
    }
    const QColor colour = ToQColor(textColour_);
    if (!outline_) {
        pass(colour, mainOffset);
        return;
    }
    const std::vector<Tile>& tiles = OutlinedText(font, flags, mainOffset, turn, colour);
    if (tiles.empty()) {
        pass(colour, mainOffset);
        return;
    }
    painter.resetTransform(); // the tiles hold the text turned already
    for (const Tile& tile : tiles)
        painter.drawImage(tile.at, tile.image);
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
        connect(action, &QAction::triggered, this, [this, value] { SetTextEffect(value); });
    }
    menu_->addSeparator();
    QAction* outline = menu_->addAction(QStringLiteral("描边(&O)"));
    outline->setCheckable(true);
    connect(outline, &QAction::triggered, this, [this](bool on) { SetOutline(on); });
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
