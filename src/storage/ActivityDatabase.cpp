#include "storage/ActivityDatabase.h"

#include "model/DataLocations.h"
#include "model/MonitoredObjects.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/DatabaseSchema.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

std::string ActivityFileName(const std::string& fileName)
{
    return fileName.empty() ? DataLocations().ActivityDbFileName : fileName;
}

// The texts of a period that the totals can answer: both bounds begin with 13 plain ASCII
// characters ("yyyy-mm-dd hh") and from is not after to. The program's bounds always do; any
// other texts get the row-by-row statements, which are exact by definition.
bool TotalsBoundsUsable(const std::string& from, const std::string& to)
{
    if (from.size() < 13 || to.size() < 13 || from > to) {
        return false;
    }
    for (size_t i = 0; i < 13; ++i) {
        for (const char c : { from[i], to[i] }) {
            if (c < 32 || c > 125) {
                return false;
            }
        }
    }
    return true;
}

// The first text after every text that begins with `prefix` (its last character raised by one).
std::string PrefixEnd(std::string prefix)
{
    prefix.back() = char(prefix.back() + 1);
    return prefix;
}

// Only a duration the program can have written counts: a whole number of seconds within the
// 32-bit range. One absurd figure (a damaged row, a foreign tool's 1e30) would otherwise turn a
// whole sum into a value no counter holds and cost the entry its day. The totals hold the same.
constexpr const char* kCountedDuration = "typeof(duration) = 'integer' AND duration BETWEEN -2147483648 AND 2147483647";

// A row-by-row statement over the rows whose duration counts, for bounds the totals cannot answer.
std::string CountedRowsLiteralSql(std::string sql)
{
    const std::string join = "LEFT JOIN applications a ";
    return sql.replace(sql.find(join), join.size(),
        std::string("LEFT JOIN (SELECT * FROM applications WHERE ") + kCountedDuration + ") a ");
}

// The rows of one range of date texts within the hour `hour` as (path, address, origin,
// seconds), the seconds negated when `subtract`. The texts of an hour are exactly those whose
// first 13 characters are the hour's, which the hour index finds.
std::string RowsRangeSql(const std::string& hour, const std::string& low, const char* lowOperator,
    const std::string& high, const char* highOperator, bool subtract)
{
    return std::string("SELECT app_name, browser_url, origin, ") + (subtract ? "-duration" : "duration")
        + " FROM applications WHERE substr(date_created, 1, 13) = " + QuotedStr(hour) + " AND date_created "
        + lowOperator + " " + QuotedStr(low) + " AND date_created " + highOperator + " " + QuotedStr(high) + " AND "
        + kCountedDuration;
}

// One row per stored (path, address, origin) and source with the seconds of the period. A key of
// the totals is a prefix of its rows' date texts, or the whole text when that is shorter, so
// with both bounds beginning with a plain "yyyy-mm-dd hh": the keys strictly between the bounds'
// dates are exactly the whole dates inside the period (a shorter key lies there exactly when its
// text lies between the bounds), and likewise for the hours of the first and last date. A NULL
// key holds the rows without a date, which count in every period. The partial hours at the ends
// come from the rows: either the rows inside the period, or the hour's total less the rows
// outside, whichever part of the hour is normally smaller, so a period that starts on the hour
// or ends now reads hardly any row.
std::string TotalsSql(const std::string& from, const std::string& to)
{
    const std::string fromDay = from.substr(0, 10);
    const std::string toDay = to.substr(0, 10);
    const std::string fromHour = from.substr(0, 13);
    const std::string toHour = to.substr(0, 13);
    const std::string totalsColumns = "SELECT app_name, browser_url, origin, seconds FROM ";

    std::string sql = totalsColumns + "applications_days WHERE day IS NULL";
    if (fromDay < toDay) {
        sql += " UNION ALL " + totalsColumns + "applications_days WHERE day > " + QuotedStr(fromDay) + " AND day < "
            + QuotedStr(toDay);
    }
    if (fromHour == toHour) {
        return sql + " UNION ALL " + RowsRangeSql(fromHour, from, ">=", to, "<=", false);
    }
    const bool fromSubtract = from.compare(13, std::string::npos, ":30") < 0;
    const bool toSubtract = to.compare(13, std::string::npos, ":30") >= 0;
    const std::string fromHourBound = QuotedStr(fromHour);
    const std::string toHourBound = QuotedStr(toHour);
    const char* const fromHourOperator = fromSubtract ? ">=" : ">";
    const char* const toHourOperator = toSubtract ? "<=" : "<";
    if (fromDay == toDay) {
        sql += " UNION ALL " + totalsColumns + "applications_hours WHERE hour " + fromHourOperator + " " + fromHourBound
            + " AND hour " + toHourOperator + " " + toHourBound;
    } else {
        sql += " UNION ALL " + totalsColumns + "applications_hours WHERE hour " + fromHourOperator + " " + fromHourBound
            + " AND hour < " + QuotedStr(PrefixEnd(fromDay));
        sql += " UNION ALL " + totalsColumns + "applications_hours WHERE hour >= " + QuotedStr(toDay) + " AND hour "
            + toHourOperator + " " + toHourBound;
    }
    sql += " UNION ALL "
        + (fromSubtract ? RowsRangeSql(fromHour, fromHour, ">=", from, "<", true)
                        : RowsRangeSql(fromHour, from, ">=", PrefixEnd(fromHour), "<", false));
    sql += " UNION ALL "
        + (toSubtract ? RowsRangeSql(toHour, to, ">", PrefixEnd(toHour), "<", true)
                      : RowsRangeSql(toHour, toHour, ">=", to, "<=", false));
    return sql;
}

