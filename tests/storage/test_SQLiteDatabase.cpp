#include "storage/SQLiteDatabase.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <clocale>
#include <cstdlib>

namespace {

class SQLiteLayer : public ::testing::Test
{
protected:
    std::string DbName() const
    {
        return m_temp.Text() + "test.sqlite";
    }
    TTempFolder m_temp;
};

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ESQLiteException& error) {
        return error.what();
    }
    return "(no error)";
}

} // namespace

TEST(SQLiteErrorTexts, KnownAndUnknownCodes)
{
    EXPECT_EQ(SQLiteErrorText(0), "Successful result");
    EXPECT_EQ(SQLiteErrorText(5), "The database file is locked");
    EXPECT_EQ(SQLiteErrorText(19), "Abort due to contraint violation");
    EXPECT_EQ(SQLiteErrorText(26), "File opened that is not a database file");
    EXPECT_EQ(SQLiteErrorText(101), "sqlite3_step() has finished executing");
    EXPECT_EQ(SQLiteErrorText(42), "Unknown SQLite Error Code \"42\"");
}

TEST_F(SQLiteLayer, StatementOnAMissingTableNamesCodeTextSqlAndMessage)
{
    TSQLiteDatabase database(DbName());
    const std::string message = MessageOf([&] { database.RunStatement("DELETE FROM missing"); });
    EXPECT_EQ(message,
        "Error executing SQL.\rError [1]: SQL error or missing database.\r\"DELETE FROM missing\": "
        "no such table: missing");
    EXPECT_EQ(MessageOf([&] { database.RunStatement("  -- only a comment"); }), "Could not prepare SQL statement");
    EXPECT_EQ(ESQLiteException("x").ClassName(), "ESQLiteException");
}

TEST_F(SQLiteLayer, OpeningInAMissingFolderFails)
{
    const std::string name = m_temp.Text() + "no/such/folder/x.sqlite";
    const std::string message = MessageOf([&] { TSQLiteDatabase database(name); });
    EXPECT_EQ(message, "Failed to open database \"" + name + "\" : unable to open database file");
}

TEST_F(SQLiteLayer, OnlyTheFirstStatementOfATextRuns)
{
    TSQLiteDatabase database(DbName());
    database.RunStatement("CREATE TABLE t(a INTEGER); CREATE TABLE u(b INTEGER)");
    EXPECT_EQ(database.RunQuery("SELECT name FROM sqlite_master WHERE type = 'table'")->RowCount(), 1);
}

TEST_F(SQLiteLayer, EmptyResultHasNoColumns)
{
    TSQLiteDatabase database(DbName());
    database.RunStatement("CREATE TABLE t(a INTEGER)");
    auto table = database.RunQuery("SELECT * FROM t");
    EXPECT_EQ(table->RowCount(), 0);
    EXPECT_TRUE(table->AtEnd());
    EXPECT_FALSE(table->First());
    EXPECT_FALSE(table->Next());
    EXPECT_EQ(MessageOf([&] { table->ColumnIndex("a"); }), "Field a Not found. Empty dataset");
    EXPECT_EQ(MessageOf([&] { table->TextAt(0); }), "Table is at End of File");
}

TEST_F(SQLiteLayer, ColumnKindsComeFromExactDeclaredTypesOrTheFirstRow)
{
    TSQLiteDatabase database(DbName());
    database.RunStatement("CREATE TABLE t(i INTEGER, b BOOLEAN, r REAL, n NUMERIC, lower boolean, s TEXT, x BLOB)");
    database.RunStatement("INSERT INTO t VALUES(NULL, 1, 2.5, 3, 4, 'five', x'00ff')");
    database.RunStatement("INSERT INTO t VALUES(7, 0, -1.75, 8, 9, 'ten', x'')");
    auto table = database.RunQuery("SELECT i, b, r, n, lower, s, x, 1 + 1 AS expr, NULL AS empty FROM t");
    const ColumnKind expected[] = { ColumnKind::Integer, ColumnKind::Integer, ColumnKind::Float, ColumnKind::Float,
        ColumnKind::Text, ColumnKind::Text, ColumnKind::Blob, ColumnKind::Integer, ColumnKind::Null };
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(table->ColumnKindAt(i), expected[i]) << i;
    }
    ASSERT_TRUE(table->First());
    EXPECT_EQ(table->Int64At(0), 0); // NULL integer cell
    EXPECT_EQ(table->TextAt(0), "0");
    EXPECT_EQ(table->TextAt(2), "2.5");
    EXPECT_EQ(table->TextByName("LOWER"), "4");
    EXPECT_EQ(MessageOf([&] { table->Int64At(4); }), "Not an integer or numeric field");
    EXPECT_EQ(MessageOf([&] { table->BlobAt(5); }), "Not a Blob field");
    EXPECT_EQ(table->BlobAt(6)->size(), 2u);
    EXPECT_EQ(table->TextAt(8), "");
    ASSERT_TRUE(table->Next());
    EXPECT_EQ(table->Int64At(2), -1); // truncated toward zero
    EXPECT_FALSE(table->BlobAt(6).has_value());
    EXPECT_EQ(MessageOf([&] { table->ColumnIndex("missing"); }), "Field not found in dataset: missing");
    EXPECT_TRUE(table->Next());
    EXPECT_TRUE(table->AtEnd());
}

