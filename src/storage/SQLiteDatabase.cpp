#include "storage/SQLiteDatabase.h"

#include "model/PrivateFiles.h"
#include "model/TextHelpers.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

ColumnKind DeclaredKind(const char* declared)
{
    // The comparison is exact on purpose: "integer" or "INT" columns are text columns.
    const std::string_view type(declared);
    if (type == "INTEGER" || type == "BOOLEAN") {
        return ColumnKind::Integer;
    }
    if (type == "NUMERIC" || type == "FLOAT" || type == "DOUBLE" || type == "REAL") {
        return ColumnKind::Float;
    }
    if (type == "BLOB") {
        return ColumnKind::Blob;
    }
    return ColumnKind::Text;
}

ColumnKind StorageClassKind(int storageClass)
{
    switch (storageClass) {
    case SQLITE_INTEGER:
        return ColumnKind::Integer;
    case SQLITE_FLOAT:
        return ColumnKind::Float;
    case SQLITE_TEXT:
        return ColumnKind::Text;
    case SQLITE_BLOB:
        return ColumnKind::Blob;
    default:
        return ColumnKind::Null;
    }
}

// A prepared statement that is finalised on every way out.
class TStatement
{
public:
    TStatement(sqlite3* handle, const std::string& sql)
    {
        if (sqlite3_prepare_v2(handle, sql.c_str(), int(sql.size()), &m_statement, nullptr) != SQLITE_OK) {
            SQLiteErrorRaise(handle, "Error executing SQL", sql);
        }
        if (!m_statement) {
            SQLiteErrorRaise(handle, "Could not prepare SQL statement", sql);
        }
    }
    ~TStatement()
    {
        sqlite3_finalize(m_statement);
    }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;
    sqlite3_stmt* Get() const
    {
        return m_statement;
    }

private:
    sqlite3_stmt* m_statement = nullptr;
};

double TextToFloat(const std::string& text)
{
    if (text.empty()) {
        return 0.0;
    }
    // SQLite writes numbers with a full stop whatever the user's regional settings, so the text
    // is read without the C locale (which the GUI sets from the environment).
    const std::string trimmed = Trim(text);
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (first != last && *first == '+') {
        ++first;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (trimmed.empty() || error != std::errc() || end != last || !std::isfinite(value)) {
        throw EConvertError("'" + text + "' is not a valid floating point value");
    }
    return value;
}

// Truncation toward zero; a value no 64-bit integer holds is refused rather than wrapped.
int64_t TruncatedInt64(double value)
{
    const double truncated = std::trunc(value);
    if (!(truncated >= -9223372036854775808.0 && truncated < 9223372036854775808.0)) {
        throw EConvertError(Format("%g is not within the range of a 64-bit integer", value));
    }
    return int64_t(truncated);
}

} // namespace

std::string SQLiteErrorText(int code)
{
    switch (code) {
    case 0:
        return "Successful result";
    case 1:
        return "SQL error or missing database";
    case 2:
        return "An internal logic error in SQLite";
    case 3:
        return "Access permission denied";
    case 4:
        return "Callback routine requested an abort";
    case 5:
        return "The database file is locked";
    case 6:
        return "A table in the database is locked";
    case 7:
        return "A malloc() failed";
    case 8:
        return "Attempt to write a readonly database";
    case 9:
        return "Operation terminated by sqlite3_interrupt()";
    case 10:
        return "Some kind of disk I/O error occurred";
    case 11:
        return "The database disk image is malformed";
    case 12:
        return "(Internal Only) Table or record not found";
    case 13:
        return "Insertion failed because database is full";
    case 14:
        return "Unable to open the database file";
    case 15:
        return "Database lock protocol error";
    case 16:
        return "Database is empty";
    case 17:
        return "The database schema changed";
    case 18:
        return "Too much data for one row of a table";
    case 19:
        return "Abort due to contraint violation";
    case 20:
        return "Data type mismatch";
    case 21:
        return "Library used incorrectly";
    case 22:
        return "Uses OS features not supported on host";
    case 23:
        return "Authorization denied";
    case 24:
        return "Auxiliary database format error";
    case 25:
        return "2nd parameter to sqlite3_bind out of range";
    case 26:
        return "File opened that is not a database file";
    case 100:
        return "sqlite3_step() has another row ready";
    case 101:
        return "sqlite3_step() has finished executing";
    default:
        return "Unknown SQLite Error Code \"" + std::to_string(code) + "\"";
    }
}

namespace {

int g_busyTimeoutMs = kSQLiteBusyTimeoutMs;

} // namespace

void SQLiteBusyTimeoutSet(int milliseconds)
{
    g_busyTimeoutMs = milliseconds;
}

