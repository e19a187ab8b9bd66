#pragma once

#include "model/MonitoredObjects.h"
#include "model/ProgramClock.h"

#include <cstdint>
#include <string>
#include <string_view>

// What the main window shows, worked out without a window so the rules can be checked alone.

// One time line: its title (already followed by ":"), the link that switches to the next
// format, and the value.
struct TTimeLineTexts
{
    std::string Title;
    std::string Link;
    std::string Value;
};

// The main time line. Format 0 the day's time on the list in whole minutes, 1 the time left to
// the limit (never below 00:00), 2 the clock in 12-hour form.
TTimeLineTexts MainTimeLineGet(int format, int32_t totalSeconds, int32_t timeLimitSeconds, TDateTime now);
// The focus time line. Format 0 the time since the focus period began, 1 the time left of it,
// 2 the clock.
TTimeLineTexts FocusTimeLineGet(int format, TDateTime focusStart, TDateTime focusDuration, TDateTime now);

// "hh:nn AM" / "hh:nn PM": 12-hour clock, midnight and noon as 12.
std::string TimeOfDay12Text(TDateTime value);

// The periods of the usage view, in the order of its combo.
inline constexpr int kUsagePeriodCount = 6;
const char* UsagePeriodName(int index); // "Today" .. "Last 3 months"
struct TDateRange
{
    TDateTime From = 0;
    TDateTime To = 0;
};
// From the day start (index 0) or now minus 1, 7, 14, 30 or 90 days, up to now. Any other
// index counts as "Today".
TDateRange UsagePeriodRange(int index, TDateTime now);

// The add wizard's result merged into the stored time-limit list and the day's list, in the
// result's order:
// - a checked entry that is the program itself is skipped; one the stored list already holds
//   (the same entry or the same Name, case ignored) gives it, and the day's copy, the wizard's
//   Active and Caption; a new one is copied into both lists under its Caption;
// - an unchecked entry the stored list does not hold is skipped; an active one leaves both
//   lists; an inactive one makes the stored entry (and the day's copy) inactive and unchecked.
// `todayItems` may be null (no day's list yet).
void AddResultMerge(
    const TMonitoredList& result, TMonitoredList& stored, TMonitoredList* todayItems, std::string_view ownExePath);

// Row colours of both list boxes, 0x00RRGGBB.
inline constexpr uint32_t kRowOddColor = 0xF1F1F1;
inline constexpr uint32_t kRowEvenColor = 0xFFFFFF;
inline constexpr uint32_t kRowDividerColor = 0xD4D4D4;
inline constexpr uint32_t kRowTextColor = 0x363636;
inline constexpr uint32_t kRowInactiveTextColor = 0x808080;
inline constexpr int kMainRowHeight = 16;
inline constexpr int kUsageRowHeight = 13;

// Where the two dividers of a row stand, measured from the row's left edge: after the name
// column (the name header's width less 8) and after the type column (2 more, plus its width).
struct TRowDividers
{
    int X1 = 0;
    int X2 = 0;
};
TRowDividers RowDividersGet(int nameHeaderWidth, int typeHeaderWidth);
