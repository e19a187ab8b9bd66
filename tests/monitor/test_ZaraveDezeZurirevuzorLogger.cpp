#include "monitor/ZaraveDezeZurirevuzorLogger.h"

#include "MonitorTestSupport.h"
#include "enforce/ScanPipeline.h"
#include "model/DataLocations.h"
#include "model/Exceptions.h"
#include "model/TextHelpers.h"
#include "model/UserNotices.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/SQLiteDatabase.h"
#include "storage/WindowPreferences.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/FakeSessionPower.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

namespace {

constexpr const char* kEditor = "/usr/bin/editor";
constexpr const char* kFirefox = "/usr/lib/firefox-esr/firefox-esr";

// A fresh data folder per test with the clock at `now`; the time-limit list holds an editor and
// a site, and both databases know them.
class ActivityLogger : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ActivityChargesWaitingReset();
        OptionsInstanceFree();
        WindowPreferencesFree();
        DataLocationsCompute(m_folder.Text(), "/opt/tallyhour/tallyhour");
        LogFileNameSet("");
        ClockAt(EncodeDateTime(2024, 3, 5, 10, 0, 0));
        TOptions& options = OptionsInstance();
        ListedItemAdd(options.MonitoredItems(), mitApp, kEditor, "Editor");
        ListedItemAdd(options.MonitoredItems(), mitWeb, "example.com", "Example");
        options.ListSave();
    }
    void TearDown() override
    {
        OptionsInstanceFree();
        WindowPreferencesFree();
        ActivityChargesWaitingReset();
        SQLiteBusyTimeoutSet(kSQLiteBusyTimeoutMs);
        m_clock.reset();
    }

    void ClockAt(TDateTime moment)
    {
        m_clock.reset();
        m_clock = std::make_unique<TFakeClock>(moment);
    }
    // A row as an earlier run of the program wrote it.
    static void RowAdd(TDateTime when, const std::string& appName, const std::string& url, int32_t seconds, int origin)
    {
        ActivityDBExecSQL(
            ActivityInsertSql(DateTimeToDbText(when), appName, url, "Desktop Application", seconds, origin));
    }
    static std::string RowsText()
    {
        auto table = ActivityDBGetTable("SELECT date_created, app_name, browser_url, app_type, duration, origin "
                                        "FROM applications ORDER BY rowid");
        std::string text;
        for (bool more = table->First(); more && !table->AtEnd(); table->Next()) {
            for (int i = 0; i < table->ColumnCount(); ++i) {
                text += table->TextAt(i) + (i + 1 < table->ColumnCount() ? "|" : "\n");
            }
        }
        return text;
    }
    std::string LogText() const
    {
        return FileText(DataLocations().LogFileName);
    }
    TZaraveDezeZurirevuzor& SampleOf(
        const std::string& exeName, TApplicationType type = atDesktop, const std::string& url = {})
    {
        m_sample.ExeName = exeName;
        m_sample.AppType = type;
        m_sample.BrowserUrl = url;
        return m_sample;
    }
    static int32_t DurationOf(TMonitoredList& list, const std::string& name)
    {
        const int index = list.NameIndexGet(name);
        return index < 0 ? -1 : list.Items(index)->Duration;
    }

    TTempFolder m_folder;
    std::unique_ptr<TFakeClock> m_clock;
    TFakeDesktop m_desktop;
    TZaraveDezeZurirevuzor m_sample { m_desktop, m_desktop.Processes(), m_desktop };
};

} // namespace

TEST(DayStart, FourOClockBoundary)
{
    EXPECT_DOUBLE_EQ(DayStartOf(EncodeDateTime(2024, 3, 5, 3, 59, 59, 999)), EncodeDateTime(2024, 3, 4, 4, 0, 0));
    EXPECT_DOUBLE_EQ(DayStartOf(EncodeDateTime(2024, 3, 5, 4, 0, 0)), EncodeDateTime(2024, 3, 5, 4, 0, 0));
    EXPECT_DOUBLE_EQ(DayStartOf(EncodeDateTime(2024, 3, 5, 23, 59, 59)), EncodeDateTime(2024, 3, 5, 4, 0, 0));
    EXPECT_DOUBLE_EQ(DayStartOf(EncodeDateTime(2024, 3, 1, 0, 0, 0)), EncodeDateTime(2024, 2, 29, 4, 0, 0));
}

