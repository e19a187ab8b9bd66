#include "ui/main/MainDisplay.h"

#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const TDateTime kMorning = EncodeDateTime(2024, 3, 5, 10, 0, 0);
constexpr const char* kOwnProgram = "/opt/tallyhour/tallyhour";

std::string Sep(const std::string& text)
{
    std::string result = text;
    for (char& ch : result) {
        if (ch == ':') {
            ch = TimeSeparator();
        }
    }
    return result;
}

TMonitoredItem* EntryAdd(TMonitoredList& list, const std::string& name, const std::string& caption, bool active = true,
    bool checked = false, TMonitoredItemType type = mitApp)
{
    auto item = std::make_unique<TMonitoredItem>();
    item->Name = name;
    item->Caption = caption;
    item->Active = active;
    item->Checked = checked;
    item->ItemType = type;
    TMonitoredItem* raw = item.get();
    list.Add(caption, std::move(item));
    return raw;
}

const TMonitoredItem* Find(const TMonitoredList& list, const std::string& name)
{
    const int index = list.NameIndexGet(name);
    return index >= 0 ? list.Items(index) : nullptr;
}

} // namespace

TEST(MainTimeLine, TimeOnListCountsWholeMinutesOnly)
{
    const TTimeLineTexts at59 = MainTimeLineGet(0, 59, 3600, kMorning);
    EXPECT_EQ(at59.Title, "Time on List:");
    EXPECT_EQ(at59.Link, "Show Time to Limit");
    EXPECT_EQ(at59.Value, Sep("00:00"));
    EXPECT_EQ(MainTimeLineGet(0, 60, 3600, kMorning).Value, Sep("00:01"));
    EXPECT_EQ(MainTimeLineGet(0, 2 * 3600 + 5 * 60 + 59, 3600, kMorning).Value, Sep("02:05"));
}

TEST(MainTimeLine, TimeToLimitNeverGoesBelowZero)
{
    const TTimeLineTexts left = MainTimeLineGet(1, 119, 3600, kMorning);
    EXPECT_EQ(left.Title, "Time to Limit:");
    EXPECT_EQ(left.Link, "Show Time Now");
    EXPECT_EQ(left.Value, Sep("00:59")); // one whole minute used
    EXPECT_EQ(MainTimeLineGet(1, 3600, 3600, kMorning).Value, Sep("00:00"));
    EXPECT_EQ(MainTimeLineGet(1, 5000, 3600, kMorning).Value, Sep("00:00"));
}

TEST(MainTimeLine, TimeNowIsATwelveHourClock)
{
    const TTimeLineTexts now = MainTimeLineGet(2, 0, 3600, EncodeDateTime(2024, 3, 5, 15, 7, 59));
    EXPECT_EQ(now.Title, "Time Now:");
    EXPECT_EQ(now.Link, "Show Time on List");
    EXPECT_EQ(now.Value, Sep("03:07 PM"));
    EXPECT_EQ(TimeOfDay12Text(EncodeDateTime(2024, 3, 5, 0, 5, 0)), Sep("12:05 AM"));
    EXPECT_EQ(TimeOfDay12Text(EncodeDateTime(2024, 3, 5, 12, 0, 0)), Sep("12:00 PM"));
    EXPECT_EQ(TimeOfDay12Text(EncodeDateTime(2024, 3, 5, 23, 59, 59)), Sep("11:59 PM"));
}

TEST(FocusTimeLine, ElapsedLeftAndClock)
{
    const TDateTime start = EncodeDateTime(2024, 3, 5, 9, 0, 0);
    const TDateTime duration = 1.0 / 24.0; // one hour
    const TDateTime now = EncodeDateTime(2024, 3, 5, 9, 20, 59);
    const TTimeLineTexts elapsed = FocusTimeLineGet(0, start, duration, now);
    EXPECT_EQ(elapsed.Title, "Focus Started:");
    EXPECT_EQ(elapsed.Link, "Show Focus End Time");
    EXPECT_EQ(elapsed.Value, Sep("00:20"));
    const TTimeLineTexts left = FocusTimeLineGet(1, start, duration, now);
    EXPECT_EQ(left.Title, "Focus Ends In:");
    EXPECT_EQ(left.Link, "Show Time Now");
    EXPECT_EQ(left.Value, Sep("00:40"));
    const TTimeLineTexts clock = FocusTimeLineGet(2, start, duration, EncodeDateTime(2024, 3, 5, 21, 20, 0));
    EXPECT_EQ(clock.Title, "Time Now:");
    EXPECT_EQ(clock.Link, "Show Focus Start Time");
    EXPECT_EQ(clock.Value, Sep("21:20"));
    // Past the end, and a clock moved back before the start: never negative.
    EXPECT_EQ(FocusTimeLineGet(1, start, duration, start + 2 * duration).Value, Sep("00:00"));
    EXPECT_EQ(FocusTimeLineGet(0, start, duration, start - 0.01).Value, Sep("00:00"));
}

