#include "storage/DatabaseSchema.h"

#include "model/PrivateFiles.h"
#include "model/ProgramClock.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/SQLiteDatabase.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

namespace {

std::set<std::string>& EnsuredFiles()
{
    static std::set<std::string> files;
    return files;
}

// The names present in the file; raises with code 26 when the file is not a database.
std::set<std::string> PresentObjectNames(TSQLiteDatabase& database)
{
    std::set<std::string> names;
    auto table = database.RunQuery("SELECT name FROM sqlite_master WHERE type IN ('table', 'index')");
    for (table->First(); !table->AtEnd(); table->Next()) {
        names.insert(table->TextAt(0));
    }
    return names;
}

// The names of the tables and indexes a schema makes, read from a scratch in-memory database.
const std::set<std::string>& SchemaObjectNames(TDatabaseKind kind)
{
    static std::set<std::string> names[2];
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

// Moves a file that is no database out of the way, with its journal, keeping it for the user.
void DamagedFileMoveAside(const std::string& fileName)
{
    const std::string target = FileAsideNameMake(fileName, "damaged");
    std::error_code error;
    std::filesystem::rename(fileName, target, error);
    if (error) {
        throw ESQLiteException(Format("Database \"%s\" is not a database and could not be moved to \"%s\": %s",
            fileName.c_str(), target.c_str(), error.message().c_str()));
    }
    PrivateModeSet(target);
    for (const char* suffix : { "-journal", "-wal", "-shm" }) {
        std::filesystem::rename(fileName + suffix, target + suffix, error);
        PrivateModeSet(target + suffix);
    }
    LogMessageWrite(Format("Database \"%s\" was not a database; it was moved to \"%s\" and a new one was made",
        fileName.c_str(), target.c_str()));
}

} // namespace

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
    bool notADatabase = false;
    {
        TSQLiteDatabase database(fileName);
        std::set<std::string> present;
        try {
            present = PresentObjectNames(database);
        } catch (const ESQLiteException&) {
            if (SQLiteErrorCode(database.Handle()) != SQLITE_NOTADB) {
                throw;
            }
            notADatabase = true;
        }
        bool complete = !notADatabase;
        for (const auto& name : wanted) {
            complete = complete && present.count(name) > 0;
        }
        if (complete) {
            EnsuredFiles().insert(fileName);
            return;
        }
    }
    if (notADatabase) {
        DamagedFileMoveAside(fileName);
    }
    TSQLiteDatabase database(fileName);
    database.TransactionBegin();
    if (sqlite3_exec(database.Handle(), DatabaseSchemaSql(kind).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        database.RaiseError("Error executing SQL", DatabaseSchemaSql(kind));
    }
    database.TransactionCommit();
    LogMessageWrite(Format("Database \"%s\" lacked tables or indexes; they were created", fileName.c_str()));
    EnsuredFiles().insert(fileName);
}

void DatabaseSchemaRecheck(const std::string& fileName)
{
    EnsuredFiles().erase(fileName);
}