TEST_F(SQLiteLayer, SumWhoseFirstRowIsNullKeepsLaterValuesAsText)
{
    TSQLiteDatabase database(DbName());
    database.RunStatement("CREATE TABLE t(g INTEGER, d INTEGER)");
    database.RunStatement("INSERT INTO t VALUES(1, NULL), (2, 40), (2, 2), (3, -7)");
    auto table = database.RunQuery("SELECT g, SUM(d) AS total FROM t GROUP BY g ORDER BY g");
    EXPECT_EQ(table->ColumnKindAt(1), ColumnKind::Null);
    ASSERT_TRUE(table->First());
    EXPECT_EQ(table->Int64At(1), 0);
    table->Next();
    EXPECT_EQ(table->Int64At(table->ColumnIndex("Total")), 42);
    table->Next();
    EXPECT_EQ(table->Int64At(1), -7);
}

// A locale whose decimal separator is a comma: one the system has, or else one generated from
// the locales package's de_DE source into `folder` (LOCPATH points there). Empty when neither.
std::string CommaLocaleGet(const std::string& folder)
{
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const auto usable = [&previous](const char* name) {
        const bool comma = std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',';
        std::setlocale(LC_NUMERIC, previous.c_str());
        return comma;
    };
    // The last two are Windows' names; the others those of glibc.
    for (const char* name :
        { "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de-DE", "German_Germany.1252" }) {
        if (usable(name)) {
            return name;
        }
    }
#ifdef _WIN32
    (void)folder; // Windows has every locale built in
    return {};
#else
    const std::string command = "localedef -i de_DE -f UTF-8 '" + folder + "de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    ::setenv("LOCPATH", folder.c_str(), 1);
    return usable("de_DE.UTF-8") ? "de_DE.UTF-8" : "";
#endif
}

TEST_F(SQLiteLayer, NullKindColumnReadsLaterTextsAsNumbersWithAFullStopInAnyLocale)
{
    TSQLiteDatabase database(DbName());
    database.RunStatement("CREATE TABLE t(k INTEGER, v TEXT)");
    database.RunStatement(
        "INSERT INTO t VALUES(1, NULL), (2, '2.75'), (3, ' -3.5 '), (4, '1e400'), (5, '1e19'), (6, '12abc')");
    auto table = database.RunQuery("SELECT k, CASE WHEN k = 1 THEN NULL ELSE v END AS c FROM t ORDER BY k");
    ASSERT_EQ(table->ColumnKindAt(1), ColumnKind::Null);
    // The GUI takes its number format from the environment; SQLite's texts keep the full stop.
    const std::vector<std::string> expected = { "0", "2", "-3", "EConvertError", "EConvertError", "EConvertError" };
    const auto results = [&table] {
        std::vector<std::string> texts;
        for (table->First(); !table->AtEnd(); table->Next()) {
            try {
                texts.push_back(std::to_string(table->Int64At(1)));
            } catch (const EConvertError&) {
                texts.push_back("EConvertError");
            }
        }
        return texts;
    };
    EXPECT_EQ(results(), expected) << "in the C locale";

    const std::string commaLocale = CommaLocaleGet(m_temp.Text());
    if (commaLocale.empty()) {
        GTEST_SKIP() << "no locale with a decimal comma is installed and none could be generated (localedef of the "
                        "locales package); only the C locale was tried";
    }
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, commaLocale.c_str()), nullptr);
    ASSERT_EQ(std::localeconv()->decimal_point[0], ',');
    const std::vector<std::string> withComma = results();
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(withComma, expected) << "with " << commaLocale;
}

TEST_F(SQLiteLayer, LockedDatabaseFailsAtOnceAndTheNextCallWorks)
{
    {
        TSQLiteDatabase setup(DbName());
        setup.RunStatement("CREATE TABLE t(a INTEGER)");
    }
    TSQLiteDatabase holder(DbName());
    holder.TransactionBegin();
    holder.RunStatement("INSERT INTO t VALUES(1)");
    {
        TSQLiteDatabase other(DbName());
        const std::string message = MessageOf([&] { other.RunStatement("INSERT INTO t VALUES(2)"); });
        EXPECT_NE(message.find("Error [5]: The database file is locked."), std::string::npos) << message;
    }
    holder.TransactionCommit();
    TSQLiteDatabase other(DbName());
    other.RunStatement("INSERT INTO t VALUES(2)");
    EXPECT_EQ(other.RunQuery("SELECT * FROM t")->RowCount(), 2);
}

TEST_F(SQLiteLayer, UncommittedTransactionIsRolledBackByTheDestructor)
{
    {
        TSQLiteDatabase database(DbName());
        database.RunStatement("CREATE TABLE t(a INTEGER)");
        database.RunStatement("INSERT INTO t VALUES(1)");
        database.TransactionBegin();
        database.RunStatement("DELETE FROM t");
    }
    TSQLiteDatabase database(DbName());
    EXPECT_EQ(database.RunQuery("SELECT * FROM t")->RowCount(), 1);
}