TEST_F(ActivityLogger, DayTotalRunsFromFourOClock)
{
    RowAdd(EncodeDateTime(2024, 3, 4, 3, 59, 59), kEditor, "", 1000, 1);
    RowAdd(EncodeDateTime(2024, 3, 4, 4, 0, 0), kEditor, "", 200, 1);
    RowAdd(EncodeDateTime(2024, 3, 4, 23, 0, 0), kFirefox, "example.com", 30, 2);
    RowAdd(EncodeDateTime(2024, 3, 5, 3, 59, 59), kEditor, "", 4, 1);
    RowAdd(EncodeDateTime(2024, 3, 5, 4, 0, 0), kEditor, "", 5000, 1);

    ClockAt(EncodeDateTime(2024, 3, 5, 3, 59, 59));
    {
        TZaraveDezeZurirevuzorLogger logger;
        EXPECT_EQ(logger.Total, 200 + 30 + 4);
        EXPECT_EQ(DurationOf(logger.TodayItems(), kEditor), 204);
        EXPECT_EQ(DurationOf(logger.TodayItems(), "example.com"), 30);
    }
    ClockAt(EncodeDateTime(2024, 3, 5, 4, 0, 0));
    TZaraveDezeZurirevuzorLogger logger;
    EXPECT_EQ(logger.Total, 5000);
    EXPECT_EQ(DurationOf(logger.TodayItems(), "example.com"), 0);
    EXPECT_EQ(LogText().find("ErrorClassName"), std::string::npos) << LogText();
}

TEST_F(ActivityLogger, DayLoadTakesEveryRowOfTheDayWhateverTheClockAndTheLetterCase)
{
    // Listed under another letter case than the path the scan samples and charges it under.
    ListedItemAdd(OptionsInstance().MonitoredItems(), mitApp, "/usr/bin/XTerm", "XTerm");
    OptionsInstance().ListSave();
    // Summer time has ended: the clock reads 02:00 again after charges stamped 02:10 to 02:58.
    RowAdd(EncodeDateTime(2024, 3, 4, 3, 59, 59), "/usr/bin/xterm", "", 1000, 1); // the day before
    RowAdd(EncodeDateTime(2024, 3, 5, 2, 10, 0), kEditor, "", 30, 1);
    RowAdd(EncodeDateTime(2024, 3, 5, 2, 58, 0), "/usr/bin/xterm", "", 116, 1);
    RowAdd(EncodeDateTime(2024, 3, 5, 3, 20, 0), kFirefox, "example.com", 7, 2);
    RowAdd(EncodeDateTime(2024, 3, 5, 4, 0, 0), "/usr/bin/xterm", "", 2000, 1); // the day after
    ClockAt(EncodeDateTime(2024, 3, 5, 2, 0, 0));
    {
        TZaraveDezeZurirevuzorLogger logger;
        EXPECT_EQ(logger.Total, 30 + 116 + 7);
        EXPECT_EQ(DurationOf(logger.TodayItems(), "/usr/bin/XTerm"), 116);
        EXPECT_EQ(DurationOf(logger.TodayItems(), kEditor), 30);
        EXPECT_EQ(DurationOf(logger.TodayItems(), "example.com"), 7);
        logger.Log(&SampleOf("/usr/bin/xterm"), 4);
        EXPECT_EQ(logger.Total, 157);
    }
    // A start later that night, with every row before the clock, finds them by the letter case
    // alone, the charge just made among them.
    ClockAt(EncodeDateTime(2024, 3, 5, 3, 30, 0));
    TZaraveDezeZurirevuzorLogger logger;
    EXPECT_EQ(logger.Total, 157);
    EXPECT_EQ(DurationOf(logger.TodayItems(), "/usr/bin/XTerm"), 120);
}

TEST_F(ActivityLogger, LogWritesOneRowPerChargeWithItsOrigin)
{
    TZaraveDezeZurirevuzorLogger logger;
    logger.Log(&SampleOf(kEditor), 4);
    m_clock->Advance(3);
    logger.Log(&SampleOf(kFirefox, atFirefox, "example.com"), 3);
    m_clock->Advance(3);
    logger.Log(&SampleOf(kFirefox, atFirefox, "example.org"), 3); // listed nowhere: nothing

    EXPECT_EQ(RowsText(),
        "2024-03-05 10:00:00|/usr/bin/editor||Desktop Application|4|1\n"
        "2024-03-05 10:00:03|/usr/lib/firefox-esr/firefox-esr|example.com|Mozila FireFox|3|2\n");
    EXPECT_EQ(logger.Total, 7);
    EXPECT_EQ(DurationOf(logger.TodayItems(), kEditor), 4);
    EXPECT_EQ(DurationOf(logger.TodayItems(), "example.com"), 3);

    // A new logger rebuilds the same account from the rows.
    TZaraveDezeZurirevuzorLogger again;
    EXPECT_EQ(again.Total, 7);
    EXPECT_THROW(again.Log(nullptr, 1), EAssertionFailed);
}