int SQLiteBusyTimeoutGet()
{
    return g_busyTimeoutMs;
}

bool SQLiteCodeIsBusy(int code)
{
    return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED;
}

bool SQLiteCodeIsDamage(int code)
{
    return (code & 0xFF) == SQLITE_CORRUPT || (code & 0xFF) == SQLITE_NOTADB;
}

void SQLiteErrorRaise(sqlite3* handle, const std::string& message, const std::string& sql)
{
    const int code = handle ? sqlite3_errcode(handle) : 0;
    if (code != 0) {
        const char* text = sqlite3_errmsg(handle);
        if (text) {
            // Joined, not formatted: a NUL inside the SQL text must not cut the rest of the message.
            throw ESQLiteException(message + ".\rError [" + std::to_string(code) + "]: " + SQLiteErrorText(code)
                    + ".\r\"" + ControlCharsVisible(sql) + "\": " + text,
                code);
        }
    }
    throw ESQLiteException(message, code);
}

int SQLiteErrorCode(sqlite3* handle)
{
    return handle ? sqlite3_errcode(handle) : 0;
}

TSQLiteDatabase::TSQLiteDatabase(const std::string& fileName)
{
    // SQLite would make a missing file readable by all, and gives its journals the mode of the
    // database file; made private first, the file and every journal stay the user's own.
    if (!fileName.empty() && fileName != ":memory:" && fileName.rfind("file:", 0) != 0) {
        PrivateFileCreate(fileName);
    }
    const int result = sqlite3_open(fileName.c_str(), &m_handle);
    if (result != SQLITE_OK) {
        if (!m_handle) {
            throw ESQLiteException(Format("Failed to open database \"%s\" : unknown error", fileName.c_str()));
        }
        const std::string text = sqlite3_errmsg(m_handle);
        sqlite3_close(m_handle);
        m_handle = nullptr;
        throw ESQLiteException(Format("Failed to open database \"%s\" : %s", fileName.c_str(), text.c_str()));
    }
    sqlite3_busy_timeout(m_handle, g_busyTimeoutMs);
}

TSQLiteDatabase::~TSQLiteDatabase()
{
    if (m_inTransaction && m_handle) {
        sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    if (m_handle) {
        sqlite3_close(m_handle);
    }
}

void TSQLiteDatabase::RaiseError(const std::string& message, const std::string& sql)
{
    SQLiteErrorRaise(m_handle, message, sql);
}

void TSQLiteDatabase::RunStatement(const std::string& sql)
{
    TStatement statement(m_handle, sql);
    if (sqlite3_step(statement.Get()) != SQLITE_DONE) {
        sqlite3_reset(statement.Get());
        RaiseError("Error executing SQL statement", sql);
    }
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::RunQuery(const std::string& sql)
{
    return std::make_unique<TSQLiteTable>(m_handle, sql);
}

void TSQLiteDatabase::TransactionBegin()
{
    RunStatement("BEGIN IMMEDIATE");
    m_inTransaction = true;
}

void TSQLiteDatabase::TransactionCommit()
{
    RunStatement("COMMIT");
    m_inTransaction = false;
}

TSQLiteTable::TSQLiteTable(sqlite3* handle, const std::string& sql)
{
    TStatement statement(handle, sql);
    sqlite3_stmt* stmt = statement.Get();
    for (;;) {
        const int result = sqlite3_step(stmt);
        if (result == SQLITE_DONE) {
            break;
        }
        if (result == SQLITE_BUSY) {
            throw ESQLiteException("Could not prepare SQL statement", SQLITE_BUSY);
        }
        if (result != SQLITE_ROW) {
            sqlite3_reset(stmt);
            SQLiteErrorRaise(handle, "Could not retrieve data", sql);
        }
        if (m_rowCount == 0) {
            m_columnCount = sqlite3_column_count(stmt);
            for (int column = 0; column < m_columnCount; ++column) {
                const char* name = sqlite3_column_name(stmt, column);
                m_columnNames.push_back(AsciiUpperCase(name ? name : ""));
                const char* declared = sqlite3_column_decltype(stmt, column);
                m_columnKinds.push_back(
                    declared ? DeclaredKind(declared) : StorageClassKind(sqlite3_column_type(stmt, column)));
            }
        }
        ++m_rowCount;
        for (int column = 0; column < m_columnCount; ++column) {
            if (sqlite3_column_type(stmt, column) == SQLITE_NULL) {
                m_cells.emplace_back();
                continue;
            }
            switch (m_columnKinds[size_t(column)]) {
            case ColumnKind::Integer:
                m_cells.emplace_back(int64_t(sqlite3_column_int64(stmt, column)));
                break;
            case ColumnKind::Float:
                m_cells.emplace_back(sqlite3_column_double(stmt, column));
                break;
            case ColumnKind::Blob: {
                const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, column));
                const int size = sqlite3_column_bytes(stmt, column);
                if (size > 0 && bytes) {
                    m_cells.emplace_back(TBlob(bytes, bytes + size));
                } else {
                    m_cells.emplace_back();
                }
                break;
            }
            default: {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
                const int size = sqlite3_column_bytes(stmt, column);
                m_cells.emplace_back(text ? std::string(text, size_t(size)) : std::string());
                break;
            }
            }
        }
    }
    m_cursor = 0;
}

