// Children that save settings and lists and insert activity rows are killed at random points;
// after every kill both databases must be sound, each stored table group wholly one save or the
// other, the two copies of the list equal once the program has started again, every activity row
// the child had been told was written still there (at most the one being written is missing) and
// the daily and hourly totals equal to the rows. Children killed at each statement of the daily
// reset must leave every change that waited for it either stored or still waiting.
#include "StorageFixture.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "storage/ActivityDatabase.h"
#include "storage/SQLiteDatabase.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How many children are killed; CI keeps the default so the test stays well under a minute.
int KillCountGet()
{
    const char* text = std::getenv("TALLYHOUR_CRASH_KILLS");
    const int count = text ? std::atoi(text) : 0;
    return count > 0 ? count : 100;
}

// One of the two states the children save in turn.
void StateApply(TOptions& options, bool second)
{
    const std::string tag = second ? "B" : "A";
    options.TimeLimitSeconds = second ? 7200 : 3600;
    options.ExpirationAction = second ? 2 : 1;
    options.ScanPeriodSeconds = second ? 5 : 4;
    options.ReminderTextSet(0, "Morning " + tag);
    options.ReminderTextSet(2, "Evening " + tag);
    TMonitoredList& list = options.MonitoredItems();
    list.Clear();
    // More than one batch of fifteen rows, so a list save is several statements.
    for (int i = 0; i < (second ? 17 : 23); ++i) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = mitApp;
        item->Name = "/usr/bin/" + tag + std::to_string(i);
        item->Caption = tag + " app " + std::to_string(i);
        const std::string key = item->Caption;
        list.Add(key, std::move(item));
    }
    for (int i = 0; i < (second ? 3 : 6); ++i) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = mitWeb;
        item->Name = tag + std::to_string(i) + ".example";
        item->Caption = tag + " site " + std::to_string(i);
        item->Active = i % 2 == 0;
        const std::string key = item->Caption;
        list.Add(key, std::move(item));
    }
}

std::string RowsText(const std::string& fileName, const std::string& sql)
{
    TSQLiteDatabase database(fileName);
    auto table = database.RunQuery(sql);
    std::string text;
    for (table->First(); !table->AtEnd(); table->Next()) {
        for (int i = 0; i < table->ColumnCount(); ++i) {
            text += table->TextAt(i) + (i + 1 < table->ColumnCount() ? "|" : "\n");
        }
    }
    return text;
}

const char* const kSettingsSql = "SELECT name, value FROM settings ORDER BY name, value";
const char* const kRemindersSql = "SELECT reminder_type, text FROM reminders ORDER BY reminder_type, text";
const char* const kListSql = "SELECT 'a', name, caption, active FROM applications_list UNION ALL "
                             "SELECT 'w', name, caption, active FROM websites_list ORDER BY 1, 2, 3, 4";

struct TStoredState
{
    std::string Settings;
    std::string Reminders;
    std::string List;
};

TStoredState StoredStateRead(const std::string& fileName)
{
    return { RowsText(fileName, kSettingsSql), RowsText(fileName, kRemindersSql), RowsText(fileName, kListSql) };
}

class StorageCrash : public StorageTest
{
};

} // namespace

