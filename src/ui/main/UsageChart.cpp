#include "ui/main/UsageChart.h"

#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <tuple>

namespace {

constexpr int kDayStartHour = 4;

// Hour numbers since the epoch of TDateTime, taken a little late so that a moment on the hour
// is not read as the hour before.
int64_t HourNumber(TDateTime value)
{
    return int64_t(std::floor(value * 24 + 1e-6));
}

bool BucketParts(const std::string& bucket, int& year, int& month, int& day, int& hour)
{
    hour = -1;
    const int read = std::sscanf(bucket.c_str(), "%4d-%2d-%2d %2d", &year, &month, &day, &hour);
    return read >= 3;
}

} // namespace

TUsageBucket UsageChartBucketGet(int periodIndex)
{
    return periodIndex <= 1 ? TUsageBucket::Hour : TUsageBucket::Day;
}

TUsageChart UsageChartBuild(const std::vector<TUsageSplitRow>& rows, TUsageBucket bucket, TDateTime from, TDateTime to,
    TDateTime now, size_t topCount)
{
    TUsageChart chart;
    chart.Bucket = bucket;
    const auto key = [bucket](int64_t number) {
        if (bucket == TUsageBucket::Hour) {
            return DateTimeToDbText(double(number) / 24 + kOneSecond / 2).substr(0, 13);
        }
        return DateToDbText(double(number) + 0.5);
    };
    // Days are numbered by their 04:00 start, so a moment belongs to the day its last 04:00 began.
    const auto number = [bucket](TDateTime value) {
        return bucket == TUsageBucket::Hour ? HourNumber(value)
                                            : int64_t(std::floor(value - kDayStartHour / 24.0 + 1e-9));
    };
    if (from <= to) {
        for (int64_t n = number(from); n <= number(to) && chart.Buckets.size() < 24 * 400; ++n) {
            chart.Buckets.push_back(key(n));
        }
    }
    std::map<std::string, size_t> index;
    for (size_t i = 0; i < chart.Buckets.size(); ++i) {
        index[chart.Buckets[i]] = i;
    }
    const auto nowBucket = index.find(key(number(now)));
    chart.NowIndex = nowBucket == index.end() ? -1 : int(nowBucket->second);

    // The items by their time over the period.
    std::map<std::pair<int, std::string>, std::pair<int64_t, std::string>> totals;
    for (const auto& row : rows) {
        auto& total = totals[{ row.Origin, row.Name }];
        total.first += row.Seconds;
        total.second = row.Caption;
    }
    std::vector<std::tuple<int64_t, int, std::string, std::string>> ranked;
    for (const auto& [item, total] : totals) {
        if (total.first > 0) {
            ranked.emplace_back(total.first, item.first, item.second, total.second);
        }
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(b), std::get<1>(a), std::get<2>(a))
            < std::tie(std::get<0>(a), std::get<1>(b), std::get<2>(b));
    });
    // Naming the last item beats an "Other" that holds only it.
    const size_t named = ranked.size() <= topCount + 1 ? ranked.size() : topCount;
    std::map<std::pair<int, std::string>, size_t> seriesOf;
    for (size_t i = 0; i < named; ++i) {
        TUsageChartSeries series;
        series.Origin = std::get<1>(ranked[i]);
        series.Name = std::get<2>(ranked[i]);
        series.Caption = std::get<3>(ranked[i]);
        series.Seconds.assign(chart.Buckets.size(), 0);
        seriesOf[{ series.Origin, series.Name }] = chart.Series.size();
        chart.Series.push_back(std::move(series));
    }
    TUsageChartSeries rest;
    rest.Caption = "Other";
    rest.Seconds.assign(chart.Buckets.size(), 0);
    for (const auto& row : rows) {
        const auto at = index.find(row.Bucket);
        if (at == index.end()) {
            continue;
        }
        const auto series = seriesOf.find({ row.Origin, row.Name });
        if (series != seriesOf.end()) {
            chart.Series[series->second].Seconds[at->second] += row.Seconds;
        } else {
            rest.Seconds[at->second] += row.Seconds;
        }
    }
    // A rest of nothing but time a clock took back would be an empty bar in the legend.
    if (std::any_of(rest.Seconds.begin(), rest.Seconds.end(), [](int64_t seconds) { return seconds > 0; })) {
        chart.Series.push_back(std::move(rest));
    }
    for (size_t b = 0; b < chart.Buckets.size(); ++b) {
        int64_t stack = 0;
        for (const auto& series : chart.Series) {
            stack += std::max<int64_t>(0, series.Seconds[b]);
        }
        chart.MaxBucketSeconds = std::max(chart.MaxBucketSeconds, stack);
    }
    return chart;
}

