#include "storage/DatabaseSchema.h"

#include "model/PrivateFiles.h"
#include "model/ProgramClock.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/UserNotices.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/DatabasePages.h"
#include "storage/SQLiteDatabase.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>
#include <vector>

namespace {

// Never destroyed: the settings store may save from the program's exit destructors, in
// whatever order they run.
std::set<std::string>& EnsuredFiles()
{
    static auto& files = *new std::set<std::string>;
    return files;
}

std::map<std::string, TDatabaseRenewal>& Renewals()
{
    static auto& renewals = *new std::map<std::string, TDatabaseRenewal>; // as EnsuredFiles
    return renewals;
}

// The names present in the file; raises with code 26 when the file is not a database.
std::set<std::string> PresentObjectNames(TSQLiteDatabase& database)
{
    std::set<std::string> names;
    auto table = database.RunQuery("SELECT name FROM sqlite_master WHERE type IN ('table', 'index', 'trigger')");
    for (table->First(); !table->AtEnd(); table->Next()) {
        names.insert(table->TextAt(0));
    }
    return names;
}

// The names of the tables and indexes a schema makes, read from a scratch in-memory database.
const std::set<std::string>& SchemaObjectNames(TDatabaseKind kind)
{
    static auto* const names = new std::set<std::string>[2]; // never destroyed, as EnsuredFiles
    std::set<std::string>& result = names[kind == TDatabaseKind::Settings ? 0 : 1];
    if (result.empty()) {
        TSQLiteDatabase scratch(":memory:");
        if (sqlite3_exec(scratch.Handle(), DatabaseSchemaSql(kind).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            scratch.RaiseError("Error executing SQL", "schema");
        }
        result = PresentObjectNames(scratch);
    }
    return result;
}

void ValueBind(sqlite3_stmt* insert, int index, const TPageValue& value)
{
    switch (value.Type) {
    case SQLITE_INTEGER:
        sqlite3_bind_int64(insert, index, value.Integer);
        break;
    case SQLITE_FLOAT:
        sqlite3_bind_double(insert, index, value.Real);
        break;
    case SQLITE_TEXT:
        sqlite3_bind_text(insert, index, value.Bytes.data(), int(value.Bytes.size()), SQLITE_TRANSIENT);
        break;
    case SQLITE_BLOB:
        sqlite3_bind_blob(insert, index, value.Bytes.data(), int(value.Bytes.size()), SQLITE_TRANSIENT);
        break;
    default:
        sqlite3_bind_null(insert, index);
    }
}

// Copies the rows of one table that still read from a damaged file into the fresh one, each under
// its own rowid and each once. First through SQLite (SqlRowsCopy), which also reads the commits
// still in the write-ahead log: forward by rowid until the first page that fails, then backward
// from the end to meet it. Then the rows on the pages SQLite could not reach that way (a damaged
// first or interior page, a file cut short), read page by page (PageRowCopy).
class TTableSalvage
{
public:
    TTableSalvage(sqlite3* target, const std::string& table)
        : m_table(table)
    {
        sqlite3_stmt* info = nullptr;
        if (sqlite3_prepare_v2(target, ("PRAGMA table_info(" + table + ")").c_str(), -1, &info, nullptr) == SQLITE_OK) {
            while (sqlite3_step(info) == SQLITE_ROW) {
                m_columns.push_back(reinterpret_cast<const char*>(sqlite3_column_text(info, 1)));
            }
        }
        sqlite3_finalize(info);
        std::string marks = "?";
        for (const auto& column : m_columns) {
            m_list += (m_list.empty() ? "" : ", ") + column;
            marks += ", ?";
        }
        if (!m_columns.empty()) {
            sqlite3_prepare_v2(target,
                ("INSERT INTO " + table + "(rowid, " + m_list + ") VALUES(" + marks + ")").c_str(), -1, &m_insert,
                nullptr);
        }
    }
    ~TTableSalvage()
    {
        sqlite3_finalize(m_insert);
    }
    TTableSalvage(const TTableSalvage&) = delete;
    TTableSalvage& operator=(const TTableSalvage&) = delete;

    void SqlRowsCopy(sqlite3* source)
    {
        if (!m_insert || !source) {
            return;
        }
        std::set<sqlite3_int64> walked;
        for (const char* order : { "ASC", "DESC" }) {
            sqlite3_stmt* read = nullptr;
            const std::string sql = "SELECT rowid, " + m_list + " FROM " + m_table + " ORDER BY rowid " + order;
            if (sqlite3_prepare_v2(source, sql.c_str(), -1, &read, nullptr) != SQLITE_OK) {
                sqlite3_finalize(read);
                break;
            }
            while (sqlite3_step(read) == SQLITE_ROW) {
                const sqlite3_int64 rowid = sqlite3_column_int64(read, 0);
                if (!walked.insert(rowid).second) {
                    break; // met the rows read from the other end
                }
                m_copied.insert(rowid);
                for (int i = 0; i <= int(m_columns.size()); ++i) {
                    sqlite3_bind_value(m_insert, i + 1, sqlite3_column_value(read, i));
                }
                sqlite3_step(m_insert);
                sqlite3_reset(m_insert);
            }
            sqlite3_finalize(read);
        }
    }

    void PageRowCopy(int64_t rowid, const std::vector<TPageValue>& values)
    {
        if (!m_insert || values.size() > m_columns.size() || !m_copied.insert(rowid).second) {
            return;
        }
        sqlite3_bind_int64(m_insert, 1, rowid);
        for (size_t i = 0; i < m_columns.size(); ++i) {
            // A row stored before a column was added lacks it: the column's default is NULL.
            ValueBind(m_insert, int(i) + 2, i < values.size() ? values[i] : TPageValue {});
        }
        sqlite3_step(m_insert);
        sqlite3_reset(m_insert);
    }

    int Count() const
    {
        return int(m_copied.size());
    }

private:
    std::string m_table;
    std::vector<std::string> m_columns;
    std::string m_list;
    sqlite3_stmt* m_insert = nullptr;
    std::set<sqlite3_int64> m_copied;
};

bool TextOrNull(const TPageValue& value)
{
    return value.Type == SQLITE_TEXT || value.Type == SQLITE_NULL;
}

bool IntegerOrNull(const TPageValue& value)
{
    return value.Type == SQLITE_INTEGER || value.Type == SQLITE_NULL;
}

// The table of ours a row found on a page that no readable schema places belongs to, told by the
// number and kinds of its values; empty for rows of the totals tables or of none of ours.
std::string RowShapeTable(TDatabaseKind kind, const std::vector<TPageValue>& values)
{
    if (values.size() == 3 && TextOrNull(values[0]) && TextOrNull(values[1]) && IntegerOrNull(values[2])) {
        // The two list tables look alike: an application is named by its absolute path.
        return values[0].Bytes.starts_with("/") ? "applications_list" : "websites_list";
    }
    if (kind == TDatabaseKind::Activity) {
        // The totals tables have six values too, but an integer (the origin) fourth.
        const bool charge = values.size() == 6 && TextOrNull(values[0]) && TextOrNull(values[1])
            && TextOrNull(values[2]) && TextOrNull(values[3]) && IntegerOrNull(values[5]);
        return charge ? "applications" : "";
    }
    if (values.size() == 2 && TextOrNull(values[0]) && TextOrNull(values[1])) {
        const std::string& part = values[1].Bytes;
        return part == "morning" || part == "afternoon" || part == "evening" ? "reminders" : "settings";
    }
    return "";
}

} // namespace

void DatabaseDamagedRecover(const std::string& fileName, TDatabaseKind kind, int code)
{
    DatabaseSchemaRecheck(fileName);
    const std::string target = FileAsideNameMake(fileName, "damaged");
    std::error_code error;
    std::filesystem::rename(fileName, target, error);
    if (error) {
        throw ESQLiteException(Format("Database \"%s\" is damaged and could not be moved to \"%s\": %s",
                                   fileName.c_str(), target.c_str(), error.message().c_str()),
            code);
    }
    PrivateModeSet(target);
    for (const char* suffix : { "-journal", "-wal", "-shm" }) {
        std::filesystem::rename(fileName + suffix, target + suffix, error);
        PrivateModeSet(target + suffix);
    }
    DatabaseSchemaEnsure(fileName, kind);
    // What still reads is carried over; the damaged file stays beside it for the user.
    const std::vector<std::string> tables = kind == TDatabaseKind::Settings
        ? std::vector<std::string> { "settings", "reminders", "applications_list", "websites_list" }
        : std::vector<std::string> { "applications", "applications_list", "websites_list" };
    std::string carried;
    int total = 0;
    {
        TSQLiteDatabase fresh(fileName);
        sqlite3* source = nullptr;
        if (sqlite3_open_v2(
                ("file:" + target + "?mode=ro").c_str(), &source, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr)
            == SQLITE_OK) {
            // A file cut short claims more pages than it has; SQLite refuses such a file unless the
            // schema is open for repair, which reads what is there and changes nothing here.
            sqlite3_exec(source, "PRAGMA writable_schema=ON", nullptr, nullptr, nullptr);
        } else {
            sqlite3_close(source);
            source = nullptr;
        }
        fresh.TransactionBegin();
        std::map<std::string, std::unique_ptr<TTableSalvage>> salvages;
        for (const auto& table : tables) {
            auto& salvage = salvages[table] = std::make_unique<TTableSalvage>(fresh.Handle(), table);
            salvage->SqlRowsCopy(source);
        }
        sqlite3_close(source);
        DatabasePageRowsRead(
            target, std::set<std::string>(tables.begin(), tables.end()),
            [kind](const std::vector<TPageValue>& values) { return RowShapeTable(kind, values); },
            [&salvages](const std::string& table, int64_t rowid, const std::vector<TPageValue>& values) {
                salvages[table]->PageRowCopy(rowid, values);
            });
        for (const auto& table : tables) {
            const int rows = salvages[table]->Count();
            total += rows;
            carried += (carried.empty() ? "" : ", ") + table + " " + std::to_string(rows);
        }
        salvages.clear(); // the statements end before the commit
        fresh.TransactionCommit();
    }
    Renewals()[fileName].Recovered = true;
    LogMessageWrite(Format("Database \"%s\" %s; it was moved to \"%s\" and a new one was made, with %d rows "
                           "that could still be read (%s)",
        fileName.c_str(),
        (code & 0xFF) == SQLITE_NOTADB ? "was not a database"
                                       : ("was damaged (" + SQLiteErrorText(code & 0xFF) + ")").c_str(),
        target.c_str(), total, carried.c_str()));
    UserNoticePost(Format("The file \"%s\" was damaged. It was set aside as \"%s\", and a new one was made "
                          "with the %d rows that could still be read from it.",
        fileName.c_str(), target.c_str(), total));
}

std::optional<TDatabaseRenewal> DatabaseRenewalTake(const std::string& fileName)
{
    const auto found = Renewals().find(fileName);
    if (found == Renewals().end()) {
        return std::nullopt;
    }
    TDatabaseRenewal renewal = found->second;
    Renewals().erase(found);
    return renewal;
}

std::string FileAsideNameMake(const std::string& fileName, const std::string& purpose)
{
    const TDateParts now = DecodeDateTime(ProgramNow());
    const std::string stamp
        = Format("%04d-%02d-%02d_%02d-%02d-%02d", now.Year, now.Month, now.Day, now.Hour, now.Minute, now.Second);
    std::string candidate = fileName + "." + stamp + "." + purpose;
    for (int n = 2; std::filesystem::exists(candidate); ++n) {
        candidate = fileName + "." + stamp + "-" + std::to_string(n) + "." + purpose;
    }
    return candidate;
}

void DatabaseSchemaEnsure(const std::string& fileName, TDatabaseKind kind)
{
    if (EnsuredFiles().count(fileName)) {
        return;
    }
    const std::set<std::string>& wanted = SchemaObjectNames(kind);
    int damage = 0;
    bool listTablesAbsent = false;
    {
        TSQLiteDatabase database(fileName);
        std::set<std::string> present;
        try {
            present = PresentObjectNames(database);
        } catch (const ESQLiteException& error) {
            if (!SQLiteCodeIsDamage(error.Code())) {
                throw;
            }
            damage = error.Code();
        }
        bool complete = damage == 0;
        for (const auto& name : wanted) {
            complete = complete && present.count(name) > 0;
        }
        if (complete) {
            EnsuredFiles().insert(fileName);
            return;
        }
        listTablesAbsent = !present.count("applications_list") || !present.count("websites_list");
    }
    if (damage != 0) {
        DatabaseDamagedRecover(fileName, kind, damage); // makes the fresh file with its schema
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    TSQLiteDatabase database(fileName);
    database.TransactionBegin();
    if (sqlite3_exec(database.Handle(), DatabaseSchemaSql(kind).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        database.RaiseError("Error executing SQL", DatabaseSchemaSql(kind));
    }
    database.TransactionCommit();
    if (listTablesAbsent) {
        Renewals()[fileName]; // a list made now is no list the user kept
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    LogMessageWrite(Format("Database \"%s\" lacked tables, indexes or triggers; they were created (%lld ms)",
        fileName.c_str(), static_cast<long long>(took.count())));
    EnsuredFiles().insert(fileName);
}

void DatabaseSchemaRecheck(const std::string& fileName)
{
    EnsuredFiles().erase(fileName);
}
