#include "storage/ActivityDatabase.h"

#include "StorageFixture.h"
#include "model/MonitoredObjects.h"
#include "model/TextHelpers.h"
#include "storage/DatabaseSchema.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <tuple>

namespace {

// A raw in-memory database with the program's schema, so the differential test sees the real
// indexes (and so the plans the program gets) without touching the disk.
class TMemoryDatabase
{
public:
    TMemoryDatabase()
    {
        sqlite3_open(":memory:", &m_handle);
        Run(DatabaseSchemaSql(TDatabaseKind::Activity));
    }
    ~TMemoryDatabase()
    {
        sqlite3_close(m_handle);
    }
    void Run(const std::string& sql)
    {
        char* message = nullptr;
        if (sqlite3_exec(m_handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "?";
            sqlite3_free(message);
            throw std::runtime_error(text + " in " + sql);
        }
    }
    sqlite3* Handle() const
    {
        return m_handle;
    }
    // Each row as name -> (total as typed text, caption, active); names listed twice give one row.
    struct TResultRow
    {
        std::string Name;
        bool NameIsNull = false;
        std::string Caption;
        std::string Active;
        int TotalType = 0;
        std::string Total;
    };
    std::vector<TResultRow> Rows(const std::string& sql)
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_handle, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string(sqlite3_errmsg(m_handle)) + " in " + sql);
        }
        auto text = [&](int column) {
            const auto* value = sqlite3_column_text(statement, column);
            return value ? std::string(reinterpret_cast<const char*>(value)) : std::string("<null>");
        };
        std::vector<TResultRow> rows;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            TResultRow row;
            row.Caption = text(0);
            row.Active = text(1);
            row.Name = text(2);
            row.NameIsNull = sqlite3_column_type(statement, 2) == SQLITE_NULL;
            row.TotalType = sqlite3_column_type(statement, 3);
            row.Total = text(3);
            rows.push_back(row);
        }
        sqlite3_finalize(statement);
        std::sort(rows.begin(), rows.end(), [](const TResultRow& a, const TResultRow& b) {
            return std::tie(a.NameIsNull, a.Name) < std::tie(b.NameIsNull, b.Name);
        });
        return rows;
    }
    // How the program's table class holds each result column (decided by declared types).
    std::vector<ColumnKind> Kinds(const std::string& sql)
    {
        TSQLiteTable table(m_handle, sql);
        std::vector<ColumnKind> kinds;
        for (int i = 0; i < table.ColumnCount(); ++i) {
            kinds.push_back(table.ColumnKindAt(i));
        }
        return kinds;
    }
    // Names listed more than once, whose caption and active flag may come from any of their rows.
    std::set<std::string> NamesListedTwice(const std::string& table)
    {
        std::set<std::string> names;
        for (const auto& row : Rows("SELECT '', '', name, 0 FROM " + table + " GROUP BY name HAVING COUNT(*) > 1")) {
            names.insert(row.Name);
        }
        return names;
    }
    std::vector<std::string> ActivityRows()
    {
        std::vector<std::string> rows;
        sqlite3_exec(
            m_handle, "SELECT quote(date_created), quote(app_name), quote(origin), quote(duration) FROM applications",
            [](void* target, int count, char** values, char**) {
                std::string line;
                for (int i = 0; i < count; ++i) {
                    line += std::string(values[i] ? values[i] : "") + "|";
                }
                static_cast<std::vector<std::string>*>(target)->push_back(line);
                return 0;
            },
            &rows, nullptr);
        std::sort(rows.begin(), rows.end());
        return rows;
    }

private:
    sqlite3* m_handle = nullptr;
};

std::string Literal(std::mt19937& random, const std::vector<std::string>& pool)
{
    const std::string& value = pool[random() % pool.size()];
    return value == "<null>" ? std::string("NULL") : QuotedStr(value);
}

