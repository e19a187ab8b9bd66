#pragma once

#include "model/ProgramClock.h"
#include "storage/ActivityDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

// What the usage chart shows, worked out without a window: the buckets of a period, the largest
// items as series of their own and the rest as "Other", and the export of a period as CSV.

// Hours for "Today" and "Last 24 Hours" (usage periods 0 and 1), the program's days otherwise.
TUsageBucket UsageChartBucketGet(int periodIndex);

struct TUsageChartSeries
{
    std::string Caption; // "Other" for the rest
    int Origin = 0; // 1 application, 2 site, 0 the rest
    std::string Name; // empty for the rest
    std::vector<int64_t> Seconds; // one per bucket
};

struct TUsageChart
{
    TUsageBucket Bucket = TUsageBucket::Day;
    std::vector<std::string> Buckets; // every bucket of the period, oldest first, with or without time
    std::vector<TUsageChartSeries> Series; // the largest first, "Other" last when there is a rest
    int NowIndex = -1; // the bucket that holds `now` (today's bar)
    int64_t MaxBucketSeconds = 0; // the tallest stack
};

// The chart of `rows` (a split of from..to by `bucket`) with the `topCount` largest items as
// their own series; an item that has only negative time (a clock set back) is never among them.
TUsageChart UsageChartBuild(const std::vector<TUsageSplitRow>& rows, TUsageBucket bucket, TDateTime from, TDateTime to,
    TDateTime now, size_t topCount = 5);

// The items of one bucket, the largest first (what a click on a bar lists).
std::vector<TUsageSplitRow> UsageBucketItemsGet(const std::vector<TUsageSplitRow>& rows, const std::string& bucket);

// A bucket as the chart names it: a day as "Mon 07 Dec", "Mon 07" or "07 Dec", an hour as "14:00".
enum class TLabelForm
{
    Full,
    Weekday,
    Month
};
std::string UsageBucketLabel(const std::string& bucket, TLabelForm form = TLabelForm::Full);

// The label under bucket `index` ("Now", "Today", "14:00", "Mon 07", "07 Dec"), empty where
// labels would crowd: every bucket has one when few, else a spread counted back from now.
std::string UsageAxisLabel(const TUsageChart& chart, int index);

// The colour of a series as 0xRRGGBB, and of the daily limit's line.
uint32_t UsageSeriesColor(const TUsageChart& chart, size_t series);
inline constexpr uint32_t kUsageLimitColor = 0xE53935;
// The daily limit as the legend names it.
std::string UsageLimitCaption(int32_t seconds);

// The hover text of a bar: its bucket, the item and its time ("Mon 07 Dec 2026\nFirefox: 1:05").
std::string UsageBarTipText(const TUsageChart& chart, size_t series, size_t bucket);

// Time as hours and minutes, "h:mm", whole hours past 24 ("30:00"), negative with a sign.
std::string UsageDurationText(int64_t seconds);

// The period's rows split by day as CSV (RFC 4180, UTF-8 with a byte-order mark so spreadsheets
// take the encoding, CRLF line ends): a header, then date, caption, name, kind ("App" or "Web")
// and seconds per day and item. Every text is quoted, so no separator a spreadsheet may split on
// cuts one; a text that a spreadsheet would take for a formula (starting with =, +, -, @ or a
// control character) is preceded by an apostrophe.
std::string UsageCsvText(const std::vector<TUsageSplitRow>& dayRows);
