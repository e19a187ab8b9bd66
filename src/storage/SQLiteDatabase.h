#pragma once

#include "model/Exceptions.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3;

// Every failure of the database layer; its message names the SQLite result code, the code's
// description, the SQL text and SQLite's own message. Code() keeps the primary result code (0 when
// the failure had none), so callers can tell a damaged file from a locked one.
class ESQLiteException : public Exception
{
public:
    explicit ESQLiteException(const std::string& message, int code = 0)
        : Exception(message)
        , m_code(code)
    {
    }
    std::string ClassName() const override
    {
        return "ESQLiteException";
    }
    int Code() const
    {
        return m_code;
    }

private:
    int m_code = 0;
};

// True for the codes of a file that is damaged ("malformed", 11) or no database at all (26).
bool SQLiteCodeIsDamage(int code);

// The English description of an SQLite result code (primary codes 0 to 26, 100, 101).
std::string SQLiteErrorText(int code);

// How a result column's cells are held, decided once per column from its declared type or,
// without one, from the first row's value.
enum class ColumnKind : int
{
    Integer = 1,
    Float = 2,
    Text = 3,
    Blob = 4,
    Null = 5,
};

using TBlob = std::vector<uint8_t>;

// The complete result of one query, copied into memory; holds no connection or statement.
class TSQLiteTable
{
public:
    TSQLiteTable(sqlite3* handle, const std::string& sql);

    int32_t RowCount() const
    {
        return m_rowCount;
    }
    int32_t ColumnCount() const
    {
        return m_columnCount;
    }
    const std::vector<std::string>& ColumnNames() const
    {
        return m_columnNames;
    }
    ColumnKind ColumnKindAt(int index) const;

    bool AtEnd() const
    {
        return m_cursor >= m_rowCount;
    }
    bool First();
    bool Next();

    int ColumnIndex(std::string_view name) const;
    std::string TextByName(std::string_view name) const;
    std::string TextAt(int index) const;
    int64_t Int64At(int index) const;
    double DoubleAt(int index) const;
    std::optional<TBlob> BlobAt(int index) const;
    // True for SQL NULL (and for a zero-length blob, which is stored as empty as well).
    bool IsNullAt(int index) const;

private:
    using TCell = std::variant<std::monostate, int64_t, double, std::string, TBlob>;
    const TCell& CellAt(int index) const;

    int32_t m_rowCount = 0;
    int32_t m_columnCount = 0;
    std::vector<std::string> m_columnNames;
    std::vector<ColumnKind> m_columnKinds;
    std::vector<TCell> m_cells;
    int32_t m_cursor = 0;
};

// How long a connection waits for another program's lock before a statement fails with "The
// database file is locked" (5): long enough for a commit of another program, short enough that a
// file held for minutes does not stop the program. Process-wide; tests may shorten it.
inline constexpr int kSQLiteBusyTimeoutMs = 200;
void SQLiteBusyTimeoutSet(int milliseconds);
int SQLiteBusyTimeoutGet();

// True for the codes of a file that another connection holds ("locked", 5 and 6).
bool SQLiteCodeIsBusy(int code);

// One open connection; it waits SQLiteBusyTimeoutGet() for another connection's lock.
class TSQLiteDatabase
{
public:
    // Opens the file, creating it when missing (mode 0600: only the user may read it).
    explicit TSQLiteDatabase(const std::string& fileName);
    ~TSQLiteDatabase();
    TSQLiteDatabase(const TSQLiteDatabase&) = delete;
    TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

    // Runs the first statement of `sql` to completion; anything after it is ignored.
    void RunStatement(const std::string& sql);
    std::unique_ptr<TSQLiteTable> RunQuery(const std::string& sql);

    // A transaction that the destructor rolls back unless it was committed, so a statement that
    // fails between a delete and its inserts leaves the table as it was. Begin takes the write
    // lock at once ("BEGIN IMMEDIATE").
    void TransactionBegin();
    void TransactionCommit();
    bool InTransaction() const
    {
        return m_inTransaction;
    }

    [[noreturn]] void RaiseError(const std::string& message, const std::string& sql);

    sqlite3* Handle() const
    {
        return m_handle;
    }

private:
    sqlite3* m_handle = nullptr;
    bool m_inTransaction = false;
};

// Raises the layer's error for `message` and `sql` from the connection's last error.
[[noreturn]] void SQLiteErrorRaise(sqlite3* handle, const std::string& message, const std::string& sql);

// The connection's last result code (0 when none), for callers that must tell "not a database"
// (26) from other failures.
int SQLiteErrorCode(sqlite3* handle);