// Fills one random database with the awkward cases: names listed twice, "%" and "_" in names,
// overlapping and case-differing names, empty and NULL addresses and dates, negative and NULL
// durations, odd origins.
void RandomContentMake(std::mt19937& random, TMemoryDatabase& database)
{
    const std::vector<std::string> appNames
        = { "/usr/bin/a", "/usr/bin/A", "/usr/bin/b", "/opt/it's/c", "", "<null>", "/usr/bin/a%", "/usr/bin/firefox" };
    const std::vector<std::string> siteNames
        = { "example.com", "mail.example.com", "EXAMPLE.com", "a%b", "a_b", "x", "", "<null>", "it's.org" };
    const std::vector<std::string> urls = { "example.com", "mail.example.com", "Example.COM/news", "a%b", "axb", "a_b",
        "aXb", "", "<null>", "it's.org/x", "/usr/bin/firefox", "zzz" };
    // Whole and partial hours and dates around 04:00 and midnight, a clock set back, and texts
    // shorter or longer than a stored date-time, which the totals must place exactly as well.
    const std::vector<std::string> dates = { "2011-04-20 23:59:59", "2011-04-21 04:00:00", "2011-04-21 04:00:01",
        "2011-04-21 10:00:00", "2011-04-22 00:00:00", "", "<null>", "garbage", "2011-01-01 00:00:00",
        "2011-04-21 03:59:59", "2011-04-21 04:59:59", "2011-04-21 05:00:00", "2011-04-21 09:30:00",
        "2011-04-21 09:29:59", "2011-04-21 10:30:00", "2011-04-20 04:30:00", "2011-04-19 12:00:00", "2011-04-21",
        "2011-04-21 1", "2011-04-2", "2011-04-21 04", "2011-04-21 04:", "2011-04-21 04:00:00x", "2011-04-21\xc3\xa9",
        "2011-04-21 0\xc3\xa9", "2011-04-2\xc3\xa9", "2011-04-21 10:00:01", "2011-04-19 09:00:00",
        "2011-04-19 09:29:59", "2011-04-19 09:45:00", "2011-04-21 09:45:00", "2011-04-14 09:10:00",
        "2011-04-14 09:30:00" };
    const int apps = int(random() % 6);
    for (int i = 0; i < apps; ++i) {
        database.Run("INSERT INTO applications_list VALUES(" + Literal(random, appNames) + ", 'app" + std::to_string(i)
            + "', " + std::to_string(random() % 2) + ")");
    }
    const int sites = int(random() % 6);
    for (int i = 0; i < sites; ++i) {
        database.Run("INSERT INTO websites_list VALUES(" + Literal(random, siteNames) + ", 'site" + std::to_string(i)
            + "', " + std::to_string(random() % 2) + ")");
    }
    const int rows = int(random() % 60);
    std::string insert;
    for (int i = 0; i < rows; ++i) {
        const int duration = int(random() % 50) - 10;
        // Now and then a figure the program cannot have written, which no period counts.
        const std::vector<std::string> odd
            = { "NULL", "NULL", "1e30", "2.5", "'x'", "2147483648", "-2147483649", "2147483647", "X'01'" };
        const std::string durationText = random() % 15 == 0 ? odd[random() % odd.size()] : std::to_string(duration);
        const int origins[] = { 1, 1, 2, 2, 3 };
        database.Run("INSERT INTO applications VALUES(" + Literal(random, dates) + ", " + Literal(random, appNames)
            + ", " + Literal(random, urls) + ", 'Desktop Application', " + durationText + ", "
            + std::to_string(origins[random() % 5]) + ")");
    }
}

// The historical statements count every row; the program's leave out the rows whose duration is
// no whole 32-bit number, so the reference is the historical result without those rows.
template <typename TRead> auto WithoutOddRows(TMemoryDatabase& database, TRead read)
{
    database.Run("SAVEPOINT reference; DELETE FROM applications WHERE typeof(duration) NOT IN ('integer', 'null') "
                 "OR duration NOT BETWEEN -2147483648 AND 2147483647");
    auto result = read();
    database.Run("ROLLBACK TO reference; RELEASE reference");
    return result;
}

std::vector<TMemoryDatabase::TResultRow> LiteralRows(TMemoryDatabase& database, const std::string& sql)
{
    return WithoutOddRows(database, [&] { return database.Rows(sql); });
}

// Both period statements against their historical forms for one period.
void ExpectPeriodMatches(
    TMemoryDatabase& database, const std::string& from, const std::string& to, const std::string& context);

void ExpectSameRows(const std::vector<TMemoryDatabase::TResultRow>& fast,
    const std::vector<TMemoryDatabase::TResultRow>& literal, const std::set<std::string>& listedTwice,
    const std::string& context)
{
    ASSERT_EQ(fast.size(), literal.size()) << context;
    for (size_t i = 0; i < fast.size(); ++i) {
        EXPECT_EQ(fast[i].Name, literal[i].Name) << context;
        EXPECT_EQ(fast[i].NameIsNull, literal[i].NameIsNull) << context;
        EXPECT_EQ(fast[i].Total, literal[i].Total) << context << " name " << fast[i].Name;
        EXPECT_EQ(fast[i].TotalType, literal[i].TotalType) << context << " name " << fast[i].Name;
        if (!listedTwice.count(fast[i].Name)) {
            EXPECT_EQ(fast[i].Caption, literal[i].Caption) << context << " name " << fast[i].Name;
            EXPECT_EQ(fast[i].Active, literal[i].Active) << context << " name " << fast[i].Name;
        }
    }
}