// The usage chart against the limit, on random days of charges (seeded, so every run is the
// same) by a browser that is listed as a program and through sites that overlap: "example.com"
// also matches mail.example.com, a search page names a listed site only in its query, a site
// listed with "www." is visited without, and the terminal is listed in other letter case than it
// runs under. Each day's bar, and its hours added up, hold exactly the total the limit is held
// against that day: no charge is found under two items, and none is missed.
TEST_F(ActivityLogger, UsageChartOfRandomDaysAddsUpToEachDaysTotalAgainstTheLimit)
{
    TOptions& options = OptionsInstance();
    ListedItemAdd(options.MonitoredItems(), mitApp, kFirefox, "Firefox");
    ListedItemAdd(options.MonitoredItems(), mitApp, "/usr/bin/XTerm", "XTerm");
    ListedItemAdd(options.MonitoredItems(), mitWeb, "youtube.com", "YouTube");
    ListedItemAdd(options.MonitoredItems(), mitWeb, "mail.example.com", "Mail");
    ListedItemAdd(options.MonitoredItems(), mitWeb, "www.news.org", "News");
    options.ListSave();
    struct TVisit
    {
        const char* ExeName;
        TApplicationType Type;
        const char* Url;
    };
    const TVisit visits[] = {
        { "/usr/bin/xterm", atDesktop, "" }, { kEditor, atDesktop, "" },
        { "/usr/bin/gimp", atDesktop, "" }, // listed nowhere
        { kFirefox, atFirefox, "https://www.youtube.com/watch?v=1" }, { kFirefox, atFirefox, "https://m.youtube.com/" },
        { kFirefox, atFirefox, "https://www.google.com/search?q=youtube.com+mail.example.com" },
        { kFirefox, atFirefox, "https://mail.example.com/inbox" },
        { kFirefox, atFirefox, "https://example.com/mail.example.com" },
        { kFirefox, atFirefox, "https://news.org/today" }, { kFirefox, atFirefox, "" },
        { "/usr/bin/chromium", atChrome, "https://youtube.com/shorts" },
        { "/usr/bin/chromium", atChrome, "https://www.wikipedia.org/" }, // listed nowhere
    };
    for (const uint32_t seed : { 31u, 1204u, 20261208u }) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        ActivityDBExecSQL("DELETE FROM applications");
        const TDateTime first = EncodeDateTime(2024, 3, 5, 4, 0, 0);
        ClockAt(first);
        std::mt19937 random(seed);
        std::map<std::string, int64_t> dayTotals; // by the day's date, as the chart names it
        auto logger = std::make_unique<TZaraveDezeZurirevuzorLogger>();
        TDateTime dayStart = first;
        while (ProgramNow() < first + 4) {
            // Now and then a long pause, so some hours and a whole day or two stay empty.
            m_clock->Advance(random() % 20 == 0 ? double(random() % 40000) : double(random() % 900 + 1));
            if (DayStartOf(ProgramNow()) != dayStart) {
                // The daily reset starts the new day's account from the database.
                dayTotals[DateToDbText(dayStart)] = logger->Total;
                dayStart = DayStartOf(ProgramNow());
                logger = std::make_unique<TZaraveDezeZurirevuzorLogger>();
                ASSERT_EQ(0, logger->Total);
            }
            const TVisit& visit = visits[random() % std::size(visits)];
            logger->Log(&SampleOf(visit.ExeName, visit.Type, visit.Url), int32_t(random() % 120 + 1));
        }
        dayTotals[DateToDbText(dayStart)] = logger->Total;
        // A restart loads the same day's total from the rows as the running account held.
        logger.reset();
        EXPECT_EQ(dayTotals[DateToDbText(dayStart)], TZaraveDezeZurirevuzorLogger().Total) << "after a restart";

        std::map<std::string, int64_t> chartDays;
        for (const auto& row : UsageSplitLoad(first, ProgramNow(), TUsageBucket::Day)) {
            chartDays[row.Bucket] += row.Seconds;
        }
        std::erase_if(dayTotals, [](const auto& day) { return day.second == 0; });
        EXPECT_EQ(dayTotals, chartDays);
        for (const auto& [day, total] : dayTotals) {
            const TDateTime start = EncodeDateTime(
                std::stoi(day.substr(0, 4)), std::stoi(day.substr(5, 2)), std::stoi(day.substr(8, 2)), 4, 0, 0);
            int64_t hours = 0;
            for (const auto& row :
                UsageSplitLoad(start, std::min(start + 1 - kOneSecond, ProgramNow()), TUsageBucket::Hour)) {
                hours += row.Seconds;
            }
            EXPECT_EQ(total, hours) << "the hours of " << day;
        }
    }
}

