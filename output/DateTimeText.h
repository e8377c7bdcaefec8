#pragma once

#include <QString>

class QDateTime;

namespace mugrove {

// Date-times are days since 30 December 1899, 00:00, with the time of day as
// the fraction; before that day the whole days count back while the fraction
// still counts forward into the day (-1.25 is 29 December 1899, 06:00).
double ToDateTimeValue(const QDateTime& local);

// "2026年12月8日5时39分33秒": the date, then the time to its last non-zero
// field (5时39分, 5时, or nothing at midnight). Values outside years 100 to
// 9999 are clamped, and the time is rounded to the nearest second.
QString DateTimeToText(double value);

} // namespace mugrove