void ExpectPeriodMatches(
    TMemoryDatabase& database, const std::string& from, const std::string& to, const std::string& context)
{
    ExpectSameRows(database.Rows(ApplicationsPeriodSql(from, to)),
        LiteralRows(database, ApplicationsPeriodLiteralSql(from, to)), database.NamesListedTwice("applications_list"),
        "applications " + context);
    ExpectSameRows(database.Rows(WebSitesPeriodSql(from, to)),
        LiteralRows(database, WebSitesPeriodLiteralSql(from, to)), database.NamesListedTwice("websites_list"),
        "web sites " + context);
}

// The totals as text, one line per key, sorted.
std::vector<std::string> TotalsText(TMemoryDatabase& database, const std::string& table, const std::string& key)
{
    std::vector<std::string> lines;
    for (const auto& row : database.Rows("SELECT '', '', quote(" + key
             + ") || quote(app_name) || quote(browser_url) || quote(origin) || '=' || quote(seconds) || '/' || rows, "
               "0 FROM "
             + table)) {
        lines.push_back(row.Name);
    }
    return lines;
}

} // namespace

TEST(PeriodQueries, RestructuredStatementsGiveTheLiteralResultsOnRandomDatabases)
{
    const std::vector<std::pair<std::string, std::string>> periods = {
        { "2011-04-21 04:00:00", "2011-04-21 10:00:00" }, // a day from 04:00, bounds included
        { "2011-01-21 10:00:00", "2011-04-21 10:00:00" }, // three months
        { "2011-04-22 00:00:00", "2011-04-21 00:00:00" }, // empty period
        { "", "zzzz" }, // everything with a date
        { "2011-04-20 04:30:00", "2011-04-21 04:30:00" }, // the last 24 hours
        { "2011-04-21 04:00:00", "2011-04-21 04:59:59" }, // within one hour
        { "2011-04-20 23:59:59", "2011-04-22 00:00:00" }, // both ends at midnight
        { "2011-04-14 09:30:00", "2011-04-21 09:30:00" }, // seven days, the ends in the second half-hours
        { "2011-04-19 09:29:59", "2011-04-21 09:29:59" }, // the ends in the first half-hours
        { "2011-04-21 03:59:59", "2011-04-21 04:00:00" }, // across 04:00
        { "2011-04-21 04:00:00", "2011-04-21 10:30:00" }, // today, from 04:00 to a later now
        { "2011-04-21 04:00:00", "2011-04-22 04:00:00" }, // one accounting day
        { "2011-04-21 10:00:00", "2011-04-21 04:00:00" }, // the clock set back: an empty period
    };
    std::mt19937 random(20110421);
    for (int round = 0; round < 150; ++round) {
        TMemoryDatabase database;
        RandomContentMake(random, database);
        for (const auto& [from, to] : periods) {
            const std::string context = "round " + std::to_string(round) + " period " + from + ".." + to;
            ExpectPeriodMatches(database, from, to, context);
            EXPECT_EQ(database.Kinds(ApplicationsPeriodSql(from, to)),
                WithoutOddRows(database, [&] { return database.Kinds(ApplicationsPeriodLiteralSql(from, to)); }))
                << "applications " << context;
            EXPECT_EQ(database.Kinds(WebSitesPeriodSql(from, to)),
                WithoutOddRows(database, [&] { return database.Kinds(WebSitesPeriodLiteralSql(from, to)); }))
                << "web sites " << context;
        }
        if (HasFailure()) {
            return;
        }
    }
}

