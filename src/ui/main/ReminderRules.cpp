#include "ui/main/ReminderRules.h"

#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <cmath>

int PartOfDayGet(TDateTime timeOfDay)
{
    constexpr int64_t kHour = 3600000;
    const int64_t ms = std::llround(timeOfDay * kSecondsPerDay * 1000.0);
    if (ms >= 4 * kHour && ms < 12 * kHour) {
        return kPartOfDayMorning;
    }
    if (ms >= 12 * kHour && ms < 18 * kHour) {
        return kPartOfDayAfternoon;
    }
    return kPartOfDayEvening;
}

bool ReminderMarked(const std::string& text)
{
    for (const char ch : text) {
        if (static_cast<unsigned char>(ch) > ' ') {
            return true;
        }
    }
    return false;
}

namespace {

// One calendar month after `value`, the day clamped to the length of the target month.
TDateTime MonthAfter(TDateTime value)
{
    const TDateParts parts = DecodeDateTime(value);
    int year = parts.Year;
    int month = parts.Month + 1;
    if (month > 12) {
        month = 1;
        ++year;
    }
    TDateTime date = 0;
    int day = parts.Day;
    while (day > 28 && !TryEncodeDate(year, month, day, date)) {
        --day;
    }
    if (!TryEncodeDate(year, month, day, date)) {
        return value + 30;
    }
    const double timeOfDay = value - std::floor(value);
    return date + timeOfDay;
}

} // namespace

double ReminderChangePeriodDays(int period, TDateTime now)
{
    switch (period) {
    case 1:
        return 1;
    case 2:
        return 7;
    case 3:
        return 14;
    case 4:
        return MonthAfter(now) - now;
    default:
        return 0;
    }
}

bool ReminderChangePromptDue(int period, TDateTime now, TDateTime showed, TDateTime changed)
{
    const double days = ReminderChangePeriodDays(period, now);
    if (days <= 0) {
        return false;
    }
    if (static_cast<double>(RoundHalfEven(now - showed)) < days) {
        return false;
    }
    return now > changed + days;
}

int ReminderUnchangedDays(TDateTime now, TDateTime changed)
{
    return static_cast<int>(RoundHalfEven(now - changed));
}