TEST_F(StorageCrash, KilledSavesAndInsertsLeaveBothDatabasesWholeAndTheListCopiesEqual)
{
    const std::string settingsFile = Locations().SettingsDbFileName;
    const std::string activityFile = Locations().ActivityDbFileName;
    TStoredState states[2];
    {
        TOptions& options = OptionsInstance();
        for (int second = 1; second >= 0; --second) {
            StateApply(options, second == 1);
            options.OptionsSave();
            states[second] = StoredStateRead(settingsFile);
        }
        OptionsInstanceFree(); // saves the first state once more
    }
    ASSERT_NE(states[0].List, states[1].List);

    const int kills = KillCountGet();
    std::mt19937 random(20261208);
    int atStatement = 0;
    int atMoment = 0;
    int failures = 0;
    int64_t rowsBefore = 0;
    int drifted = 0; // kills that left the activity database's list copy behind the settings
    bool storedSecond = false;
    const auto check = [&failures](bool ok, const std::string& what) {
        if (!ok) {
            ++failures;
            ADD_FAILURE() << what;
        }
    };
    for (int kill = 0; kill < kills; ++kill) {
        const bool chosenStatement = kill % 2 == 0;
        const int statementToDie = 1 + int(random() % 32);
        const int delayUs = int(random() % 50000);
        // The child tells through this pipe of every activity row whose write returned.
        int written[2];
        ASSERT_EQ(pipe(written), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(written[0]);
            if (chosenStatement) {
                TOptions::StatementHookSet([statementToDie, seen = 0](const std::string&) mutable {
                    if (++seen == statementToDie) {
                        raise(SIGKILL);
                    }
                });
            }
            // Every round saves the state that is not stored yet, so each write changes something.
            for (bool second = !storedSecond;; second = !second) {
                TOptions& options = OptionsInstance(); // a start: load and bring the copies in line
                StateApply(options, second);
                options.OptionsSave();
                for (int i = 0; i < 3; ++i) {
                    ActivityDBExecSQL(
                        ActivityInsertSql("2011-04-21 10:00:00", "/usr/bin/A0", "", "Desktop Application", 1, 1));
                    (void)!write(written[1], "r", 1);
                }
                // A report's read on the same connection, between the writes.
                ActivityDBGetTable(ApplicationsPeriodSql("2011-04-21 04:00:00", "2011-04-21 10:00:00"));
                OptionsInstanceFree(); // saves once more, as at the end of a run
            }
        }
        if (!chosenStatement) {
            usleep(useconds_t(delayUs));
            ::kill(child, SIGKILL);
        }
        close(written[1]);
        int status = 0;
        waitpid(child, &status, 0);
        int64_t acknowledged = 0;
        char buffer[256];
        for (ssize_t got; (got = read(written[0], buffer, sizeof buffer)) > 0;) {
            acknowledged += got;
        }
        close(written[0]);
        check(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, "child ended otherwise than by the kill");
        (chosenStatement ? atStatement : atMoment) += 1;

        const std::string context = " after kill " + std::to_string(kill);
        for (const auto& file : { settingsFile, activityFile }) {
            check(RowsText(file, "PRAGMA integrity_check") == "ok\n", "integrity of " + file + context);
        }
        const TStoredState stored = StoredStateRead(settingsFile);
        check(stored.Settings == states[0].Settings || stored.Settings == states[1].Settings,
            "settings neither old nor new" + context + ":\n" + stored.Settings);
        check(stored.Reminders == states[0].Reminders || stored.Reminders == states[1].Reminders,
            "reminders neither old nor new" + context + ":\n" + stored.Reminders);
        check(stored.List == states[0].List || stored.List == states[1].List,
            "list neither old nor new" + context + ":\n" + stored.List);
        const std::string activityList = RowsText(activityFile, kListSql);
        check(activityList == states[0].List || activityList == states[1].List,
            "activity database's list copy neither old nor new" + context);
        const int64_t rows
            = std::stoll(RowsText(activityFile, "SELECT COUNT(*) FROM applications").substr(0, std::string::npos));
        check(rows >= rowsBefore + acknowledged && rows <= rowsBefore + acknowledged + 1,
            "activity rows lost or made up" + context + ": " + std::to_string(rowsBefore) + " before, "
                + std::to_string(acknowledged) + " written, " + std::to_string(rows) + " now");
        rowsBefore = rows;
        check(RowsText(activityFile,
                  "SELECT (SELECT COUNT(*) FROM applications) = (SELECT TOTAL(rows) FROM applications_days) AND "
                  "(SELECT TOTAL(duration) FROM applications) = (SELECT TOTAL(seconds) FROM applications_hours)")
                == "1\n",
            "totals differ from the rows" + context);

        drifted += activityList != stored.List ? 1 : 0;
        storedSecond = stored.List == states[1].List;
        // The next start brings the activity database's copy in line with the settings.
        OptionsInstance();
        check(RowsText(activityFile, kListSql) == RowsText(settingsFile, kListSql),
            "list copies differ after the next start" + context);
        OptionsInstanceFree();
    }
    std::printf("crash test: %d kills (%d at a chosen statement, %d at a random moment), %d left the list copies "
                "apart, %lld activity rows, %d failures\n",
        kills, atStatement, atMoment, drifted, static_cast<long long>(rowsBefore), failures);
    EXPECT_EQ(failures, 0);
}