TEST_F(ActivityLogger, QuotesInPathsAreStoredAsTheyAre)
{
    const std::string odd = "/home/u/O'Brien's \"tools\"/run; DROP TABLE applications;--";
    ListedItemAdd(OptionsInstance().MonitoredItems(), mitApp, odd, "Odd");
    OptionsInstance().ListSave();
    TZaraveDezeZurirevuzorLogger logger;
    logger.Log(&SampleOf(odd), 9);
    EXPECT_EQ(RowsText(), "2024-03-05 10:00:00|" + odd + "||Desktop Application|9|1\n");
    EXPECT_EQ(TZaraveDezeZurirevuzorLogger().Total, 9);
}

TEST_F(ActivityLogger, SnapListedUnderAnOlderRevisionIsChargedUnderItsListedName)
{
    const std::string listed = "/snap/editor/41/usr/bin/editor";
    ListedItemAdd(OptionsInstance().MonitoredItems(), mitApp, listed, "Snap editor");
    OptionsInstance().ListSave();
    TZaraveDezeZurirevuzorLogger logger;
    logger.Log(&SampleOf("/snap/editor/current/usr/bin/editor"), 6);
    EXPECT_EQ(RowsText(), "2024-03-05 10:00:00|" + listed + "||Desktop Application|6|1\n");
    EXPECT_EQ(DurationOf(logger.TodayItems(), listed), 6);
    // The next start finds the seconds under the entry again.
    TZaraveDezeZurirevuzorLogger again;
    EXPECT_EQ(DurationOf(again.TodayItems(), listed), 6);
    EXPECT_EQ(again.Total, 6);
}

