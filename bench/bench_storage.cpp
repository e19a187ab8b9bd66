// The activity database at its full size (BenchActivityDatabase.h): the period queries, the
// charges, the start's checks and purges.
#include "BenchActivityDatabase.h"
#include "BenchFilter.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/ActivityDatabase.h"
#include "storage/DatabaseSchema.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace {

using namespace bench_activity;

void QueryRun(benchmark::State& state, const std::string& sql)
{
    int64_t rows = 0;
    for (auto _ : state) {
        auto table = ActivityDBGetTable(sql, DatabaseFile());
        rows = table->RowCount();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = double(rows);
}

// One charge as the program writes it: the row and its totals, through the connection that
// stays open. Dated after "now" so the period figures do not drift; removed again at the end.
// "slowest" is the longest single charge: now and then a commit copies the log back into the
// file and waits for the disk.
void BM_InsertOneCharge(benchmark::State& state)
{
    const std::string date = DateTimeToDbText(kNow + 1);
    double slowest = 0;
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        ActivityDBExecSQL(ActivityInsertSql(date, AppName(3), "", "Desktop Application", 3, 1), DatabaseFile());
        slowest = std::max(
            slowest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
    }
    state.counters["slowest_ms"] = slowest;
    ActivityDBExecSQL(
        "DELETE FROM applications WHERE date_created > " + QuotedStr(DateTimeToDbText(kNow)), DatabaseFile());
}

// The same charge on a connection of its own, opened and closed each time, as every charge once
// was: the open, the schema look and the close, on top of the insert.
void BM_InsertOneCharge_OpenInsertClose(benchmark::State& state)
{
    const std::string date = DateTimeToDbText(kNow + 1);
    for (auto _ : state) {
        ActivityDatabaseOpen(DatabaseFile())
            ->RunStatement(ActivityInsertSql(date, AppName(3), "", "Desktop Application", 3, 1));
    }
    ActivityDBExecSQL(
        "DELETE FROM applications WHERE date_created > " + QuotedStr(DateTimeToDbText(kNow)), DatabaseFile());
}

// A start's check of the totals against the rows (nothing to make again).
void BM_StartupTotalsVerify(benchmark::State& state)
{
    for (auto _ : state) {
        ActivityTotalsVerify(DatabaseFile());
    }
}

// The first start on a file of an earlier version (the rows, the wide indexes, no totals): the
// schema drops the wide indexes, makes the hour index and the totals from 2.6 million rows.
void BM_EarlierFileFirstStart(benchmark::State& state)
{
    const std::string copy = DatabaseFile() + ".earlier";
    for (auto _ : state) {
        state.PauseTiming();
        ActivityDatabaseClose();
        std::filesystem::copy_file(DatabaseFile(), copy, std::filesystem::copy_options::overwrite_existing);
        sqlite3* handle = nullptr;
        sqlite3_open(copy.c_str(), &handle);
        Exec(handle,
            "PRAGMA journal_mode = DELETE; DROP TRIGGER applications_rollup_insert; "
            "DROP TRIGGER applications_rollup_delete; DROP TRIGGER applications_rollup_update; "
            "DROP TABLE applications_days; DROP TABLE applications_hours; DROP INDEX applications_date_hour; "
            "CREATE INDEX applications_date_created ON applications(date_created)");
        sqlite3_close(handle);
        state.ResumeTiming();
        DatabaseSchemaEnsure(copy, TDatabaseKind::Activity);
    }
    std::filesystem::remove(copy);
}

// The start-up purge of one day of rows (28,800), their totals cut by the triggers; the rows are
// put back, untimed, after each run.
void BM_StartupPurgeOneDay(benchmark::State& state)
{
    const TDateTime first = kNow - kDays + 2 * kOneSecond;
    const std::string cut = QuotedStr(DateTimeToDbText(first + 1));
    for (auto _ : state) {
        state.PauseTiming();
        ActivityDBExecSQL(
            "CREATE TEMP TABLE IF NOT EXISTS kept AS SELECT * FROM applications WHERE date_created < " + cut,
            DatabaseFile());
        state.ResumeTiming();
        ActivityDBExecSQL(ActivityPurgeOldSql(first + 1 + 90), DatabaseFile());
        state.PauseTiming();
        ActivityDBExecSQL("INSERT INTO applications SELECT * FROM temp.kept", DatabaseFile());
        ActivityDBExecSQL("DROP TABLE temp.kept", DatabaseFile());
        state.ResumeTiming();
    }
}

void BM_ApplicationsToday(benchmark::State& state)
{
    QueryRun(state, ApplicationsPeriodSql(kDayStart, kNow));
}

void BM_WebSitesToday(benchmark::State& state)
{
    QueryRun(state, WebSitesPeriodSql(kDayStart, kNow));
}

void BM_ApplicationsThreeMonths(benchmark::State& state)
{
    QueryRun(state, ApplicationsPeriodSql(kNow - kDays, kNow));
}

void BM_WebSitesThreeMonths(benchmark::State& state)
{
    QueryRun(state, WebSitesPeriodSql(kNow - kDays, kNow));
}

void BM_ApplicationsTodayLiteral(benchmark::State& state)
{
    QueryRun(state, ApplicationsPeriodLiteralSql(DateTimeToDbText(kDayStart), DateTimeToDbText(kNow)));
}

void BM_WebSitesTodayLiteral(benchmark::State& state)
{
    QueryRun(state, WebSitesPeriodLiteralSql(DateTimeToDbText(kDayStart), DateTimeToDbText(kNow)));
}

void BM_ApplicationsThreeMonthsLiteral(benchmark::State& state)
{
    QueryRun(state, ApplicationsPeriodLiteralSql(DateTimeToDbText(kNow - kDays), DateTimeToDbText(kNow)));
}

void BM_WebSitesThreeMonthsLiteral(benchmark::State& state)
{
    QueryRun(state, WebSitesPeriodLiteralSql(DateTimeToDbText(kNow - kDays), DateTimeToDbText(kNow)));
}

// The start-up purge as the program runs it, on a database with nothing to delete.
void BM_StartupPurgeNothingToDelete(benchmark::State& state)
{
    for (auto _ : state) {
        ActivityDBExecSQL(ActivityPurgeOldSql(kNow), DatabaseFile());
        ActivityDBExecSQL(ActivityPurgeUnlistedSql(), DatabaseFile());
    }
}

void BM_StartupPurgeNothingToDeleteLiteral(benchmark::State& state)
{
    for (auto _ : state) {
        ActivityDBExecSQL(ActivityPurgeOldSql(kNow), DatabaseFile());
        ActivityDBExecSQL(ActivityPurgeUnlistedLiteralSql(), DatabaseFile());
    }
}

// The usage chart's reads: three months split into the program's days, and today into hours.
void SplitRun(benchmark::State& state, TDateTime from, TUsageBucket bucket)
{
    size_t rows = 0;
    for (auto _ : state) {
        rows = UsageSplitLoad(from, kNow, bucket, DatabaseFile()).size();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = double(rows);
}

void BM_ChartThreeMonthsByDay(benchmark::State& state)
{
    SplitRun(state, kNow - 90, TUsageBucket::Day);
}

void BM_ChartTodayByHour(benchmark::State& state)
{
    SplitRun(state, kDayStart, TUsageBucket::Hour);
}

} // namespace

BENCHMARK(BM_InsertOneCharge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertOneCharge_OpenInsertClose)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplicationsToday)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebSitesToday)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplicationsThreeMonths)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebSitesThreeMonths)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartThreeMonthsByDay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartTodayByHour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartupPurgeNothingToDelete)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartupTotalsVerify)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EarlierFileFirstStart)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StartupPurgeOneDay)->Unit(benchmark::kMillisecond)->Iterations(2);
// The historical statements are slow; one run each is enough to show the difference.
BENCHMARK(BM_ApplicationsTodayLiteral)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WebSitesTodayLiteral)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ApplicationsThreeMonthsLiteral)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WebSitesThreeMonthsLiteral)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StartupPurgeNothingToDeleteLiteral)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    const bool selected = BenchFilterSelectsAny(argc, argv,
        { "BM_InsertOneCharge", "BM_InsertOneCharge_OpenInsertClose", "BM_StartupTotalsVerify",
            "BM_EarlierFileFirstStart", "BM_StartupPurgeOneDay", "BM_ApplicationsToday", "BM_WebSitesToday",
            "BM_ApplicationsThreeMonths", "BM_WebSitesThreeMonths", "BM_StartupPurgeNothingToDelete",
            "BM_ApplicationsTodayLiteral", "BM_WebSitesTodayLiteral", "BM_ApplicationsThreeMonthsLiteral",
            "BM_WebSitesThreeMonthsLiteral", "BM_StartupPurgeNothingToDeleteLiteral", "BM_ChartThreeMonthsByDay",
            "BM_ChartTodayByHour" });
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    DatabaseFile(); // built (or found) before any timing starts
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
