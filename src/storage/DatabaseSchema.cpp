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
#include <cstring>
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
    // `newRowids`: the rows are added under rowids of the target's own, beside rows it holds.
    TTableSalvage(sqlite3* target, const std::string& table, bool newRowids)
        : m_table(table)
        , m_newRowids(newRowids)
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
                for (int i = 0; i <= int(m_columns.size()); ++i) {
                    sqlite3_bind_value(m_insert, i + 1, sqlite3_column_value(read, i));
                }
                RowInsert(rowid);
            }
            sqlite3_finalize(read);
        }
    }

    void PageRowCopy(int64_t rowid, const std::vector<TPageValue>& values)
    {
        if (!m_insert || values.size() > m_columns.size() || !m_copied.insert(rowid).second) {
            return;
        }
        m_copied.erase(rowid); // counted once inserted
        for (size_t i = 0; i < m_columns.size(); ++i) {
            // A row stored before a column was added lacks it: the column's default is NULL.
            ValueBind(m_insert, int(i) + 2, i < values.size() ? values[i] : TPageValue {});
        }
        RowInsert(rowid);
    }

    int Count() const
    {
        return int(m_copied.size());
    }

private:
    // A failed insert (a full disk) is raised: the caller's commit must not pass for a whole copy.
    void RowInsert(sqlite3_int64 rowid)
    {
        if (m_newRowids) {
            sqlite3_bind_null(m_insert, 1);
        } else {
            sqlite3_bind_int64(m_insert, 1, rowid);
        }
        const int result = sqlite3_step(m_insert);
        sqlite3_reset(m_insert);
        const int primary = result & 0xFF;
        if (primary == SQLITE_CONSTRAINT || primary == SQLITE_MISMATCH || primary == SQLITE_TOOBIG) {
            return; // this row only: one the table refuses
        }
        if (result != SQLITE_DONE) {
            throw ESQLiteException(
                Format("Error copying a row into %s: %s", m_table.c_str(), sqlite3_errmsg(sqlite3_db_handle(m_insert))),
                result);
        }
        m_copied.insert(rowid);
    }

    std::string m_table;
    std::vector<std::string> m_columns;
    std::string m_list;
    bool m_newRowids = false;
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

