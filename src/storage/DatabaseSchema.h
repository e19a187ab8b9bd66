#pragma once

#include "storage/SQLiteDatabase.h"

#include <optional>
#include <string>

// The two databases of the program and the SQL of their tables and indexes. The same text
// builds the installation's template files and gives tables to a database found without them.
enum class TDatabaseKind
{
    Settings,
    Activity,
};

const std::string& DatabaseSchemaSql(TDatabaseKind kind);

// Makes sure the database at `fileName` has every table and index of its schema, once per file
// and run. A file that is damaged or no database is recovered (DatabaseDamagedRecover), so the
// program keeps working and nothing is lost; rows of a damaged file an earlier recovery could not
// carry over are carried then (once a run). Other failures (a locked file) are raised as
// ESQLiteException; the next call tries again.
void DatabaseSchemaEnsure(const std::string& fileName, TDatabaseKind kind);
// Makes the next DatabaseSchemaEnsure of `fileName` check again (after a failed statement).
void DatabaseSchemaRecheck(const std::string& fileName);

// For a file that SQLite found "malformed" (11) or not a database (26), `code`: makes a new
// database with the schema beside it, carries over every row of its tables that still reads, and
// once that is committed renames the damaged file to "<name>.<yyyy-mm-dd_hh-nn-ss>.damaged" with
// its journal and puts the new one in its place. When the rows cannot be written (a full disk),
// the damaged file is set aside as "<name>.<stamp>.uncarried" and an empty database takes its
// place; the next start's DatabaseSchemaEnsure carries those rows over. Logged and told to the
// user either way.
void DatabaseDamagedRecover(const std::string& fileName, TDatabaseKind kind, int code);

// What became of a database file in this run that its content cannot be trusted as the user's:
// its list tables were made afresh (a new, empty or replaced file), or it was damaged and set
// aside with what still read carried over.
struct TDatabaseRenewal
{
    bool Recovered = false; // damaged, rather than new
};
// Takes what happened to `fileName` since the last call; none when nothing did.
std::optional<TDatabaseRenewal> DatabaseRenewalTake(const std::string& fileName);

// Runs `action` (which opens `fileName` itself); when it fails because the file is damaged, the
// file is recovered and `action` runs once more on the fresh one.
template <typename TAction>
auto DatabaseRunRecovering(const std::string& fileName, TDatabaseKind kind, TAction action) -> decltype(action())
{
    try {
        return action();
    } catch (const ESQLiteException& error) {
        if (!SQLiteCodeIsDamage(error.Code())) {
            throw;
        }
        DatabaseDamagedRecover(fileName, kind, error.Code());
    }
    return action();
}

// A name beside `fileName` under which a file the program would otherwise lose is kept:
// "<name>.<yyyy-mm-dd_hh-nn-ss>.<purpose>", with "-2", "-3"... after the stamp while that name
// is taken, so a second one in the same second does not replace the first.
std::string FileAsideNameMake(const std::string& fileName, const std::string& purpose);