// The one connection the program keeps open on the activity database, so a charge costs an
// insert and not an open, a schema look and a close. The file is in write-ahead-log mode with
// synchronous=NORMAL: a commit appends to the -wal file without waiting for the disk, and the
// log is synced only when it is copied back into the database, which TLogCopier does on a thread
// of its own. A killed program loses nothing it committed and never leaves a torn file; a power
// cut may take back the commits since the last copy (up to kLogCopyPages pages of log, a few
// minutes of charges), never more, and leaves the file sound.

// Log pages after which the log is copied back into the file (SQLite's own default).
constexpr int kLogCopyPages = 1000;

// Copies the write-ahead log back into the file on its own thread and connection, so the one
// wait on the disk that WAL mode leaves (the sync of that copy) never falls on the thread that
// charges. A passive copy: it never holds up a writer or a reader, and what it cannot copy yet
// is copied the next time.
class TLogCopier
{
public:
    void Request(const std::string& fileName)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_fileName = fileName;
            m_pending = true;
            if (!m_thread.joinable()) {
                m_stop = false;
                m_thread = std::thread([this] { Run(); });
            }
        }
        m_wake.notify_one();
    }
    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_pending || m_stop; });
            if (m_stop) {
                return;
            }
            m_pending = false;
            const std::string fileName = m_fileName;
            lock.unlock();
            // Never creates a file: one that is gone meanwhile is left alone.
            sqlite3* handle = nullptr;
            // A first read tells the new connection that the file is in WAL mode.
            if (sqlite3_open_v2(fileName.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
                && sqlite3_exec(handle, "PRAGMA schema_version", nullptr, nullptr, nullptr) == SQLITE_OK) {
                sqlite3_wal_checkpoint_v2(handle, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            }
            sqlite3_close(handle);
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    std::string m_fileName;
    bool m_pending = false;
    bool m_stop = false;
};

// This process's copier. Never destroyed (its thread may still wait at the program's end); one
// inherited through fork() has no thread in the child and is left alone.
TLogCopier& LogCopier()
{
    static auto& copiers = *new std::vector<std::unique_ptr<TLogCopier>>;
    static pid_t owner = 0;
    if (copiers.empty() || owner != ::getpid()) {
        copiers.push_back(std::make_unique<TLogCopier>());
        owner = ::getpid();
    }
    return *copiers.back();
}

// Called by SQLite after every commit of the shared connection with the log's size in pages;
// it stands in for SQLite's own copy, which would run in the committing call.
int LogCopyHook(void* fileName, sqlite3*, const char*, int pages)
{
    if (pages >= kLogCopyPages) {
        LogCopier().Request(*static_cast<const std::string*>(fileName));
    }
    return SQLITE_OK;
}

struct TActivityConnection
{
    std::string FileName;
    std::unique_ptr<TSQLiteDatabase> Database;
    dev_t Device = 0;
    ino_t Inode = 0;
    pid_t Process = 0;
    bool WriteAheadLog = false;
};

// Never destroyed, as the schema's file set: a charge may come from the program's exit path.
TActivityConnection& CachedConnection()
{
    static auto& connection = *new TActivityConnection;
    return connection;
}

bool FileIdentityGet(const std::string& fileName, dev_t& device, ino_t& inode)
{
    struct stat status = {};
    if (::stat(fileName.c_str(), &status) != 0) {
        return false;
    }
    device = status.st_dev;
    inode = status.st_ino;
    return true;
}

// Switches the file to the write-ahead log. Another program's open transaction may refuse the
// switch for now; the connection then works with the rollback journal and tries again later.
void WriteAheadLogTry(TActivityConnection& connection)
{
    try {
        const auto mode = connection.Database->RunQuery("PRAGMA journal_mode=WAL");
        connection.WriteAheadLog = mode->RowCount() == 1 && mode->TextAt(0) == "wal";
        if (connection.WriteAheadLog) {
            connection.Database->RunStatement("PRAGMA synchronous=NORMAL");
            // A log that grew while copies could not catch up is cut back when it starts over.
            connection.Database->RunQuery("PRAGMA journal_size_limit=" + std::to_string(2 * kLogCopyPages * 4096));
            sqlite3_wal_hook(connection.Database->Handle(), LogCopyHook, &connection.FileName);
        }
    } catch (const ESQLiteException& error) {
        if (SQLiteCodeIsDamage(error.Code())) {
            throw;
        }
    }
}

void ActivityConnectionDrop()
{
    TActivityConnection& connection = CachedConnection();
    if (connection.Process != ::getpid()) {
        // Inherited through fork(): the handle and its locks belong to the parent. Kept where it
        // can be found, never closed.
        static auto& inherited = *new std::vector<std::unique_ptr<TSQLiteDatabase>>;
        inherited.push_back(std::move(connection.Database));
    } else if (connection.Database) {
        // The log goes into the file this connection has open, and is emptied. SQLite leaves the
        // log of a file that was renamed or replaced meanwhile where it is, and would lay it over
        // whatever file now has the name; emptied, it does no harm, and the moved file keeps
        // every row.
        sqlite3_wal_checkpoint_v2(connection.Database->Handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    }
    connection.Database.reset();
    connection.FileName.clear();
}

// Rewrites the times stored with another separator than ":". The condition is the partial
// index's own, so the statement reads only the odd rows (normally none); the hour key (the first
// 13 characters) stays, so the totals' triggers move nothing.
int64_t TimeTextsMend(TSQLiteDatabase& database)
{
    static const std::string kOdd = "length(date_created) >= 19 AND (substr(date_created, 14, 1) <> ':' "
                                    "OR substr(date_created, 17, 1) <> ':')";
    // A read first: the write would take the file's write lock, and wait for another program's,
    // although there is normally nothing to mend.
    if (!database.RunQuery("SELECT 1 FROM applications WHERE " + kOdd + " LIMIT 1")->First()) {
        return 0;
    }
    database.RunStatement("UPDATE applications SET date_created = substr(date_created, 1, 13) || ':' "
                          "|| substr(date_created, 15, 2) || ':' || substr(date_created, 18) WHERE "
        + kOdd);
    const int64_t mended = sqlite3_changes(database.Handle());
    if (mended > 0) {
        LogMessageWrite(Format("%lld activity rows had their time stored with another separator than \":\"; they "
                               "were stored again with \":\"",
            static_cast<long long>(mended)));
    }
    return mended;
}

// The open connection on `fileName`, opened again when it is another file, the file at that name
// was replaced or removed since, or this is a child process.
TSQLiteDatabase& ActivityConnection(const std::string& fileName)
{
    TActivityConnection& connection = CachedConnection();
    dev_t device = 0;
    ino_t inode = 0;
    if (connection.Database && connection.Process == ::getpid() && connection.FileName == fileName
        && FileIdentityGet(fileName, device, inode) && device == connection.Device && inode == connection.Inode) {
        if (!connection.WriteAheadLog) {
            WriteAheadLogTry(connection);
        }
        return *connection.Database;
    }
    ActivityConnectionDrop();
    // The file may be another one now, or none: its tables are looked for again.
    DatabaseSchemaRecheck(fileName);
    DatabaseSchemaEnsure(fileName, TDatabaseKind::Activity);
    auto database = std::make_unique<TSQLiteDatabase>(fileName);
    FileIdentityGet(fileName, device, inode);
    connection.Database = std::move(database);
    connection.FileName = fileName;
    connection.Device = device;
    connection.Inode = inode;
    connection.Process = ::getpid();
    connection.WriteAheadLog = false;
    WriteAheadLogTry(connection);
    // Before anything reads the day: rows an earlier version wrote under a regional separator.
    try {
        TimeTextsMend(*connection.Database);
    } catch (const ESQLiteException& error) {
        LogMessageWrite(
            std::string("The activity rows' times could not be checked for another separator: ") + error.what());
    }
    return *connection.Database;
}

// Runs `action` on the open connection; a failure closes it (the next call opens the file
// afresh) and has the schema looked at again, and a damaged file is recovered and tried once
// more.
template <typename TAction>
auto ActivityConnectionRun(const std::string& fileName, TAction action)
    -> decltype(action(std::declval<TSQLiteDatabase&>()))
{
    const std::string name = ActivityFileName(fileName);
    return DatabaseRunRecovering(name, TDatabaseKind::Activity, [&] {
        try {
            return action(ActivityConnection(name));
        } catch (...) {
            ActivityConnectionDrop();
            DatabaseSchemaRecheck(name);
            throw;
        }
    });
}

} // namespace

std::string ActivityInsertSql(const std::string& dateText, const std::string& appName, const std::string& browserUrl,
    const std::string& appTypeText, int64_t seconds, int origin)
{
    return "INSERT INTO applications(date_created, app_name, browser_url, app_type, duration, origin) VALUES("
        + QuotedStr(dateText) + ", " + QuotedStr(appName) + ", " + QuotedStr(browserUrl) + ", " + QuotedStr(appTypeText)
        + ", " + std::to_string(seconds) + ", " + std::to_string(origin) + ")";
}

std::string ApplicationsPeriodSql(const std::string& fromText, const std::string& toText)
{
    if (!TotalsBoundsUsable(fromText, toText)) {
        return CountedRowsLiteralSql(ApplicationsPeriodLiteralSql(fromText, toText));
    }
    // A name listed twice is summed for each of its rows, as before.
    return "WITH totals(app_name, seconds) AS MATERIALIZED (SELECT app_name, SUM(seconds) FROM ("
        + TotalsSql(fromText, toText)
        + ") WHERE origin = 1 GROUP BY app_name) "
          "SELECT al.caption AS caption, al.active AS active, al.name AS name, "
          "SUM(COALESCE(t.seconds, 0)) AS total_duration FROM applications_list al "
          "LEFT JOIN totals t ON t.app_name = al.name GROUP BY al.name";
}

std::string WebSitesPeriodSql(const std::string& fromText, const std::string& toText)
{
    if (!TotalsBoundsUsable(fromText, toText)) {
        return CountedRowsLiteralSql(WebSitesPeriodLiteralSql(fromText, toText));
    }
    // The LIKE pattern is the same as ever, so "%" and "_" in a name still act as wildcards.
    return "WITH totals(url, seconds) AS MATERIALIZED (SELECT browser_url, SUM(seconds) FROM ("
        + TotalsSql(fromText, toText)
        + ") GROUP BY browser_url) "
          "SELECT wl.caption AS caption, wl.active AS active, wl.name AS name, "
          "SUM(COALESCE(t.seconds, 0)) AS total_duration FROM websites_list wl "
          "LEFT JOIN totals t ON t.url LIKE '%' || wl.name || '%' GROUP BY wl.name";
}

std::string ApplicationsPeriodSql(TDateTime from, TDateTime to)
{
    return ApplicationsPeriodSql(DateTimeToDbText(from), DateTimeToDbText(to));
}

std::string WebSitesPeriodSql(TDateTime from, TDateTime to)
{
    return WebSitesPeriodSql(DateTimeToDbText(from), DateTimeToDbText(to));
}

namespace {

// The last text of the program's day that starts at `dayStart`.
std::string DayEndOf(TDateTime dayStart)
{
    return DateTimeToDbText(dayStart + 1 - 1.0 / 86400);
}

} // namespace

std::string ApplicationsDaySql(TDateTime dayStart)
{
    // The rows are stored under the path the scan sampled, which matches its entry with ASCII
    // letter case ignored; NOCASE folds exactly those, as in the purge.
    return "WITH totals(app_name, seconds) AS MATERIALIZED (SELECT app_name, SUM(seconds) FROM ("
        + TotalsSql(DateTimeToDbText(dayStart), DayEndOf(dayStart))
        + ") WHERE origin = 1 GROUP BY app_name) "
          "SELECT al.caption AS caption, al.active AS active, al.name AS name, "
          "SUM(COALESCE(t.seconds, 0)) AS total_duration FROM applications_list al "
          "LEFT JOIN totals t ON t.app_name = al.name COLLATE NOCASE GROUP BY al.name";
}

std::string WebSitesDaySql(TDateTime dayStart)
{
    return WebSitesPeriodSql(DateTimeToDbText(dayStart), DayEndOf(dayStart));
}

std::string ActivityOddRowsSql(TDateTime from, TDateTime to)
{
    // The condition is the partial index's own, word for word, so this reads that small index.
    return "SELECT rowid, date_created, app_name, browser_url, quote(duration) AS duration FROM applications WHERE "
           "(typeof(duration) NOT IN ('integer', 'null') OR duration NOT BETWEEN -2147483648 AND 2147483647) "
           "AND (date_created BETWEEN "
        + QuotedStr(DateTimeToDbText(from)) + " AND " + QuotedStr(DateTimeToDbText(to))
        + " OR date_created IS NULL) ORDER BY rowid";
}

std::string ApplicationsPeriodLiteralSql(const std::string& fromText, const std::string& toText)
{
    return Format("SELECT x.caption as caption, x.active as active, x.name as name, SUM(x.duration) as total_duration "
                  "FROM (SELECT  al.caption as caption, al.active as active, al.name as name, duration, date_created "
                  "FROM applications_list al LEFT JOIN applications a ON al.name = a.app_name WHERE a.origin = 1 "
                  "UNION ALL SELECT  al.caption as caption, al.active as active, al.name as name, 0 as duration, "
                  "null as date_created FROM applications_list al) X WHERE (x.date_created between %s and %s) or "
                  "(x.date_created is null) GROUP BY x.name",
        QuotedStr(fromText).c_str(), QuotedStr(toText).c_str());
}

std::string WebSitesPeriodLiteralSql(const std::string& fromText, const std::string& toText)
{
    // The "%" are single-quoted: SQLite would read double-quoted ones the same, as words, but
    // not every build accepts double quotes for strings.
    const std::string join = "LEFT JOIN applications a ON a.browser_url  LIKE '%'||wl.name|| '%'";
    return Format("SELECT x.caption as caption, x.active as active, x.name as name, SUM(x.duration) as total_duration "
                  "FROM (SELECT  wl.caption as caption, wl.active as active, wl.name as name, duration, date_created "
                  "FROM websites_list wl %s UNION ALL SELECT  wl.caption as caption, wl.active as active, "
                  "wl.name as name, 0 as duration, null as date_created FROM websites_list wl) X WHERE "
                  "(x.date_created between %s and %s) or  (x.date_created is null) GROUP BY x.name",
        join.c_str(), QuotedStr(fromText).c_str(), QuotedStr(toText).c_str());
}

std::string ActivityPurgeOldSql(TDateTime now)
{
    // A text before the cut-off never has a later hour than the cut-off's (a prefix keeps the
    // order), so the first condition changes nothing but lets the hour index find the rows.
    const std::string cut = DateTimeToDbText(now - 90);
    return "DELETE FROM applications WHERE substr(date_created, 1, 13) <= " + QuotedStr(cut.substr(0, 13))
        + " AND date_created < " + QuotedStr(cut);
}

std::string ActivityPurgeOldLiteralSql(TDateTime now)
{
    return "DELETE FROM applications where date_created  < " + QuotedStr(DateTimeToDbText(now - 90));
}

std::string ActivityPurgeUnlistedSql()
{
    // The daily totals hold every stored (path, origin), so the unlisted paths come from them and
    // the rows are read only for such a path (by rowid, so the planner cannot fall back to
    // reading the whole table first); with none, the statement touches no row. NOT IN keeps its
    // NULL rules: a NULL name in the list protects every row, an empty list gives up even the
    // rows without a path, which IS matches. A path is listed as the scan matches it, ASCII letter
    // case ignored (NOCASE folds exactly those), so no row charged to an entry is taken for unlisted.
    return "DELETE FROM applications WHERE rowid IN (SELECT a.rowid FROM (SELECT DISTINCT d.app_name AS name "
           "FROM applications_days d WHERE d.origin = 1 AND d.app_name COLLATE NOCASE NOT IN (SELECT DISTINCT name "
           "FROM applications_list)) n CROSS JOIN applications a WHERE a.app_name IS n.name AND a.origin = 1)";
}

std::string ActivityPurgeUnlistedLiteralSql()
{
    return "delete from applications where origin = 1 and app_name collate nocase not in (select distinct name "
           "from applications_list)";
}

void ActivityTotalsVerify(const std::string& fileName)
{
    ActivityConnectionRun(fileName, [](TSQLiteDatabase& database) {
        const auto counts = database.RunQuery("SELECT (SELECT COUNT(*) FROM applications), "
                                              "(SELECT TOTAL(rows) FROM applications_days), "
                                              "(SELECT TOTAL(rows) FROM applications_hours)");
        counts->First();
        const int64_t rows = counts->Int64At(0);
        if (rows == counts->Int64At(1) && rows == counts->Int64At(2)) {
            return;
        }
        // The schema script ends with the statements that make the totals from the rows.
        const std::string& schema = DatabaseSchemaSql(TDatabaseKind::Activity);
        const size_t rebuild = schema.find("DELETE FROM applications_hours;");
        const auto started = std::chrono::steady_clock::now();
        database.TransactionBegin();
        if (sqlite3_exec(database.Handle(), schema.c_str() + rebuild, nullptr, nullptr, nullptr) != SQLITE_OK) {
            database.RaiseError("Error executing SQL", schema.substr(rebuild));
        }
        database.TransactionCommit();
        const auto took
            = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        LogMessageWrite(Format("The activity database's daily and hourly totals disagreed with its %lld rows; "
                               "they were made again from the rows in %lld ms",
            static_cast<long long>(rows), static_cast<long long>(took.count())));
    });
}

int64_t ActivityTimeTextsMend(const std::string& fileName)
{
    return ActivityConnectionRun(fileName, TimeTextsMend);
}

std::unique_ptr<TSQLiteDatabase> ActivityDatabaseOpen(const std::string& fileName)
{
    const std::string name = ActivityFileName(fileName);
    DatabaseSchemaEnsure(name, TDatabaseKind::Activity);
    return std::make_unique<TSQLiteDatabase>(name);
}

void ActivityDBExecSQL(const std::string& sql, const std::string& fileName)
{
    ActivityConnectionRun(fileName, [&](TSQLiteDatabase& database) { database.RunStatement(sql); });
}

std::unique_ptr<TSQLiteTable> ActivityDBGetTable(const std::string& sql, const std::string& fileName)
{
    return ActivityConnectionRun(fileName, [&](TSQLiteDatabase& database) { return database.RunQuery(sql); });
}

void ActivityDatabaseClose()
{
    LogCopier().Stop();
    ActivityConnectionDrop();
}

namespace {

constexpr const char* kHourPattern = "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]'";
constexpr const char* kDayPattern = "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]'";

// The bucket of an hour key: the hour itself, or the program's day it falls in (an hour before
// 04:00 belongs to the day before).
std::string HourBucketSql(const std::string& hour, TUsageBucket bucket)
{
    if (bucket == TUsageBucket::Hour) {
        return hour;
    }
    return "CASE WHEN substr(" + hour + ", 12, 2) < '04' THEN date(substr(" + hour + ", 1, 10), '-1 day') ELSE substr("
        + hour + ", 1, 10) END";
}

// The rows of the hour `hour` between the bounds, with their bucket.
std::string SplitRowsSql(const std::string& hour, const std::string& from, const std::string& to, TUsageBucket bucket)
{
    return "SELECT " + HourBucketSql("substr(date_created, 1, 13)", bucket)
        + ", 0, app_name, browser_url, origin, duration FROM applications WHERE substr(date_created, 1, 13) = "
        + QuotedStr(hour) + " AND date_created >= " + QuotedStr(from) + " AND date_created <= " + QuotedStr(to)
        + " AND " + kCountedDuration;
}

std::string SplitHoursSql(const std::string& condition, TUsageBucket bucket)
{
    return "SELECT " + HourBucketSql("hour", bucket)
        + ", 0, app_name, browser_url, origin, seconds FROM applications_hours WHERE " + condition + " AND hour GLOB "
        + kHourPattern;
}

// The seconds of the period as rows (bucket, moved, path, address, origin, seconds), unsummed:
// the rows of its first and last hour, the hourly totals of the rest of its first and last
// calendar day, and the daily totals of the whole calendar days between them. The first four
// hours of a whole day belong to the program's day before: they come once more from the hourly
// totals with `moved` 1, to be taken from their calendar day and given to the day before.
std::string SplitPartsSql(const std::string& from, const std::string& to, TUsageBucket bucket)
{
    if (!TotalsBoundsUsable(from, to)) {
        // Bounds no program writes: read the rows themselves.
        return "SELECT " + HourBucketSql("substr(date_created, 1, 13)", bucket)
            + ", 0, app_name, browser_url, origin, duration FROM applications WHERE date_created BETWEEN "
            + QuotedStr(from) + " AND " + QuotedStr(to) + " AND " + kCountedDuration
            + " AND substr(date_created, 1, 13) GLOB " + kHourPattern;
    }
    const std::string fromDay = from.substr(0, 10);
    const std::string toDay = to.substr(0, 10);
    const std::string fromHour = from.substr(0, 13);
    const std::string toHour = to.substr(0, 13);
    std::string sql = SplitRowsSql(fromHour, from, to, bucket);
    if (fromHour == toHour) {
        return sql;
    }
    sql += " UNION ALL " + SplitRowsSql(toHour, from, to, bucket);
    if (bucket == TUsageBucket::Hour || fromDay == toDay) {
        return sql + " UNION ALL "
            + SplitHoursSql("hour > " + QuotedStr(fromHour) + " AND hour < " + QuotedStr(toHour), bucket);
    }
    sql += " UNION ALL "
        + SplitHoursSql("hour > " + QuotedStr(fromHour) + " AND hour < " + QuotedStr(PrefixEnd(fromDay)), bucket);
    sql += " UNION ALL " + SplitHoursSql("hour >= " + QuotedStr(toDay) + " AND hour < " + QuotedStr(toHour), bucket);
    // A key between two dates need not be one (a foreign tool's "2011-04-2"): the reader drops
    // such buckets rather than testing a pattern on every row here.
    const std::string wholeDays = " day > " + QuotedStr(fromDay) + " AND day < " + QuotedStr(toDay);
    sql += " UNION ALL SELECT day, 0, app_name, browser_url, origin, seconds FROM applications_days WHERE" + wholeDays;
    // One seek of the hour index per day; a key of 13 characters in that range is an hour from 00
    // to 03 of that day.
    sql += " UNION ALL SELECT d.day, 1, h.app_name, h.browser_url, h.origin, h.seconds FROM (SELECT DISTINCT day "
           "FROM applications_days WHERE"
        + wholeDays + " AND day GLOB " + kDayPattern
        + ") d JOIN applications_hours h ON h.hour >= d.day || ' 00' AND h.hour < d.day || ' 04'";
    return sql;
}

// Whether `text` is a "yyyy-mm-dd" (or "yyyy-mm-dd hh" for hours).
bool BucketWellFormed(const char* text, TUsageBucket bucket)
{
    const std::string_view form = bucket == TUsageBucket::Day ? "0000-00-00" : "0000-00-00 00";
    if (!text || std::strlen(text) != form.size()) {
        return false;
    }
    for (size_t i = 0; i < form.size(); ++i) {
        if (form[i] == '0' ? (text[i] < '0' || text[i] > '9') : text[i] != form[i]) {
            return false;
        }
    }
    return true;
}

// "yyyy-mm-dd" of the calendar day before.
std::string DayBefore(const std::string& day)
{
    int year = 0;
    int month = 0;
    int date = 0;
    if (std::sscanf(day.c_str(), "%4d-%2d-%2d", &year, &month, &date) != 3) {
        return {};
    }
    return DateToDbText(EncodeDateTime(year, month, date, 12) - 1);
}

// Lets the maps below be asked with a view of a column's text, without a copy.
struct TTextHash
{
    using is_transparent = void;
    size_t operator()(std::string_view text) const
    {
        return std::hash<std::string_view>()(text);
    }
};
template <typename TValue> using TTextMap = std::unordered_map<std::string, TValue, TTextHash, std::equal_to<>>;

// Runs a query on `handle` and hands each row to `row`; a failure raises ESQLiteException.
template <typename TRow> void RowsEach(sqlite3* handle, const std::string& sql, TRow row)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        SQLiteErrorRaise(handle, "Error executing SQL", sql);
    }
    int code = SQLITE_OK;
    while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
        row(statement);
    }
    sqlite3_finalize(statement);
    if (code != SQLITE_DONE) {
        SQLiteErrorRaise(handle, "Error executing SQL", sql);
    }
}

