#pragma once

#include <QString>

#include <cstdint>

namespace mugrove {

// Reads the number at the start of a text, after folding full-width forms to
// ASCII: white space, an optional sign, digits with an optional decimal point
// and an optional exponent. No number gives 0.
double TextToNumber(const QString& text);

// Truncates toward zero to a 64-bit integer and keeps its low 32 bits.
// Values no 64-bit integer holds (and NaN) give 0.
std::int32_t NumberToInteger(double value);

// The full-width forms and symbols that stand for ASCII characters, folded.
QString FoldFullWidth(const QString& text);

} // namespace mugrove