TEST_F(ActivityLogger, ChargesTheDatabaseDoesNotTakeWaitInMemoryAndAreWrittenInOrderWhenItAnswers)
{
    SQLiteBusyTimeoutSet(10); // each scan's write waits for the lock; the test need not wait long
    ActivityChargesWaitingReset(40);
    UserNoticesTake(); // nothing an earlier test left
    TZaraveDezeZurirevuzorLogger logger;
    {
        // Another program holds the write lock for 45 scans, two minutes and a quarter.
        TSQLiteDatabase locker(DataLocations().ActivityDbFileName);
        locker.TransactionBegin();
        for (int scan = 0; scan < 45; ++scan) {
            logger.Log(&SampleOf(kEditor), 3);
            if (scan == 19) {
                EXPECT_EQ(UserNoticesTake(), "") << "told before a minute had passed";
            }
            m_clock->Advance(3);
        }
        // The time counts today; the oldest 5 charges did not fit.
        EXPECT_EQ(logger.Total, 135);
        EXPECT_EQ(DurationOf(logger.TodayItems(), kEditor), 135);
        EXPECT_EQ(ActivityChargesWaitingCount(), 40u);
        EXPECT_NE(UserNoticesTake().find("cannot write the time spent to its activity database (The database "
                                         "file is locked)"),
            std::string::npos);
        EXPECT_EQ(UserNoticesTake(), "") << "told twice";
    }
    // The failure at its start, then one line a minute with the count, not one a scan.
    const std::string log = LogText();
    int lines = 0;
    for (size_t at = log.find("; TZaraveDezeZurirevuzorLogger.Log: "); at != std::string::npos;
         at = log.find("; TZaraveDezeZurirevuzorLogger.Log: ", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 3) << log;
    EXPECT_NE(log.find("(failed 20 more times since the last line; 21 charges wait to be written)"), std::string::npos)
        << log;

    // The database answers: the waiting rows go in first, in their order, with their own times.
    logger.Log(&SampleOf(kEditor), 3);
    EXPECT_EQ(ActivityChargesWaitingCount(), 0u);
    EXPECT_EQ(logger.Total, 138);
    auto rows = ActivityDBGetTable("SELECT MIN(date_created), MAX(date_created), COUNT(*), SUM(duration), "
                                   "MIN(rowid) = (SELECT rowid FROM applications WHERE date_created = "
                                   "'2024-03-05 10:00:15') FROM applications");
    rows->First();
    EXPECT_EQ(rows->TextAt(0), "2024-03-05 10:00:15");
    EXPECT_EQ(rows->TextAt(1), "2024-03-05 10:02:15");
    EXPECT_EQ(rows->Int64At(2), 41);
    EXPECT_EQ(rows->Int64At(3), 123);
    EXPECT_EQ(rows->Int64At(4), 1);
    EXPECT_NE(LogText().find("the activity database answers again; 41 charges that waited since 2024-03-05 "
                             "10:00:15 were written"),
        std::string::npos);
    EXPECT_NE(LogText().find("5 older charges were lost while more than 40 waited"), std::string::npos);
}

TEST_F(ActivityLogger, AFolderInPlaceOfTheDatabaseLogsOnceAMinuteAndTheChargesWaitForTheFile)
{
    TZaraveDezeZurirevuzorLogger logger;
    const std::string fileName = DataLocations().ActivityDbFileName;
    ActivityDatabaseClose();
    std::filesystem::remove(fileName);
    std::filesystem::create_directory(fileName);
    for (int scan = 0; scan < 40; ++scan) { // two minutes of scans
        logger.Log(&SampleOf(kEditor), 3);
        logger.TodayItemsLoad(false);
        m_clock->Advance(3);
    }
    const std::string log = LogText();
    int lines = 0;
    for (size_t at = log.find("ErrorClassName"); at != std::string::npos; at = log.find("ErrorClassName", at + 1)) {
        ++lines;
    }
    EXPECT_LE(lines, 8) << log;
    EXPECT_EQ(ActivityChargesWaitingCount(), 40u);
    std::filesystem::remove(fileName);
    logger.Log(&SampleOf(kEditor), 3);
    EXPECT_EQ(ActivityChargesWaitingCount(), 0u) << LogText();
    EXPECT_EQ(TZaraveDezeZurirevuzorLogger().Total, 123);
}

TEST_F(ActivityLogger, SampleMissingFromTodaysEntriesIsNotCharged)
{
    TZaraveDezeZurirevuzorLogger logger;
    // Listed in the settings after the logger loaded its day.
    ListedItemAdd(OptionsInstance().MonitoredItems(), mitApp, "/usr/bin/late", "Late");
    logger.Log(&SampleOf("/usr/bin/late"), 5);
    EXPECT_EQ(logger.Total, 0);
    EXPECT_EQ(RowsText(), "");
}

TEST_F(ActivityLogger, ReloadAndRemovalsNeverGiveTimeBack)
{
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 0), kEditor, "", 100, 1);
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 0), kFirefox, "example.com", 50, 2);
    TZaraveDezeZurirevuzorLogger logger;
    ASSERT_EQ(logger.Total, 150);

    TMonitoredItem removedCopy;
    removedCopy.Name = "example.com";
    logger.MonitoredItemRemove(&removedCopy, 1);
    EXPECT_FALSE(logger.TodayItems().Items(logger.TodayItems().NameIndexGet("example.com"))->Active);
    removedCopy.Name = kEditor;
    logger.MonitoredItemRemove(&removedCopy, 0);
    EXPECT_EQ(logger.TodayItems().Count(), 2);
    logger.MonitoredItemRemove(&removedCopy, 2);
    EXPECT_EQ(logger.TodayItems().NameIndexGet(kEditor), -1);
    EXPECT_EQ(logger.Total, 150);

    TMonitoredList& list = OptionsInstance().MonitoredItems();
    list.Delete(list.NameIndexGet(kEditor));
    OptionsInstance().ListSave();
    logger.TodayItemsLoad(false);
    EXPECT_EQ(logger.TodayItems().Count(), 1);
    EXPECT_EQ(logger.Total, 150);
}

TEST_F(ActivityLogger, UsagePeriodIsLoadedApartFromTheDay)
{
    RowAdd(EncodeDateTime(2024, 3, 1, 12, 0, 0), kEditor, "", 700, 1);
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 0), kEditor, "", 100, 1);
    TZaraveDezeZurirevuzorLogger logger;
    logger.UsageItemsLoad(false, ProgramNow() - 7, ProgramNow());
    EXPECT_EQ(DurationOf(logger.UsageItems(), kEditor), 800);
    EXPECT_EQ(DurationOf(logger.UsageItems(), "example.com"), 0);
    EXPECT_EQ(logger.Total, 100);
}

TEST_F(ActivityLogger, AbsurdDurationRowIsSkippedAndLoggedWhileTheDayKeepsItsOtherRows)
{
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 0), kEditor, "", 40, 1);
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 2), kFirefox, "example.com", 7, 2);
    // Figures the program cannot have written, from a damaged or foreign database.
    ActivityDBExecSQL("INSERT INTO applications VALUES('2024-03-05 09:00:01', '/usr/bin/editor', '', "
                      "'Desktop Application', 1e30, 1)");
    ActivityDBExecSQL("INSERT INTO applications VALUES('2024-03-05 09:00:03', '/usr/lib/firefox-esr/firefox-esr', "
                      "'example.com', 'Mozila FireFox', 2.5, 2)");
    TZaraveDezeZurirevuzorLogger logger;
    EXPECT_EQ(DurationOf(logger.TodayItems(), kEditor), 40);
    EXPECT_EQ(DurationOf(logger.TodayItems(), "example.com"), 7);
    EXPECT_EQ(logger.Total, 47);
    const std::string log = LogText();
    EXPECT_NE(log.find("an activity row with an impossible duration is not counted: date_created 2024-03-05 "
                       "09:00:01, app_name /usr/bin/editor, browser_url , duration 1.0e+30"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("browser_url example.com, duration 2.5"), std::string::npos) << log;
    // Reported once per run, however often the day is loaded again.
    logger.TodayItemsLoad(false);
    EXPECT_EQ(FileText(DataLocations().LogFileName), log);
    logger.Log(&SampleOf(kEditor), 3);
    EXPECT_EQ(logger.Total, 50);
}

