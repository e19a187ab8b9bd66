#include "storage/ActivityDatabase.h"

#include "model/DataLocations.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/DatabaseSchema.h"

namespace {

std::string ActivityFileName(const std::string& fileName)
{
    return fileName.empty() ? DataLocations().ActivityDbFileName : fileName;
}

// The seconds of one seek's rows: those of the period plus those without a date, which the
// historical statements count in every period. Kept as two sums so each is an index range.
// Only a duration the program can have written counts: a whole number of seconds within the
// 32-bit range. One absurd figure (a damaged row, a foreign tool's 1e30) would otherwise turn
// the whole sum into a value no counter holds and cost the entry its day. Testing every row
// costs the long periods more than half again, so the test is made only when the (normally
// empty) partial index of such rows holds any; that look is made once per statement.
std::string PeriodSumSql(const std::string& seekCondition, const std::string& from, const std::string& to)
{
    const auto sums = [&](const std::string& valid) {
        return "COALESCE((SELECT SUM(a.duration) FROM applications a WHERE " + seekCondition + valid
            + " AND a.date_created BETWEEN " + from + " AND " + to + "), 0) + COALESCE((SELECT SUM(a.duration) "
            + "FROM applications a WHERE " + seekCondition + valid + " AND a.date_created IS NULL), 0)";
    };
    return "CASE WHEN EXISTS (SELECT 1 FROM applications INDEXED BY applications_odd_duration WHERE "
           "typeof(duration) NOT IN ('integer', 'null') OR duration NOT BETWEEN -2147483648 AND 2147483647) THEN "
        + sums(" AND typeof(a.duration) = 'integer' AND a.duration BETWEEN -2147483648 AND 2147483647") + " ELSE "
        + sums("") + " END";
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
    // One index seek per listed entry (path, origin, period), instead of joining every stored
    // row with the list. A name listed twice is summed for each of its rows, as before.
    return "SELECT al.caption AS caption, al.active AS active, al.name AS name, SUM("
        + PeriodSumSql("a.app_name = al.name AND a.origin = 1", QuotedStr(fromText), QuotedStr(toText))
        + ") AS total_duration FROM applications_list al GROUP BY al.name";
}

std::string WebSitesPeriodSql(const std::string& fromText, const std::string& toText)
{
    // The stored addresses are few (a charge stores the listed entry's name, a browser's path or
    // nothing), so they are walked one index seek at a time; only those that some listed name
    // matches are summed over the period, then joined with the list. The LIKE pattern is the
    // same as ever, so "%" and "_" in a name still act as wildcards.
    return "WITH RECURSIVE urls(url) AS ("
           "SELECT (SELECT MIN(browser_url) FROM applications) "
           "UNION ALL SELECT (SELECT MIN(a.browser_url) FROM applications a WHERE a.browser_url > urls.url) "
           "FROM urls WHERE urls.url IS NOT NULL), "
           "totals(url, duration) AS MATERIALIZED (SELECT u.url, "
        + PeriodSumSql("a.browser_url = u.url", QuotedStr(fromText), QuotedStr(toText))
        + " FROM urls u WHERE u.url IS NOT NULL AND EXISTS (SELECT 1 FROM websites_list w "
          "WHERE u.url LIKE '%' || w.name || '%')) "
          "SELECT wl.caption AS caption, wl.active AS active, wl.name AS name, "
          "SUM(COALESCE(t.duration, 0)) AS total_duration FROM websites_list wl "
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
    // The historical join clause wrote the "%" as double-quoted words; they are single-quoted
    // here, which SQLite reads the same and every build accepts.
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
    return "DELETE FROM applications where date_created  < " + QuotedStr(DateTimeToDbText(now - 90));
}

std::string ActivityPurgeUnlistedSql()
{
    // The stored paths are walked one index seek at a time, and only the rows of unlisted ones
    // are visited (by rowid, so the planner cannot fall back to reading the whole table).
    // NOT IN keeps its NULL rules: a NULL name in the list protects every row.
    return "WITH RECURSIVE names(name) AS ("
           "SELECT (SELECT MIN(app_name) FROM applications) "
           "UNION ALL SELECT (SELECT MIN(a.app_name) FROM applications a WHERE a.app_name > names.name) "
           "FROM names WHERE names.name IS NOT NULL) "
           "DELETE FROM applications WHERE rowid IN (SELECT a.rowid FROM names n CROSS JOIN applications a "
           "ON a.app_name = n.name AND a.origin = 1 "
           "WHERE n.name IS NOT NULL AND n.name NOT IN (SELECT DISTINCT name FROM applications_list))";
}

std::string ActivityPurgeUnlistedNullSql()
{
    return "DELETE FROM applications WHERE origin = 1 AND app_name IS NULL "
           "AND NOT EXISTS (SELECT 1 FROM applications_list)";
}

std::string ActivityPurgeUnlistedLiteralSql()
{
    return "delete from applications where origin = 1 and app_name not in (select distinct name from "
           "applications_list)";
}

std::unique_ptr<TSQLiteDatabase> ActivityDatabaseOpen(const std::string& fileName)
{
    const std::string name = ActivityFileName(fileName);
    DatabaseSchemaEnsure(name, TDatabaseKind::Activity);
    return std::make_unique<TSQLiteDatabase>(name);
}

void ActivityDBExecSQL(const std::string& sql, const std::string& fileName)
{
    const std::string name = ActivityFileName(fileName);
    DatabaseRunRecovering(name, TDatabaseKind::Activity, [&] {
        try {
            ActivityDatabaseOpen(name)->RunStatement(sql);
        } catch (...) {
            DatabaseSchemaRecheck(name);
            throw;
        }
    });
}

std::unique_ptr<TSQLiteTable> ActivityDBGetTable(const std::string& sql, const std::string& fileName)
{
    const std::string name = ActivityFileName(fileName);
    return DatabaseRunRecovering(name, TDatabaseKind::Activity, [&] {
        try {
            return ActivityDatabaseOpen(name)->RunQuery(sql);
        } catch (...) {
            DatabaseSchemaRecheck(name);
            throw;
        }
    });
}
