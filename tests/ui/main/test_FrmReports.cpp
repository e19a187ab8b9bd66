// The usage chart: its buckets, series and export worked out from a split, and its window
// offscreen with a split that the test hands it.
#include "ui/main/FrmReports.h"

#include "QtTestMain.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/ActivityDatabase.h"
#include "storage/SQLiteDatabase.h"
#include "ui/framework/Appearance.h"
#include "ui/framework/FrmWarning.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>

#if TALLYHOUR_QT_CHARTS
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QStackedBarSeries>
#endif
#include "ui/main/UsageBars.h"

#include <fstream>
#include <sstream>
#include <tuple>
#ifndef _WIN32
#include <sys/stat.h>
#endif

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
// breaks, CRLF between records, split on `separator` (a spreadsheet's locale may choose ";").
std::vector<std::vector<std::string>> CsvRead(const std::string& text, char separator = ',')
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
        } else if (c == separator) {
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

// The middle of an item's piece of a bar, as a plot spanning `plot` with `topSeconds` at its top
// edge stacks it.
QPointF PieceMiddle(const TUsageChart& chart, const QRectF& plot, double topSeconds, int bucket, size_t series)
{
    double base = 0;
    for (size_t s = 0; s < series; ++s) {
        base += double(std::max<int64_t>(0, chart.Series[s].Seconds[bucket]));
    }
    const double middle = base + double(chart.Series[series].Seconds[bucket]) / 2;
    return { plot.left() + (bucket + 0.5) * plot.width() / double(chart.Buckets.size()),
        plot.bottom() - middle / topSeconds * plot.height() };
}

// The tooltip a pause of the mouse at `at` shows; empty when the widget declines to show one.
QString TipAt(QWidget* widget, const QPoint& at)
{
    QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &help);
    return help.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
}