TEST_F(ActivityLogger, EntrySecondsBeyondTheCounterStayAtItsLimit)
{
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 0), kEditor, "", 2'000'000'000, 1);
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 1), kEditor, "", 2'000'000'000, 1);
    TZaraveDezeZurirevuzorLogger logger;
    EXPECT_EQ(DurationOf(logger.TodayItems(), kEditor), 2147483647);
    EXPECT_EQ(logger.Total, 2147483647);
    EXPECT_NE(LogText().find("4000000000 seconds of one entry are more than its counter holds"), std::string::npos);

    const int before = logger.TodayItems().Count();
    EXPECT_FALSE(logger.MonitoredItemsLoad(&logger.TodayItems(), "SELECT nonsense FROM nowhere", true, mitApp));
    EXPECT_EQ(logger.TodayItems().Count(), before);
    EXPECT_NE(LogText().find("ESQLiteException; TZaraveDezeZurirevuzorLogger.MonitoredItemsLoad: "), std::string::npos);
    EXPECT_THROW(logger.MonitoredItemsLoad(nullptr, "SELECT 1", true, mitApp), EAssertionFailed);
}

TEST_F(ActivityLogger, LoadThatFindsTheDatabaseLockedKeepsTheEntriesAndIsTriedAgain)
{
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 0), kEditor, "", 100, 1);
    // Another program holds the activity database for itself alone, which even readers must wait
    // for; it can take the file so only while this program has no connection open on it.
    const auto lockerOpen = [] {
        ActivityDatabaseClose();
        auto locker = std::make_unique<TSQLiteDatabase>(DataLocations().ActivityDbFileName);
        locker->RunQuery("PRAGMA locking_mode=EXCLUSIVE");
        locker->RunStatement("BEGIN EXCLUSIVE");
        return locker;
    };
    std::unique_ptr<TZaraveDezeZurirevuzorLogger> logger;
    {
        const auto locker = lockerOpen();
        logger = std::make_unique<TZaraveDezeZurirevuzorLogger>();
        EXPECT_EQ(logger->Total, 0);
    }
    // The next charge loads the day first, so it is charged and the day's rows are counted.
    logger->Log(&SampleOf(kEditor), 3);
    EXPECT_EQ(DurationOf(logger->TodayItems(), kEditor), 103);
    EXPECT_EQ(logger->Total, 103);

    // A reload that fails leaves the loaded entries in place.
    {
        const auto locker = lockerOpen();
        logger->TodayItemsLoad(false);
        EXPECT_EQ(logger->TodayItems().Count(), 2);
        EXPECT_EQ(DurationOf(logger->TodayItems(), kEditor), 103);
    }
    logger->Log(&SampleOf(kEditor), 2);
    EXPECT_EQ(logger->Total, 105);
    EXPECT_EQ(DurationOf(logger->TodayItems(), kEditor), 105);
}

TEST_F(ActivityLogger, ChargesOfADayTheDatabaseWouldNotLoadAtStartAreKeptAndCountedWithItsRows)
{
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 0), kEditor, "", 100, 1);
    SQLiteBusyTimeoutSet(10);
    ActivityDatabaseClose();
    std::unique_ptr<TZaraveDezeZurirevuzorLogger> logger;
    {
        // Another program holds the activity database for itself alone while the program starts.
        TSQLiteDatabase locker(DataLocations().ActivityDbFileName);
        locker.RunQuery("PRAGMA locking_mode=EXCLUSIVE");
        locker.RunStatement("BEGIN EXCLUSIVE");
        logger = std::make_unique<TZaraveDezeZurirevuzorLogger>();
        for (int scan = 0; scan < 3; ++scan) {
            m_clock->Advance(3);
            logger->Log(&SampleOf(kEditor), 3);
        }
        EXPECT_EQ(logger->Total, 9);
        EXPECT_EQ(ActivityChargesWaitingCount(), 3u);
    }
    // The day loads at the next charge and every kept charge is written.
    m_clock->Advance(3);
    logger->Log(&SampleOf(kEditor), 3);
    EXPECT_EQ(ActivityChargesWaitingCount(), 0u);
    EXPECT_EQ(logger->Total, 112);
    EXPECT_EQ(TZaraveDezeZurirevuzorLogger().Total, 112);
}

