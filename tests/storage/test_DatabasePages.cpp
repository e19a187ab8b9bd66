#include "storage/DatabasePages.h"

#include "storage/SQLiteDatabase.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <iostream>
#include <set>

namespace {

constexpr int kRows = 3000;

uint32_t Get32(const std::string& bytes, size_t offset)
{
    return (uint32_t(uint8_t(bytes[offset])) << 24) | (uint32_t(uint8_t(bytes[offset + 1])) << 16)
        | (uint32_t(uint8_t(bytes[offset + 2])) << 8) | uint8_t(bytes[offset + 3]);
}

void Put32(std::string& bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[offset + size_t(i)] = char(value >> (24 - 8 * i));
    }
}

void Put16(std::string& bytes, size_t offset, uint32_t value)
{
    bytes[offset] = char(value >> 8);
    bytes[offset + 1] = char(value);
}

// SQLite's nine-byte form of a variable-length integer, which holds any 64-bit value.
std::string Varint9(uint64_t value)
{
    std::string bytes(9, '\0');
    bytes[8] = char(value & 0xFF);
    value >>= 8;
    for (int i = 7; i >= 0; --i) {
        bytes[size_t(i)] = char(0x80 | (value & 0x7F));
        value >>= 7;
    }
    return bytes;
}

// The rows of table applications the page reader hands over, by rowid; a row on a page no table
// reaches goes to applications by its shape. Each row's duration is its rowid.
std::set<int64_t> RowsRead(const std::string& fileName)
{
    std::set<int64_t> rowids;
    DatabasePageRowsRead(
        fileName, { "applications" },
        [](const std::vector<TPageValue>& values) { return values.size() == 6 ? "applications" : ""; },
        [&rowids](const std::string&, int64_t rowid, const std::vector<TPageValue>& values) {
            if (values.size() == 6 && values[4].Integer == rowid) {
                rowids.insert(rowid);
            }
        });
    return rowids;
}

} // namespace

// Damage the page reader met in files of the field: each case keeps every row that still reads.
TEST(PageSalvage, EveryReadableRowIsKeptWhateverTheDamageAroundIt)
{
    TTempFolder temp;
    const std::string fileName = temp.Text() + "pages.sqlite";
    int64_t craftedRowid = 0;
    {
        TSQLiteDatabase database(fileName);
        database.RunStatement("CREATE TABLE applications(date_created TEXT, app_name TEXT, browser_url TEXT, "
                              "app_type TEXT, duration INTEGER, origin INTEGER)");
        database.TransactionBegin();
        for (int i = 1; i <= kRows; ++i) {
            database.RunStatement("INSERT INTO applications VALUES('2011-04-21 10:00:00', '/usr/bin/editor', '', "
                                  "'Desktop Application', "
                + std::to_string(i) + ", 1)");
        }
        // The row whose record is crafted below: its long first text leaves room for the header.
        database.RunStatement("INSERT INTO applications VALUES('" + std::string(80, 'M')
            + "', '/usr/bin/editor', '', 'Desktop Application', 0, 1)");
        craftedRowid = std::stoll(database.RunQuery("SELECT MAX(rowid) FROM applications")->TextAt(0));
        database.TransactionCommit();
    }
    const std::string whole = FileText(fileName);
    ASSERT_EQ(Get32(whole, 16) >> 16, 4096u);
    const uint32_t pages = uint32_t(whole.size() / 4096);
    uint32_t root = 0;
    std::vector<uint32_t> leaves;
    {
        TSQLiteDatabase database(fileName);
        root = uint32_t(
            std::stoul(database.RunQuery("SELECT rootpage FROM sqlite_master WHERE name = 'applications'")->TextAt(0)));
        auto table = database.RunQuery("SELECT pageno FROM dbstat WHERE name = 'applications' AND pagetype = 'leaf'");
        for (table->First(); !table->AtEnd(); table->Next()) {
            leaves.push_back(uint32_t(std::stoul(table->TextAt(0))));
        }
    }
    ASSERT_GT(leaves.size(), 20u);
    const size_t rootAt = size_t(root - 1) * 4096;
    ASSERT_EQ(whole[rootAt], '\x05'); // an interior page above the leaves

    std::vector<std::pair<std::string, std::string>> damages;
    {
        // Value sizes that add up, past 2^64, to the body's length: two of 2^63 - 8 bytes and one
        // of the body plus 16.
        std::string file = whole;
        const size_t text = file.find(std::string(80, 'M'));
        ASSERT_NE(text, std::string::npos);
        const size_t record = text - 8; // the header: its size, a two-byte type, five one-byte ones
        ASSERT_EQ(file[record], '\x08');
        const size_t length = 8 + 80 + 15 + 19; // the header and the texts (0 and 1 take no byte)
        const uint64_t big = (uint64_t(1) << 63) - 8;
        const uint64_t body = length - 28;
        std::string crafted
            = std::string(1, '\x1c') + Varint9(2 * big + 12) + Varint9(2 * big + 12) + Varint9(2 * (body + 16) + 12);
        crafted.resize(length, 'x');
        file.replace(record, length, crafted);
        damages.emplace_back("a record whose value sizes wrap round", file);
    }
    {
        // The last child pointer names the first child instead: the last leaf is reached by none.
        std::string file = whole;
        const uint32_t firstCell = (uint8_t(file[rootAt + 12]) << 8) | uint8_t(file[rootAt + 13]);
        Put32(file, rootAt + 8, Get32(file, rootAt + firstCell));
        damages.emplace_back("an interior page naming a page reached before", file);
    }
    {
        // A free-list trunk, put at the end, that names every live leaf.
        std::string file = whole;
        std::string trunk(4096, '\0');
        Put32(trunk, 4, uint32_t(leaves.size()));
        for (size_t i = 0; i < leaves.size(); ++i) {
            Put32(trunk, 8 + i * 4, leaves[i]);
        }
        file += trunk;
        Put32(file, 28, pages + 1);
        Put32(file, 32, pages + 1);
        Put32(file, 36, uint32_t(leaves.size() + 1));
        damages.emplace_back("a free-list trunk naming live leaves", file);
    }
    for (const uint32_t size : { 512u, 1024u, 8192u, 65536u }) {
        std::string file = whole;
        Put16(file, 16, size == 65536 ? 1 : size);
        damages.emplace_back("a page size of " + std::to_string(size) + " in the header", file);
    }

    for (const auto& [what, content] : damages) {
        FileWrite(fileName, content);
        std::set<int64_t> rows;
        try {
            rows = RowsRead(fileName);
        } catch (const std::exception& error) {
            ADD_FAILURE() << what << ": " << error.what();
        }
        std::cout << "[ figures  ] " << what << ": " << rows.size() << " rows kept of " << kRows << std::endl;
        EXPECT_EQ(rows.size(), size_t(kRows)) << what;
        EXPECT_EQ(rows.count(craftedRowid), 0u) << what;
    }
}
