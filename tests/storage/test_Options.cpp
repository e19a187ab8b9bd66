#include "storage/Options.h"

#include "StorageFixture.h"
#include "model/UserNotices.h"
#include "storage/ActivityDatabase.h"
#include "storage/DatabaseSchema.h"
#include "storage/SQLiteDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class SettingsStore : public StorageTest
{
protected:
    std::unique_ptr<TSQLiteTable> SettingsQuery(const std::string& sql)
    {
        TSQLiteDatabase database(Locations().SettingsDbFileName);
        return database.RunQuery(sql);
    }
    void SettingsRun(const std::string& sql)
    {
        TSQLiteDatabase database(Locations().SettingsDbFileName);
        database.RunStatement(sql);
    }
    std::string SettingValue(const std::string& name)
    {
        auto table = SettingsQuery("SELECT value FROM settings WHERE name = " + QuotedStr(name));
        return table->First() ? table->TextAt(0) : "(absent)";
    }
    static void ItemAdd(TOptions& options, TMonitoredItemType kind, const std::string& name, const std::string& caption)
    {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = kind;
        item->Name = name;
        item->Caption = caption;
        options.MonitoredItems().Add(caption, std::move(item));
    }
};

} // namespace

TEST_F(SettingsStore, FreshDataFolderGivesDefaultsAndTablesAreCreated)
{
    TOptions& options = OptionsInstance();
    EXPECT_EQ(options.ScanPeriodSeconds, 3);
    EXPECT_EQ(options.TimeLimitSeconds, 28800);
    EXPECT_EQ(options.ExpirationAction, 0);
    EXPECT_TRUE(options.AllowUserToChangeSettings);
    EXPECT_FALSE(options.IsNotFirstRun);
    EXPECT_TRUE(options.MonitoredItemDeleteActionProcessed);
    EXPECT_DOUBLE_EQ(options.ResetDateTime, EncodeDateTime(2011, 4, 22, 4, 0, 0));
    EXPECT_EQ(options.RightsLevel(), 1);
    OptionsInstanceFree();
    EXPECT_EQ(SettingValue("TimeLimitSeconds"), "28800");
    EXPECT_EQ(SettingValue("ResetDateTime"), "2011-04-22");
    EXPECT_EQ(LogText().find("ErrorClassName"), std::string::npos) << LogText();
}

TEST_F(SettingsStore, ResetMomentAtTheFourOClockBoundary)
{
    m_clock.reset();
    m_clock = std::make_unique<TFakeClock>(EncodeDateTime(2011, 4, 21, 3, 59, 59));
    EXPECT_DOUBLE_EQ(OptionsInstance().ResetDateTime, EncodeDateTime(2011, 4, 21, 4, 0, 0));
    OptionsInstanceFree();
    SettingsRun("DELETE FROM settings");
    m_clock.reset();
    m_clock = std::make_unique<TFakeClock>(EncodeDateTime(2011, 4, 21, 4, 0, 0));
    EXPECT_DOUBLE_EQ(OptionsInstance().ResetDateTime, EncodeDateTime(2011, 4, 22, 4, 0, 0));
}

TEST_F(SettingsStore, SaveAndLoadRoundTripWithOddTexts)
{
    {
        TOptions& options = OptionsInstance();
        options.TimeLimitSeconds = 3600;
        options.ExpirationAction = 2;
        options.ReminderChangePeriod = 3;
        options.IsNotFirstRun = true;
        options.ReminderTextSet(1, "Call Mum's \"shop\"");
        options.SetPassword("Secret");
        ItemAdd(options, mitApp, "/opt/O'Brien Tools/bin/tool", "O'Brien's tool");
        ItemAdd(options, mitWeb, "example.com", "Example");
        options.MonitoredItems().Items(options.MonitoredItems().NameIndexGet("example.com"))->Active = false;
        options.ReminderChangedDateTime = EncodeDateTime(2011, 4, 20, 12, 30, 0);
    }
    OptionsInstanceFree();
    TOptions& options = OptionsInstance();
    EXPECT_EQ(options.TimeLimitSeconds, 3600);
    EXPECT_EQ(options.ExpirationAction, 2);
    EXPECT_EQ(options.ExpirationActionName(), "Shutdown Computer");
    EXPECT_EQ(options.ReminderChangePeriod, 3);
    EXPECT_TRUE(options.IsNotFirstRun);
    EXPECT_EQ(options.ReminderText(1), "Call Mum's \"shop\"");
    EXPECT_EQ(options.ReminderText(0), "");
    EXPECT_NEAR(options.ReminderChangedDateTime, EncodeDateTime(2011, 4, 20, 12, 30, 0), 1e-9);
    ASSERT_EQ(options.MonitoredItems().Count(), 2);
    const int app = options.MonitoredItems().NameIndexGet("/opt/O'Brien Tools/bin/tool");
    ASSERT_GE(app, 0);
    EXPECT_EQ(options.MonitoredItems().Items(app)->Caption, "O'Brien's tool");
    EXPECT_EQ(options.MonitoredItems().Items(app)->ItemType, mitApp);
    const int site = options.MonitoredItems().NameIndexGet("example.com");
    EXPECT_EQ(options.MonitoredItems().Items(site)->ItemType, mitWeb);
    EXPECT_FALSE(options.MonitoredItems().Items(site)->Active);
    EXPECT_FALSE(options.AdminMode);
    EXPECT_TRUE(options.CheckPassword("Secret"));
    EXPECT_EQ(SettingValue("ReminderChangePeriod"), "fortnightly");
    EXPECT_EQ(SettingValue("ExpirationAction"), "Shutdown Computer");
    // The activity database holds the same list for the usage queries.
    auto copy = ActivityDBGetTable("SELECT name, caption, active FROM websites_list");
    ASSERT_TRUE(copy->First());
    EXPECT_EQ(copy->TextAt(0), "example.com");
    EXPECT_EQ(copy->Int64At(2), 0);
}