ColumnKind TSQLiteTable::ColumnKindAt(int index) const
{
    if (index < 0 || index >= m_columnCount) {
        throw ESQLiteException("Field index out of range: " + std::to_string(index));
    }
    return m_columnKinds[size_t(index)];
}

bool TSQLiteTable::First()
{
    if (m_rowCount == 0) {
        return false;
    }
    m_cursor = 0;
    return true;
}

bool TSQLiteTable::Next()
{
    if (AtEnd()) {
        return false;
    }
    ++m_cursor;
    return true;
}

int TSQLiteTable::ColumnIndex(std::string_view name) const
{
    if (m_columnNames.empty()) {
        throw ESQLiteException("Field " + std::string(name) + " Not found. Empty dataset");
    }
    const std::string wanted = AsciiUpperCase(name);
    for (size_t i = 0; i < m_columnNames.size(); ++i) {
        if (m_columnNames[i] == wanted) {
            return int(i);
        }
    }
    throw ESQLiteException("Field not found in dataset: " + std::string(name));
}

const TSQLiteTable::TCell& TSQLiteTable::CellAt(int index) const
{
    if (AtEnd()) {
        throw ESQLiteException("Table is at End of File");
    }
    if (index < 0 || index >= m_columnCount) {
        throw ESQLiteException("Field index out of range: " + std::to_string(index));
    }
    return m_cells[size_t(m_cursor) * size_t(m_columnCount) + size_t(index)];
}

bool TSQLiteTable::IsNullAt(int index) const
{
    return std::holds_alternative<std::monostate>(CellAt(index));
}

std::string TSQLiteTable::TextByName(std::string_view name) const
{
    return TextAt(ColumnIndex(name));
}

int64_t TSQLiteTable::Int64At(int index) const
{
    const TCell& cell = CellAt(index);
    switch (m_columnKinds[size_t(index)]) {
    case ColumnKind::Integer:
        return std::holds_alternative<int64_t>(cell) ? std::get<int64_t>(cell) : 0;
    case ColumnKind::Float:
        return std::holds_alternative<double>(cell) ? TruncatedInt64(std::get<double>(cell)) : 0;
    case ColumnKind::Null:
        return std::holds_alternative<std::string>(cell) ? TruncatedInt64(TextToFloat(std::get<std::string>(cell))) : 0;
    default:
        throw ESQLiteException("Not an integer or numeric field");
    }
}

double TSQLiteTable::DoubleAt(int index) const
{
    const TCell& cell = CellAt(index);
    switch (m_columnKinds[size_t(index)]) {
    case ColumnKind::Integer:
        return std::holds_alternative<int64_t>(cell) ? double(std::get<int64_t>(cell)) : 0.0;
    case ColumnKind::Float:
        return std::holds_alternative<double>(cell) ? std::get<double>(cell) : 0.0;
    default:
        throw ESQLiteException("Not an integer or numeric field");
    }
}

std::string TSQLiteTable::TextAt(int index) const
{
    const TCell& cell = CellAt(index);
    switch (m_columnKinds[size_t(index)]) {
    case ColumnKind::Integer:
        return std::to_string(Int64At(index));
    case ColumnKind::Float: {
        char text[64];
        std::snprintf(text, sizeof text, "%.15g", DoubleAt(index));
        return text;
    }
    case ColumnKind::Text:
        return std::holds_alternative<std::string>(cell) ? std::get<std::string>(cell) : std::string();
    case ColumnKind::Blob:
        if (std::holds_alternative<TBlob>(cell)) {
            const TBlob& blob = std::get<TBlob>(cell);
            return std::string(blob.begin(), blob.end());
        }
        return {};
    default:
        return {};
    }
}

std::optional<TBlob> TSQLiteTable::BlobAt(int index) const
{
    const TCell& cell = CellAt(index);
    if (m_columnKinds[size_t(index)] != ColumnKind::Blob) {
        throw ESQLiteException("Not a Blob field");
    }
    if (std::holds_alternative<TBlob>(cell)) {
        return std::get<TBlob>(cell);
    }
    return std::nullopt;
}