const char* ColumnText(sqlite3_stmt* statement, int column)
{
    return reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
}

struct TListedName
{
    std::string Name;
    std::string Caption;
};

// The list copy's names, each once and in order, with their caption (the greatest, as SQL's MAX
// picks among copies); NULL names match no row and are left out.
std::vector<TListedName> ListedNamesRead(sqlite3* handle, const char* table)
{
    std::map<std::string, std::string> captions;
    RowsEach(handle, std::string("SELECT name, caption FROM ") + table + " WHERE name IS NOT NULL",
        [&](sqlite3_stmt* statement) {
            std::string& caption = captions[ColumnText(statement, 0)];
            const char* text = ColumnText(statement, 1);
            caption = std::max(caption, std::string(text ? text : ""));
        });
    std::vector<TListedName> names;
    for (auto& [name, caption] : captions) {
        names.push_back({ name, std::move(caption) });
    }
    return names;
}

} // namespace

std::vector<TUsageSplitRow> UsageSplitRead(
    sqlite3* handle, const std::string& fromText, const std::string& toText, TUsageBucket bucket)
{
    std::vector<TUsageSplitRow> result;
    if (fromText > toText) {
        return result;
    }
    // Summed here rather than in SQL, into a table of buckets by listed names: the tens of thousands
    // of rows of a long period cost a few milliseconds so, where SQLite's grouping on text keys
    // costs ten times that. Each row goes to the one entry it was charged to, so no total of the
    // chart adds the same seconds twice: a row of origin 1 to the application of its path (ASCII
    // letter case ignored, as the scan matches it), a row of origin 2 to the first site of the
    // list whose rule matches its address (as the scan picked it), and a row of any other origin to
    // none. The period queries count a browser's rows under every site whose name its address
    // holds; the chart does not.
    const auto applications = ListedNamesRead(handle, "applications_list");
    const auto sites = ListedNamesRead(handle, "websites_list");
    const size_t names = applications.size() + sites.size();
    TTextMap<size_t> applicationIndex;
    TTextMap<size_t> applicationFolded;
    for (size_t i = 0; i < applications.size(); ++i) {
        applicationIndex.emplace(applications[i].Name, i);
        applicationFolded.emplace(AsciiLowerCase(applications[i].Name), i);
    }
    const auto applicationOf = [&](const char* path) {
        auto found = applicationIndex.find(std::string_view(path));
        if (found == applicationIndex.end()) {
            // Only a path in other letter case than the listed one gets here; it is remembered.
            const auto folded = applicationFolded.find(AsciiLowerCase(path));
            found = applicationIndex.emplace(path, folded == applicationFolded.end() ? SIZE_MAX : folded->second).first;
        }
        return found->second;
    };
    // The scan takes the first matching site of the list, which is sorted by caption.
    std::vector<std::pair<std::wstring, size_t>> siteOrder;
    for (size_t i = 0; i < sites.size(); ++i) {
        siteOrder.emplace_back(MonitoredKeySortKey(sites[i].Caption), i);
    }
    std::sort(siteOrder.begin(), siteOrder.end());
    TTextMap<size_t> addressSite;
    const auto siteOf = [&](const char* address) {
        auto found = addressSite.find(std::string_view(address));
        if (found == addressSite.end()) {
            size_t matched = SIZE_MAX;
            for (const auto& [key, site] : siteOrder) {
                if (SiteUrlMatch(sites[site].Name, address)) {
                    matched = applications.size() + site;
                    break;
                }
            }
            found = addressSite.emplace(address, matched).first;
        }
        return found->second;
    };
    std::vector<std::string> buckets;
    TTextMap<size_t> bucketIndex;
    std::vector<size_t> bucketBefore; // the day before each bucket (moved rows only)
    std::vector<int64_t> sums; // buckets x names: the applications, then the sites
    const auto bucketOf = [&](std::string_view text) {
        auto found = bucketIndex.find(text);
        if (found == bucketIndex.end()) {
            found = bucketIndex.emplace(std::string(text), buckets.size()).first;
            buckets.emplace_back(text);
            bucketBefore.push_back(SIZE_MAX);
            sums.resize(buckets.size() * names, 0);
        }
        return found->second;
    };
    RowsEach(handle, SplitPartsSql(fromText, toText, bucket), [&](sqlite3_stmt* statement) {
        const char* bucketText = ColumnText(statement, 0);
        if (!BucketWellFormed(bucketText, bucket)) {
            return;
        }
        const char* path = ColumnText(statement, 2);
        const char* address = ColumnText(statement, 3);
        const int64_t origin
            = sqlite3_column_type(statement, 4) == SQLITE_NULL ? 0 : sqlite3_column_int64(statement, 4);
        const int64_t seconds = sqlite3_column_int64(statement, 5);
        const size_t owner = origin == moApplication && path ? applicationOf(path)
            : origin == moSite && address                    ? siteOf(address)
                                                             : SIZE_MAX;
        if (owner == SIZE_MAX) {
            return;
        }
        const auto add = [&](size_t at, int64_t value) { sums[at * names + owner] += value; };
        const size_t at = bucketOf(bucketText);
        if (sqlite3_column_int(statement, 1) == 0) {
            add(at, seconds);
            return;
        }
        if (bucketBefore[at] == SIZE_MAX) {
            const size_t before = bucketOf(DayBefore(bucketText));
            bucketBefore[at] = before;
        }
        add(at, -seconds);
        add(bucketBefore[at], seconds);
    });

    std::vector<size_t> order(buckets.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return buckets[a] < buckets[b]; });
    for (const size_t at : order) {
        size_t index = 0;
        for (const auto* list : { &applications, &sites }) {
            for (const auto& listed : *list) {
                const int64_t seconds = sums[at * names + index++];
                if (seconds != 0) {
                    result.push_back(
                        { buckets[at], list == &applications ? 1 : 2, listed.Name, listed.Caption, seconds });
                }
            }
        }
    }
    return result;
}

std::vector<TUsageSplitRow> UsageSplitLoad(
    TDateTime from, TDateTime to, TUsageBucket bucket, const std::string& fileName)
{
    return ActivityConnectionRun(fileName, [&](TSQLiteDatabase& database) {
        return UsageSplitRead(database.Handle(), DateTimeToDbText(from), DateTimeToDbText(to), bucket);
    });
}
