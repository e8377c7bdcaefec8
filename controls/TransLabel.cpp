#include "controls/TransLabel.h"

#include "app/model/Colour.h"
#include "app/model/MainWindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPainter>
#include <QRegion>
#include <QtEndian>

#include <algorithm>

namespace mugrove {

namespace {

constexpr std::int32_t kRecordVersion = 1;

void AppendInt32(QByteArray& out, std::int32_t value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

// Reads little-endian integers from a record, refusing to read past its end.
class RecordReader {
public:
    explicit RecordReader(const QByteArray& record) : record_(record) {}

    bool ReadInt32(std::int32_t& value)
    {
        if (record_.size() - pos_ < 4)
            return false;
        value = qFromLittleEndian<std::int32_t>(record_.constData() + pos_);
        pos_ += 4;
        return true;
    }

    bool ReadBytes(qsizetype count, QByteArray& bytes)
    {
        if (count < 0 || record_.size() - pos_ < count)
            return false;
        bytes = record_.mid(pos_, count);
        pos_ += count;
        return true;
    }

private:
    const QByteArray& record_;
    qsizetype pos_ = 0;
};

Qt::Alignment HorizontalFlag(int alignment)
{
    static constexpr Qt::AlignmentFlag kFlags[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    return kFlags[std::clamp(alignment, 0, 2)];
}

Qt::Alignment VerticalFlag(int alignment)
{
    static constexpr Qt::AlignmentFlag kFlags[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    return kFlags[std::clamp(alignment, 0, 2)];
}

} // namespace

QByteArray EncodeTransLabelSettings(const TransLabelSettings& s)
{
    QByteArray out;
    AppendInt32(out, kRecordVersion);
    AppendInt32(out, s.textEffect);
    AppendInt32(out, static_cast<std::int32_t>(s.textColour));
    AppendInt32(out, s.horizontalAlignment);
    AppendInt32(out, s.verticalAlignment);
    AppendInt32(out, s.wordWrap ? 1 : 0);
    if (s.font) {
        AppendInt32(out, std::int32_t(kLogFontSize));
        out.append(reinterpret_cast<const char*>(s.font->data()), qsizetype(kLogFontSize));
    } else {
        AppendInt32(out, 0);
    }
    const QByteArray caption = ToGbk(s.caption);
    AppendInt32(out, std::int32_t(caption.size()));
    out.append(caption);
    return out;
}

std::optional<TransLabelSettings> DecodeTransLabelSettings(const QByteArray& record)
{
    RecordReader reader(record);
    std::int32_t version = 0, effect = 0, colour = 0, horizontal = 0, vertical = 0, wrap = 0;
    std::int32_t fontCount = 0, captionCount = 0;
    if (!reader.ReadInt32(version) || version != kRecordVersion || !reader.ReadInt32(effect)
        || !reader.ReadInt32(colour) || !reader.ReadInt32(horizontal)
        || !reader.ReadInt32(vertical) || !reader.ReadInt32(wrap) || !reader.ReadInt32(fontCount))
        return std::nullopt;
    TransLabelSettings s;
    s.textEffect = std::clamp(effect, 0, 3);
    s.textColour = static_cast<std::uint32_t>(colour);
    s.horizontalAlignment = std::clamp(horizontal, 0, 2);
    s.verticalAlignment = std::clamp(vertical, 0, 2);
    s.wordWrap = wrap != 0;
    if (fontCount == std::int32_t(kLogFontSize)) {
        QByteArray font;
        if (!reader.ReadBytes(fontCount, font))
            return std::nullopt;
        LogFontBytes bytes{};
        std::copy(font.begin(), font.end(), bytes.begin());
        s.font = bytes;
    } else if (fontCount != 0) {
        return std::nullopt;
    }
    QByteArray caption;
    if (!reader.ReadInt32(captionCount) || !reader.ReadBytes(captionCount, caption))
        return std::nullopt;
    s.caption = FromGbk(caption);
    return s;
}

TransLabel::TransLabel(QWidget* parent) : QWidget(parent), Control(this)
{
    // Nothing of its own beneath the glyphs: the siblings below show through.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setCursor(Qt::ArrowCursor);
}

void TransLabel::SetCaption(const QString& caption)
{
    settings_.caption = caption;
    setWindowTitle(caption); // the window text is always the caption
    RepaintBeneath();
}

void TransLabel::SetTextEffect(int value)
{
    settings_.textEffect = std::clamp(value, 0, 3);
    RepaintBeneath();
}

void TransLabel::SetTextColour(std::uint32_t colour)
{
    settings_.textColour = colour;
    RepaintBeneath();
}

void TransLabel::SetHorizontalAlignment(int value)
{
    settings_.horizontalAlignment = std::clamp(value, 0, 2);
    RepaintBeneath();
}

void TransLabel::SetVerticalAlignment(int value)
{
    settings_.verticalAlignment = std::clamp(value, 0, 2);
    RepaintBeneath();
}

void TransLabel::SetWordWrap(bool on)
{
    settings_.wordWrap = on;
    RepaintBeneath();
}

OverlayFont TransLabel::Font() const
{
    const int dpi = ScreenDpiY();
    return ToOverlayFont(settings_.font ? paintFont_ : DefaultGuiLogFont(dpi), dpi);
}

void TransLabel::SetFont(const OverlayFont& font)
{
    StoreFont(ToBytes(ToLogFont(font, ScreenDpiY())));
}

LogFontBytes TransLabel::FontForFieldWrite() const
{
    return settings_.font ? *settings_.font : ToBytes(DefaultGuiLogFont(ScreenDpiY()));
}

void TransLabel::SetFontAngle(int angle)
{
    LogFontBytes bytes = FontForFieldWrite();
    const std::int32_t normalised = NormaliseAngle(angle);
    WriteInt32(bytes, LogFontField::Escapement, normalised);
    WriteInt32(bytes, LogFontField::Orientation, normalised);
    StoreFont(bytes);
}

void TransLabel::SetFontBold(int bold)
{
    LogFontBytes bytes = FontForFieldWrite();
    WriteInt32(bytes, LogFontField::Weight, bold != 0 ? kWeightBold : 0);
    StoreFont(bytes);
}

void TransLabel::SetFontItalic(int italic)
{
    LogFontBytes bytes = FontForFieldWrite();
    bytes[LogFontField::Italic] = italic != 0 ? 1 : 0;
    StoreFont(bytes);
}

void TransLabel::SetFontStrikeOut(int strikeOut)
{
    LogFontBytes bytes = FontForFieldWrite();
    bytes[LogFontField::StrikeOut] = strikeOut != 0 ? 1 : 0;
    StoreFont(bytes);
}

void TransLabel::SetFontUnderline(int underline)
{
    LogFontBytes bytes = FontForFieldWrite();
    bytes[LogFontField::Underline] = underline != 0 ? 1 : 0;
    StoreFont(bytes);
}

void TransLabel::SetFontSize(int points)
{
    LogFontBytes bytes = FontForFieldWrite();
    WriteInt32(bytes, LogFontField::Height, HeightForSize(points, ScreenDpiY()));
    StoreFont(bytes);
}

void TransLabel::SetFontFaceName(const QString& name)
{
    LogFontBytes bytes = FontForFieldWrite();
    WriteFaceName(bytes, FaceNameFits(name) ? name : FallbackFaceName());
    StoreFont(bytes);
}

void TransLabel::SetFontBytes(const std::optional<LogFontBytes>& bytes)
{
    StoreFont(bytes);
}

std::optional<LogFont> TransLabel::StoredFont() const
{
    if (!settings_.font)
        return std::nullopt;
    return paintFont_;
}

void TransLabel::SetLogFont(const std::optional<LogFont>& font)
{
    StoreFont(font ? std::optional<LogFontBytes>(ToBytes(*font)) : std::nullopt);
}

void TransLabel::StoreFont(const std::optional<LogFontBytes>& bytes)
{
    settings_.font = bytes;
    paintFont_ = bytes ? FromBytes(*bytes) : LogFont{};
    RepaintBeneath();
}

void TransLabel::SetSettings(const TransLabelSettings& settings)
{
    settings_ = settings;
    settings_.textEffect = std::clamp(settings_.textEffect, 0, 3);
    settings_.horizontalAlignment = std::clamp(settings_.horizontalAlignment, 0, 2);
    settings_.verticalAlignment = std::clamp(settings_.verticalAlignment, 0, 2);
    setWindowTitle(settings_.caption);
    StoreFont(settings_.font);
}

bool TransLabel::LoadSettingsRecord(const QByteArray& record)
{
    const std::optional<TransLabelSettings> settings = DecodeTransLabelSettings(record);
    if (!settings)
        return false;
    SetSettings(*settings);
    return true;
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

void TransLabel::paintEvent(QPaintEvent*)
{
    const QString& text = settings_.caption;
    if (text.isEmpty())
        return;

    QPainter painter(this);
    // The font is made for this paint only, from the stored description.
    painter.setFont(settings_.font ? ToQFont(paintFont_) : QApplication::font());

    // An ampersand underlines the next character; a doubled one draws one.
    int flags = HorizontalFlag(settings_.horizontalAlignment) | Qt::TextShowMnemonic;
    if (settings_.wordWrap)
        flags |= Qt::TextWordWrap | Qt::AlignTop; // wrapped text always starts at the top
    else
        flags |= Qt::TextSingleLine | VerticalFlag(settings_.verticalAlignment);

    const QRect r = rect();
    const std::int32_t escapement = settings_.font ? paintFont_.escapement : 0;
    if (escapement % 3600 != 0) {
        // Counter-clockwise in tenths of a degree, turned about the label's centre.
        const QPointF centre = QRectF(r).center();
        painter.translate(centre);
        painter.rotate(-escapement / 10.0);
        painter.translate(-centre);
    }

    // No background is filled: only the glyph pixels are written, and the
    // widget clips everything to its own rectangle.
    const auto pass = [&](const QColor& colour, const QPoint& offset) {
        painter.setPen(colour);
        painter.drawText(r.translated(offset), flags, text);
    };
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);
    QPoint mainOffset(0, 0);
    switch (settings_.textEffect) {
    case 1: pass(white, QPoint(1, 1)); break;
    case 2: pass(white, QPoint(0, 0)); mainOffset = QPoint(1, 1); break;
    case 3: pass(black, QPoint(2, 2)); break;
    default: break;
    }
    pass(ToQColor(settings_.textColour), mainOffset);
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

} // namespace mugrove
