#include "overlay/TextToNumber.h"

#include <charconv>
#include <cmath>
#include <string>

namespace mugrove {

QString FoldFullWidth(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5D)
            c = QChar(char16_t(u - 0xFEE0));
        else if (u == 0xFFE5)
            c = QLatin1Char('$');
        else if (u == 0xFFE3 || u == 0xFF5E)
            c = QLatin1Char('~');
        else if (u == 0x3000)
            c = QLatin1Char(' ');
        else if (u == 0x2605 || u == 0x2606)
            c = QLatin1Char('*');
    }
    return out;
}

namespace {

bool IsSpace(char16_t c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char16_t c)
{
    return c >= '0' && c <= '9';
}

} // namespace

double TextToNumber(const QString& text)
{
    const QString folded = FoldFullWidth(text);
    const qsizetype n = folded.size();
    auto at = [&](qsizetype i) { return i < n ? folded.at(i).unicode() : char16_t(0); };

    qsizetype i = 0;
    while (IsSpace(at(i)))
        ++i;
    std::string number;
    if (at(i) == '-' || at(i) == '+') {
        if (at(i) == '-')
            number += '-';
        ++i;
    }
    bool digits = false;
    for (; IsDigit(at(i)); ++i, digits = true)
        number += char(at(i));
    if (at(i) == '.') {
        number += '.';
        for (++i; IsDigit(at(i)); ++i, digits = true)
            number += char(at(i));
    }
    if (!digits)
        return 0.0;
    // An exponent counts only when digits follow it.
    if (at(i) == 'e' || at(i) == 'E') {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (at(j) == '-' || at(j) == '+')
            exponent += char(at(j++));
        if (IsDigit(at(j))) {
            for (; IsDigit(at(j)); ++j)
                exponent += char(at(j));
            number += exponent;
        }
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Too large is infinite, too small is zero, each with its sign.
        const bool negative = number.front() == '-';
        const auto e = number.find('e');
        const bool tiny = e != std::string::npos && number.find('-', e) != std::string::npos;
        return tiny ? (negative ? -0.0 : 0.0)
                    : (negative ? -HUGE_VAL : HUGE_VAL);
    }
    return value;
}

std::int32_t NumberToInteger(double value)
{
    // 2^63: every double below it in magnitude converts without overflow.
    constexpr double kLimit = 9223372036854775808.0;
    if (!(value > -kLimit && value < kLimit))
        return 0;
    const auto whole = static_cast<std::int64_t>(value);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole)));
}

} // namespace mugrove
