#pragma once

#include <QStringView>

#include <functional>
#include <vector>

namespace mugrove {

// A stretch of a text, in UTF-16 positions.
struct TextRun {
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const TextRun&) const = default;
};

// Whether the colour emoji face has a glyph for a code point.
using EmojiCoverage = std::function<bool(char32_t)>;

// The stretches of `text` to draw from the colour emoji face, merged where
// they touch. A stretch starts at a code point the face has that shows as
// a picture: one of the emoji and pictograph planes, a symbol shown as a
// picture by default, or any code point asking for it with U+FE0F (and a
// keycap base before U+20E3). It goes on over presentation selectors, skin
// tones, tags, the keycap mark and code points joined by U+200D; U+FE0E asks
// for text and ends it.
std::vector<TextRun> EmojiRuns(QStringView text, const EmojiCoverage& has);

// The same with the installed colour emoji face; none when it is missing.
// Safe on any thread.
std::vector<TextRun> EmojiRuns(QStringView text);

} // namespace mugrove