// The usage chart's split by hour and by the program's day, read from the totals, against the rows
// read one by one: on each random database every bucket holds, for each listed entry, the seconds
// of the rows of the bucket's part of the period that were charged to that entry. A row counts
// under one entry at most, the one its origin and the scan's rule give (a program's path with
// letter case ignored; a site's address under the first site of the list, by caption, whose rule
// matches), never under every site whose name it holds. Rows without a well-formed date belong to
// no bucket, so both sides are read without them.
TEST(PeriodQueries, SplitByHourAndDayHoldsEachChargeOnceUnderTheEntryItWasChargedTo)
{
    const std::vector<std::pair<std::string, std::string>> periods = {
        { "2011-04-21 04:00:00", "2011-04-21 10:00:00" }, // today
        { "2011-04-20 04:30:00", "2011-04-21 04:30:00" }, // the last 24 hours
        { "2011-04-14 09:30:00", "2011-04-21 09:30:00" }, // seven days
        { "2011-01-21 10:00:00", "2011-04-21 10:00:00" }, // three months
        { "2011-04-19 09:29:59", "2011-04-21 09:29:59" }, // two days, the ends in first half-hours
        { "2011-04-21 03:59:59", "2011-04-21 04:00:00" }, // across 04:00 within one hour
        { "2011-04-22 00:00:00", "2011-04-21 00:00:00" }, // empty
    };
    using TKey = std::tuple<std::string, int, std::string>; // bucket, origin, name
    std::mt19937 random(1204);
    for (int round = 0; round < 40; ++round) {
        TMemoryDatabase database;
        RandomContentMake(random, database);
        database.Run("DELETE FROM applications WHERE date_created IS NULL OR date_created NOT GLOB "
                     "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'");
        // Rows in the small hours of whole days, which belong to the day before.
        database.Run("INSERT INTO applications SELECT '2011-04-1' || (rowid % 3 + 7) || ' 0' || (rowid % 5) || "
                     "substr(date_created, 14), app_name, browser_url, app_type, duration, origin FROM applications "
                     "WHERE rowid % 2 = 0");
        // The entries as the day's account holds them: one per name, sorted by caption.
        std::map<std::string, std::string> applications;
        TMonitoredList sites;
        for (const auto& row : database.Rows("SELECT MAX(caption), 0, name, 0 FROM applications_list WHERE name IS "
                                             "NOT NULL GROUP BY name")) {
            applications[row.Name] = row.Caption;
        }
        for (const auto& row :
            database.Rows("SELECT MAX(caption), 0, name, 0 FROM websites_list WHERE name IS NOT NULL GROUP BY name")) {
            auto item = std::make_unique<TMonitoredItem>();
            item->Name = row.Name;
            item->Caption = row.Caption == "<null>" ? std::string() : row.Caption;
            item->ItemType = mitWeb;
            const std::string key = item->Caption;
            sites.Add(key, std::move(item));
        }
        const auto applicationOf = [&](const std::string& path) -> const std::string* {
            if (const auto exact = applications.find(path); exact != applications.end()) {
                return &exact->first;
            }
            for (const auto& [name, caption] : applications) {
                if (SameTextAscii(name, path)) {
                    return &name;
                }
            }
            return nullptr;
        };
        for (const auto& [from, to] : periods) {
            for (const TUsageBucket bucket : { TUsageBucket::Hour, TUsageBucket::Day }) {
                const std::string context = "round " + std::to_string(round) + " period " + from + ".." + to
                    + (bucket == TUsageBucket::Hour ? " by hour" : " by day");
                std::map<TKey, int64_t> expected;
                for (const auto& row : database.Rows(
                         "SELECT browser_url, origin, app_name, duration || '|' || date_created FROM applications "
                         "WHERE date_created BETWEEN "
                         + QuotedStr(from) + " AND " + QuotedStr(to)
                         + " AND typeof(duration) = 'integer' AND duration BETWEEN -2147483648 AND 2147483647")) {
                    const std::string date = row.Total.substr(row.Total.find('|') + 1);
                    std::string key = date.substr(0, 13);
                    if (bucket == TUsageBucket::Day) {
                        key = date.substr(11, 2) >= "04"
                            ? date.substr(0, 10)
                            : DateToDbText(EncodeDateTime(std::stoi(date.substr(0, 4)), std::stoi(date.substr(5, 2)),
                                               std::stoi(date.substr(8, 2)), 12)
                                - 1);
                    }
                    const int64_t seconds = std::stoll(row.Total);
                    if (row.Active == "1" && !row.NameIsNull) {
                        if (const std::string* name = applicationOf(row.Name)) {
                            expected[{ key, 1, *name }] += seconds;
                        }
                    } else if (row.Active == "2" && row.Caption != "<null>") {
                        const TActivityMatchResult match = sites.ActivityMatch("", row.Caption);
                        if (match.Index >= 0 && match.Origin == moSite) {
                            expected[{ key, 2, sites.Items(match.Index)->Name }] += seconds;
                        }
                    }
                }
                std::erase_if(expected, [](const auto& entry) { return entry.second == 0; });
                std::map<TKey, int64_t> split;
                for (const auto& row : UsageSplitRead(database.Handle(), from, to, bucket)) {
                    EXPECT_TRUE(split.emplace(TKey { row.Bucket, row.Origin, row.Name }, row.Seconds).second)
                        << context << " bucket " << row.Bucket << " name " << row.Name << " twice";
                    if (row.Origin == 1) {
                        EXPECT_EQ(applications[row.Name], row.Caption) << context << " name " << row.Name;
                    }
                }
                EXPECT_EQ(expected, split) << context;
            }
        }
        if (HasFailure()) {
            return;
        }
    }
}

