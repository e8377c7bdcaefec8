#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QTransform>

#include <vector>

class QPainter;

namespace mugrove {

// The extra pass drawn before the caption's text.
enum class TextEffect { None, LightRelief, Raised, DarkShadow };
enum class HorizontalAlignment { Left, Centre, Right };
enum class VerticalAlignment { Top, Centre, Bottom };

// Everything a caption's pixels depend on, as a plain value: a copy paints
// the same glyphs on any thread, long after the label has changed.
struct CaptionLook {
    QString text;
    QFont font; // owned by this value alone (see OwnFont)
    QColor colour;
    HorizontalAlignment horizontal = HorizontalAlignment::Left;
    VerticalAlignment vertical = VerticalAlignment::Centre;
    bool wordWrap = false;
    TextEffect effect = TextEffect::None;
    bool outline = false;
    int escapement = 0; // counter-clockwise, tenths of a degree, about the centre
    QSize size;         // the label's rectangle, which cuts every pass
    qreal pixelRatio = 1;
    int dpi = 96;       // the resolution the text is laid out at
};

// A font that shares no state with any other: fonts are not safe to use from
// two threads at once, and a copy of a font shares its private data.
QFont OwnFont(const QFont& font);

// Paints the caption with its top-left corner at `at` in the painter's
// coordinates; only glyph pixels are written, and nothing outside the
// caption's rectangle. Works with any painter on any thread.
void PaintCaption(QPainter& painter, const CaptionLook& look, QPoint at);

// The same, keeping the outlined text between calls while the look stays the
// same (an outline costs a distance transform of the whole label): for a
// caption painted again and again, as by the label or on every frame.
class CaptionPainter {
public:
    void Paint(QPainter& painter, const CaptionLook& look, QPoint at);

private:
    // The outlined text: the edge with the main pass over it, as tiles that
    // hold any of it (most of a large label is empty, and every tile drawn
    // is blended).
    struct Tile {
        QPointF at; // in caption coordinates
        QImage image;
    };
    struct Key {
        QString text;
        QString font;
        int flags = 0;
        QPoint offset;
        QTransform turn;
        QRgb colour = 0;
        QSize size;
        qreal ratio = 0;
        int dpi = 0;
        bool operator==(const Key&) const = default;
    };
    const std::vector<Tile>& OutlinedText(const CaptionLook& look, int flags, QPoint offset,
                                          const QTransform& turn);

    Key key_;
    std::vector<Tile> tiles_;
};

} // namespace mugrove
