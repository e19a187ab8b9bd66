#include "ui/main/MainDisplay.h"

#include "monitor/ZaraveDezeZurirevuzorLogger.h"

#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr double kDaySeconds = 86400.0;
constexpr double kMinutesPerDay = 1440.0;

struct TFormatTexts
{
    const char* Title;
    const char* Link;
};

constexpr TFormatTexts kMainFormats[3] = {
    { "Time on List", "Show Time to Limit" },
    { "Time to Limit", "Show Time Now" },
    { "Time Now", "Show Time on List" },
};

constexpr TFormatTexts kFocusFormats[3] = {
    { "Focus Started", "Show Focus End Time" },
    { "Focus Ends In", "Show Time Now" },
    { "Time Now", "Show Focus Start Time" },
};

int FormatIndex(int format)
{
    return format >= 0 && format < 3 ? format : 0;
}

// A duration in days as "hh:nn"; nothing below zero is shown.
std::string DayFractionText(TDateTime days)
{
    return DurationText(std::max(0.0, days));
}

// The clock's "hh:nn" without seconds rounding up into the next minute.
int MinuteOfDay(TDateTime value)
{
    const double fraction = value - std::floor(value);
    const int64_t ms = static_cast<int64_t>(std::llround(fraction * kDaySeconds * 1000.0)) % 86'400'000;
    return static_cast<int>(ms / 60'000);
}

std::string TwoDigits(int value)
{
    return Format("%02d", value);
}

} // namespace

std::string TimeOfDay12Text(TDateTime value)
{
    const int minute = MinuteOfDay(value);
    const int hour = minute / 60;
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    return TwoDigits(hour12) + TimeSeparator() + TwoDigits(minute % 60) + (hour < 12 ? " AM" : " PM");
}

TTimeLineTexts MainTimeLineGet(int format, int32_t totalSeconds, int32_t timeLimitSeconds, TDateTime now)
{
    format = FormatIndex(format);
    TTimeLineTexts texts;
    texts.Title = std::string(kMainFormats[format].Title) + ":";
    texts.Link = kMainFormats[format].Link;
    // Whole minutes only: 59 seconds on the list still read 00:00.
    const TDateTime onList = static_cast<double>(totalSeconds / 60) / kMinutesPerDay;
    switch (format) {
    case 0:
        texts.Value = DayFractionText(onList);
        break;
    case 1:
        texts.Value = DayFractionText(timeLimitSeconds / kDaySeconds - onList);
        break;
    default:
        texts.Value = TimeOfDay12Text(now);
        break;
    }
    return texts;
}

TTimeLineTexts FocusTimeLineGet(int format, TDateTime focusStart, TDateTime focusDuration, TDateTime now)
{
    format = FormatIndex(format);
    TTimeLineTexts texts;
    texts.Title = std::string(kFocusFormats[format].Title) + ":";
    texts.Link = kFocusFormats[format].Link;
    const TDateTime elapsed = std::trunc((now - focusStart) * kMinutesPerDay) / kMinutesPerDay;
    switch (format) {
    case 0:
        texts.Value = DayFractionText(elapsed);
        break;
    case 1:
        texts.Value = DayFractionText(focusDuration - elapsed);
        break;
    default: {
        const int minute = MinuteOfDay(now);
        texts.Value = TwoDigits(minute / 60) + TimeSeparator() + TwoDigits(minute % 60);
        break;
    }
    }
    return texts;
}

const char* UsagePeriodName(int index)
{
    static const char* const names[kUsagePeriodCount]
        = { "Today", "Last 24 Hours", "Last 7 Days", "Last 14 Days", "Last 30 Days", "Last 3 months" };
    return index >= 0 && index < kUsagePeriodCount ? names[index] : names[0];
}

TDateRange UsagePeriodRange(int index, TDateTime now)
{
    static const int days[kUsagePeriodCount] = { 0, 1, 7, 14, 30, 90 };
    TDateRange range;
    range.To = now;
    range.From = index > 0 && index < kUsagePeriodCount ? now - days[index] : DayStartOf(now);
    return range;
}

void AddResultMerge(
    const TMonitoredList& result, TMonitoredList& stored, TMonitoredList* todayItems, std::string_view ownExePath)
{
    const auto todayIndex
        = [todayItems](const TMonitoredItem& item) { return todayItems ? todayItems->NameIndexGet(item) : -1; };
    for (int i = 0; i < result.Count(); ++i) {
        const TMonitoredItem& entry = *result.Items(i);
        int index = -1;
        const TItemStatus status = stored.ItemStatusGet(&entry, index, ownExePath);
        if (entry.Checked) {
            if (status == isOwnProgram) {
                continue;
            }
            if (status == isNotListed) {
                for (TMonitoredList* list : { &stored, todayItems }) {
                    if (list) {
                        auto copy = std::make_unique<TMonitoredItem>();
                        copy->ItemAssign(entry);
                        list->Add(entry.Caption, std::move(copy));
                    }
                }
                continue;
            }
            if (index >= 0) {
                stored.Items(index)->Active = entry.Active;
                stored.Items(index)->Caption = entry.Caption;
            }
            if (const int today = todayIndex(entry); today >= 0) {
                todayItems->Items(today)->Active = entry.Active;
                todayItems->Items(today)->Caption = entry.Caption;
            }
            continue;
        }
        if (status == isNotListed || status == isOwnProgram || index < 0) {
            continue;
        }
        const int today = todayIndex(entry);
        if (entry.Active) {
            stored.Delete(index);
            if (today >= 0) {
                todayItems->Delete(today);
            }
        } else {
            stored.Items(index)->Active = false;
            stored.Items(index)->Checked = false;
            if (today >= 0) {
                todayItems->Items(today)->Active = false;
                todayItems->Items(today)->Checked = false;
            }
        }
    }
}

TRowDividers RowDividersGet(int nameHeaderWidth, int typeHeaderWidth)
{
    TRowDividers dividers;
    dividers.X1 = nameHeaderWidth - 8;
    dividers.X2 = dividers.X1 + 2 + typeHeaderWidth;
    return dividers;
}
