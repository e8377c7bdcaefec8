#include "controls/CaptionLook.h"

#include "app/model/EmojiRuns.h"
#include "app/model/LogFont.h"
#include "controls/Outline.h"
#include "controls/RunText.h"

#include <QFontInfo>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

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

// The font as the caption lays it out on `device`: a size given in points
// is scaled so that it comes out at the caption's own resolution.
QFont FontFor(const CaptionLook& look, const QPaintDevice* device)
{
    QFont font = look.font;
    const int deviceDpi = device ? device->logicalDpiY() : look.dpi;
    if (font.pointSizeF() > 0 && deviceDpi > 0 && deviceDpi != look.dpi)
        font.setPointSizeF(font.pointSizeF() * look.dpi / deviceDpi);
    return font;
}

} // namespace

QFont OwnFont(const QFont& font)
{
    // A setter that changes a value always detaches; changing it back keeps
    // the font as it was.
    QFont own = font;
    const bool kerning = own.kerning();
    own.setKerning(!kerning);
    own.setKerning(kerning);
    return own;
}

void PaintCaption(QPainter& painter, const CaptionLook& look, QPoint at)
{
    CaptionPainter().Paint(painter, look, at);
}

void CaptionPainter::Paint(QPainter& painter, const CaptionLook& look, QPoint at)
{
    if (look.text.isEmpty() || look.size.isEmpty())
        return;

    painter.save();
    painter.translate(at);
    // The caption's edges cut every pass.
    painter.setClipRect(QRect(QPoint(), look.size), painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    const QTransform base = painter.transform();
    const QFont font = FontFor(look, painter.device());
    painter.setFont(font);

    // An ampersand underlines the next character; a doubled one draws one.
    // No pass is clipped to its own rectangle, so a shifted pass keeps its
    // first pixels at the left and top; the caption's edges cut them all.
    int flags = HorizontalFlag(look.horizontal) | Qt::TextShowMnemonic | Qt::TextDontClip;
    if (look.wordWrap)
        flags |= Qt::TextWordWrap | Qt::AlignTop; // wrapped text always starts at the top
    else
        flags |= Qt::TextSingleLine | VerticalFlag(look.vertical);

    const QRect r(QPoint(), look.size);
    QTransform turn;
    if (look.escapement % 3600 != 0) {
        const QPointF centre = QRectF(r).center();
        turn.translate(centre.x(), centre.y());
        turn.rotate(-look.escapement / 10.0);
        turn.translate(-centre.x(), -centre.y());
    }
    painter.setTransform(turn, true);

    // The passes are drawn once into tiles kept while the look stays the
    // same: a drag only moves the caption, and a long text or many emoji cost
    // much to lay out and draw anew. The tiles hold the text turned already.
    QPoint mainOffset(0, 0);
    if (look.effect == TextEffect::Raised)
        mainOffset = QPoint(1, 1);
    const std::vector<Tile>& tiles = Rendered(look, flags, mainOffset, turn);
    painter.setTransform(base);
    for (const Tile& tile : tiles)
        painter.drawImage(tile.at, tile.image);
    painter.restore();
}

const std::vector<CaptionPainter::Tile>& CaptionPainter::Rendered(const CaptionLook& look, int flags,
                                                                  QPoint offset, const QTransform& turn)
{
    // The layer has the caption's own resolution, so the look's font fits it as it is.
    const QFont& font = look.font;
    const qreal ratio = look.pixelRatio;
    Key key{look.text,  font,       flags,     offset,   turn, look.colour.rgba(),
            look.size,  ratio,      look.dpi,  int(look.effect), look.outline};
    if (key == key_)
        return tiles_;
    tiles_.clear();
    key_ = key;

    // With an outline the glyphs are drawn into a mask with room around the
    // caption, so that glyphs cut at its edges still have their edge inside
    // it. An edge wider than the caption covers it as far as it can reach;
    // so fonts of any size cost no more than the caption's own size.
    const QSize size = look.size;
    const int width = look.outline
        ? std::min(OutlineWidth(QFontInfo(font).pixelSize()), std::max(size.width(), size.height()))
        : 0;
    const int margin = look.outline ? width + 1 : 0;
    const QSize padded = size + QSize(2 * margin, 2 * margin);
    const int dotsPerMeter = qRound(look.dpi / 0.0254);
    const auto canvas = [&](QImage image) {
        image.setDevicePixelRatio(ratio);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        return image;
    };
    // Emoji take the colour face run by run: listed among the font's
    // families, it would lose to any face with black emoji of its own.
    const bool emoji = !EmojiRuns(look.text).empty();
    QTextCharFormat emojiFormat;
    emojiFormat.setFontFamilies(QStringList{kColourEmojiFamily});
    const auto drawText = [&](QImage& image, const QColor& colour, QPoint at) {
        QPainter p(&image);
        p.translate(margin, margin);
        p.setTransform(turn, true);
        p.setFont(font);
        p.setPen(colour);
        const QRect r = QRect(QPoint(), size).translated(at);
        if (emoji)
            DrawTextWithRuns(p, r, flags, look.text, [](QStringView text) { return EmojiRuns(text); }, emojiFormat);
        else
            p.drawText(r, flags, look.text);
    };
    const auto blank = [&] {
        QImage image = canvas(QImage((QSizeF(padded) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied));
        if (!image.isNull())
            image.fill(Qt::transparent);
        return image;
    };

    QImage layer = blank();
    if (layer.isNull()) // no memory for it: nothing is drawn
        return tiles_;
    // No background is filled: only the glyph pixels are written.
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);
    switch (look.effect) {
    case TextEffect::LightRelief: drawText(layer, white, QPoint(1, 1)); break;
    case TextEffect::Raised: drawText(layer, white, QPoint(0, 0)); break;
    case TextEffect::DarkShadow: drawText(layer, black, QPoint(2, 2)); break;
    case TextEffect::None: break;
    }
    if (look.outline) {
        QImage mask = blank();
        if (!mask.isNull()) { // without memory for it the text goes without an edge
            drawText(mask, Qt::black, offset);
            const QImage edge = canvas(OutlineLayer(mask, int(std::lround(width * ratio)), OutlineColour(look.colour)));
            QPainter(&layer).drawImage(QPointF(), edge);
        }
    }
    drawText(layer, look.colour, offset);
    constexpr int kTile = 64;
    const QRect inside = QRectF(QPointF(margin, margin) * ratio, QSizeF(size) * ratio).toRect();
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
            tiles_.push_back({QPointF(tile.topLeft() - inside.topLeft()) / ratio, image});
        }
    return tiles_;
}

} // namespace mugrove
