#include "model/Exceptions.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef O_BINARY
#define O_BINARY 0 // POSIX has no text mode
#endif

TEST(DateTexts, PatternsArePaddedWithFourDigitYears)
{
    const TDateTime value = EncodeDateTime(2011, 1, 5, 7, 3, 9, 42);
    EXPECT_EQ(DateTimeToDbText(value), "2011-01-05 07:03:09");
    EXPECT_EQ(DateToDbText(value), "2011-01-05");
    EXPECT_EQ(LogTimeStampText(value), "2011-01-05 07:03:09.042 ");
    EXPECT_EQ(DateTimeToDbText(EncodeDateTime(999, 12, 31, 23, 59, 59)), "0999-12-31 23:59:59");
}

#ifdef _WIN32
// A Finnish regional format writes times as "19.59.28": the user reads that, the databases never do.
TEST(DateTexts, StoredTimesKeepTheColonUnderARegionalTimeSeparator)
{
    wchar_t was[8] = {};
    ASSERT_GT(::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, was, 8), 0);
    ASSERT_TRUE(::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, L"."));
    const TDateTime value = EncodeDateTime(2026, 12, 8, 19, 59, 28);
    const std::string stored = DateTimeToDbText(value);
    const std::string logged = LogTimeStampText(value);
    const std::string shown = DurationText(int64_t { 3600 + 5 * 60 });
    ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, was);
    EXPECT_EQ(stored, "2026-12-08 19:59:28");
    EXPECT_EQ(logged, "2026-12-08 19:59:28.000 ");
    EXPECT_EQ(shown, "01.05");
}
#endif

TEST(DateTexts, SortInTimeOrderAsPlainTexts)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> days(0, 80000);
    std::vector<TDateTime> values;
    for (int i = 0; i < 2000; ++i) {
        values.push_back(days(random));
    }
    std::sort(values.begin(), values.end());
    for (size_t i = 1; i < values.size(); ++i) {
        EXPECT_LE(DateTimeToDbText(values[i - 1]), DateTimeToDbText(values[i]));
    }
}

TEST(DateTexts, TimeThatRoundsToMidnightBelongsToTheNextDay)
{
    const TDateTime almost = EncodeDateTime(2011, 12, 31) + 1.0 - 1e-10;
    EXPECT_EQ(DateTimeToDbText(almost), "2012-01-01 00:00:00");
}

TEST(DateTexts, DurationsShowWholeHoursPast24)
{
    EXPECT_EQ(DurationText(int64_t { 3600 }), "01:00");
    EXPECT_EQ(DurationText(int64_t { 108000 }), "30:00"); // a week's 30 hours
    EXPECT_EQ(DurationText(int64_t { 86400 }), "24:00");
    EXPECT_EQ(DurationText(int64_t { 100 * 3600 + 59 }), "100:00");
    EXPECT_EQ(DurationText(int64_t { 86399 }), "23:59");
    EXPECT_EQ(DurationText(int64_t { 8700 }), "02:25");
    EXPECT_EQ(DurationText(int64_t { 0 }), "00:00");
}

TEST(DbTextToDate, ReadsDatesAndRefusesMalformedOnes)
{
    EXPECT_EQ(DbTextToDate("2011-4-7"), EncodeDateTime(2011, 4, 7));
    EXPECT_EQ(DbTextToDate(" 2011-04-07 "), EncodeDateTime(2011, 4, 7));
    EXPECT_EQ(DbTextToDate(DateToDbText(40654.75)), 40654.0);
    EXPECT_THROW(DbTextToDate("2011-04"), EAssertionFailed);
    EXPECT_THROW(DbTextToDate("2011-04-07-01"), EAssertionFailed);
    EXPECT_THROW(DbTextToDate("2011-02-30"), EConvertError);
    EXPECT_THROW(DbTextToDate("2011-xx-01"), EConvertError);
    EXPECT_NO_THROW(DbTextToDate("2012-02-29"));
    EXPECT_THROW(DbTextToDate("2100-02-29"), EConvertError);
}

TEST(EncodeDateTime, KnownDayCountsAndRoundTrip)
{
    EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDateTime(2011, 4, 21, 12), 40654.5);
    const TDateParts parts = DecodeDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 58, 999));
    EXPECT_EQ(parts.Year, 2024);
    EXPECT_EQ(parts.Month, 2);
    EXPECT_EQ(parts.Day, 29);
    EXPECT_EQ(parts.Second, 58);
    EXPECT_EQ(parts.MilliSecond, 999);
    EXPECT_THROW(EncodeDateTime(2011, 13, 1), EConvertError);
    EXPECT_THROW(EncodeDateTime(2011, 1, 1, 24), EConvertError);
}

