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

// Copies the rows of `table` that still read from `source` into `target`, each under its own
// rowid. First through SQLite, which also reads the commits still in the write-ahead log: forward
// by rowid until the first page that fails, then backward from the end to meet it. Then the rows
// on the pages SQLite could not reach that way (a damaged first or interior page, a file cut
// short), read from `pageRows`.
int TableRowsSalvage(sqlite3* source, sqlite3* target, const std::string& table, const TPageTableRows& pageRows)
{
    std::vector<std::string> columns;
    {
        sqlite3_stmt* info = nullptr;
        if (sqlite3_prepare_v2(target, ("PRAGMA table_info(" + table + ")").c_str(), -1, &info, nullptr) == SQLITE_OK) {
            while (sqlite3_step(info) == SQLITE_ROW) {
                columns.push_back(reinterpret_cast<const char*>(sqlite3_column_text(info, 1)));
            }
        }
        sqlite3_finalize(info);
    }
    if (columns.empty()) {
        return 0;
    }
    std::string list;
    std::string marks = "?";
    for (const auto& column : columns) {
        list += (list.empty() ? "" : ", ") + column;
        marks += ", ?";
    }
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(target, ("INSERT INTO " + table + "(rowid, " + list + ") VALUES(" + marks + ")").c_str(), -1,
            &insert, nullptr)
        != SQLITE_OK) {
        return 0;
    }
    std::set<sqlite3_int64> copied;
    for (const char* order : { "ASC", "DESC" }) {
        sqlite3_stmt* read = nullptr;
        const std::string sql = "SELECT rowid, " + list + " FROM " + table + " ORDER BY rowid " + order;
        if (!source || sqlite3_prepare_v2(source, sql.c_str(), -1, &read, nullptr) != SQLITE_OK) {
            sqlite3_finalize(read);
            break;
        }
        while (sqlite3_step(read) == SQLITE_ROW) {
            if (!copied.insert(sqlite3_column_int64(read, 0)).second) {
                break; // met the rows read from the other end
            }
            for (int i = 0; i <= int(columns.size()); ++i) {
                sqlite3_bind_value(insert, i + 1, sqlite3_column_value(read, i));
            }
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(read);
    }
    for (const auto& [rowid, values] : pageRows) {
        if (values.size() > columns.size() || !copied.insert(rowid).second) {
            continue;
        }
        sqlite3_bind_int64(insert, 1, rowid);
        for (size_t i = 0; i < columns.size(); ++i) {
            // A row stored before a column was added lacks it: the column's default is NULL.
            ValueBind(insert, int(i) + 2, i < values.size() ? values[i] : TPageValue {});
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    return int(copied.size());
}

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
    const auto pageRows = DatabasePageRowsRead(target, std::set<std::string>(tables.begin(), tables.end()),
        [kind](const std::vector<TPageValue>& values) { return RowShapeTable(kind, values); });
    std::string carried;
    int total = 0;
    int listRows = 0;
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
        for (const auto& table : tables) {
            const auto found = pageRows.find(table);
            const int rows = TableRowsSalvage(
                source, fresh.Handle(), table, found != pageRows.end() ? found->second : TPageTableRows {});
            total += rows;
            listRows += table.ends_with("_list") ? rows : 0;
            carried += (carried.empty() ? "" : ", ") + table + " " + std::to_string(rows);
        }
        fresh.TransactionCommit();
        sqlite3_close(source);
    }
    TDatabaseRenewal& renewal = Renewals()[fileName];
    renewal.Recovered = true;
    renewal.AsideName = target;
    renewal.RowsKept = total;
    renewal.ListRowsKept = listRows;
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