void PressAt(QWidget* widget, const QPointF& at)
{
    QMouseEvent press(
        QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

// The hover text of an item's piece of a bar and a click on it, through the view the window
// draws with.
#if TALLYHOUR_QT_CHARTS
QStackedBarSeries* BarsOf(TfrmReports* window)
{
    return qobject_cast<QStackedBarSeries*>(
        window->findChild<QChartView*>(QStringLiteral("chvUsage"))->chart()->series().value(0));
}

QString BarTip(TfrmReports* window, int bucket, int series)
{
    QToolTip::hideText();
    emit BarsOf(window)->hovered(true, bucket, BarsOf(window)->barSets().value(series));
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

void BarClick(TfrmReports* window, int bucket, int series)
{
    emit BarsOf(window)->clicked(bucket, BarsOf(window)->barSets().value(series));
}
#else
QString BarTip(TfrmReports* window, int bucket, int series)
{
    auto* view = window->findChild<TUsageBars*>(QStringLiteral("chvUsage"));
    return TipAt(
        view, PieceMiddle(window->Chart(), view->PlotGet(), view->TopSecondsGet(), bucket, size_t(series)).toPoint());
}

void BarClick(TfrmReports* window, int bucket, int series)
{
    auto* view = window->findChild<TUsageBars*>(QStringLiteral("chvUsage"));
    PressAt(view, PieceMiddle(window->Chart(), view->PlotGet(), view->TopSecondsGet(), bucket, size_t(series)));
}
#endif

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
        { "2026-12-08", 2, "a.example.com", "a;b;=6+6\tc", 60 },
    };
    const std::string text = UsageCsvText(rows);
    ASSERT_EQ(0u, text.rfind("\xEF\xBB\xBF", 0)) << "a byte-order mark tells spreadsheets the encoding";
    const auto records = CsvRead(text.substr(3));
    ASSERT_EQ(5u, records.size());
    EXPECT_EQ((std::vector<std::string> { "date", "caption", "name", "kind", "seconds" }), records[0]);
    EXPECT_EQ((std::vector<std::string> { "2026-12-07", "News, \"daily\"", "example.com", "Web", "3600" }), records[1]);
    EXPECT_EQ(
        (std::vector<std::string> { "2026-12-07", "two\r\nlines ", "/opt/my apps/it's", "App", "59" }), records[2]);
    EXPECT_EQ(
        (std::vector<std::string> { "2026-12-08", "'@sum", "'=HYPERLINK(\"http://x\")", "Web", "-4" }), records[3]);
    EXPECT_EQ((std::vector<std::string> { "2026-12-08", "a;b;=6+6\tc", "a.example.com", "Web", "60" }), records[4]);
    // Split on ";" or a tab as a spreadsheet of another locale may: no cell is a formula.
    for (const char separator : { ';', '\t' }) {
        for (const auto& record : CsvRead(text.substr(3), separator)) {
            for (const auto& cell : record) {
                EXPECT_TRUE(cell.empty() || std::string("=+@").find(cell[0]) == std::string::npos)
                    << "a cell split on '" << separator << "': " << cell;
            }
        }
    }
}

// Drawn the program's own way: each item's piece of a bar lies where a point finds it, in its
// series' colour (now's lighter); its hover text and a click name it; gaps and room above name
// nothing.
TEST(UsageBars, PaintsEachPieceWhereAPointFindsItAndTellsAndClicksIt)
{
    TUsageChart chart;
    chart.Buckets = { "2026-12-05", "2026-12-06", "2026-12-07", "2026-12-08" };
    chart.NowIndex = 3;
    chart.Series = { { "Firefox", 1, "/usr/bin/firefox", { 50, 10, 0, 30 } },
        { "News", 2, "news.example.com", { 20, -15, 0, 40 } }, { "Other", 0, "", { 0, 25, 0, 10 } } };
    chart.MaxBucketSeconds = 80;
    // Four slots of 100 pixels, bars in their middle 80, one pixel a second.
    const QRectF plot(0, 0, 400, 100);
    const auto at = [&](double x, double y) { return UsageBarAt(chart, 100, plot, QPointF(x, y)); };
    EXPECT_EQ((TUsageBarHit { 0, 0 }), at(50, 75));
    EXPECT_EQ((TUsageBarHit { 0, 1 }), at(50, 40));
    EXPECT_EQ(TUsageBarHit {}, at(50, 20)) << "above the bar";
    EXPECT_EQ(TUsageBarHit {}, at(5, 75)) << "the gap before the bar";
    EXPECT_EQ(TUsageBarHit {}, at(195, 95)) << "the gap between two bars";
    EXPECT_EQ((TUsageBarHit { 1, 0 }), at(150, 95));
    EXPECT_EQ((TUsageBarHit { 1, 2 }), at(150, 70)) << "time taken back takes no room";
    EXPECT_EQ(TUsageBarHit {}, at(250, 99)) << "a bucket without time";
    EXPECT_EQ((TUsageBarHit { 3, 2 }), at(350, 25));
    EXPECT_EQ(TUsageBarHit {}, at(450, 99));
    EXPECT_EQ(TUsageBarHit {}, UsageBarAt(TUsageChart {}, 100, plot, QPointF(50, 75)));

    chart.Series[0].Seconds = { 3000, 600, 0, 1800 };
    chart.Series[1].Seconds = { 1200, -900, 0, 2400 };
    chart.Series[2].Seconds = { 0, 1500, 0, 600 };
    chart.MaxBucketSeconds = 4800;
    TUsageBars view;
    view.ChartSet(chart, 7200, QString(), Qt::white);
    view.resize(600, 300);
    view.show();
    QApplication::processEvents();
    const QRectF drawn = view.PlotGet();
    ASSERT_GT(drawn.width(), 200);
    ASSERT_GT(drawn.height(), 150);
    EXPECT_GE(view.TopSecondsGet(), 7200) << "the limit's line is on the plot";
    const QImage image = view.grab().toImage();
    std::vector<int> clicked;
    QObject::connect(&view, &TUsageBars::BucketClicked, [&](int bucket) { clicked.push_back(bucket); });
    for (int b = 0; b < 4; ++b) {
        for (size_t s = 0; s < chart.Series.size(); ++s) {
            if (chart.Series[s].Seconds[b] <= 0) {
                continue;
            }
            const QPointF middle = PieceMiddle(chart, drawn, view.TopSecondsGet(), b, s);
            SCOPED_TRACE(testing::Message() << "bucket " << b << ", series " << s);
            EXPECT_EQ((TUsageBarHit { b, int(s) }), UsageBarAt(chart, view.TopSecondsGet(), drawn, middle));
            const QColor color = QColor::fromRgb(UsageSeriesColor(chart, s));
            EXPECT_EQ((b == chart.NowIndex ? color.lighter(135) : color).rgb(), image.pixel(middle.toPoint()));
            EXPECT_EQ(QString::fromStdString(UsageBarTipText(chart, s, size_t(b))), TipAt(&view, middle.toPoint()));
        }
    }
    EXPECT_EQ(QColor(0x9E, 0x9E, 0x9E), QColor::fromRgb(UsageSeriesColor(chart, 2))) << "the rest in grey";

    const QPointF bar = PieceMiddle(chart, drawn, view.TopSecondsGet(), 1, 0);
    const QPointF gap(drawn.left() + drawn.width() / 4, bar.y());
    const QPointF above(bar.x(), drawn.top() + 2);
    EXPECT_EQ(QString(), TipAt(&view, gap.toPoint()));
    EXPECT_EQ(QString(), TipAt(&view, above.toPoint()));
    PressAt(&view, gap);
    PressAt(&view, above);
    PressAt(&view, bar);
    EXPECT_EQ(std::vector<int> { 1 }, clicked);
}

TEST(FrmReports, ListsTheBucketOfABarsClickAndExportsThePeriod)
{
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
    EXPECT_EQ(QString(), window->ChartTitleGet());
    EXPECT_EQ(QStringLiteral("Tue 01 Dec 2026\nCaption of /usr/bin/firefox: 1:00"), BarTip(window, 0, 0));

    // Today's items are listed at first; a click on another bar lists its own.
    auto* items = window->findChild<QTreeWidget*>(QStringLiteral("lbxBucketItems"));
    ASSERT_EQ(6, items->topLevelItemCount());
    EXPECT_EQ(QStringLiteral("Caption of /usr/bin/firefox"), items->topLevelItem(0)->text(0));
    BarClick(window, 6, 0);
    EXPECT_EQ(7, items->topLevelItemCount());
    EXPECT_EQ(QStringLiteral("-0:05"), items->topLevelItem(6)->text(2));
    window->BucketShow(1);
    EXPECT_EQ(0, items->topLevelItemCount());
    EXPECT_EQ(QStringLiteral("Wed 02 Dec 2026: no time on the list."),
        window->findChild<QLabel*>(QStringLiteral("lblBucket"))->text());

    // The export asks for the same period by day and writes what the chart's rows say, to a file
    // of the user's alone (it holds the history) whatever the umask lets through.
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("usage.csv"));
    asked.clear();
#ifndef _WIN32
    const mode_t umaskBefore = ::umask(0);
#endif
    ASSERT_TRUE(window->ExportTo(file));
    EXPECT_EQ((std::vector<std::pair<int, TUsageBucket>> { { 7 * 24, TUsageBucket::Day } }), asked);
    std::ifstream in(file.toStdString(), std::ios::binary);
    std::stringstream written;
    written << in.rdbuf();
    EXPECT_EQ(UsageCsvText(rows), written.str());
#ifndef _WIN32
    struct stat info = {};
    ASSERT_EQ(0, ::stat(file.toStdString().c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 07777);
    // A file written over does not keep its wider mode.
    ASSERT_EQ(0, ::chmod(file.toStdString().c_str(), 0644));
    ASSERT_TRUE(window->ExportTo(file));
    ASSERT_EQ(0, ::stat(file.toStdString().c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 07777);
    ::umask(umaskBefore);
#endif

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

// Firefox listed as a program, sites that its pages name: 4:00 in xterm, 2:30 of YouTube that the
// scan charged to Firefox (the site is listed as "YouTube.com", which the rule did not take for
// the address), and 0:30 on mail.example.com charged to "example.com", the first of the two sites
// that match it. The day's bar, its "on the list" line and the export each hold the 7:00 charged
// against the limit, every charge once and under the entry it was charged to.
TEST(FrmReports, BrowserListedAsAProgramAndThroughItsSitesIsOnTheListOnceInBarsLineAndExport)
{
    QTemporaryDir folder;
    const std::string database = folder.filePath(QStringLiteral("actmondb.sqlite")).toStdString();
    ActivityDBExecSQL(
        "INSERT INTO applications_list VALUES('/usr/bin/xterm', 'XTerm', 1), ('/usr/bin/firefox', 'Firefox', 1)",
        database);
    ActivityDBExecSQL("INSERT INTO websites_list VALUES('YouTube.com', 'YouTube', 1), ('example.com', 'Example', 1), "
                      "('mail.example.com', 'Mail', 1)",
        database);
    for (const auto& [time, path, address, seconds, origin] :
        std::vector<std::tuple<const char*, const char*, const char*, int, int>> {
            { "2026-12-08 05:00:00", "/usr/bin/xterm", "", 4 * 3600, 1 },
            { "2026-12-08 07:00:00", "/usr/bin/firefox", "https://www.youtube.com/watch?v=1", 9000, 1 },
            { "2026-12-08 09:30:00", "/usr/bin/firefox", "https://mail.example.com/inbox", 1800, 2 } }) {
        ActivityDBExecSQL(ActivityInsertSql(time, path, address, "Mozila FireFox", seconds, origin), database);
    }
    auto* window = new TfrmReports(
        2, 8 * 3600,
        [&](TDateTime from, TDateTime to, TUsageBucket bucket) { return UsageSplitLoad(from, to, bucket, database); },
        [] { return kNow; });
    const TUsageChart& chart = window->Chart();
    ASSERT_EQ(7, chart.NowIndex);
    int64_t bar = 0;
    std::vector<std::string> captions;
    for (const auto& series : chart.Series) {
        bar += series.Seconds[7];
        captions.push_back(series.Caption);
    }
    EXPECT_EQ(7 * 3600, bar);
    EXPECT_EQ((std::vector<std::string> { "XTerm", "Firefox", "Example" }), captions);
    EXPECT_EQ(QStringLiteral("Tue 08 Dec 2026: 7:00 on the list."),
        window->findChild<QLabel*>(QStringLiteral("lblBucket"))->text());

    const QString file = folder.filePath(QStringLiteral("usage.csv"));
    ASSERT_TRUE(window->ExportTo(file));
    std::ifstream in(file.toStdString(), std::ios::binary);
    std::stringstream written;
    written << in.rdbuf();
    const auto records = CsvRead(written.str().substr(3));
    std::vector<std::string> names;
    int64_t exported = 0;
    for (size_t i = 1; i < records.size(); ++i) {
        names.push_back(records[i][2]);
        exported += std::stoll(records[i][4]);
    }
    EXPECT_EQ(7 * 3600, exported);
    EXPECT_EQ((std::vector<std::string> { "/usr/bin/firefox", "/usr/bin/xterm", "example.com" }), names);
    window->close();
    ActivityDatabaseClose();
}

#if TALLYHOUR_QT_CHARTS
TEST(FrmReports, ChartsBarsTakeTheSkinsColoursTheLimitAndTodaysMark)
{
    TestAppearanceReset();
    TestAppearance().TextColor = 0x00FFFF; // yellow, as the file stores it (BGR)
    const auto rows = WeekRows();
    auto* window = new TfrmReports(
        2, 7200, [&](TDateTime, TDateTime, TUsageBucket) { return rows; }, [] { return kNow; });
    QChart* chart = window->findChild<QChartView*>(QStringLiteral("chvUsage"))->chart();
    auto* bars = BarsOf(window);
    ASSERT_NE(nullptr, bars);
    ASSERT_EQ(6, bars->count());
    EXPECT_EQ(8, bars->barSets()[0]->count());
    EXPECT_DOUBLE_EQ(6 * 600 / 3600.0, bars->barSets()[0]->at(0));
    EXPECT_EQ(QColor(0xE6, 0x9F, 0x00), bars->barSets()[0]->color());
    EXPECT_TRUE(bars->barSets()[0]->isBarSelected(7)) << "today's bar is marked";
    auto* limit = qobject_cast<QLineSeries*>(chart->series().value(1));
    ASSERT_NE(nullptr, limit);
    EXPECT_DOUBLE_EQ(2.0, limit->at(0).y());
    EXPECT_EQ(QStringLiteral("Daily limit (2:00)"), limit->name());
    EXPECT_EQ(QColor(Qt::yellow), chart->legend()->labelColor());
    for (QAbstractAxis* axis : chart->axes()) {
        EXPECT_EQ(QColor(Qt::yellow), axis->labelsBrush().color());
    }
    TestAppearanceReset();
    window->close();
}
#endif

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
    EXPECT_TRUE(window->ChartTitleGet().contains(QStringLiteral("database is locked")));
    fail = false;
    window->PeriodSet(1);
    EXPECT_EQ(QString(), window->ChartTitleGet());
    EXPECT_EQ(25u, window->Chart().Buckets.size()) << "the last 24 hours by hour";
    ASSERT_EQ(1u, window->Chart().Series.size());
    window->close();
}