TEST(PeriodQueries, RestructuredPurgeRemovesTheSameRowsAsTheLiteralOne)
{
    for (unsigned seed = 0; seed < 300; ++seed) {
        std::mt19937 first(seed);
        std::mt19937 second(seed);
        TMemoryDatabase fast;
        TMemoryDatabase literal;
        RandomContentMake(first, fast);
        RandomContentMake(second, literal);
        const TDateTime now = EncodeDateTime(2011, 4, 20 + int(seed % 3), 4 * int(seed % 5), 0, 0) + 90;
        fast.Run(ActivityPurgeOldSql(now));
        literal.Run(ActivityPurgeOldLiteralSql(now));
        ASSERT_EQ(fast.ActivityRows(), literal.ActivityRows()) << "seed " << seed;
        fast.Run(ActivityPurgeUnlistedSql());
        literal.Run(ActivityPurgeUnlistedLiteralSql());
        ASSERT_EQ(fast.ActivityRows(), literal.ActivityRows()) << "seed " << seed;
    }
}

TEST(PeriodQueries, TotalsFollowDeletesUpdatesAndThePurges)
{
    std::mt19937 random(4);
    for (int round = 0; round < 80; ++round) {
        TMemoryDatabase database;
        RandomContentMake(random, database);
        // Rows go and change as the purges, a clock set back or a hand edit make them.
        database.Run(ActivityPurgeOldSql(EncodeDateTime(2011, 4, 20, 0, 0, 0) + 90));
        database.Run(ActivityPurgeUnlistedSql());
        database.Run("DELETE FROM applications WHERE rowid % 3 = " + std::to_string(random() % 3));
        database.Run("UPDATE applications SET duration = duration - 7, date_created = '2011-04-21 04:00:00' "
                     "WHERE rowid % 5 = 0");
        database.Run("UPDATE applications SET duration = 1e30 WHERE rowid % 7 = 0");
        database.Run("INSERT INTO applications VALUES('2011-04-21 09:00:00', '/usr/bin/a', 'example.com', "
                     "'Desktop Application', -3, 1)");
        const std::string context = "round " + std::to_string(round);
        ExpectPeriodMatches(database, "2011-04-21 04:00:00", "2011-04-21 10:00:00", context + " today");
        ExpectPeriodMatches(database, "2011-01-21 04:00:00", "2011-04-21 10:00:00", context + " three months");
        // The totals kept up row by row equal totals made afresh from the rows.
        const auto days = TotalsText(database, "applications_days", "day");
        const auto hours = TotalsText(database, "applications_hours", "hour");
        database.Run(DatabaseSchemaSql(TDatabaseKind::Activity));
        EXPECT_EQ(days, TotalsText(database, "applications_days", "day")) << context;
        EXPECT_EQ(hours, TotalsText(database, "applications_hours", "hour")) << context;
        if (HasFailure()) {
            return;
        }
    }
}

class ActivityFile : public StorageTest
{
};

TEST_F(ActivityFile, PeriodBoundsAreIncludedAndListedEntriesWithoutRowsShowZero)
{
    ActivityDBExecSQL("INSERT INTO applications_list VALUES('/usr/bin/ed', 'Ed', 1), ('/usr/bin/vi', 'Vi', 1)");
    ActivityDBExecSQL("INSERT INTO websites_list VALUES('example.com', 'Example', 1)");
    const TDateTime from = EncodeDateTime(2011, 4, 21, 4, 0, 0);
    const TDateTime to = EncodeDateTime(2011, 4, 21, 10, 0, 0);
    ActivityDBExecSQL(ActivityInsertSql(DateTimeToDbText(from), "/usr/bin/ed", "", "Desktop Application", 3, 1));
    ActivityDBExecSQL(ActivityInsertSql(DateTimeToDbText(to), "/usr/bin/ed", "", "Desktop Application", 4, 1));
    ActivityDBExecSQL(ActivityInsertSql(DateTimeToDbText(from - kOneSecond), "/usr/bin/ed", "", "", 100, 1));
    // Charged to a site: not counted for the application with the same path.
    ActivityDBExecSQL(ActivityInsertSql(DateTimeToDbText(to), "/usr/bin/ed", "example.com", "Mozila FireFox", 5, 2));
    auto apps = ActivityDBGetTable(ApplicationsPeriodSql(from, to));
    std::map<std::string, int64_t> totals;
    for (apps->First(); !apps->AtEnd(); apps->Next()) {
        totals[apps->TextByName("name")] = apps->Int64At(apps->ColumnIndex("total_duration"));
    }
    EXPECT_EQ(totals["/usr/bin/ed"], 7);
    EXPECT_EQ(totals["/usr/bin/vi"], 0);
    auto sites = ActivityDBGetTable(WebSitesPeriodSql(from, to));
    ASSERT_TRUE(sites->First());
    EXPECT_EQ(sites->TextByName("caption"), "Example");
    EXPECT_EQ(sites->Int64At(sites->ColumnIndex("total_duration")), 5);
    EXPECT_EQ(sites->Int64At(sites->ColumnIndex("active")), 1);
}

