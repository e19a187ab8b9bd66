// The usage chart: its buckets, series and export worked out from a split, and its window
// offscreen with a split that the test hands it.
#include "ui/main/FrmReports.h"

#include "QtTestMain.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/SQLiteDatabase.h"
#include "ui/framework/Appearance.h"
#include "ui/framework/FrmWarning.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBarSet>
#include <QChart>
#include <QLabel>
#include <QLineSeries>
#include <QStackedBarSeries>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <fstream>
#include <sstream>

namespace {

const TDateTime kNow = EncodeDateTime(2026, 12, 8, 10, 30, 0);

TUsageSplitRow Row(const std::string& bucket, int origin, const std::string& name, int64_t seconds)
{
    return { bucket, origin, name, "Caption of " + name, seconds };
}

// A week of seven items, one of them only with time taken back by a clock set back.
std::vector<TUsageSplitRow> WeekRows()
{
    std::vector<TUsageSplitRow> rows;
    const char* days[] = { "2026-12-01", "2026-12-03", "2026-12-06", "2026-12-07", "2026-12-08" };
    int64_t seconds = 600;
    for (const char* day : days) {
        rows.push_back(Row(day, 1, "/usr/bin/firefox", seconds * 6));
        rows.push_back(Row(day, 2, "news.example.com", seconds * 5));
        rows.push_back(Row(day, 1, "/usr/bin/xterm", seconds * 4));
        rows.push_back(Row(day, 2, "mail.example.com", seconds * 3));
        rows.push_back(Row(day, 1, "/usr/games/tetris", seconds * 2));
        rows.push_back(Row(day, 2, "video.example.com", seconds));
        seconds += 60;
    }
    rows.push_back(Row("2026-12-07", 1, "/usr/bin/clock-set-back", -300));
    // Outside the period's buckets: never drawn.
    rows.push_back(Row("2026-11-20", 1, "/usr/bin/firefox", 99999));
    return rows;
}

// Reads RFC 4180 text back as a spreadsheet would: quoted fields with doubled quotes and line
// breaks, CRLF between records.
std::vector<std::vector<std::string>> CsvRead(const std::string& text)
{
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                records.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                records.back().back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            records.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            records.emplace_back(1);
            ++i;
        } else {
            records.back().back() += c;
        }
    }
    if (records.back().size() == 1 && records.back()[0].empty()) {
        records.pop_back();
    }
    return records;
}

} // namespace

TEST(UsageChart, WeekOfDaysKeepsTheLargestItemsAndGathersTheRestInOther)
{
    const auto rows = WeekRows();
    const TUsageChart chart = UsageChartBuild(rows, TUsageBucket::Day, kNow - 7, kNow, kNow, 3);
    // 04:00 days from 2026-12-01 10:30 (day of 12-01) to today's: eight bars, empty days included.
    ASSERT_EQ(8u, chart.Buckets.size());
    EXPECT_EQ("2026-12-01", chart.Buckets.front());
    EXPECT_EQ("2026-12-08", chart.Buckets.back());
    EXPECT_EQ(7, chart.NowIndex);
    ASSERT_EQ(4u, chart.Series.size());
    EXPECT_EQ("Caption of /usr/bin/firefox", chart.Series[0].Caption);
    EXPECT_EQ("Caption of news.example.com", chart.Series[1].Caption);
    EXPECT_EQ("Caption of /usr/bin/xterm", chart.Series[2].Caption);
    EXPECT_EQ("Other", chart.Series[3].Caption);
    EXPECT_EQ(6 * 600, chart.Series[0].Seconds[0]);
    EXPECT_EQ(0, chart.Series[0].Seconds[1]); // a day without time keeps its place
    // The rest: mail, tetris, video and the clock set back, per day.
    EXPECT_EQ((3 + 2 + 1) * 600, chart.Series[3].Seconds[0]);
    EXPECT_EQ((3 + 2 + 1) * 780 - 300, chart.Series[3].Seconds[6]);
    EXPECT_EQ((6 + 5 + 4 + 3 + 2 + 1) * 840, chart.MaxBucketSeconds);

    // Five items and a rest of one: the one is named rather than hidden in "Other".
    const TUsageChart six = UsageChartBuild(rows, TUsageBucket::Day, kNow - 7, kNow, kNow, 5);
    ASSERT_EQ(6u, six.Series.size());
    EXPECT_EQ("Caption of video.example.com", six.Series[5].Caption);

    EXPECT_EQ("Tue 08 Dec 2026\nCaption of /usr/bin/firefox: 1:24", UsageBarTipText(chart, 0, 7));
    EXPECT_EQ("Sun 06 Dec", UsageBucketLabel("2026-12-06"));
    EXPECT_EQ("30:00", UsageDurationText(30 * 3600));
    EXPECT_EQ("-0:05", UsageDurationText(-300));
    const auto items = UsageBucketItemsGet(rows, "2026-12-07");
    ASSERT_EQ(7u, items.size());
    EXPECT_EQ("/usr/bin/firefox", items.front().Name);
    EXPECT_EQ("/usr/bin/clock-set-back", items.back().Name);
}