namespace {

std::vector<std::string> SalvagedTables(TDatabaseKind kind)
{
    return kind == TDatabaseKind::Settings
        ? std::vector<std::string> { "settings", "reminders", "applications_list", "websites_list" }
        : std::vector<std::string> { "applications", "applications_list", "websites_list" };
}

// Copies every row of the tables that still reads in the damaged file `source` into `target`,
// inside the target's open transaction; `carried` gets the count per table. Into a fresh file the
// rows keep their rowids. Into a file the program has written since (`live`), the history is
// added beside its rows and a list or settings table is filled only when it is empty: what the
// program wrote meanwhile is the newer. Raises when a row cannot be written (a full disk).
int RowsCarry(TSQLiteDatabase& target, const std::string& source, TDatabaseKind kind, bool live, std::string& carried)
{
    std::vector<std::string> tables;
    for (const auto& table : SalvagedTables(kind)) {
        if (!live || table == "applications"
            || target.RunQuery("SELECT COUNT(*) FROM (SELECT 1 FROM " + table + " LIMIT 1)")->Int64At(0) == 0) {
            tables.push_back(table);
        }
    }
    sqlite3* reader = nullptr;
    if (sqlite3_open_v2(
            ("file:" + source + "?mode=ro").c_str(), &reader, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr)
        == SQLITE_OK) {
        // A file cut short claims more pages than it has; SQLite refuses such a file unless the
        // schema is open for repair, which reads what is there and changes nothing here.
        sqlite3_exec(reader, "PRAGMA writable_schema=ON", nullptr, nullptr, nullptr);
    } else {
        sqlite3_close(reader);
        reader = nullptr;
    }
    std::map<std::string, std::unique_ptr<TTableSalvage>> salvages;
    try {
        for (const auto& table : tables) {
            auto& salvage = salvages[table] = std::make_unique<TTableSalvage>(target.Handle(), table, live);
            salvage->SqlRowsCopy(reader);
        }
    } catch (...) {
        sqlite3_close(reader);
        throw;
    }
    sqlite3_close(reader);
    try {
        DatabasePageRowsRead(
            source, std::set<std::string>(tables.begin(), tables.end()),
            [kind](const std::vector<TPageValue>& values) { return RowShapeTable(kind, values); },
            [&salvages](const std::string& table, int64_t rowid, const std::vector<TPageValue>& values) {
                salvages[table]->PageRowCopy(rowid, values);
            });
    } catch (const ESQLiteException&) {
        throw; // a row that could not be written
    } catch (const std::exception& error) {
        // The pages SQLite read stay carried; the reader's failure costs only the rest.
        LogMessageWrite(Format("Reading the pages of \"%s\" stopped: %s", source.c_str(), error.what()));
    }
    int total = 0;
    for (const auto& table : tables) {
        const int rows = salvages[table]->Count();
        total += rows;
        carried += (carried.empty() ? "" : ", ") + table + " " + std::to_string(rows);
    }
    return total;
}

// Moves a database file with its journals; false (and nothing moved) when the file cannot be.
bool DatabaseFileMove(const std::string& from, const std::string& to, std::error_code& error)
{
    std::filesystem::rename(from, to, error);
    if (error) {
        return false;
    }
    PrivateModeSet(to);
    for (const char* suffix : { "-journal", "-wal", "-shm" }) {
        std::error_code ignored;
        std::filesystem::rename(from + suffix, to + suffix, ignored);
        PrivateModeSet(to + suffix);
    }
    return true;
}

void DatabaseFileRemove(const std::string& fileName)
{
    std::error_code ignored;
    for (const char* suffix : { "", "-journal", "-wal", "-shm" }) {
        std::filesystem::remove(fileName + suffix, ignored);
    }
}

constexpr const char* kUncarried = ".uncarried";

// The files set aside whose rows are still to be carried over that this run has tried already:
// once a run, so a disk that stays full does not have them read again at every charge.
std::set<std::string>& UncarriedTried()
{
    static auto& tried = *new std::set<std::string>; // as EnsuredFiles
    return tried;
}

// Carries the rows of the files set aside beside `fileName` whose recovery could not write them
// (DatabaseDamagedRecover on a full disk) into the file, and renames each carried one as an
// ordinary damaged file kept for the user.
void UncarriedFilesCarry(const std::string& fileName, TDatabaseKind kind)
{
    const std::filesystem::path path(fileName);
    const std::string prefix = path.filename().string() + ".";
    std::error_code error;
    std::vector<std::string> waiting;
    for (std::filesystem::directory_iterator
             entry(path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path(), error),
         last;
         !error && entry != last; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(kUncarried)
            && UncarriedTried().insert(entry->path().string()).second) {
            waiting.push_back(entry->path().string());
        }
    }
    for (const std::string& aside : waiting) {
        std::string carried;
        int total = 0;
        try {
            TSQLiteDatabase database(fileName);
            database.TransactionBegin();
            total = RowsCarry(database, aside, kind, true, carried);
            database.TransactionCommit();
        } catch (const std::exception& failure) {
            LogMessageWrite(Format("The rows of \"%s\" could not be carried over into \"%s\": %s; the next start "
                                   "tries again",
                aside.c_str(), fileName.c_str(), failure.what()));
            UserNoticePost(Format("The rows kept in \"%s\" could still not be carried over into \"%s\" (%s). "
                                  "The program tries again at its next start.",
                aside.c_str(), fileName.c_str(), failure.what()));
            continue;
        }
        const std::string kept = aside.substr(0, aside.size() - std::strlen(kUncarried)) + ".damaged";
        std::error_code moved;
        DatabaseFileMove(aside, kept, moved);
        LogMessageWrite(Format("The %d rows that still read in \"%s\" were carried over into \"%s\" (%s)", total,
            aside.c_str(), fileName.c_str(), carried.c_str()));
        UserNoticePost(Format("The %d rows that could still be read from the damaged file \"%s\" were carried "
                              "over into \"%s\".",
            total, (moved ? aside : kept).c_str(), fileName.c_str()));
    }
}

} // namespace