TEST_F(ActivityFile, InsertQuotesTextsAndStoresAPathWithAnApostrophe)
{
    EXPECT_EQ(ActivityInsertSql("2011-04-21 10:00:00", "/home/o'brien/app", "", "Desktop Application", -2, 1),
        "INSERT INTO applications(date_created, app_name, browser_url, app_type, duration, origin) "
        "VALUES('2011-04-21 10:00:00', '/home/o''brien/app', '', 'Desktop Application', -2, 1)");
    ActivityDBExecSQL(ActivityInsertSql("2011-04-21 10:00:00", "/home/o'brien/app", "", "Desktop Application", -2, 1));
    auto rows = ActivityDBGetTable("SELECT app_name, duration FROM applications");
    ASSERT_TRUE(rows->First());
    EXPECT_EQ(rows->TextAt(0), "/home/o'brien/app");
    EXPECT_EQ(rows->Int64At(1), -2);
}

TEST_F(ActivityFile, TemplateFilesBesideTheProgramHaveTheSchema)
{
    const char* binDir = std::getenv("TALLYHOUR_BIN_DIR");
    if (!binDir) {
        binDir = TH_TEST_BIN_DIR;
    }
    const std::string file = std::string(binDir) + "/actmondb.sqlite";
    ASSERT_TRUE(std::filesystem::exists(file));
    TSQLiteDatabase database(file);
    auto names = database.RunQuery("SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name");
    EXPECT_EQ(names->RowCount(), 5);
    EXPECT_EQ(database.RunQuery("SELECT name FROM sqlite_master WHERE type = 'trigger'")->RowCount(), 3);
    EXPECT_EQ(database.RunQuery("SELECT * FROM applications")->RowCount(), 0);

    const std::string settingsFile = std::string(binDir) + "/settings.sqlite";
    ASSERT_TRUE(std::filesystem::exists(settingsFile));
    TSQLiteDatabase settings(settingsFile);
    auto tables = settings.RunQuery("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    std::string tableNames;
    for (tables->First(); !tables->AtEnd(); tables->Next()) {
        tableNames += tables->TextAt(0) + ";";
    }
    EXPECT_EQ(tableNames, "applications_list;reminders;settings;websites_list;");
    EXPECT_EQ(settings.RunQuery("SELECT * FROM settings")->RowCount(), 0);
}

TEST_F(ActivityFile, TotalsThatDisagreeWithTheRowsAreMadeAgainAtStart)
{
    ActivityDBExecSQL("INSERT INTO applications_list VALUES('/usr/bin/a', 'A', 1)");
    ActivityDBExecSQL(ActivityInsertSql("2011-04-21 05:00:00", "/usr/bin/a", "", "Desktop Application", 30, 1));
    ActivityDBExecSQL(ActivityInsertSql("2011-04-22 05:00:00", "/usr/bin/a", "", "Desktop Application", 12, 1));
    ActivityTotalsVerify();
    EXPECT_EQ(LogText().find("were made again"), std::string::npos) << LogText();
    // Totals lost or changed by a tool that knows nothing of them.
    ActivityDBExecSQL("DELETE FROM applications_days WHERE day = '2011-04-21'");
    ActivityDBExecSQL("UPDATE applications_hours SET rows = rows + 1");
    ActivityTotalsVerify();
    auto table = ActivityDBGetTable(ApplicationsPeriodSql("2011-04-20 00:00:00", "2011-04-23 00:00:00"));
    ASSERT_EQ(table->RowCount(), 1);
    EXPECT_EQ(table->Int64At(table->ColumnIndex("total_duration")), 42);
    EXPECT_NE(
        LogText().find("daily and hourly totals disagreed with its 2 rows; they were made again from the rows in"),
        std::string::npos)
        << LogText();
}

TEST_F(ActivityFile, TimesAnEarlierVersionStoredWithTheRegionsSeparatorAreMendedWhenTheFileOpens)
{
    // Under a Finnish regional format an earlier version wrote "19.59.28" beside "19:38:06", and
    // "19.59.28" sorts before every "19:" text of its hour.
    ActivityDBExecSQL("INSERT INTO applications_list VALUES('/usr/bin/a', 'A', 1)");
    const std::pair<const char*, int> rows[] = { { "2026-12-08 19:38:06", 5 }, { "2026-12-08 19.59.28", 7 },
        { "2026-12-08 19:54:43", 11 }, { "2026-12-08 20.01:02", 13 } };
    for (const auto& [time, seconds] : rows) {
        ActivityDBExecSQL(ActivityInsertSql(time, "/usr/bin/a", "", "Desktop Application", seconds, 1));
    }
    // The next start opens the file afresh.
    ActivityDatabaseClose();
    const auto total = [](const char* from, const char* to) {
        auto table = ActivityDBGetTable(ApplicationsPeriodSql(from, to));
        return table->First() ? table->Int64At(table->ColumnIndex("total_duration")) : -1;
    };
    EXPECT_EQ(total("2026-12-08 19:59:20", "2026-12-08 20:00:00"), 7);
    EXPECT_EQ(total("2026-12-08 19:50:00", "2026-12-08 19:59:00"), 11);
    EXPECT_EQ(total("2026-12-08 20:00:00", "2026-12-08 20:01:02"), 13);
    EXPECT_EQ(ActivityDBGetTable("SELECT COUNT(*) FROM applications WHERE date_created GLOB '*.*'")->Int64At(0), 0);
    EXPECT_EQ(ActivityTimeTextsMend(), 0);
    EXPECT_NE(LogText().find("2 activity rows had their time stored with another separator"), std::string::npos)
        << LogText();
}

TEST_F(ActivityFile, FileOfAnEarlierVersionGetsItsTotalsOnceAndLosesTheWideIndexes)
{
    const std::string file = DataLocations().ActivityDbFileName;
    {
        TSQLiteDatabase old(file);
        old.RunStatement("CREATE TABLE applications(date_created TEXT, app_name TEXT, browser_url TEXT, app_type TEXT, "
                         "duration INTEGER, origin INTEGER)");
        old.RunStatement(
            "CREATE INDEX applications_app_name ON applications(app_name, origin, date_created, duration)");
        old.RunStatement("CREATE TABLE applications_list(name TEXT, caption TEXT, active INTEGER)");
        old.RunStatement("CREATE TABLE websites_list(name TEXT, caption TEXT, active INTEGER)");
        old.RunStatement("INSERT INTO applications_list VALUES('/usr/bin/a', 'A', 1)");
        old.RunStatement("INSERT INTO applications VALUES('2011-04-21 05:00:00', '/usr/bin/a', '', '', 30, 1), "
                         "('2011-04-21 05:10:00', '/usr/bin/a', '', '', 2.5, 1), "
                         "('2011-04-20 05:00:00', '/usr/bin/a', '', '', 4, 1)");
    }
    auto table = ActivityDBGetTable(ApplicationsPeriodSql("2011-04-20 04:00:00", "2011-04-21 10:00:00"));
    ASSERT_EQ(table->RowCount(), 1);
    EXPECT_EQ(table->Int64At(table->ColumnIndex("total_duration")), 34);
    EXPECT_EQ(ActivityDBGetTable("SELECT * FROM sqlite_master WHERE name = 'applications_app_name'")->RowCount(), 0);
    EXPECT_EQ(ActivityDBGetTable("SELECT TOTAL(rows) FROM applications_hours")->Int64At(0), 3);
    EXPECT_NE(LogText().find("lacked tables, indexes or triggers; they were created ("), std::string::npos)
        << LogText();
}

TEST_F(ActivityFile, SharedConnectionWritesThroughTheLogAndFollowsTheFileAtItsName)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows puts no file in the place of one that is open";
#endif
    const std::string file = DataLocations().ActivityDbFileName;
    const auto rowCount = [&file] {
        TSQLiteDatabase other(file);
        return other.RunQuery("SELECT COUNT(*) FROM applications")->Int64At(0);
    };
    ActivityDBExecSQL(ActivityInsertSql("2011-04-21 09:00:00", "/usr/bin/a", "", "Desktop Application", 3, 1));
    {
        TSQLiteDatabase other(file);
        EXPECT_EQ(other.RunQuery("PRAGMA journal_mode")->TextAt(0), "wal");
    }
    EXPECT_TRUE(std::filesystem::exists(file + "-wal"));
    // Another reader sees each commit at once.
    EXPECT_EQ(rowCount(), 1);
    ActivityDBExecSQL(ActivityInsertSql("2011-04-21 09:00:05", "/usr/bin/a", "", "Desktop Application", 3, 1));
    EXPECT_EQ(rowCount(), 2);

    // A file put in its place (a restored copy): the next call works on that file, not the old one.
    const std::string other = DataLocations().DataFolder + "restored.sqlite";
    DatabaseSchemaEnsure(other, TDatabaseKind::Activity);
    {
        TSQLiteDatabase restored(other);
        restored.RunStatement(ActivityInsertSql("2011-04-20 09:00:00", "/usr/bin/r", "", "", 1, 1));
    }
    std::filesystem::rename(other, file);
    EXPECT_EQ(ActivityDBGetTable("SELECT app_name FROM applications")->TextAt(0), "/usr/bin/r");
    ActivityDBExecSQL(ActivityInsertSql("2011-04-21 09:00:10", "/usr/bin/a", "", "Desktop Application", 3, 1));
    EXPECT_EQ(rowCount(), 2);

    // A file removed: the next charge makes a new one with its tables instead of writing into the gone one.
    ActivityDatabaseClose();
    std::filesystem::remove(file);
    std::filesystem::remove(file + "-wal");
    std::filesystem::remove(file + "-shm");
    ActivityDBExecSQL(ActivityInsertSql("2011-04-21 09:00:15", "/usr/bin/a", "", "Desktop Application", 3, 1));
    EXPECT_EQ(rowCount(), 1);

    // At the end the log is folded into the file, which then holds every row alone.
    ActivityDatabaseClose();
    EXPECT_FALSE(std::filesystem::exists(file + "-wal"));
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(ActivityFile, LongRunOfChargesHasItsLogCopiedBackIntoTheFile)
{
    const std::string file = DataLocations().ActivityDbFileName;
    ActivityDBExecSQL("DELETE FROM applications");
    for (int i = 0; i < 800; ++i) {
        ActivityDBExecSQL(
            ActivityInsertSql("2011-04-21 09:" + std::to_string(10 + i / 60) + ":" + std::to_string(10 + i % 50),
                "/usr/bin/a", "", "Desktop Application", 3, 1));
    }
    // The rows soon reach the file itself, not only its log: a copy of the file alone holds them.
    const std::string copy = DataLocations().DataFolder + "copy.sqlite";
    int64_t inFile = 0;
    for (int wait = 0; wait < 200 && inFile < 400; ++wait) {
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
        try {
            TSQLiteDatabase alone(copy);
            inFile = alone.RunQuery("SELECT COUNT(*) FROM applications")->Int64At(0);
        } catch (const ESQLiteException&) {
            inFile = 0; // copied while a page was being written
        }
        if (inFile < 400) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    EXPECT_GE(inFile, 400);
    TSQLiteDatabase other(file);
    EXPECT_EQ(other.RunQuery("SELECT COUNT(*) FROM applications")->Int64At(0), 800);
}

TEST_F(ActivityFile, OtherConnectionsOfTheProgramLeaveTheSharedOneItsLog)
{
#ifdef _WIN32
    GTEST_SKIP() << "reads through the sqlite3 command in a POSIX shell";
#endif
    const std::string file = DataLocations().ActivityDbFileName;
    // Another program's count, read through the sqlite3 command.
    const auto countElsewhere = [&file] {
        FILE* pipe = popen(("sqlite3 '" + file + "' 'SELECT COUNT(*) FROM applications' 2>&1").c_str(), "r");
        char line[256] = {};
        const bool read = pipe && fgets(line, sizeof line, pipe) != nullptr;
        if (pipe) {
            pclose(pipe);
        }
        return read ? std::string(line) : std::string("nothing");
    };
    ActivityDBExecSQL(ActivityInsertSql("2011-04-21 09:00:00", "/usr/bin/a", "", "Desktop Application", 3, 1));
    // A connection of its own opened and closed beside the shared one, as the settings store's
    // list saves do, must not take the shared connection's locks with it: without them the
    // next program to close the file would think itself the last and remove the log under it.
    {
        TSQLiteDatabase own(file);
        own.RunQuery("SELECT COUNT(*) FROM applications");
    }
    EXPECT_EQ(countElsewhere(), "1\n");
    ActivityDBExecSQL(ActivityInsertSql("2011-04-21 09:00:05", "/usr/bin/a", "", "Desktop Application", 3, 1));
    EXPECT_EQ(countElsewhere(), "2\n");
    EXPECT_TRUE(std::filesystem::exists(file + "-wal"));
}