TEST(ProgramNumberTexts, UseCommaAndRoundTrip)
{
    EXPECT_EQ(FloatToProgramText(40654.5), "40654,5");
    EXPECT_EQ(FloatToProgramText(3), "3");
    EXPECT_EQ(FloatToProgramText(1e-5), "1E-5");
    EXPECT_EQ(FloatToProgramText(1e20), "1E20");
    for (double value : { 40654.5, 0.1, 40654.123456789, -2.5, 1e-5, 0.0 }) {
        double back = -1;
        ASSERT_TRUE(ProgramTextToFloat(FloatToProgramText(value), back)) << value;
        EXPECT_NEAR(back, value, std::abs(value) * 1e-14);
    }
    double untouched = 7;
    EXPECT_FALSE(ProgramTextToFloat("40654.5", untouched));
    EXPECT_FALSE(ProgramTextToFloat("", untouched));
    EXPECT_FALSE(ProgramTextToFloat("12,5x", untouched));
    EXPECT_EQ(untouched, 7);
}

TEST(RoundHalfEven, RoundsHalvesToEven)
{
    EXPECT_EQ(RoundHalfEven(4.4), 4);
    EXPECT_EQ(RoundHalfEven(4.6), 5);
    EXPECT_EQ(RoundHalfEven(4.5), 4);
    EXPECT_EQ(RoundHalfEven(5.5), 6);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_THROW(RoundHalfEven(1e30), ERangeError);
}

TEST(FileHelpers, ExistenceDistinguishesFilesFoldersAndMissingPaths)
{
    TTempFolder folder;
    const std::string file = folder.Text() + "a file";
    std::ofstream(file) << "x";
    EXPECT_TRUE(FileExistsOnVolume(file));
    EXPECT_FALSE(FolderExistsOnVolume(file));
    EXPECT_TRUE(FolderExistsOnVolume(folder.Text()));
    EXPECT_FALSE(FileExistsOnVolume(folder.Text()));
    EXPECT_FALSE(FileExistsOnVolume(folder.Text() + "missing"));
    EXPECT_FALSE(FileExistsOnVolume(""));
    EXPECT_FALSE(FileExistsOnVolume("/proc/no-such-folder/x"));
}

TEST(TextHelpers, SmallRules)
{
    EXPECT_EQ(TrailingCharEnsure("", '/'), "");
    EXPECT_EQ(TrailingCharEnsure("/a/", '/'), "/a/");
    EXPECT_EQ(TrailingCharEnsure("/a", '/'), "/a/");
    EXPECT_EQ(IfThenText(true, "1", "0"), "1");
    EXPECT_EQ(IfThenText(false, "1", "0"), "0");
    EXPECT_EQ(QuotedStr("it's"), "'it''s'");
    EXPECT_EQ(Trim("\x01 a b \x1f"), "a b");
}

TEST(ProgramLog, AppendsStampedLinesAndNeverRaises)
{
    TTempFolder folder;
    TFakeClock clock(EncodeDateTime(2011, 4, 21, 9, 5, 7, 42));
    const std::string logFile = folder.Text() + "tallyhour.log";
    LogFileNameSet(logFile);
    LogMessageWrite("first");
    LogError(EConvertError("line 1\r\nline 2"), "; TOptions.SettingsDBExecSQL:");
    EXPECT_EQ(FileText(logFile),
        "2011-04-21 09:05:07.042 first\r\n"
        "2011-04-21 09:05:07.042 ErrorClassName: EConvertError; TOptions.SettingsDBExecSQL:"
        "line 1\r\nline 2\r\n");
    LogFileNameSet(folder.Text() + "missing-folder/x.log");
    EXPECT_NO_THROW(LogMessageWrite("dropped"));
    LogFileNameSet("");
}

TEST(ProgramLog, LineTheFileCannotTakeGoesToStandardError)
{
    TTempFolder folder;
    TFakeClock clock(EncodeDateTime(2011, 4, 21, 9, 5, 7, 42));
    const std::string captured = folder.Text() + "stderr";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    // Binary on Windows too: the lines must reach the file as the program wrote them.
    const int capture = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_BINARY, 0600);
    ASSERT_GE(capture, 0);
    ::dup2(capture, STDERR_FILENO);
    ::close(capture);
    LogFileNameSet(folder.Text() + "missing-folder/x.log"); // the folder is gone
    LogMessageWrite("no folder");
    LogFileNameSet("/dev/full"); // the disk is full
    LogError(EConvertError("line 1\r\nline 2"), "; TOptions.SettingsDBExecSQL:");
    LogFileNameSet(folder.Text() + "good.log");
    LogMessageWrite("written");
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    LogFileNameSet("");
    EXPECT_EQ(FileText(captured),
        "2011-04-21 09:05:07.042 no folder\n"
        "2011-04-21 09:05:07.042 ErrorClassName: EConvertError; TOptions.SettingsDBExecSQL:line 1\r\nline 2\n");
    EXPECT_EQ(FileText(folder.Text() + "good.log"), "2011-04-21 09:05:07.042 written\r\n");
}

TEST(ProgramNumberTexts, OtherFormatsUseTheirOwnSeparator)
{
    const TFormatSettings dot { '.', ':' };
    EXPECT_EQ(FloatToText(2.5, dot), "2.5");
    double value = 0;
    EXPECT_TRUE(TextToFloat("2.5", value, dot));
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(ProgramFormatSettings().DecimalSeparator, ',');
}
