#include "app/model/EmojiRuns.h"

#include "app/model/LogFont.h"

#include <QFont>
#include <QRawFont>

#include <algorithm>
#include <bitset>
#include <memory>
#include <mutex>

namespace mugrove {

namespace {

constexpr char32_t kTextSelector = 0xFE0E;
constexpr char32_t kEmojiSelector = 0xFE0F;
constexpr char32_t kJoiner = 0x200D;
constexpr char32_t kKeycap = 0x20E3;

struct Range {
    char32_t first;
    char32_t last;
};

// The symbols below the pictograph planes that show as pictures without a
// selector: those with the emoji presentation by default, and the
// miscellaneous symbols and dingbats (a heart or a smiling face typed
// into a meme is meant as the picture).
constexpr Range kPictureByDefault[] = {
    {0x231A, 0x231B}, {0x23E9, 0x23EC}, {0x23F0, 0x23F0}, {0x23F3, 0x23F3}, {0x25FD, 0x25FE},
    {0x2600, 0x27BF}, {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50}, {0x2B55, 0x2B55},
};

bool IsPictureByDefault(char32_t c)
{
    if (c >= 0x1F000 && c <= 0x1FFFF)
        return true;
    return std::ranges::any_of(kPictureByDefault, [c](Range r) { return c >= r.first && c <= r.last; });
}

bool IsKeycapBase(char32_t c)
{
    return (c >= U'0' && c <= U'9') || c == U'#' || c == U'*';
}

// Continues a sequence without starting one.
bool IsModifier(char32_t c)
{
    return c == kEmojiSelector || c == kKeycap || (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F);
}

struct CodePoint {
    char32_t value = 0;
    qsizetype size = 0; // UTF-16 units; 0 past the end
};

CodePoint At(QStringView text, qsizetype i)
{
    if (i >= text.size())
        return {};
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return {QChar::surrogateToUcs4(c, text[i + 1]), 2};
    return {c.unicode(), 1};
}

// The code points the face may be asked about: the basic plane, the
// pictograph planes and the tags. Looked up once, as the face's tables are
// not to be read from two threads at once.
class Coverage {
public:
    Coverage()
    {
        const QRawFont face = QRawFont::fromFont(QFont(kColourEmojiFamily));
        if (!face.isValid() || face.familyName().compare(kColourEmojiFamily, Qt::CaseInsensitive) != 0)
            return;
        for (char32_t c = 0; c < 0x10000; ++c)
            if (!QChar::isSurrogate(c) && face.supportsCharacter(c))
                basic_.set(c);
        for (char32_t c = 0; c < kPlanes; ++c)
            pictographs_[c] = face.supportsCharacter(0x1F000 + c);
        for (char32_t c = 0; c < kTags; ++c)
            tags_[c] = face.supportsCharacter(0xE0000 + c);
        any_ = basic_.any() || pictographs_.any();
    }
    bool Any() const { return any_; }
    bool Has(char32_t c) const
    {
        if (c < 0x10000)
            return basic_[c];
        if (c >= 0x1F000 && c < 0x1F000 + kPlanes)
            return pictographs_[c - 0x1F000];
        if (c >= 0xE0000 && c < 0xE0000 + kTags)
            return tags_[c - 0xE0000];
        return false;
    }

private:
    static constexpr char32_t kPlanes = 0x1000;
    static constexpr char32_t kTags = 0x80;
    std::bitset<0x10000> basic_;
    std::bitset<kPlanes> pictographs_;
    std::bitset<kTags> tags_;
    bool any_ = false;
};

const Coverage& InstalledCoverage()
{
    static std::once_flag once;
    static std::unique_ptr<Coverage> coverage;
    std::call_once(once, [] { coverage = std::make_unique<Coverage>(); });
    return *coverage;
}

} // namespace

std::vector<TextRun> EmojiRuns(QStringView text, const EmojiCoverage& has)
{
    std::vector<TextRun> runs;
    qsizetype i = 0;
    while (i < text.size()) {
        const CodePoint c = At(text, i);
        const CodePoint next = At(text, i + c.size);
        const bool keycap = IsKeycapBase(c.value)
            && (next.value == kKeycap
                || (next.value == kEmojiSelector && At(text, i + c.size + next.size).value == kKeycap));
        const bool starts = next.value != kTextSelector && !IsModifier(c.value) && c.value != kJoiner
            && (next.value == kEmojiSelector || keycap || IsPictureByDefault(c.value)) && has(c.value);
        if (!starts) {
            i += c.size;
            continue;
        }
        qsizetype end = i + c.size;
        for (;;) {
            const CodePoint more = At(text, end);
            if (more.size > 0 && IsModifier(more.value)) {
                end += more.size;
                continue;
            }
            const CodePoint joined = At(text, end + more.size);
            if (more.value == kJoiner && joined.value >= 0x80 && joined.value != kJoiner && !IsModifier(joined.value)
                && At(text, end + more.size + joined.size).value != kTextSelector && has(joined.value)) {
                end += more.size + joined.size;
                continue;
            }
            break;
        }
        if (!runs.empty() && runs.back().start + runs.back().length == i)
            runs.back().length = end - runs.back().start;
        else
            runs.push_back({i, end - i});
        i = end;
    }
    return runs;
}

std::vector<TextRun> EmojiRuns(QStringView text)
{
    // Every sequence holds a unit past the Latin and general punctuation
    // blocks (a selector, a keycap mark, a surrogate or the symbol itself):
    // text without one never needs the face looked up.
    if (std::ranges::none_of(text, [](QChar c) { return c.unicode() >= 0x2000; }))
        return {};
    const Coverage& coverage = InstalledCoverage();
    if (!coverage.Any())
        return {};
    return EmojiRuns(text, [&coverage](char32_t c) { return coverage.Has(c); });
}

} // namespace mugrove
