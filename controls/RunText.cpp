#include "controls/RunText.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace mugrove {

namespace {

// The text as DrawTextWithRuns shows it, laid out in `layout` with its
// lines stacked from 0 down; returns the height they take (0 for no text).
// `layout` holds the font for its device already.
qreal LayOutRuns(QTextLayout& layout, const QFont& font, Qt::LayoutDirection direction,
                 qreal width, int flags, const QString& text,
                 const std::function<std::vector<TextRun>(QStringView)>& runsOf, const QTextCharFormat& runFormat)
{
    const bool wordWrap = flags & Qt::TextWordWrap;
    const bool singleLine = flags & Qt::TextSingleLine;

    // Carriage returns and tabs draw as spaces; a line feed breaks the line
    // unless the text keeps to one.
    QString shown;
    shown.reserve(text.size());
    QList<QTextLayout::FormatRange> formats;
    QTextCharFormat underlined;
    underlined.setFontUnderline(true);
    const bool mnemonic = flags & Qt::TextShowMnemonic;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == u'\r' || c == u'\t' || (singleLine && c == u'\n'))
            c = u' ';
        else if (c == u'\n')
            c = QChar::LineSeparator;
        else if (c == u'&' && mnemonic) {
            // "&x" underlines x, "&&" is one ampersand, a last one vanishes.
            if (++i == text.size())
                break;
            c = text[i];
            if (c != u'&')
                formats.append({int(shown.size()), 1, underlined});
            if (c == u'\r' || c == u'\t' || (singleLine && c == u'\n'))
                c = u' ';
            else if (c == u'\n')
                c = QChar::LineSeparator;
        }
        shown += c;
    }
    if (shown.isEmpty())
        return 0;
    for (const TextRun& run : runsOf(shown))
        formats.append({int(run.start), int(run.length), runFormat});

    layout.setText(shown);
    QTextOption option;
    option.setTextDirection(direction);
    option.setAlignment(Qt::AlignLeft); // aligned below, line by line
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.setFormats(formats);

    // Lines are stacked on whole pixels, a leading apart.
    const qreal lineWidth = wordWrap ? std::max<qreal>(0, width) : 0x01000000;
    const qreal leading = QFontMetricsF(font).leading();
    qreal height = -leading;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(lineWidth);
        height = std::ceil(height + leading);
        line.setPosition(QPointF(0, height));
        height += line.ascent() + line.descent();
    }
    layout.endLayout();
    return height;
}

} // namespace

qreal TextWithRunsHeight(const QFont& font, QPaintDevice* device, qreal width, int flags, const QString& text,
                         const std::function<std::vector<TextRun>(QStringView)>& runsOf,
                         const QTextCharFormat& runFormat)
{
    QTextLayout layout(QString(), font, device);
    return LayOutRuns(layout, font, Qt::LeftToRight, width, flags, text, runsOf, runFormat);
}

void DrawTextWithRuns(QPainter& painter, const QRectF& r, int flags, const QString& text,
                      const std::function<std::vector<TextRun>(QStringView)>& runsOf,
                      const QTextCharFormat& runFormat)
{
    const Qt::LayoutDirection direction = painter.layoutDirection();
    // Left and right swap for right-to-left text unless they are absolute.
    if (direction == Qt::RightToLeft && !(flags & Qt::AlignAbsolute) && (flags & (Qt::AlignLeft | Qt::AlignRight)))
        flags ^= Qt::AlignLeft | Qt::AlignRight;

    const QFont font = painter.font();
    QTextLayout layout(QString(), font, painter.device());
    const qreal height = LayOutRuns(layout, font, direction, r.width(), flags, text, runsOf, runFormat);
    if (layout.lineCount() == 0)
        return;

    qreal top = 0;
    if (flags & Qt::AlignBottom)
        top = r.height() - height;
    else if (flags & Qt::AlignVCenter)
        top = (r.height() - height) / 2;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        const qreal advance = line.horizontalAdvance();
        qreal left = 0;
        if (flags & Qt::AlignRight)
            left = r.width() - advance;
        else if (flags & Qt::AlignHCenter)
            left = (r.width() - advance) / 2;
        line.draw(&painter, QPointF(r.x() + left, r.y() + top));
    }
}

} // namespace mugrove
