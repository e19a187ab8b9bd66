#pragma once

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
// and run. A file that is not a database is renamed to "<name>.<yyyy-mm-dd_hh-nn-ss>.damaged",
// logged, and replaced by a fresh database, so the program keeps working and nothing is lost.
// Other failures (a locked file) are raised as ESQLiteException; the next call tries again.
void DatabaseSchemaEnsure(const std::string& fileName, TDatabaseKind kind);
// Makes the next DatabaseSchemaEnsure of `fileName` check again (after a failed statement).
void DatabaseSchemaRecheck(const std::string& fileName);

// A name beside `fileName` under which a file the program would otherwise lose is kept:
// "<name>.<yyyy-mm-dd_hh-nn-ss>.<purpose>", with "-2", "-3"... after the stamp while that name
// is taken, so a second one in the same second does not replace the first.
std::string FileAsideNameMake(const std::string& fileName, const std::string& purpose);