TEST_F(ActivityLogger, AnotherProgramWritingDelaysNoReadAndItsCommittedRowsCount)
{
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 0), kEditor, "", 100, 1);
    TZaraveDezeZurirevuzorLogger logger;
    logger.Log(&SampleOf(kEditor), 3);
    {
        // A write of another program, still open: the day loads from what is committed.
        TSQLiteDatabase writer(DataLocations().ActivityDbFileName);
        writer.RunStatement("BEGIN EXCLUSIVE");
        writer.RunStatement(ActivityInsertSql("2024-03-05 09:30:00", kEditor, "", "Desktop Application", 50, 1));
        logger.TodayItemsLoad(false);
        EXPECT_EQ(DurationOf(logger.TodayItems(), kEditor), 103);
        // The charge of this scan finds the file locked: logged, and kept for the next charge.
        logger.Log(&SampleOf(kEditor), 4);
        EXPECT_EQ(logger.Total, 107);
        EXPECT_NE(LogText().find("The database file is locked"), std::string::npos) << LogText();
        writer.RunStatement("COMMIT");
    }
    // Another program's committed row is seen at the next load, and both charges are written.
    logger.Log(&SampleOf(kEditor), 2);
    logger.TodayItemsLoad(false);
    EXPECT_EQ(DurationOf(logger.TodayItems(), kEditor), 159);
}

TEST_F(ActivityLogger, StaleListCopyInTheActivityDatabaseIsBroughtInLineBeforeTheDayLoads)
{
    // A save whose second write found the activity database locked.
    TOptions& options = OptionsInstance();
    ListedItemAdd(options.MonitoredItems(), mitWeb, "news.example.net", "News");
    {
        TSQLiteDatabase locker(DataLocations().ActivityDbFileName);
        locker.RunStatement("BEGIN EXCLUSIVE");
        options.ListSave();
    }
    EXPECT_EQ(ActivityDBGetTable("SELECT * FROM websites_list")->RowCount(), 1);
    TZaraveDezeZurirevuzorLogger logger;
    logger.Log(&SampleOf(kFirefox, atFirefox, "news.example.net"), 4);
    EXPECT_EQ(logger.Total, 4);
    EXPECT_EQ(DurationOf(logger.TodayItems(), "news.example.net"), 4);
    EXPECT_NE(LogText().find("copy of the time-limit list (2 entries) differed from the settings database's (3 "
                             "entries) and was rewritten"),
        std::string::npos)
        << LogText();
}

TEST_F(ActivityLogger, DailyResetAppliesPendingRemovalsAndStartsANewDay)
{
    TOptions& options = OptionsInstance();
    ListedItemAdd(options.MonitoredItems(), mitWeb, "news.example.net", "News");
    ListedItemAdd(options.MonitoredItems(), mitApp, "/usr/bin/game", "Game", /*active=*/false);
    options.ListSave();
    TIniFile& preferences = WindowPreferences().File();
    preferences.WriteString(kIniSectionWebSites, "news.example.net", "news.example.net");
    preferences.WriteString(kIniSectionApplications, "/usr/bin/gone", "/usr/bin/gone");
    RowAdd(EncodeDateTime(2024, 3, 5, 9, 0, 0), kEditor, "", 100, 1);

    auto logger = std::make_unique<TZaraveDezeZurirevuzorLogger>();
    ASSERT_EQ(logger->TodayItems().Count(), 4);
    ClockAt(EncodeDateTime(2024, 3, 6, 4, 0, 3));
    options.AllowUserToChangeSettings = true;
    DailyResetAccountingRun(options, preferences, logger);

    EXPECT_EQ(logger, nullptr);
    EXPECT_DOUBLE_EQ(options.ResetDateTime, EncodeDateTime(2024, 3, 7, 4, 0, 0));
    EXPECT_EQ(options.MonitoredItems().Count(), 2);
    EXPECT_EQ(options.MonitoredItems().NameIndexGet("news.example.net"), -1);
    EXPECT_EQ(options.MonitoredItems().NameIndexGet("/usr/bin/game"), -1);
    EXPECT_FALSE(preferences.SectionExists(kIniSectionWebSites));
    EXPECT_FALSE(preferences.SectionExists(kIniSectionApplications));

    // The save rewrote the activity database's copy of the list; the new day starts at 0.
    TZaraveDezeZurirevuzorLogger fresh;
    EXPECT_EQ(fresh.TodayItems().Count(), 2);
    EXPECT_EQ(fresh.Total, 0);
}