TEST(UsageChart, HoursOfTodayRunFromTheDayStartToNow)
{
    const std::vector<TUsageSplitRow> rows
        = { Row("2026-12-08 04", 1, "/usr/bin/xterm", 120), Row("2026-12-08 10", 1, "/usr/bin/xterm", 60) };
    const TUsageChart chart = UsageChartBuild(rows, TUsageBucket::Hour, EncodeDateTime(2026, 12, 8, 4), kNow, kNow);
    ASSERT_EQ(7u, chart.Buckets.size());
    EXPECT_EQ("2026-12-08 04", chart.Buckets.front());
    EXPECT_EQ("2026-12-08 10", chart.Buckets.back());
    EXPECT_EQ(6, chart.NowIndex);
    ASSERT_EQ(1u, chart.Series.size());
    EXPECT_EQ(120, chart.Series[0].Seconds[0]);
    EXPECT_EQ("Tue 08 Dec 10:00\nCaption of /usr/bin/xterm: 0:01", UsageBarTipText(chart, 0, 6));
    EXPECT_EQ(TUsageBucket::Hour, UsageChartBucketGet(1));
    EXPECT_EQ(TUsageBucket::Day, UsageChartBucketGet(2));
}

TEST(UsageChart, ExportReadsBackAsTheSameFieldsWithFormulasDisarmed)
{
    std::vector<TUsageSplitRow> rows = {
        { "2026-12-07", 2, "example.com", "News, \"daily\"", 3600 },
        { "2026-12-07", 1, "/opt/my apps/it's", "two\r\nlines ", 59 },
        { "2026-12-08", 2, "=HYPERLINK(\"http://x\")", "@sum", -4 },
    };
    const std::string text = UsageCsvText(rows);
    ASSERT_EQ(0u, text.rfind("\xEF\xBB\xBF", 0)) << "a byte-order mark tells spreadsheets the encoding";
    const auto records = CsvRead(text.substr(3));
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ((std::vector<std::string> { "date", "caption", "name", "kind", "seconds" }), records[0]);
    EXPECT_EQ((std::vector<std::string> { "2026-12-07", "News, \"daily\"", "example.com", "Web", "3600" }), records[1]);
    EXPECT_EQ(
        (std::vector<std::string> { "2026-12-07", "two\r\nlines ", "/opt/my apps/it's", "App", "59" }), records[2]);
    EXPECT_EQ(
        (std::vector<std::string> { "2026-12-08", "'@sum", "'=HYPERLINK(\"http://x\")", "Web", "-4" }), records[3]);
}

