#pragma once

#include "app/model/EmojiRuns.h"

#include <QString>
#include <QTextCharFormat>

#include <functional>

class QFont;
class QPaintDevice;
class QPainter;
class QRectF;

namespace mugrove {

// Draws `text` as QPainter::drawText(rect, flags, text) does with the
// painter's font, for the flags a caption uses (alignment, word wrap or a
// single line, the ampersand rule, no clipping), and gives the stretches
// `runsOf` finds in the text as shown (after the ampersand rule) the
// `runFormat`.
void DrawTextWithRuns(QPainter& painter, const QRectF& rect, int flags, const QString& text,
                      const std::function<std::vector<TextRun>(QStringView)>& runsOf,
                      const QTextCharFormat& runFormat);

// The height the lines of such a text take in DrawTextWithRuns, wrapped
// within `width` when the flags ask for it; 0 for no text.
qreal TextWithRunsHeight(const QFont& font, QPaintDevice* device, qreal width, int flags, const QString& text,
                         const std::function<std::vector<TextRun>(QStringView)>& runsOf,
                         const QTextCharFormat& runFormat);

} // namespace mugrove