TEST_F(ActivityLogger, DailyResetWithoutChangeRightsKeepsEntriesButErasesThePending)
{
    TOptions& options = OptionsInstance();
    options.AllowUserToChangeSettings = false;
    TIniFile& preferences = WindowPreferences().File();
    preferences.WriteString(kIniSectionApplications, kEditor, kEditor);
    std::unique_ptr<TZaraveDezeZurirevuzorLogger> noLogger;
    DailyResetAccountingRun(options, preferences, noLogger);
    EXPECT_NE(options.MonitoredItems().NameIndexGet(kEditor), -1);
    EXPECT_FALSE(preferences.SectionExists(kIniSectionApplications));
}

TEST_F(ActivityLogger, DailyResetBeforeFourOClockSetsTheNextResetToThisMorning)
{
    // A start at 02:00 finds yesterday's reset moment stale and runs the reset at once.
    TOptions& options = OptionsInstance();
    ClockAt(EncodeDateTime(2024, 3, 6, 2, 0, 0));
    std::unique_ptr<TZaraveDezeZurirevuzorLogger> noLogger;
    DailyResetAccountingRun(options, WindowPreferences().File(), noLogger);
    EXPECT_DOUBLE_EQ(options.ResetDateTime, EncodeDateTime(2024, 3, 6, 4, 0, 0));

    ClockAt(EncodeDateTime(2024, 3, 6, 4, 0, 0));
    DailyResetAccountingRun(options, WindowPreferences().File(), noLogger);
    EXPECT_DOUBLE_EQ(options.ResetDateTime, EncodeDateTime(2024, 3, 7, 4, 0, 0));
}

// The scan cycle, the logger and the reset together across 04:00, as the main window wires them.
TEST_F(ActivityLogger, ScansAcrossFourOClockStartTheNewDayFromTheDatabase)
{
    ClockAt(EncodeDateTime(2024, 3, 5, 3, 59, 55));
    RowAdd(EncodeDateTime(2024, 3, 4, 22, 0, 0), kEditor, "", 600, 1);
    TOptions& options = OptionsInstance();
    options.ResetDateTime = EncodeDateTime(2024, 3, 5, 4, 0, 0);
    // The main window's side of the scan, as far as the day's account goes.
    struct THost : TScanSettings, TScanAccount, TScanObserver
    {
        TOptions& Options = OptionsInstance();
        std::unique_ptr<TZaraveDezeZurirevuzorLogger> Logger;
        TZaraveDezeZurirevuzorLogger& LoggerGet()
        {
            if (!Logger) {
                Logger = std::make_unique<TZaraveDezeZurirevuzorLogger>();
            }
            return *Logger;
        }
        const TMonitoredList& TimeLimitList() override
        {
            return Options.MonitoredItems();
        }
        int32_t TimeLimitSeconds() override
        {
            return 86400;
        }
        TDateTime ResetDateTime() override
        {
            return Options.ResetDateTime;
        }
        int ExpirationAction() override
        {
            return 0;
        }
        int32_t Total() override
        {
            return LoggerGet().Total;
        }
        void Charge(const TZaraveDezeZurirevuzor& sample, int32_t seconds) override
        {
            LoggerGet().Log(&sample, seconds);
        }
        void DailyResetRequest() override
        {
            DailyResetAccountingRun(Options, WindowPreferences().File(), Logger);
        }
        void TimeUpShow(const TTimeUpRequest&) override
        {
        }
        void ReminderTimerEnabledSet(bool) override
        {
        }
        void ShutdownFailedShow(const std::string&) override
        {
        }
    } host;
    TFakeSessionPower power;
    TEnforcementState state;
    TInlineTaskRunner owner;
    TScanPipeline cycle({ m_desktop, m_desktop.Processes(), m_desktop, power }, host, host, state, host,
        std::make_unique<TInlineTaskRunner>(), owner);
    m_desktop.WindowShow({ .ExeName = kEditor });
    cycle.LastScanTime = ProgramNow();

    m_clock->Advance(3); // 03:59:58
    cycle.TickRun();
    EXPECT_EQ(host.LoggerGet().Total, 603);
    m_clock->Advance(3); // 04:00:01: the reset runs first, the charge goes to the new day
    cycle.TickRun();
    EXPECT_EQ(host.LoggerGet().Total, 3);
    EXPECT_DOUBLE_EQ(options.ResetDateTime, EncodeDateTime(2024, 3, 6, 4, 0, 0));
}
