// The activity database at its full size: 90 days at 28,800 rows a day (about 2.6 million rows),
// 20 listed applications and 30 listed sites. The file is built once and kept beside this
// program (bench_storage_actmondb.sqlite); delete it to build it again.
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

constexpr int kDays = 90;
constexpr int kRowsPerDay = 28800;
constexpr int kListedApps = 20;
constexpr int kListedSites = 30;
// A fixed "now" keeps the file valid for every run: 18:00, so "Today" holds 14 hours of rows.
const TDateTime kNow = EncodeDateTime(2026, 1, 15, 18, 0, 0);
const TDateTime kDayStart = EncodeDateTime(2026, 1, 15, 4, 0, 0);

std::string AppName(int i)
{
    return "/usr/lib/program" + std::to_string(i) + "/bin/program" + std::to_string(i);
}

std::string SiteName(int i)
{
    return "site" + std::to_string(i) + ".example.com";
}

void Exec(sqlite3* handle, const std::string& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", message ? message : "?");
        std::exit(1);
    }
}

std::string DatabaseBuild()
{
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    const std::string file = (self.parent_path() / "bench_storage_actmondb.sqlite").string();
    if (std::filesystem::exists(file)) {
        return file;
    }
    std::fprintf(stderr, "Building %s (once)...\n", file.c_str());
    const std::string temporary = file + ".tmp";
    std::filesystem::remove(temporary);
    sqlite3* handle = nullptr;
    sqlite3_open(temporary.c_str(), &handle);
    Exec(handle, DatabaseSchemaSql(TDatabaseKind::Activity));
    // Indexes and totals are made after the rows, which is much faster than keeping them up to
    // date: the schema, run again at the end, makes what is missing and the totals from the rows.
    Exec(handle,
        "DROP INDEX applications_date_hour; DROP TRIGGER applications_rollup_insert; "
        "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF");
    Exec(handle, "BEGIN");
    for (int i = 0; i < kListedApps; ++i) {
        Exec(handle,
            "INSERT INTO applications_list VALUES('" + AppName(i) + "', 'Program " + std::to_string(i) + "', 1)");
    }
    for (int i = 0; i < kListedSites; ++i) {
        Exec(handle, "INSERT INTO websites_list VALUES('" + SiteName(i) + "', 'Site " + std::to_string(i) + "', 1)");
    }
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(handle, "INSERT INTO applications VALUES(?, ?, ?, ?, 3, ?)", -1, &insert, nullptr);
    std::mt19937 random(42);
    const int64_t rows = int64_t(kDays) * kRowsPerDay;
    const TDateTime first = kNow - kDays + 2 * kOneSecond; // every row is younger than the purge cut-off
    for (int64_t row = 0; row < rows; ++row) {
        const std::string date = DateTimeToDbText(first + double(row) * 3 * kOneSecond);
        std::string app;
        std::string url;
        std::string type;
        int origin = 0;
        if (random() % 2 == 0) {
            app = AppName(int(random() % kListedApps));
            type = "Desktop Application";
            origin = 1;
        } else {
            // Browser time: mostly listed sites, some other listed-browser addresses.
            app = "/usr/lib/firefox/firefox";
            type = "Mozila FireFox";
            url = random() % 10 == 0 ? app : SiteName(int(random() % kListedSites));
            origin = 2;
        }
        sqlite3_bind_text(insert, 1, date.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, app.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, url.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, type.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 5, origin);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec(handle, "COMMIT");
    Exec(handle, "BEGIN");
    Exec(handle, DatabaseSchemaSql(TDatabaseKind::Activity));
    Exec(handle, "COMMIT");
    Exec(handle, "ANALYZE");
    sqlite3_close(handle);
    std::filesystem::rename(temporary, file);
    return file;
}

const std::string& DatabaseFile()
{
    static const std::string file = DatabaseBuild();
    return file;
}

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