std::vector<TUsageSplitRow> UsageBucketItemsGet(const std::vector<TUsageSplitRow>& rows, const std::string& bucket)
{
    std::vector<TUsageSplitRow> items;
    for (const auto& row : rows) {
        if (row.Bucket == bucket && row.Seconds != 0) {
            items.push_back(row);
        }
    }
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.Seconds > b.Seconds; });
    return items;
}

std::string UsageBucketLabel(const std::string& bucket, TLabelForm form)
{
    static const char* const days[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
    static const char* const months[]
        = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = -1;
    if (!BucketParts(bucket, year, month, day, hour) || month < 1 || month > 12) {
        return bucket;
    }
    if (hour >= 0) {
        return Format("%02d:00", hour);
    }
    // TDateTime day 0 (1899-12-30) was a Saturday.
    const int64_t number = int64_t(std::floor(EncodeDateTime(year, month, day, 12)));
    const char* weekday = days[((number % 7) + 6) % 7];
    switch (form) {
    case TLabelForm::Weekday:
        return Format("%s %02d", weekday, day);
    case TLabelForm::Month:
        return Format("%02d %s", day, months[month - 1]);
    case TLabelForm::Full:
        break;
    }
    return Format("%s %02d %s", weekday, day, months[month - 1]);
}

std::string UsageAxisLabel(const TUsageChart& chart, int index)
{
    const int count = int(chart.Buckets.size());
    if (index < 0 || index >= count) {
        return {};
    }
    const bool byHour = chart.Bucket == TUsageBucket::Hour;
    if (index == chart.NowIndex) {
        return byHour ? "Now" : "Today";
    }
    const int step = byHour ? 3 : count <= 8 ? 1 : count <= 16 ? 2 : count <= 31 ? 5 : 14;
    // The labels count back from now, so now's label never crowds its neighbour.
    const int anchor = chart.NowIndex >= 0 ? chart.NowIndex : count - 1;
    if ((anchor - index) % step != 0 || std::abs(anchor - index) < step) {
        return {};
    }
    return UsageBucketLabel(chart.Buckets[index], count <= 8 ? TLabelForm::Weekday : TLabelForm::Month);
}

uint32_t UsageSeriesColor(const TUsageChart& chart, size_t series)
{
    // Colours that stay apart from each other for colour-blind eyes (Okabe and Ito) and show on
    // dark and light skins alike; the rest in grey.
    static const uint32_t colors[] = { 0xE69F00, 0x56B4E9, 0x009E73, 0xF0E442, 0xCC79A7, 0xD55E00 };
    if (series < chart.Series.size() && chart.Series[series].Name.empty()) {
        return 0x9E9E9E;
    }
    return colors[series % std::size(colors)];
}

std::string UsageLimitCaption(int32_t seconds)
{
    return "Daily limit (" + UsageDurationText(seconds) + ")";
}

std::string UsageDurationText(int64_t seconds)
{
    const int64_t magnitude = seconds < 0 ? -seconds : seconds;
    return Format("%s%lld:%02lld", seconds < 0 ? "-" : "", static_cast<long long>(magnitude / 3600),
        static_cast<long long>(magnitude / 60 % 60));
}

std::string UsageBarTipText(const TUsageChart& chart, size_t series, size_t bucket)
{
    if (series >= chart.Series.size() || bucket >= chart.Buckets.size()) {
        return {};
    }
    const std::string& key = chart.Buckets[bucket];
    std::string when = UsageBucketLabel(key);
    if (chart.Bucket == TUsageBucket::Hour) {
        when = UsageBucketLabel(key.substr(0, 10)) + " " + when;
    } else {
        when += " " + key.substr(0, 4);
    }
    return when + "\n" + chart.Series[series].Caption + ": " + UsageDurationText(chart.Series[series].Seconds[bucket]);
}

std::string UsageCsvText(const std::vector<TUsageSplitRow>& dayRows)
{
    // Every text is quoted, not only one with a comma: a spreadsheet set to split on ";" or a tab
    // would otherwise cut a caption there and take what follows for a cell of its own, which may
    // begin with "=".
    const auto field = [](const std::string& text) {
        std::string quoted = "\"";
        if (!text.empty()
            && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@'
                || static_cast<unsigned char>(text[0]) < 32)) {
            quoted += '\'';
        }
        for (const char c : text) {
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        return quoted + "\"";
    };
    std::string text = "\xEF\xBB\xBF"
                       "date,caption,name,kind,seconds\r\n";
    for (const auto& row : dayRows) {
        text += field(row.Bucket) + "," + field(row.Caption) + "," + field(row.Name) + ","
            + field(row.Origin == 1 ? "App" : "Web") + "," + std::to_string(row.Seconds) + "\r\n";
    }
    return text;
}