TEST(UsagePeriods, RangesEndNowAndTodayStartsAtFour)
{
    EXPECT_STREQ(UsagePeriodName(0), "Today");
    EXPECT_STREQ(UsagePeriodName(5), "Last 3 months");
    const TDateRange today = UsagePeriodRange(0, kMorning);
    EXPECT_DOUBLE_EQ(today.From, EncodeDateTime(2024, 3, 5, 4, 0, 0));
    EXPECT_DOUBLE_EQ(today.To, kMorning);
    const TDateTime small = EncodeDateTime(2024, 3, 5, 3, 0, 0);
    EXPECT_DOUBLE_EQ(UsagePeriodRange(0, small).From, EncodeDateTime(2024, 3, 4, 4, 0, 0));
    const int days[] = { 1, 7, 14, 30, 90 };
    for (int i = 1; i <= 5; ++i) {
        EXPECT_DOUBLE_EQ(UsagePeriodRange(i, kMorning).From, kMorning - days[i - 1]) << UsagePeriodName(i);
    }
}

TEST(RowLayout, DividersFollowTheHeaderPanels)
{
    const TRowDividers dividers = RowDividersGet(190, 50);
    EXPECT_EQ(dividers.X1, 182);
    EXPECT_EQ(dividers.X2, 234);
}

TEST(AddMerge, CheckedEntriesAreAddedOrUpdatedAndTheProgramItselfIsSkipped)
{
    TMonitoredList stored;
    TMonitoredList today;
    EntryAdd(stored, "/usr/bin/xterm", "XTerm", true, true);
    EntryAdd(today, "/usr/bin/xterm", "XTerm", true, true)->Duration = 120;

    TMonitoredList result;
    EntryAdd(result, "/USR/BIN/XTERM", "Terminal", false, true); // same Name, case ignored
    EntryAdd(result, "/usr/bin/gimp", "GIMP", true, true);
    EntryAdd(result, "/OPT/tallyhour/TALLYHOUR", "Me", true, true);
    AddResultMerge(result, stored, &today, kOwnProgram);

    ASSERT_EQ(stored.Count(), 2);
    ASSERT_EQ(today.Count(), 2);
    const TMonitoredItem* xterm = Find(stored, "/usr/bin/xterm");
    ASSERT_NE(xterm, nullptr);
    EXPECT_EQ(xterm->Caption, "Terminal");
    EXPECT_FALSE(xterm->Active);
    const TMonitoredItem* todayXterm = Find(today, "/usr/bin/xterm");
    EXPECT_EQ(todayXterm->Caption, "Terminal");
    EXPECT_FALSE(todayXterm->Active);
    EXPECT_EQ(todayXterm->Duration, 120) << "the day's seconds stay";
    // New entries are copies: the result list may be freed.
    const TMonitoredItem* gimp = Find(stored, "/usr/bin/gimp");
    ASSERT_NE(gimp, nullptr);
    EXPECT_NE(gimp, Find(today, "/usr/bin/gimp"));
    EXPECT_NE(gimp, result.Items(result.NameIndexGet("/usr/bin/gimp")));
    EXPECT_EQ(stored.Keys(stored.NameIndexGet("/usr/bin/gimp")), "GIMP");
    EXPECT_EQ(Find(stored, kOwnProgram), nullptr);
}

TEST(AddMerge, UncheckedEntriesLeaveOrBecomeInactive)
{
    TMonitoredList stored;
    TMonitoredList today;
    EntryAdd(stored, "/usr/bin/a", "A", true, true);
    EntryAdd(stored, "/usr/bin/b", "B", true, true);
    EntryAdd(today, "/usr/bin/a", "A", true, true);
    EntryAdd(today, "/usr/bin/b", "B", true, true);

    TMonitoredList result;
    EntryAdd(result, "/usr/bin/a", "A", true, false); // unchecked and active: removed at once
    EntryAdd(result, "/usr/bin/b", "B", false, false); // unchecked and inactive: kept, switched off
    EntryAdd(result, "/usr/bin/c", "C", true, false); // not listed: nothing
    AddResultMerge(result, stored, &today, kOwnProgram);

    EXPECT_EQ(Find(stored, "/usr/bin/a"), nullptr);
    EXPECT_EQ(Find(today, "/usr/bin/a"), nullptr);
    EXPECT_EQ(Find(stored, "/usr/bin/c"), nullptr);
    for (const TMonitoredList* list : { &stored, &today }) {
        const TMonitoredItem* b = Find(*list, "/usr/bin/b");
        ASSERT_NE(b, nullptr);
        EXPECT_FALSE(b->Active);
        EXPECT_FALSE(b->Checked);
    }
}

TEST(AddMerge, WithoutADayListOnlyTheStoredListChanges)
{
    TMonitoredList stored;
    TMonitoredList result;
    EntryAdd(result, "example.com", "Example", true, true, mitWeb);
    AddResultMerge(result, stored, nullptr, kOwnProgram);
    ASSERT_EQ(stored.Count(), 1);
    EXPECT_EQ(stored.Items(0)->ItemType, mitWeb);
}