TEST_F(StorageCrash, KillsDuringTheDailyResetNeverLoseAChangeThatWaitedForIt)
{
    const std::string settingsFile = Locations().SettingsDbFileName;
    // The stored day before the reset: limit 1 h, two listed programs, and in the preferences file
    // a raise to 1.5 h, another action and the removal of one program, all parked for the reset.
    const auto dayBeforeResetPrepare = [this] {
        OptionsInstanceFree();
        WindowPreferencesFree();
        std::filesystem::remove(Locations().IniFileName);
        TOptions& options = OptionsInstance();
        options.AllowUserToChangeSettings = true;
        options.TimeLimitSeconds = 3600;
        options.ExpirationAction = 0;
        options.MonitoredItems().Clear();
        for (const char* name : { "/usr/bin/kept", "/usr/bin/removed" }) {
            auto item = std::make_unique<TMonitoredItem>();
            item->ItemType = mitApp;
            item->Name = name;
            item->Caption = name;
            options.MonitoredItems().Add(name, std::move(item));
        }
        ASSERT_TRUE(options.OptionsSave());
        OptionsInstanceFree();
        TIniFile& ini = WindowPreferences().File();
        ini.WriteInteger(kIniSectionCommon, "TimeLimitSeconds", 5400);
        ini.WriteInteger(kIniSectionCommon, "ExpirationAction", 2);
        ini.WriteString(kIniSectionApplications, "/usr/bin/removed", "/usr/bin/removed");
        WindowPreferencesFree();
    };

    int killed = 0;
    int failures = 0;
    bool finished = false;
    for (int statementToDie = 1; !finished && statementToDie < 100; ++statementToDie) {
        dayBeforeResetPrepare();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TOptions& options = OptionsInstance();
            TOptions::StatementHookSet([statementToDie, seen = 0](const std::string&) mutable {
                if (++seen == statementToDie) {
                    raise(SIGKILL);
                }
            });
            std::unique_ptr<TZaraveDezeZurirevuzorLogger> logger;
            DailyResetAccountingRun(options, WindowPreferences().File(), logger);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        killed += WIFSIGNALED(status) ? 1 : 0;

        // The next start: each change is stored, or still parked for the next reset.
        const std::string context = " after a kill at statement " + std::to_string(statementToDie);
        TIniFile& ini = WindowPreferences().File();
        TOptions& options = OptionsInstance();
        const bool limitKept
            = options.TimeLimitSeconds == 5400 || ini.ReadInteger(kIniSectionCommon, "TimeLimitSeconds", -1) == 5400;
        const bool actionKept
            = options.ExpirationAction == 2 || ini.ReadInteger(kIniSectionCommon, "ExpirationAction", -1) == 2;
        const bool removalKept = options.MonitoredItems().NameIndexGet("/usr/bin/removed") < 0
            || ini.ValueExists(kIniSectionApplications, "/usr/bin/removed");
        for (const auto& [kept, what] : { std::pair { limitKept, "the raised limit" },
                 std::pair { actionKept, "the changed action" }, std::pair { removalKept, "the removal" } }) {
            if (!kept) {
                ++failures;
                ADD_FAILURE() << what << " was lost" << context;
            }
        }
        EXPECT_GE(options.MonitoredItems().NameIndexGet("/usr/bin/kept"), 0) << context;
        if (finished) {
            EXPECT_EQ(options.TimeLimitSeconds, 5400);
            EXPECT_FALSE(ini.SectionExists(kIniSectionCommon));
            EXPECT_FALSE(ini.SectionExists(kIniSectionApplications));
        }
        OptionsInstanceFree();
        WindowPreferencesFree();
    }
    EXPECT_TRUE(finished) << "the reset never ran to its end";
    EXPECT_GT(killed, 5);
    std::printf("crash test: %d kills during the daily reset, %d failures\n", killed, failures);
}
