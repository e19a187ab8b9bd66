#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

// One value of a row as the file stores it: SQLITE_NULL, SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT
// or SQLITE_BLOB, with the integer, the number or the bytes.
struct TPageValue
{
    int Type = 0;
    int64_t Integer = 0;
    double Real = 0;
    std::string Bytes;
};

// Reads a database file page by page, as SQLite lays it out, and hands `row` every row that lies
// on a readable leaf page of the named tables, whatever became of the pages above it: a damaged
// first page (the schema) or interior page, a wrong page size in the header, or a file cut short,
// costs only the rows on the pages that are gone. A leaf page that no readable table reaches goes to the table
// `shapeTable` names from its rows' values (empty: none of ours); so does every leaf when the schema cannot be read.
// Pages on the free list that no table reaches are never read as rows. A row whose record does not decode, or whose
// overflow pages are missing, is left out. The same rowid may come twice (a stale page); the
// caller keeps the first.
void DatabasePageRowsRead(const std::string& fileName, const std::set<std::string>& tables,
    const std::function<std::string(const std::vector<TPageValue>& values)>& shapeTable,
    const std::function<void(const std::string& table, int64_t rowid, const std::vector<TPageValue>& values)>& row);
