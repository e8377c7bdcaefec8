#include "output/DateTimeText.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cmath>
#include <cstdint>

namespace mugrove {

namespace {

constexpr double kLastDay = 2958465.0;   // 31 December 9999
constexpr double kFirstDay = -657434.0;  // 1 January 100
constexpr std::int64_t kSecondsPerDay = 86400;

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};

// Proleptic Gregorian date of a day number counted from 1 January 1970.
CivilDate CivilFromDays(std::int64_t days)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153; // March is 0
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// 30 December 1899 counted from 1 January 1970.
constexpr std::int64_t kEpochFromUnixDays = -25569;

} // namespace

double ToDateTimeValue(const QDateTime& local)
{
    static const QDate epoch(1899, 12, 30);
    const qint64 days = epoch.daysTo(local.date());
    const double fraction = local.time().msecsSinceStartOfDay() / 1000 / double(kSecondsPerDay);
    return days >= 0 ? days + fraction : days - fraction;
}

QString DateTimeToText(double value)
{
    if (std::isnan(value))
        value = 0.0;
    if (value > kLastDay)
        value = kLastDay;
    if (value < kFirstDay)
        value = kFirstDay;

    // Onto a straight time line first: before the epoch the fraction still
    // runs forward from the start of its day.
    const double wholeDays = std::trunc(value);
    const double line = wholeDays + std::fabs(value - wholeDays);
    const auto seconds = static_cast<std::int64_t>(std::llround(line * kSecondsPerDay));

    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t secondOfDay = seconds % kSecondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDay;
        --days;
    }
    const CivilDate date = CivilFromDays(days + kEpochFromUnixDays);
    const int hour = static_cast<int>(secondOfDay / 3600);
    const int minute = static_cast<int>(secondOfDay / 60 % 60);
    const int second = static_cast<int>(secondOfDay % 60);

    QString text = QStringLiteral("%1年%2月%3日").arg(date.year).arg(date.month).arg(date.day);
    if (second != 0)
        text += QStringLiteral("%1时%2分%3秒").arg(hour).arg(minute).arg(second);
    else if (minute != 0)
        text += QStringLiteral("%1时%2分").arg(hour).arg(minute);
    else if (hour != 0)
        text += QStringLiteral("%1时").arg(hour);
    return text;
}

} // namespace mugrove
