#pragma once

// The activity database at its full size: 90 days at 28,800 rows a day (about 2.6 million rows),
// 20 listed applications and 30 listed sites. The file is built once and kept beside the
// benchmark programs (bench_storage_actmondb.sqlite); delete it to build it again.

#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/DatabaseSchema.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace bench_activity {

constexpr int kDays = 90;
constexpr int kRowsPerDay = 28800;
constexpr int kListedApps = 20;
constexpr int kListedSites = 30;
// A fixed "now" keeps the file valid for every run: 18:00, so "Today" holds 14 hours of rows.
inline const TDateTime kNow = EncodeDateTime(2026, 1, 15, 18, 0, 0);
inline const TDateTime kDayStart = EncodeDateTime(2026, 1, 15, 4, 0, 0);

inline std::string AppName(int i)
{
    return "/usr/lib/program" + std::to_string(i) + "/bin/program" + std::to_string(i);
}

inline std::string SiteName(int i)
{
    return "site" + std::to_string(i) + ".example.com";
}

inline void Exec(sqlite3* handle, const std::string& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", message ? message : "?");
        std::exit(1);
    }
}

inline std::string DatabaseBuild()
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

inline const std::string& DatabaseFile()
{
    static const std::string file = DatabaseBuild();
    return file;
}

} // namespace bench_activity
