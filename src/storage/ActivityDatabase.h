#pragma once

#include "model/ProgramClock.h"
#include "storage/SQLiteDatabase.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The activity database (actmondb.sqlite): one row per charged scan in table applications, and
// copies of the time-limit list in applications_list and websites_list, with daily and hourly
// totals of the rows that triggers keep. The calls share one connection that stays open (see
// ActivityDatabaseClose); failures are raised as ESQLiteException for the caller to log with its
// own method text, and close the connection so the next call opens the file afresh.

// The insert of one charge; the four texts become single-quoted literals, the integers stay bare.
std::string ActivityInsertSql(const std::string& dateText, const std::string& appName, const std::string& browserUrl,
    const std::string& appTypeText, int64_t seconds, int origin);

// The period queries, both ends included. One row per distinct listed name with the columns
// caption, active, name and total_duration: for applications the seconds of origin-1 rows whose
// app_name equals the name, for sites the seconds of rows of any origin whose browser_url
// contains the name (SQLite's LIKE: ASCII case ignored, "%" and "_" in a name are wildcards).
// A name listed twice counts its rows twice. Rows with no date count in every period; rows whose
// duration is no whole 32-bit number of seconds count in none (ActivityOddRowsSql finds them).
// They give the same rows as the row-by-row statements below, but read whole dates and hours
// from the totals and only the rows of the partial hours at the period's ends.
std::string ApplicationsPeriodSql(const std::string& fromText, const std::string& toText);
std::string WebSitesPeriodSql(const std::string& fromText, const std::string& toText);
std::string ApplicationsPeriodSql(TDateTime from, TDateTime to);
std::string WebSitesPeriodSql(TDateTime from, TDateTime to);

// The day's load: the same columns over every row of the program's day that starts at
// `dayStart` (04:00 to 04:00), whatever the clock reads now (a clock set back, the hour repeated
// when summer time ends). An application's rows are found as the scan matched them, ASCII letter
// case ignored.
std::string ApplicationsDaySql(TDateTime dayStart);
std::string WebSitesDaySql(TDateTime dayStart);

// The rows of from..to (and those without a date) that the period queries leave out because
// their duration is no whole 32-bit number of seconds: rowid, date_created, app_name,
// browser_url and the duration as SQL text.
std::string ActivityOddRowsSql(TDateTime from, TDateTime to);

// The same queries read row by row over the whole table: the plain definition of a period's
// totals, which the fast ones are checked and timed against.
std::string ApplicationsPeriodLiteralSql(const std::string& fromText, const std::string& toText);
std::string WebSitesPeriodLiteralSql(const std::string& fromText, const std::string& toText);

// The start-up purge: rows older than 90 days before `now`, then origin-1 rows of applications
// that are no longer listed. The second statement reads the rows only when the daily totals show
// an unlisted path; the literal form is kept as the reference.
std::string ActivityPurgeOldSql(TDateTime now);
std::string ActivityPurgeOldLiteralSql(TDateTime now);
std::string ActivityPurgeUnlistedSql();
std::string ActivityPurgeUnlistedLiteralSql();

// The list copies: deletes and batched inserts, as the settings store writes them.
inline constexpr const char* kApplicationsListDeleteSql = "DELETE FROM applications_list;";
inline constexpr const char* kWebSitesListDeleteSql = "DELETE FROM websites_list;";

// Runs on the activity database at `fileName` (the data locations' ActivityDbFileName when empty).
void ActivityDBExecSQL(const std::string& sql, const std::string& fileName = {});
std::unique_ptr<TSQLiteTable> ActivityDBGetTable(const std::string& sql, const std::string& fileName = {});

// Compares the totals with the rows (their counts) and makes them again from the rows when they
// disagree, in one transaction, with a log line that gives the time it took. Run at start.
void ActivityTotalsVerify(const std::string& fileName = {});

// Rewrites the times stored with another separator than ":" (by an earlier version under a
// region whose separator is "."), so the period queries and the day's load compare them right;
// logs how many. Returns that count. Done whenever the file is opened.
int64_t ActivityTimeTextsMend(const std::string& fileName = {});

// Closes the shared connection, so the write-ahead log is folded into the file; the next call
// opens it again.
void ActivityDatabaseClose();

// Opens a connection of its own on the activity database with its tables in place.
std::unique_ptr<TSQLiteDatabase> ActivityDatabaseOpen(const std::string& fileName = {});

// The time on the list split into hours or into the program's days (04:00 to 04:00), for the
// usage chart and its export: one row per bucket ("yyyy-mm-dd hh" or "yyyy-mm-dd") and listed name
// with time in it, ordered by bucket, origin and name. Each charge counts once, under the entry the
// scan charged it to as its origin says: a program's rows under its path (ASCII letter case
// ignored), a site's under the first site of the list (by caption) whose rule matches the address.
// So a period's buckets add up to the time charged against the limit, where the period queries
// count a browser's seconds under each listed site its address names. Rows without a well-formed
// date belong to no bucket and are left out. Whole days come from the daily totals, the rest from
// the hourly ones, and only the rows of the period's first and last hour from the table. Failures
// raise ESQLiteException.
enum class TUsageBucket
{
    Hour,
    Day
};
struct TUsageSplitRow
{
    std::string Bucket;
    int Origin = 1; // 1 application, 2 site
    std::string Name;
    std::string Caption;
    int64_t Seconds = 0;
};
std::vector<TUsageSplitRow> UsageSplitRead(
    sqlite3* handle, const std::string& fromText, const std::string& toText, TUsageBucket bucket);
// On the program's activity database (or `fileName`), through the shared connection.
std::vector<TUsageSplitRow> UsageSplitLoad(
    TDateTime from, TDateTime to, TUsageBucket bucket, const std::string& fileName = {});