TEST(FrmReports, DrawsTheBarsInTheSkinsColoursListsABucketAndExportsThePeriod)
{
    TestAppearanceReset();
    TestAppearance().TextColor = 0x00FFFF; // yellow, as the file stores it (BGR)
    std::vector<std::pair<int, TUsageBucket>> asked;
    const auto rows = WeekRows();
    auto* window = new TfrmReports(
        2, 7200,
        [&](TDateTime from, TDateTime to, TUsageBucket bucket) {
            asked.emplace_back(int(std::lround((to - from) * 24)), bucket);
            return rows;
        },
        [] { return kNow; });
    window->resize(760, 560);
    window->show();
    QApplication::processEvents();
    ASSERT_EQ((std::vector<std::pair<int, TUsageBucket>> { { 7 * 24, TUsageBucket::Day } }), asked);

    QChart* chart = window->ChartGet();
    auto* bars = qobject_cast<QStackedBarSeries*>(chart->series().value(0));
    ASSERT_NE(nullptr, bars);
    ASSERT_EQ(6, bars->count());
    EXPECT_EQ(8, bars->barSets()[0]->count());
    EXPECT_DOUBLE_EQ(6 * 600 / 3600.0, bars->barSets()[0]->at(0));
    EXPECT_TRUE(bars->barSets()[0]->isBarSelected(7)) << "today's bar is marked";
    auto* limit = qobject_cast<QLineSeries*>(chart->series().value(1));
    ASSERT_NE(nullptr, limit);
    EXPECT_DOUBLE_EQ(2.0, limit->at(0).y());
    EXPECT_EQ(QColor(Qt::yellow), chart->legend()->labelColor());
    for (QAbstractAxis* axis : chart->axes()) {
        EXPECT_EQ(QColor(Qt::yellow), axis->labelsBrush().color());
    }
    EXPECT_EQ(QStringLiteral("Tue 01 Dec 2026\nCaption of /usr/bin/firefox: 1:00"),
        window->BarTipText(bars->barSets()[0], 0));

    // Today's items are listed at first; a click on another bar lists its own.
    auto* items = window->findChild<QTreeWidget*>(QStringLiteral("lbxBucketItems"));
    ASSERT_EQ(6, items->topLevelItemCount());
    EXPECT_EQ(QStringLiteral("Caption of /usr/bin/firefox"), items->topLevelItem(0)->text(0));
    emit bars->clicked(6, bars->barSets()[0]);
    EXPECT_EQ(7, items->topLevelItemCount());
    EXPECT_EQ(QStringLiteral("-0:05"), items->topLevelItem(6)->text(2));
    window->BucketShow(1);
    EXPECT_EQ(0, items->topLevelItemCount());
    EXPECT_EQ(QStringLiteral("Wed 02 Dec 2026: no time on the list."),
        window->findChild<QLabel*>(QStringLiteral("lblBucket"))->text());

    // The export asks for the same period by day and writes what the chart's rows say.
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("usage.csv"));
    asked.clear();
    ASSERT_TRUE(window->ExportTo(file));
    EXPECT_EQ((std::vector<std::pair<int, TUsageBucket>> { { 7 * 24, TUsageBucket::Day } }), asked);
    std::ifstream in(file.toStdString(), std::ios::binary);
    std::stringstream written;
    written << in.rdbuf();
    EXPECT_EQ(UsageCsvText(rows), written.str());

    // A folder that is not there: the user is told, and the window stays.
    QString told;
    QTimer::singleShot(0, [&] {
        if (auto* warning = qobject_cast<TfrmWarning*>(QApplication::activeModalWidget())) {
            told = warning->lblWarning->text();
            warning->miOk->trigger();
        }
    });
    EXPECT_FALSE(window->ExportTo(folder.filePath(QStringLiteral("missing/usage.csv"))));
    EXPECT_TRUE(told.contains(QStringLiteral("could not be exported"))) << told.toStdString();
    window->close();
}

TEST(FrmReports, UnreadableDatabaseIsSaidInTheChartAndAnotherPeriodStillLoads)
{
    bool fail = true;
    auto* window = new TfrmReports(
        0, 3600,
        [&](TDateTime, TDateTime, TUsageBucket) -> std::vector<TUsageSplitRow> {
            if (fail) {
                throw ESQLiteException("database is locked", 5);
            }
            return { Row("2026-12-08 09", 1, "/usr/bin/xterm", 60) };
        },
        [] { return kNow; });
    EXPECT_TRUE(window->ChartGet()->title().contains(QStringLiteral("database is locked")));
    fail = false;
    window->PeriodSet(1);
    EXPECT_EQ(QString(), window->ChartGet()->title());
    EXPECT_EQ(25u, window->Chart().Buckets.size()) << "the last 24 hours by hour";
    ASSERT_EQ(1u, window->Chart().Series.size());
    window->close();
}