TEST_F(SettingsStore, StoredNamesAndOddValuesLoadOrKeepTheirDefaults)
{
    OptionsInstance();
    OptionsInstanceFree();
    SettingsRun("DELETE FROM settings");
    SettingsRun("INSERT INTO settings VALUES('scanperiodseconds', '0'), ('ExpirationAction', 'close browser/app.'), "
                "('ReminderChangePeriod', 'yearly'), ('TimeLimitSeconds', 'lots'), ('ResetDateTime', '2011-13-40'), "
                "('ReminderShowedDateTime', '40654,5'), ('ReminderChangedDateTime', 'x'), ('Unknown', '1')");
    SettingsRun("DELETE FROM reminders");
    SettingsRun("INSERT INTO reminders VALUES('real morning', 'morning'), ('capital', 'Afternoon'), "
                "('evening text', 'evening')");
    TOptions& options = OptionsInstance();
    EXPECT_EQ(options.ScanPeriodSeconds, 3);
    EXPECT_EQ(options.ExpirationAction, 1);
    EXPECT_EQ(options.ReminderChangePeriod, 0);
    // Values that do not convert keep their defaults and are logged; the program starts.
    EXPECT_EQ(options.TimeLimitSeconds, 28800);
    EXPECT_DOUBLE_EQ(options.ResetDateTime, EncodeDateTime(2011, 4, 22, 4, 0, 0));
    EXPECT_DOUBLE_EQ(options.ReminderShowedDateTime, 40654.5);
    EXPECT_DOUBLE_EQ(options.ReminderChangedDateTime, ProgramNow());
    const std::string log = LogText();
    EXPECT_NE(log.find("ErrorClassName: EConvertError; TOptions.OptionsLoad: 'lots' is not a valid integer value"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("'x' is not a valid floating point value"), std::string::npos) << log;
    // A capitalised part of the day lands in the morning slot, after the real morning row.
    EXPECT_EQ(options.ReminderText(0), "capital");
    EXPECT_EQ(options.ReminderText(1), "");
    EXPECT_EQ(options.ReminderText(2), "evening text");
}

TEST_F(SettingsStore, SaveStatementsHaveTheirFormAndListsGoInBatchesOfFifteen)
{
    TOptions& options = OptionsInstance();
    for (int i = 0; i < 16; ++i) {
        ItemAdd(options, mitApp, "/usr/bin/app" + std::to_string(i), "App " + std::to_string(100 + i));
    }
    ItemAdd(options, mitWeb, "example.com", "Example");
    std::vector<std::string> statements;
    TOptions::StatementHookSet([&statements](const std::string& sql) { statements.push_back(sql); });
    options.OptionsSave();
    TOptions::StatementHookSet(nullptr);

    auto count = [&](const std::string& prefix) {
        return std::count_if(
            statements.begin(), statements.end(), [&](const std::string& sql) { return sql.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(count("INSERT INTO applications_list(name, caption, active)\r\n"), 4); // 15 + 1, both databases
    EXPECT_EQ(count("INSERT INTO websites_list(name, caption, active)\r\n"), 2);
    const auto first = std::find_if(statements.begin(), statements.end(),
        [](const std::string& sql) { return sql.rfind("INSERT INTO applications_list", 0) == 0; });
    EXPECT_EQ(std::count(first->begin(), first->end(), '\n'), 2 * 14 + 1);
    const std::string settings = options.SettingsRowsSql();
    EXPECT_EQ(settings.rfind("INSERT INTO settings(name, value)\r\nSELECT 'ScanPeriodSeconds', '3'\r\nUNION ALL\r\n"
                             "SELECT 'TimeLimitSeconds', '28800'",
                  0),
        0u);
    EXPECT_NE(options.RemindersRowsSql().find("SELECT '', 'afternoon'"), std::string::npos);
    EXPECT_EQ(SettingsQuery("SELECT * FROM applications_list")->RowCount(), 16);
    EXPECT_EQ(ActivityDBGetTable("SELECT * FROM applications_list")->RowCount(), 16);
}

TEST_F(SettingsStore, KillBetweenDeleteAndInsertsLeavesTheOldRows)
{
    {
        TOptions& options = OptionsInstance();
        options.TimeLimitSeconds = 1234;
        ItemAdd(options, mitApp, "/usr/bin/editor", "Editor");
    }
    OptionsInstanceFree();
    // A save that dies at the n-th insert into one table; the statements before it, the table's
    // delete included, have run.
    const auto saveKilledAt = [this](const std::string& insertHead, int occurrence) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TOptions& options = OptionsInstance();
            options.TimeLimitSeconds = 999;
            options.MonitoredItems().Clear();
            ItemAdd(options, mitApp, "/usr/bin/other", "Other");
            TOptions::StatementHookSet([insertHead, occurrence, seen = 0](const std::string& sql) mutable {
                if (sql.rfind(insertHead, 0) == 0 && ++seen == occurrence) {
                    _exit(0); // the crash between the delete and the inserts
                }
            });
            options.OptionsSave();
            _exit(1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << insertHead;
    };
    saveKilledAt("INSERT INTO settings", 1);
    EXPECT_EQ(SettingValue("TimeLimitSeconds"), "1234");
    const auto listedNames = [](const std::string& fileName) {
        TSQLiteDatabase database(fileName);
        auto list = database.RunQuery("SELECT name FROM applications_list");
        std::string names;
        for (list->First(); !list->AtEnd(); list->Next()) {
            names += list->TextAt(0) + ";";
        }
        return names;
    };
    saveKilledAt("INSERT INTO applications_list", 1); // the settings database's copy
    EXPECT_EQ(listedNames(Locations().SettingsDbFileName), "/usr/bin/editor;");
    saveKilledAt("INSERT INTO applications_list", 2); // the activity database's copy
    EXPECT_EQ(listedNames(Locations().ActivityDbFileName), "/usr/bin/editor;");
}

TEST_F(SettingsStore, FailedInsertRollsBackAndIsLoggedWhileTheNextStepsRun)
{
    OptionsInstance().ReminderTextSet(0, "old");
    OptionsInstanceFree();
    SettingsRun("CREATE TRIGGER refuse BEFORE INSERT ON settings BEGIN SELECT RAISE(ABORT, 'refused'); END");
    TOptions& options = OptionsInstance();
    options.ReminderTextSet(0, "new");
    options.TimeLimitSeconds = 60;
    options.OptionsSave();
    EXPECT_EQ(SettingValue("TimeLimitSeconds"), "28800");
    auto reminders = SettingsQuery("SELECT text FROM reminders WHERE reminder_type = 'morning'");
    ASSERT_TRUE(reminders->First());
    EXPECT_EQ(reminders->TextAt(0), "new");
    EXPECT_NE(LogText().find("ErrorClassName: ESQLiteException; TOptions.SettingsDBExecSQL:Error executing SQL "
                             "statement.\rError [19]"),
        std::string::npos)
        << LogText();
}

TEST_F(SettingsStore, LockedSettingsDatabaseIsLoggedAndTheNextCallWorks)
{
    OptionsInstance();
    TSQLiteDatabase holder(Locations().SettingsDbFileName);
    holder.TransactionBegin();
    EXPECT_FALSE(OptionsInstance().SettingsDBExecSQL("DELETE FROM settings;"));
    EXPECT_NE(LogText().find("; TOptions.SettingsDBExecSQL:Error executing SQL statement.\rError [5]: The database "
                             "file is locked."),
        std::string::npos)
        << LogText();
    holder.TransactionCommit();
    EXPECT_TRUE(OptionsInstance().SettingsDBExecSQL("DELETE FROM settings;"));
    EXPECT_EQ(OptionsInstance().SettingsDBGetTable("SELECT * FROM nowhere"), nullptr);
    EXPECT_NE(LogText().find("; TOptions.SettingsDBGetTable:Error executing SQL.\rError [1]"), std::string::npos);
}

TEST_F(SettingsStore, ChangesTheFolderCannotTakeAreToldOnceAndSavedWhenItCanAgain)
{
    OptionsInstance(); // an earlier run made the files
    OptionsInstanceFree();
    TOptions& store = OptionsInstance();
    UserNoticesTake();
    // Every write refused as a full disk refuses it (a folder made read-only refuses with 8 or 14).
    bool full = true;
    TOptions::StatementHookSet([&full](const std::string&) {
        if (full) {
            throw ESQLiteException("Error executing SQL statement.\rError [13]: database or disk is full", 13);
        }
    });
    ItemAdd(store, mitApp, "/usr/bin/new", "New");
    store.ListSave();
    store.TimeLimitSeconds = 1234;
    store.OptionsSave();
    const std::string notice = UserNoticesTake();
    EXPECT_NE(notice.find("Your changes could not be saved: \"" + Locations().SettingsDbFileName
                  + "\" cannot be written (Insertion failed because database is full)"),
        std::string::npos)
        << notice;
    m_clock->Advance(10);
    store.UnsavedChangesRetry(); // too soon: nothing is tried
    m_clock->Advance(25);
    store.UnsavedChangesRetry(); // tried, refused again, and not told again
    EXPECT_EQ(UserNoticesTake(), "");
    EXPECT_EQ(SettingsQuery("SELECT COUNT(*) FROM applications_list")->Int64At(0), 0);

    full = false;
    store.UnsavedChangesRetry(); // the last try was just now
    EXPECT_EQ(SettingsQuery("SELECT COUNT(*) FROM applications_list")->Int64At(0), 0);
    m_clock->Advance(31);
    store.UnsavedChangesRetry();
    EXPECT_EQ(SettingsQuery("SELECT COUNT(*) FROM applications_list")->Int64At(0), 1);
    EXPECT_EQ(ActivityDBGetTable("SELECT COUNT(*) FROM applications_list")->Int64At(0), 1);
    EXPECT_EQ(SettingValue("TimeLimitSeconds"), "1234");
    EXPECT_NE(LogText().find("can be written again; this run's changes are saved"), std::string::npos);
}

TEST_F(SettingsStore, FileThatIsNoDatabaseIsMovedAsideAndReplaced)
{
    {
        std::ofstream out(Locations().SettingsDbFileName, std::ios::binary);
        out << "This is certainly not an SQLite database, but the user's data may be in it. Keep me.";
    }
    TOptions& options = OptionsInstance();
    EXPECT_EQ(options.TimeLimitSeconds, 28800);
    EXPECT_TRUE(options.SettingsDBExecSQL("DELETE FROM settings;"));
    int damaged = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Locations().DataFolder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("settings.sqlite.2011-04-21_10-00-00", 0) == 0 && name.ends_with(".damaged")) {
            ++damaged;
            EXPECT_NE(FileText(entry.path().string()).find("Keep me."), std::string::npos);
        }
    }
    EXPECT_EQ(damaged, 1);
    EXPECT_NE(LogText().find("was not a database"), std::string::npos);
}

TEST_F(SettingsStore, OnceADayRuleForALimitStepByStep)
{
    TOptions& options = OptionsInstance();
    TIniFile& ini = WindowPreferences().File();
    options.TimeLimitSeconds = 2 * 3600;
    options.TimeLimitSecondsSet(3 * 3600); // the first raise applies
    EXPECT_EQ(options.TimeLimitSeconds, 3 * 3600);
    EXPECT_TRUE(options.TimeLimitSecondsChanged);
    EXPECT_TRUE(ini.ReadBool(kIniSectionCommon, "TimeLimitSecondsChanged", false));
    options.TimeLimitSecondsSet(1 * 3600); // a lowering applies at once
    EXPECT_EQ(options.TimeLimitSeconds, 3600);
    options.TimeLimitSecondsSet(4 * 3600); // a further raise is parked
    EXPECT_EQ(options.TimeLimitSeconds, 3600);
    EXPECT_EQ(ini.ReadInteger(kIniSectionCommon, "TimeLimitSeconds", -1), 4 * 3600);
    EXPECT_EQ(options.ShownLimitAndAction().first, 4 * 3600);
    options.PendingChangesApply();
    EXPECT_EQ(options.TimeLimitSeconds, 4 * 3600);
    EXPECT_FALSE(ini.SectionExists(kIniSectionCommon));

    options.AllowUserToChangeSettings = false;
    options.TimeLimitSecondsSet(5 * 3600);
    options.TimeLimitSecondsSet(600);
    EXPECT_EQ(options.TimeLimitSeconds, 4 * 3600);
    options.SetPassword("pw");
    options.TimeLimitSecondsSet(5 * 3600);
    EXPECT_EQ(options.TimeLimitSeconds, 5 * 3600);
}

TEST_F(SettingsStore, OnceADayRuleForTheActionAndForRemovals)
{
    TOptions& options = OptionsInstance();
    TIniFile& ini = WindowPreferences().File();
    options.ExpirationActionSet(1);
    EXPECT_EQ(options.ExpirationAction, 1);
    options.ExpirationActionSet(2);
    EXPECT_EQ(options.ExpirationAction, 1);
    EXPECT_EQ(options.ShownLimitAndAction().second, 2);

    ItemAdd(options, mitApp, "/usr/bin/a", "A");
    ItemAdd(options, mitWeb, "b.example", "B");
    ItemAdd(options, mitWeb, "c.example", "C");
    options.DeleteActionProcessedSet(false);
    TMonitoredItem probe;
    probe.Name = "/usr/bin/a";
    EXPECT_EQ(options.MonitoredItemDelete(&probe), 2); // the once-a-day immediate removal
    EXPECT_EQ(options.MonitoredItems().NameIndexGet("/usr/bin/a"), -1);
    probe.Name = "B.EXAMPLE";
    EXPECT_EQ(options.MonitoredItemDelete(&probe), 1); // parked, shown inactive
    const int index = options.MonitoredItems().NameIndexGet("b.example");
    EXPECT_FALSE(options.MonitoredItems().Items(index)->Active);
    EXPECT_EQ(ini.ReadString(kIniSectionWebSites, "B.EXAMPLE", ""), "B.EXAMPLE");
    probe.Name = "nowhere";
    EXPECT_EQ(options.MonitoredItemDelete(&probe), 1);
    options.AllowUserToChangeSettings = false;
    probe.Name = "c.example";
    EXPECT_EQ(options.MonitoredItemDelete(&probe), 0);
    EXPECT_EQ(options.MonitoredItems().Count(), 2);
}

TEST_F(SettingsStore, PasswordDigestAndReminders)
{
    EXPECT_EQ(PasswordDigest(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(PasswordDigest("abc"), "900150983CD24FB0D6963F7D28E17F72");
    TOptions& options = OptionsInstance();
    options.Password = "900150983cd24fb0d6963f7d28e17f72";
    EXPECT_TRUE(options.CheckPassword("abc"));
    EXPECT_EQ(options.RightsLevel(), 2);
    EXPECT_FALSE(options.CheckPassword("ABC"));
    EXPECT_FALSE(options.AdminMode);

    const TDateTime before = options.ReminderChangedDateTime;
    m_clock->Advance(60);
    options.ReminderTextSet(2, "");
    EXPECT_DOUBLE_EQ(options.ReminderChangedDateTime, before);
    options.ReminderTextSet(2, "read");
    EXPECT_GT(options.ReminderChangedDateTime, before);
    EXPECT_THROW(options.ReminderTextSet(3, "x"), EAssertionFailed);
}

TEST_F(SettingsStore, PurgeRemovesOldAndUnlistedApplicationRows)
{
    OptionsInstance(); // an earlier run made the files
    OptionsInstanceFree();
    TOptions& options = OptionsInstance();
    ItemAdd(options, mitApp, "/usr/bin/kept", "Kept");
    options.ListSave();
    const char* rows[][3] = {
        { "2011-01-21 09:59:59", "/usr/bin/kept", "1" }, // older than 90 days
        { "2011-01-21 10:00:00", "/usr/bin/kept", "1" }, // exactly at the cut-off: kept
        { "2011-04-21 09:00:00", "/usr/bin/gone", "1" }, // no longer listed
        { "2011-04-21 09:00:00", "/usr/bin/gone", "2" }, // site time stays
        { "2011-04-21 09:00:00", "/USR/bin/KEPT", "1" }, // charged to the entry, letter case aside
    };
    for (const auto& row : rows) {
        ActivityDBExecSQL(ActivityInsertSql(row[0], row[1], "", "Desktop Application", 3, std::stoi(row[2])));
    }
    options.ActivityPurge();
    auto left
        = ActivityDBGetTable("SELECT date_created, app_name, origin FROM applications ORDER BY origin, app_name DESC");
    ASSERT_EQ(left->RowCount(), 3);
    left->First();
    EXPECT_EQ(left->TextAt(0), "2011-01-21 10:00:00");
    left->Next();
    EXPECT_EQ(left->TextAt(1), "/USR/bin/KEPT");
    left->Next();
    EXPECT_EQ(left->TextAt(1), "/usr/bin/gone");
    EXPECT_EQ(left->Int64At(2), 2);
}

TEST_F(SettingsStore, DatabaseHeldForAMomentAtStartIsWaitedForNotTakenForNew)
{
    {
        TOptions& options = OptionsInstance();
        options.IsNotFirstRun = true;
        options.TimeLimitSeconds = 3600;
        ItemAdd(options, mitApp, "/usr/bin/game", "Game");
    }
    OptionsInstanceFree();
    // Another program (a backup, say) holds the file for itself alone while the program starts.
    std::atomic<bool> held { false };
    std::thread holder([&held, fileName = Locations().SettingsDbFileName] {
        TSQLiteDatabase database(fileName);
        database.RunStatement("BEGIN EXCLUSIVE");
        held = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        database.RunStatement("COMMIT");
    });
    while (!held) {
        std::this_thread::yield();
    }
    TOptions& options = OptionsInstance();
    holder.join();
    EXPECT_TRUE(options.SettingsRead());
    EXPECT_TRUE(options.IsNotFirstRun);
    EXPECT_EQ(options.TimeLimitSeconds, 3600);
    EXPECT_EQ(options.MonitoredItems().Count(), 1);
    EXPECT_NE(
        LogText().find("the settings database was locked by another program; it was read after"), std::string::npos)
        << LogText();
}

TEST_F(SettingsStore, TablesThatCouldNotBeReadAtStartAreNotOverwrittenByTheSave)
{
    {
        TOptions& options = OptionsInstance();
        options.TimeLimitSeconds = 3600;
        options.ReminderTextSet(0, "Finish the report");
        auto item = std::make_unique<TMonitoredItem>();
        item->Name = "news.example";
        item->Caption = "News";
        item->ItemType = mitWeb;
        options.MonitoredItems().Add("News", std::move(item));
        OptionsInstanceFree();
    }
    {
        // Another program holds the database for longer than the start waits for it.
        TOptions::LoadWaitSet(300);
        TSQLiteDatabase holder(Locations().SettingsDbFileName);
        holder.RunStatement("BEGIN EXCLUSIVE");
        TOptions& options = OptionsInstance();
        EXPECT_FALSE(options.SettingsRead()); // no first run: the stored flag is unknown
        EXPECT_EQ(options.TimeLimitSeconds, 28800);
        EXPECT_EQ(options.MonitoredItems().Count(), 0);
        holder.RunStatement("COMMIT");
        OptionsInstanceFree(); // saves
    }
    EXPECT_NE(LogText().find("the time-limit list, unreadable at start, was read again"), std::string::npos);
    TOptions& reloaded = OptionsInstance();
    EXPECT_EQ(reloaded.TimeLimitSeconds, 3600);
    EXPECT_EQ(reloaded.ReminderText(0), "Finish the report");
    ASSERT_EQ(reloaded.MonitoredItems().Count(), 1);
    EXPECT_EQ(reloaded.MonitoredItems().Items(0)->Name, "news.example");
}

TEST_F(SettingsStore, ListEditedWhileTheStoredListWasUnreadableIsAddedToItNotWrittenOverIt)
{
    {
        TOptions& options = OptionsInstance();
        options.TimeLimitSeconds = 3600;
        options.SetPassword("pw");
        ItemAdd(options, mitWeb, "news.example", "News");
        ItemAdd(options, mitApp, "/usr/bin/game", "Game");
    }
    OptionsInstanceFree();
    TOptions::LoadWaitSet(0);
    TSQLiteDatabase holder(Locations().SettingsDbFileName);
    holder.RunStatement("BEGIN EXCLUSIVE");
    TOptions& options = OptionsInstance(); // loads nothing: every read finds the lock
    ItemAdd(options, mitWeb, "video.example", "Video");
    options.ReminderTextSet(2, "Tidy the desk");
    options.ListSave(); // still locked: nothing may be written from the empty read
    options.OptionsSave();
    holder.RunStatement("COMMIT");
    EXPECT_EQ(SettingsQuery("SELECT * FROM applications_list")->RowCount(), 1);
    EXPECT_EQ(SettingsQuery("SELECT * FROM websites_list")->RowCount(), 1);
    EXPECT_EQ(SettingValue("TimeLimitSeconds"), "3600");

    options.TimeLimitSeconds = 1800; // a change of this run
    options.ListSave(); // the database answers: the stored list is read again, then saved
    OptionsInstanceFree();
    TOptions& reloaded = OptionsInstance();
    EXPECT_EQ(reloaded.MonitoredItems().Count(), 3);
    EXPECT_GE(reloaded.MonitoredItems().NameIndexGet("video.example"), 0);
    EXPECT_GE(reloaded.MonitoredItems().NameIndexGet("news.example"), 0);
    EXPECT_GE(reloaded.MonitoredItems().NameIndexGet("/usr/bin/game"), 0);
    EXPECT_EQ(reloaded.TimeLimitSeconds, 1800);
    EXPECT_TRUE(reloaded.CheckPassword("pw")); // stored, not replaced by the empty default
    EXPECT_EQ(reloaded.ReminderText(2), "Tidy the desk");
    EXPECT_EQ(ActivityDBGetTable("SELECT * FROM websites_list")->RowCount(), 2);
    EXPECT_NE(LogText().find("the time-limit list could not be read, so the stored one is kept"), std::string::npos);
}

TEST_F(SettingsStore, ListCopyLeftStaleByAKillBetweenTheTwoWritesIsRewrittenAtTheNextStart)
{
    {
        TOptions& options = OptionsInstance();
        ItemAdd(options, mitApp, "/usr/bin/editor", "Editor");
    }
    OptionsInstanceFree();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TOptions& options = OptionsInstance();
        ItemAdd(options, mitWeb, "news.example", "News");
        // Killed as the activity database's copy is about to be written, after the settings
        // database committed its own.
        TOptions::StatementHookSet([seen = 0](const std::string& sql) mutable {
            if (sql == "DELETE FROM applications_list;" && ++seen == 2) {
                raise(SIGKILL);
            }
        });
        options.ListSave();
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(SettingsQuery("SELECT * FROM websites_list")->RowCount(), 1);
    EXPECT_EQ(ActivityDBGetTable("SELECT * FROM websites_list")->RowCount(), 0);
    OptionsInstance();
    EXPECT_EQ(ActivityDBGetTable("SELECT * FROM websites_list")->RowCount(), 1);
    EXPECT_EQ(ActivityDBGetTable("SELECT * FROM applications_list")->RowCount(), 1);
    EXPECT_NE(LogText().find("differed from the settings database's"), std::string::npos) << LogText();
}

TEST_F(SettingsStore, NulAndControlCharactersInStoredTextsNeverBreakASave)
{
    OptionsInstance();
    OptionsInstanceFree();
    const std::string odd = std::string("Cap\0tion\x01\x1b[31m", 13);
    {
        // A text as another tool may have stored it, NUL and all.
        TSQLiteDatabase database(Locations().SettingsDbFileName);
        sqlite3_stmt* insert = nullptr;
        ASSERT_EQ(
            sqlite3_prepare_v2(database.Handle(), "INSERT INTO websites_list VALUES(?, ?, 1)", -1, &insert, nullptr),
            SQLITE_OK);
        sqlite3_bind_text(insert, 1, odd.data(), int(odd.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, odd.data(), int(odd.size()), SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_finalize(insert);
    }
    {
        TOptions& options = OptionsInstance();
        ASSERT_EQ(options.MonitoredItems().Count(), 1);
        EXPECT_EQ(options.MonitoredItems().Items(0)->Name, odd);
        ItemAdd(options, mitApp, "/usr/bin/new", "New");
        options.ReminderTextSet(0, std::string("a\0b", 3));
        options.ListSave();
    }
    OptionsInstanceFree();
    EXPECT_EQ(LogText().find("ErrorClassName"), std::string::npos) << LogText();
    TOptions& reloaded = OptionsInstance();
    ASSERT_EQ(reloaded.MonitoredItems().Count(), 2);
    EXPECT_EQ(reloaded.MonitoredItems().Items(reloaded.MonitoredItems().NameIndexGet(odd))->Caption, odd);
    EXPECT_EQ(reloaded.ReminderText(0), std::string("a\0b", 3));
    EXPECT_EQ(ActivityDBGetTable("SELECT * FROM websites_list WHERE name = " + QuotedStr(odd))->RowCount(), 1);

    // A failing statement with a NUL keeps its whole text in the message and the log line.
    EXPECT_FALSE(reloaded.SettingsDBExecSQL("INSERT INTO nowhere VALUES(" + QuotedStr(odd) + ")"));
    EXPECT_NE(LogText().find("'Cap'||char(0)||'tion#1#27[31')\": no such table: nowhere\r\n"), std::string::npos)
        << LogText();
}

TEST_F(SettingsStore, MalformedSettingsDatabaseIsMovedAsideAndWhatStillReadsCarriedOver)
{
    {
        TOptions& options = OptionsInstance();
        options.TimeLimitSeconds = 4321;
        options.ReminderTextSet(0, "Write the letter");
        for (int i = 0; i < 300; ++i) {
            ItemAdd(options, mitApp, "/usr/bin/tool" + std::to_string(i) + std::string(200, 'x'),
                "Tool " + std::to_string(i));
        }
    }
    OptionsInstanceFree();
    // Half the file is gone: the tables' first pages are there, the rest of the list is not.
    const auto size = std::filesystem::file_size(Locations().SettingsDbFileName);
    std::filesystem::resize_file(Locations().SettingsDbFileName, size / 2);

    TOptions& options = OptionsInstance();
    EXPECT_EQ(options.TimeLimitSeconds, 4321) << LogText();
    EXPECT_EQ(options.ReminderText(0), "Write the letter");
    EXPECT_GT(options.MonitoredItems().Count(), 10);
    const std::string log = LogText();
    EXPECT_NE(log.find("was damaged (The database disk image is malformed); it was moved to"), std::string::npos)
        << log;
    int damaged = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Locations().DataFolder)) {
        damaged += entry.path().filename().string().ends_with(".damaged") ? 1 : 0;
    }
    EXPECT_EQ(damaged, 1);
    options.TimeLimitSeconds = 999;
    OptionsInstanceFree();
    EXPECT_EQ(SettingValue("TimeLimitSeconds"), "999"); // changes are saved again
    TSQLiteDatabase database(Locations().SettingsDbFileName);
    EXPECT_EQ(database.RunQuery("PRAGMA integrity_check")->TextAt(0), "ok");
}

TEST_F(SettingsStore, DamagedActivityFileGivesBackEveryRowOnAPageThatStillReads)
{
    OptionsInstance();
    OptionsInstanceFree();
    ActivityDatabaseClose();
    const std::string fileName = Locations().ActivityDbFileName;
    {
        TSQLiteDatabase database(fileName);
        database.TransactionBegin();
        database.RunStatement("INSERT INTO applications_list VALUES('/usr/bin/editor', 'Editor', 1), "
                              "('/usr/bin/game', 'Game', 0)");
        database.RunStatement("INSERT INTO websites_list VALUES('news.example', 'News', 1)");
        sqlite3_stmt* insert = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(
                      database.Handle(), "INSERT INTO applications VALUES(?, ?, ?, ?, ?, ?)", -1, &insert, nullptr),
            SQLITE_OK);
        // Fifty hours of three-second charges, as the program writes them; the oldest third was
        // purged on the way and its pages taken again, so rows and pages no longer run in step.
        for (int i = 0; i < 80000; ++i) {
            if (i == 40000) {
                database.RunStatement("DELETE FROM applications WHERE rowid <= 20000");
            }
            const std::string date = DateTimeToDbText(EncodeDateTime(2011, 4, 19, 0, 0, 0) + i * 3 / 86400.0);
            const std::string app = "/usr/bin/" + std::string(i % 2 ? "editor" : "game");
            sqlite3_bind_text(insert, 1, date.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 2, app.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, i % 3 ? "" : "news.example", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 4, "Desktop Application", -1, SQLITE_STATIC);
            sqlite3_bind_int(insert, 5, 3);
            sqlite3_bind_int(insert, 6, i % 3 ? 1 : 2);
            ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        database.TransactionCommit();
    }
    const std::string whole = FileText(fileName);
    const uint32_t pages = uint32_t(whole.size() / 4096);
    const auto rowsOnPagesUpTo = [&](uint32_t last) {
        TSQLiteDatabase database(fileName);
        return database
            .RunQuery("SELECT TOTAL(ncell) FROM dbstat WHERE name = 'applications' AND pagetype = 'leaf' AND pageno <= "
                + std::to_string(last))
            ->Int64At(0);
    };
    const int64_t keptPages = pages / 2;
    const int64_t readableOfHalf = rowsOnPagesUpTo(uint32_t(keptPages));
    ASSERT_EQ(rowsOnPagesUpTo(pages), 60000);

    struct TDamage
    {
        const char* What;
        std::string Content;
        int64_t Readable;
    };
    const TDamage damages[] = {
        { "first page overwritten", std::string(4096, '\x5a') + whole.substr(4096), 60000 },
        { "cut to half its pages", whole.substr(0, size_t(keptPages) * 4096), readableOfHalf },
    };
    for (const TDamage& damage : damages) {
        ActivityDatabaseClose();
        for (const auto& entry : std::filesystem::directory_iterator(Locations().DataFolder)) {
            if (entry.path().filename().string().ends_with(".damaged")) {
                std::filesystem::remove(entry.path());
            }
        }
        FileWrite(fileName, damage.Content);
        DatabaseSchemaRecheck(fileName);
        UserNoticesTake();
        const int64_t rows = ActivityDBGetTable("SELECT COUNT(*) FROM applications")->Int64At(0);
        std::cout << "[ figures  ] " << damage.What << ": " << rows << " rows kept of " << damage.Readable
                  << " readable (of 60000)" << std::endl;
        EXPECT_EQ(rows, damage.Readable) << damage.What << "\n" << LogText();
        // The rows come back whole, and the totals with them.
        EXPECT_EQ(ActivityDBGetTable("SELECT COUNT(*) FROM applications WHERE duration = 3 AND app_type = "
                                     "'Desktop Application' AND date_created LIKE '2011-04-%'")
                      ->Int64At(0),
            rows);
        EXPECT_EQ(ActivityDBGetTable("SELECT TOTAL(rows) FROM applications_days")->Int64At(0), rows);
        EXPECT_EQ(ActivityDBGetTable("PRAGMA integrity_check")->TextAt(0), "ok");
        auto lists = ActivityDBGetTable("SELECT (SELECT group_concat(name) FROM (SELECT name FROM applications_list "
                                        "ORDER BY name)), (SELECT group_concat(name) FROM websites_list)");
        EXPECT_EQ(lists->TextAt(0), "/usr/bin/editor,/usr/bin/game") << damage.What;
        EXPECT_EQ(lists->TextAt(1), "news.example") << damage.What;
        const std::string notice = UserNoticesTake();
        EXPECT_NE(notice.find("actmondb.sqlite\" was damaged. It was set aside as"), std::string::npos) << notice;
        EXPECT_NE(
            notice.find("with the " + std::to_string(rows + 3) + " rows that could still be read"), std::string::npos)
            << notice;
        EXPECT_EQ(UserNoticesTake(), ""); // told once
    }
}

TEST_F(SettingsStore, RecoveryOnAFullDiskLosesNoRowAndTheNextStartCarriesThemOver)
{
    OptionsInstance();
    OptionsInstanceFree();
    ActivityDatabaseClose();
    const std::string fileName = Locations().ActivityDbFileName;
    constexpr int kRows = 5600;
    {
        TSQLiteDatabase database(fileName);
        database.TransactionBegin();
        for (int i = 0; i < kRows; ++i) {
            database.RunStatement(ActivityInsertSql(DateTimeToDbText(EncodeDateTime(2011, 4, 21, 4, 0, 0) + i / 1440.0),
                "/usr/bin/tool" + std::to_string(i % 7), "", "Desktop Application", 3, 1));
        }
        database.TransactionCommit();
    }
    const std::string whole = FileText(fileName);
    FileWrite(fileName, std::string(4096, '\x5a') + whole.substr(4096));
    const auto asideCount = [this](const std::string& suffix) {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(Locations().DataFolder)) {
            count += entry.path().filename().string().ends_with(suffix) ? 1 : 0;
        }
        return count;
    };

    // A run whose disk has room for an empty database but not for the rows: its writes past
    // 128 KB fail as on a full disk.
    const std::string report = Locations().DataFolder + "report.txt";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = { 128 * 1024, RLIM_INFINITY };
        setrlimit(RLIMIT_FSIZE, &limit);
        DatabaseSchemaRecheck(fileName);
        UserNoticesTake();
        std::string rows = "raised";
        try {
            rows = ActivityDBGetTable("SELECT COUNT(*) FROM applications")->TextAt(0);
        } catch (const std::exception& error) {
            rows += std::string(": ") + error.what();
        }
        ActivityDatabaseClose();
        FileWrite(report, rows + "\n" + UserNoticesTake());
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const std::string told = FileText(report);
    EXPECT_NE(told.find("carries it over at its next start"), std::string::npos) << told << LogText();
    EXPECT_NE(LogText().find("could not be carried over now"), std::string::npos) << LogText();

    // The next start, with room again: every row is back, today's total with them, and the user
    // hears of it; the file set aside stays as a damaged one, carried once.
    DatabaseSchemaRecheck(fileName);
    UserNoticesTake();
    EXPECT_EQ(ActivityDBGetTable("SELECT COUNT(*) FROM applications")->Int64At(0), kRows) << LogText();
    EXPECT_EQ(ActivityDBGetTable("SELECT TOTAL(seconds) FROM applications_days")->Int64At(0), 3 * kRows);
    const std::string notice = UserNoticesTake();
    EXPECT_NE(notice.find("rows that could still be read from the damaged file"), std::string::npos) << notice;
    EXPECT_EQ(asideCount(".uncarried"), 0);
    EXPECT_EQ(asideCount(".damaged"), 1);
    ActivityDatabaseClose();
    DatabaseSchemaRecheck(fileName);
    EXPECT_EQ(ActivityDBGetTable("SELECT COUNT(*) FROM applications")->Int64At(0), kRows);
    EXPECT_EQ(ActivityDBGetTable("PRAGMA integrity_check")->TextAt(0), "ok");
    EXPECT_EQ(UserNoticesTake(), "");
    // A run killed after its recovered copy was committed and the damaged file set aside, before
    // the copy took its place: the next start puts it there.
    ActivityDatabaseClose();
    std::filesystem::rename(fileName, fileName + ".recovering");
    DatabaseSchemaRecheck(fileName);
    EXPECT_EQ(ActivityDBGetTable("SELECT COUNT(*) FROM applications")->Int64At(0), kRows);
}

TEST_F(SettingsStore, DamagedOrEmptySettingsFileTakesTheListBackAndCostsNoHistory)
{
    {
        TOptions& options = OptionsInstance();
        for (int i = 0; i < 20; ++i) {
            ItemAdd(options, mitApp, "/usr/bin/tool" + std::to_string(i), "Tool " + std::to_string(i));
        }
        for (int i = 0; i < 7; ++i) {
            ItemAdd(options, mitWeb, "site" + std::to_string(i) + ".example", "Site " + std::to_string(i));
        }
        options.TimeLimitSeconds = 4321;
    }
    OptionsInstanceFree();
    ActivityDatabaseClose();
    {
        TSQLiteDatabase database(Locations().ActivityDbFileName);
        database.TransactionBegin();
        for (int i = 0; i < 2000; ++i) {
            database.RunStatement(ActivityInsertSql(
                "2011-04-21 09:00:00", "/usr/bin/tool" + std::to_string(i % 20), "", "Desktop Application", 3, 1));
        }
        database.TransactionCommit();
    }
    const std::string settings = FileText(Locations().SettingsDbFileName);
    std::string noise(settings.size(), '\0');
    std::generate(
        noise.begin(), noise.end(), [n = 7u]() mutable { return char((n = n * 1103515245u + 12345u) >> 16); });
    const std::pair<const char*, std::string> damages[] = {
        { "cut to 8 KB", settings.substr(0, 8192) },
        { "emptied", "" },
        { "random bytes", noise },
    };
    const auto activityRows = [] { return ActivityDBGetTable("SELECT COUNT(*) FROM applications")->Int64At(0); };
    for (const auto& [what, content] : damages) {
        FileWrite(Locations().SettingsDbFileName, content);
        DatabaseSchemaRecheck(Locations().SettingsDbFileName); // as in a new run
        UserNoticesTake();
        TOptions& options = OptionsInstance();
        options.ActivityPurge();
        EXPECT_EQ(options.MonitoredItems().Count(), 27) << what << "\n" << LogText();
        EXPECT_EQ(activityRows(), 2000) << what;
        const std::string notice = UserNoticesTake();
        EXPECT_NE(notice.find("time-limit list (27 entries)"), std::string::npos) << what << ": " << notice;
        OptionsInstanceFree();
        // The settings file holds the list again, so the next start needs no copy and purges as ever.
        EXPECT_EQ(SettingsQuery("SELECT (SELECT COUNT(*) FROM applications_list) + (SELECT COUNT(*) FROM "
                                "websites_list)")
                      ->Int64At(0),
            27)
            << what;
        OptionsInstance().ActivityPurge();
        EXPECT_EQ(OptionsInstance().MonitoredItems().Count(), 27) << what;
        EXPECT_EQ(activityRows(), 2000) << what;
        EXPECT_EQ(UserNoticesTake(), "") << what;
        OptionsInstanceFree();
    }
    // A disk full just then: the whole list stays in memory, the copy is not cut to the file's
    // short one meanwhile, and the next save that goes through stores it.
    FileWrite(Locations().SettingsDbFileName, noise);
    DatabaseSchemaRecheck(Locations().SettingsDbFileName);
    bool full = true;
    TOptions::StatementHookSet([&full](const std::string& sql) {
        if (full && sql.starts_with("DELETE")) {
            throw ESQLiteException("database or disk is full", 13);
        }
    });
    TOptions& options = OptionsInstance();
    EXPECT_EQ(options.MonitoredItems().Count(), 27);
    options.ListCopyReconcile();
    EXPECT_EQ(ActivityDBGetTable("SELECT COUNT(*) FROM applications_list")->Int64At(0), 20);
    full = false;
    options.OptionsSave();
    EXPECT_EQ(SettingsQuery("SELECT COUNT(*) FROM applications_list")->Int64At(0), 20);
}

TEST_F(SettingsStore, StoreLeftToTheExitDestructorsSavesWhateverTheirOrder)
{
    OptionsInstance();
    OptionsInstanceFree();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Freed memory is overwritten, so a use after free shows instead of passing unnoticed.
        mallopt(M_PERTURB, 0xA5);
        // Created before the objects the save uses, so it is destroyed after them.
        OptionsInstance().TimeLimitSeconds = 777;
        std::exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(SettingValue("TimeLimitSeconds"), "777");
}
