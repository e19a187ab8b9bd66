// The query result reader on results of any shape: declared types of every spelling, values of
// every storage class in any order, columns without a declared type. Every cell reads back as
// SQLite gave it, or is refused with the layer's own error; nothing else may happen.
#include "FuzzSupport.h"
#include "model/Exceptions.h"
#include "storage/SQLiteDatabase.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Literal(FuzzedDataProvider& data)
{
    switch (data.ConsumeIntegralInRange(0, 6)) {
    case 0:
        return "NULL";
    case 1:
        return std::to_string(data.ConsumeIntegral<int64_t>());
    case 2: {
        const double value = data.ConsumeFloatingPoint<double>();
        if (!std::isfinite(value)) {
            return "1e999";
        }
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", value);
        return text;
    }
    case 3:
    case 4: {
        std::string quoted = "'";
        for (char c : data.ConsumeRandomLengthString(12)) {
            if (c == '\0') {
                continue;
            }
            quoted += c == '\'' ? "''" : std::string(1, c);
        }
        return quoted + "'";
    }
    case 5: {
        std::string hex = "X'";
        static const char digits[] = "0123456789ABCDEF";
        const int length = data.ConsumeIntegralInRange(0, 6);
        for (int i = 0; i < length; ++i) {
            const uint8_t byte = data.ConsumeIntegral<uint8_t>();
            hex += digits[byte >> 4];
            hex += digits[byte & 15];
        }
        return hex + "'";
    }
    default:
        return "'" + std::to_string(data.ConsumeIntegral<int32_t>()) + "."
            + std::to_string(data.ConsumeIntegral<uint8_t>()) + "'";
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static const char* const declared[] = { "INTEGER", "integer", "BOOLEAN", "INT", "NUMERIC", "FLOAT", "DOUBLE",
        "REAL", "TEXT", "BLOB", "blob", "", "VARCHAR(3)", "DATETIME" };
    FuzzedDataProvider data(bytes, size);
    sqlite3* handle = nullptr;
    if (sqlite3_open(":memory:", &handle) != SQLITE_OK) {
        sqlite3_close(handle);
        return 0;
    }
    const int columns = data.ConsumeIntegralInRange(1, 4);
    std::string create = "CREATE TABLE t(";
    for (int c = 0; c < columns; ++c) {
        create += (c ? ", c" : "c") + std::to_string(c) + " "
            + declared[data.ConsumeIntegralInRange<size_t>(0, std::size(declared) - 1)];
    }
    create += ")";
    sqlite3_exec(handle, create.c_str(), nullptr, nullptr, nullptr);
    const int rows = data.ConsumeIntegralInRange(0, 5);
    for (int r = 0; r < rows; ++r) {
        std::string insert = "INSERT INTO t VALUES(";
        for (int c = 0; c < columns; ++c) {
            insert += (c ? ", " : "") + Literal(data);
        }
        sqlite3_exec(handle, (insert + ")").c_str(), nullptr, nullptr, nullptr);
    }
    // Plain columns keep their declared type; an expression column takes its first value's class.
    std::string select = "SELECT ";
    for (int c = 0; c < columns; ++c) {
        select += (c ? ", " : "") + std::string(data.ConsumeBool() ? "c" : "+c") + std::to_string(c) + " AS col"
            + std::to_string(c);
    }
    select += " FROM t ORDER BY rowid";

    try {
        TSQLiteTable table(handle, select);
        FUZZ_CHECK(table.RowCount() == rows || rows == 0 || table.RowCount() <= rows, select);
        FUZZ_CHECK(table.RowCount() == 0 ? table.AtEnd() && !table.First() : table.First(), select);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(handle, select.c_str(), -1, &statement, nullptr);
        int row = 0;
        while (!table.AtEnd()) {
            FUZZ_CHECK(sqlite3_step(statement) == SQLITE_ROW, select);
            FUZZ_CHECK(table.ColumnCount() == columns, select);
            for (int c = 0; c < columns; ++c) {
                const std::string name = "COL" + std::to_string(c);
                FUZZ_CHECK(table.ColumnIndex("col" + std::to_string(c)) == c, name);
                const ColumnKind kind = table.ColumnKindAt(c);
                const bool null = sqlite3_column_type(statement, c) == SQLITE_NULL;
                FUZZ_CHECK(!null || table.IsNullAt(c), select + " row " + std::to_string(row));
                // Each reading either gives a value or the layer's error.
                try {
                    const int64_t value = table.Int64At(c);
                    if (kind == ColumnKind::Integer && sqlite3_column_type(statement, c) == SQLITE_INTEGER) {
                        FUZZ_CHECK(value == sqlite3_column_int64(statement, c), select);
                    }
                } catch (const ESQLiteException&) {
                } catch (const EConvertError&) {
                    // A float beyond the 64-bit range is refused as the range error it is.
                    FUZZ_CHECK(kind == ColumnKind::Float || kind == ColumnKind::Null, select);
                }
                try {
                    (void)table.DoubleAt(c);
                } catch (const ESQLiteException&) {
                }
                try {
                    (void)table.BlobAt(c);
                } catch (const ESQLiteException&) {
                }
                const std::string text = table.TextAt(c);
                if (kind == ColumnKind::Text && !null) {
                    const auto* raw = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
                    FUZZ_CHECK(text == std::string(raw, size_t(sqlite3_column_bytes(statement, c))), select);
                }
            }
            ++row;
            table.Next();
        }
        FUZZ_CHECK(row == table.RowCount(), select);
        sqlite3_finalize(statement);
    } catch (const ESQLiteException&) {
    }
    sqlite3_close(handle);
    return 0;
}