void DatabaseDamagedRecover(const std::string& fileName, TDatabaseKind kind, int code)
{
    DatabaseSchemaRecheck(fileName);
    const std::string what = (code & 0xFF) == SQLITE_NOTADB ? std::string("was not a database")
                                                            : "was damaged (" + SQLiteErrorText(code & 0xFF) + ")";
    // The new file is made whole beside the damaged one and takes its place only once its rows
    // are committed: a recovery that fails half-way (a full disk) costs nothing.
    const std::string fresh = fileName + ".recovering";
    DatabaseFileRemove(fresh);
    std::string carried;
    int total = 0;
    try {
        TSQLiteDatabase database(fresh);
        database.TransactionBegin();
        if (sqlite3_exec(database.Handle(), DatabaseSchemaSql(kind).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            database.RaiseError("Error executing SQL", "schema");
        }
        total = RowsCarry(database, fileName, kind, false, carried);
        database.TransactionCommit();
    } catch (const std::exception& error) {
        DatabaseFileRemove(fresh);
        // The program goes on with an empty file; the damaged one is set aside under a name that
        // says its rows wait, and they are carried over at the next start.
        const std::string aside = FileAsideNameMake(fileName, kUncarried + 1);
        std::error_code moved;
        if (!DatabaseFileMove(fileName, aside, moved)) {
            throw ESQLiteException(Format("Database \"%s\" is damaged and could not be moved to \"%s\": %s",
                                       fileName.c_str(), aside.c_str(), moved.message().c_str()),
                code);
        }
        UncarriedTried().insert(aside);
        Renewals()[fileName].Recovered = true;
        LogMessageWrite(Format("Database \"%s\" %s; it was moved to \"%s\" and a new one was made, but its rows "
                               "could not be carried over now: %s; the next start carries them",
            fileName.c_str(), what.c_str(), aside.c_str(), error.what()));
        UserNoticePost(Format("The file \"%s\" was damaged. It was set aside as \"%s\", and a new one was made, "
                              "but what could still be read from it could not be carried over now (%s). The "
                              "program carries it over at its next start.",
            fileName.c_str(), aside.c_str(), error.what()));
        DatabaseSchemaEnsure(fileName, kind);
        return;
    }
    const std::string target = FileAsideNameMake(fileName, "damaged");
    std::error_code error;
    if (!DatabaseFileMove(fileName, target, error)) {
        DatabaseFileRemove(fresh);
        throw ESQLiteException(Format("Database \"%s\" is damaged and could not be moved to \"%s\": %s",
                                   fileName.c_str(), target.c_str(), error.message().c_str()),
            code);
    }
    if (!DatabaseFileMove(fresh, fileName, error)) {
        std::error_code back;
        DatabaseFileMove(target, fileName, back);
        DatabaseFileRemove(fresh);
        throw ESQLiteException(Format("Database \"%s\" is damaged and its recovered copy could not take its place: %s",
                                   fileName.c_str(), error.message().c_str()),
            code);
    }
    Renewals()[fileName].Recovered = true;
    LogMessageWrite(Format("Database \"%s\" %s; it was moved to \"%s\" and a new one was made, with %d rows "
                           "that could still be read (%s)",
        fileName.c_str(), what.c_str(), target.c_str(), total, carried.c_str()));
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

namespace {

void SchemaMake(const std::string& fileName, TDatabaseKind kind);

} // namespace

void DatabaseSchemaEnsure(const std::string& fileName, TDatabaseKind kind)
{
    if (EnsuredFiles().count(fileName)) {
        return;
    }
    // A recovery stopped between setting the damaged file aside and putting its committed copy
    // in its place: the copy takes it now.
    std::error_code error;
    if (!std::filesystem::exists(fileName, error) && std::filesystem::exists(fileName + ".recovering", error)) {
        DatabaseFileMove(fileName + ".recovering", fileName, error);
    }
    SchemaMake(fileName, kind);
    if (EnsuredFiles().count(fileName)) {
        UncarriedFilesCarry(fileName, kind);
    }
}

namespace {

void SchemaMake(const std::string& fileName, TDatabaseKind kind)
{
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

} // namespace

void DatabaseSchemaRecheck(const std::string& fileName)
{
    EnsuredFiles().erase(fileName);
}
