// The real tallyhour on a private desktop when time runs out, the session locks or the
// uninstaller asks it to go: stand-ins for logind and a screen saver run on private buses (the
// program's system bus is a private one, so nothing can reach the real logind), and the checks
// are what a user would see and what lands in the files.

#include "X11TestHelpers.h"

#include "model/DataLocations.h"
#include "model/ProgramClock.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "platform/linux/x11/X11WindowSystem.h"
#include "storage/ActivityDatabase.h"
#include "storage/InstanceLock.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/TestSupport.h"
#include "support/desktop/FakeSessionServices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using TSteady = std::chrono::steady_clock;

void Pause(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

double SecondsSince(TSteady::time_point start)
{
    return std::chrono::duration<double>(TSteady::now() - start).count();
}

class ProgramEnforcing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS("Xvfb", "openbox", "dbus-daemon", "trayer", "xterm", "/usr/bin/python3");
        // The test runner's offscreen platform is no part of a user's desktop.
        if (const char* platform = std::getenv("QT_QPA_PLATFORM")) {
            m_savedPlatform = platform;
            unsetenv("QT_QPA_PLATFORM");
        }
        ASSERT_TRUE(m_desktop.Start(false)) << m_desktop.ErrorText();
        ASSERT_TRUE(m_desktop.SessionBusStart()) << m_desktop.ErrorText();
        m_services.emplace(m_desktop, FAKE_SESSION_SERVICES);
        ASSERT_TRUE(m_services->Start()) << m_services->ErrorText();
        ASSERT_GT(m_desktop.TrayStart(), 0) << m_desktop.ErrorText();
        // A copy of the program in a folder of its own: the uninstall flag goes beside it, where
        // no other test's program looks.
        const char* binDir = std::getenv("TALLYHOUR_BIN_DIR");
        const fs::path built = fs::path(binDir ? binDir : ".");
        m_programFolder = fs::path(m_desktop.Folder()) / "program";
        fs::create_directories(m_programFolder);
        for (const char* file : { "tallyhour", "settings.sqlite", "actmondb.sqlite" }) {
            fs::copy_file(built / file, m_programFolder / file);
        }
        m_program = (m_programFolder / "tallyhour").string();
        m_locations = DataLocationsCompute("", m_program);
        DatabaseFilesInstall(m_locations);
        m_xtermPath = fs::canonical(TTestDesktop::ProgramFind("xterm")).string();
    }
    void TearDown() override
    {
        OptionsInstanceFree();
        WindowPreferencesFree();
        m_services.reset();
        m_desktop.Stop();
        if (m_savedPlatform) {
            setenv("QT_QPA_PLATFORM", m_savedPlatform->c_str(), 1);
        }
    }

    // The first run is over, the day's reset has run, the xterm is listed, and `usedSeconds` of
    // it were charged today already.
    void SettingsPrepare(int32_t limitSeconds, int action, int32_t usedSeconds)
    {
        TOptions& options = OptionsInstance();
        options.IsNotFirstRun = true;
        options.ResetDateTime = TodayAt0400() + 1;
        options.ScanPeriodSeconds = 2;
        options.TimeLimitSeconds = limitSeconds;
        options.ExpirationAction = static_cast<uint8_t>(action);
        auto item = std::make_unique<TMonitoredItem>();
        item->Name = m_xtermPath;
        item->Caption = "XTerm";
        item->ItemType = mitApp;
        item->Checked = true;
        item->Active = true;
        const std::string caption = item->Caption;
        options.MonitoredItems().Add(caption, std::move(item));
        options.ListSave();
        options.OptionsSave();
        if (usedSeconds > 0) {
            ASSERT_TRUE(options.LogDBExecSQL("INSERT INTO applications(date_created, app_name, browser_url, app_type, "
                                             "duration, origin) VALUES('"
                + DateTimeToDbText(ProgramNow() - 60.0 / 86400.0) + "', '" + m_xtermPath + "', '', "
                + "'Desktop Application', " + std::to_string(usedSeconds) + ", 1)"));
        }
        OptionsInstanceFree();
        WindowPreferencesFree();
    }

    // An xterm in front, its window.
    TWindowHandle XtermInFront(const std::string& title)
    {
        const pid_t xterm = m_desktop.XtermStart(title);
        const TWindowHandle window = m_desktop.WindowWait(xterm, 15, title);
        if (window != 0) {
            m_desktop.WindowActivate(window);
        }
        return window;
    }

    pid_t ProgramStart()
    {
        return m_desktop.ProgramStart({ m_program }, "tallyhour");
    }

    // The program's exit status once it ended, or -1 when it still runs after `seconds`.
    static int ExitWait(pid_t pid, double seconds)
    {
        const auto start = TSteady::now();
        do {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            Pause(20);
        } while (SecondsSince(start) < seconds);
        return -1;
    }

    std::string LogText() const
    {
        return FileText(m_locations.LogFileName);
    }

    // Rows of the activity database: count and the largest single charge. The program writes
    // meanwhile, so a read that finds the file locked is tried again.
    std::pair<int64_t, int64_t> RowsGet()
    {
        for (int attempt = 0; attempt < 50; ++attempt) {
            try {
                auto table = ActivityDBGetTable(
                    "SELECT COUNT(*), MAX(duration) FROM applications WHERE app_name = '" + m_xtermPath + "'",
                    m_locations.ActivityDbFileName);
                if (table) {
                    table->First();
                    return { table->Int64At(0), table->Int64At(1) };
                }
            } catch (const std::exception&) {
            }
            Pause(50);
        }
        return { -1, -1 };
    }

    std::optional<std::string> m_savedPlatform;
    TTestDesktop m_desktop;
    std::optional<TFakeSessionServices> m_services;
    fs::path m_programFolder;
    std::string m_program;
    std::string m_xtermPath;
    TDataLocations m_locations;
};

} // namespace

TEST_F(ProgramEnforcing, CloseBrowserAppCountsDownThenClosesTheListedXtermAndEveryOneBroughtToTheFront)
{
    SettingsPrepare(60, 1, 120); // limit 00:01, over it already
    const TWindowHandle first = XtermInFront("first");
    ASSERT_NE(first, 0u);
    const pid_t pid = ProgramStart();
    ASSERT_GT(pid, 0);
    const TWindowHandle reminder = m_desktop.WindowWait(pid, 20, "Reminder");
    ASSERT_NE(reminder, 0u) << "no time-up window; log:\n" << LogText();
    const auto shown = TSteady::now();
    // It counts its minute down before anything is closed.
    Pause(5000);
    EXPECT_TRUE(m_desktop.Windows().WindowTextGet(reminder) == "Reminder");
    EXPECT_NE(m_desktop.Windows().WindowProcessIdGet(first), 0) << "closed before the countdown ended";
    ASSERT_TRUE(m_desktop.WindowGoneWait(first, 75)) << LogText();
    EXPECT_GE(SecondsSince(shown), 55.0);
    EXPECT_TRUE(m_desktop.WindowGoneWait(reminder, 5));

    // Another listed xterm in front is closed at the next scan, without the window again.
    const TWindowHandle second = XtermInFront("second");
    ASSERT_NE(second, 0u);
    EXPECT_TRUE(m_desktop.WindowGoneWait(second, 6)) << LogText();
    EXPECT_EQ(m_desktop.WindowWait(pid, 1, "Reminder"), 0u);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitWait(pid, 10), 0);
}

TEST_F(ProgramEnforcing, KeysTypedAsTheTimeUpWindowAppearsAndTheProgramsEndDuringItsCountdownCloseNothing)
{
    TH_REQUIRE_PROGRAMS("xdotool");
    SettingsPrepare(60, 1, 120); // "Close Browser/App.", over the limit already
    const TWindowHandle xterm = XtermInFront("typing");
    ASSERT_NE(xterm, 0u);
    const pid_t pid = ProgramStart();
    ASSERT_GT(pid, 0);
    const TWindowHandle reminder = m_desktop.WindowWait(pid, 20, "Reminder");
    ASSERT_NE(reminder, 0u) << "no time-up window; log:\n" << LogText();
    // The user goes on typing a command into the xterm as the window appears.
    ASSERT_TRUE(KeysSend("type --delay 20 'ls'"));
    ASSERT_TRUE(KeysSend("key Return"));
    Pause(1500);
    EXPECT_EQ(m_desktop.Windows().WindowTextGet(reminder), "Reminder") << "the typed Enter answered the window";
    EXPECT_NE(m_desktop.Windows().WindowProcessIdGet(xterm), 0) << "the xterm was closed before the countdown ended";
    // It came on top of everything, and the keyboard stayed with the xterm.
    const auto output = [](const std::string& command) {
        std::string text;
        if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof(buffer), pipe)) {
                text += buffer;
            }
            pclose(pipe);
        }
        return text;
    };
    const std::string state = output("xprop -id " + WindowHandleText(reminder) + " _NET_WM_STATE");
    EXPECT_NE(state.find("_NET_WM_STATE_ABOVE"), std::string::npos) << state;
    EXPECT_EQ(std::strtoull(output("xdotool getwindowfocus").c_str(), nullptr, 10), xterm)
        << output("xdotool getwindowfocus getwindowname") << " reminder " << reminder;
    // All of the window is on the screen (that its message has the room it needs inside it is
    // the every-window check's part).
    const std::string geometry = output("xdotool getwindowgeometry --shell " + WindowHandleText(reminder));
    const auto value = [&geometry](const char* key) {
        const size_t at = geometry.find(std::string(key) + "=");
        return at == std::string::npos ? -1 : std::atoi(geometry.c_str() + at + std::strlen(key) + 1);
    };
    const std::string screen = output("xdotool getdisplaygeometry");
    const int screenHeight = std::atoi(screen.c_str() + screen.find(' ') + 1);
    EXPECT_GT(value("HEIGHT"), 0) << geometry;
    EXPECT_GE(value("Y"), 0) << geometry;
    EXPECT_LE(value("Y") + value("HEIGHT"), screenHeight) << geometry << " on " << screen;

    // Ending the program during the countdown is no answer: nothing is closed on the way out.
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitWait(pid, 10), 0) << LogText();
    EXPECT_FALSE(m_desktop.WindowGoneWait(xterm, 3)) << "the program's end closed the listed xterm";
}

TEST_F(ProgramEnforcing, ShutdownComputerAsksLogindOnceAndARefusalIsToldAndClosesTheListedWindowsInstead)
{
    SettingsPrepare(60, 2, 120);
    // This account may not power the computer off (no polkit rule grants it without a password).
    ASSERT_TRUE(m_services->RefusalSet("Interactive authentication required."));
    const TWindowHandle xterm = XtermInFront("listed");
    ASSERT_NE(xterm, 0u);
    const pid_t pid = ProgramStart();
    ASSERT_NE(m_desktop.WindowWait(pid, 20, "Reminder"), 0u) << LogText();
    EXPECT_EQ(m_services->PowerOffCount(), 0);
    const auto start = TSteady::now();
    while (m_services->PowerOffCount() == 0 && SecondsSince(start) < 75) {
        Pause(250);
    }
    EXPECT_EQ(m_services->PowerOffCount(), 1) << LogText();
    // The user hears why in the program's words, and the limit holds all the same.
    EXPECT_NE(m_desktop.WindowWait(pid, 10, "Please Note"), 0u) << LogText();
    EXPECT_EQ(m_desktop.WindowWait(pid, 0, "Application Error"), 0u);
    EXPECT_TRUE(m_desktop.WindowGoneWait(xterm, 10)) << "the listed xterm stayed open; log:\n" << LogText();
    EXPECT_NE(LogText().find("Interactive authentication required."), std::string::npos) << LogText();
    // Another listed xterm in front is closed at the next scan, and none asks again.
    const TWindowHandle second = XtermInFront("second");
    ASSERT_NE(second, 0u);
    EXPECT_TRUE(m_desktop.WindowGoneWait(second, 6)) << LogText();
    EXPECT_EQ(m_services->PowerOffCount(), 1);
    EXPECT_EQ(m_services->RebootCount(), 0);
    EXPECT_EQ(ExitWait(pid, 0), -1) << "the program runs on";
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitWait(pid, 10), 0);
}

TEST_F(ProgramEnforcing, LockedTimeIsNotChargedAndUnlockingResumes)
{
    SettingsPrepare(28800, 0, 0);
    const TWindowHandle xterm = XtermInFront("listed");
    ASSERT_NE(xterm, 0u);
    const pid_t pid = ProgramStart();
    ASSERT_GT(pid, 0);
    const auto start = TSteady::now();
    while (RowsGet().first < 2 && SecondsSince(start) < 20) {
        Pause(200);
    }
    ASSERT_GE(RowsGet().first, 2) << "no rows before the lock; log:\n" << LogText();

    ASSERT_TRUE(m_services->Lock());
    Pause(1000);
    const auto locked = RowsGet();
    Pause(8000);
    EXPECT_EQ(RowsGet().first, locked.first) << "rows were written while locked";

    ASSERT_TRUE(m_services->Unlock());
    m_desktop.WindowActivate(xterm);
    const auto unlocked = TSteady::now();
    while (RowsGet().first <= locked.first && SecondsSince(unlocked) < 10) {
        Pause(200);
    }
    const auto after = RowsGet();
    EXPECT_GT(after.first, locked.first) << "no rows after unlocking";
    EXPECT_LE(after.second, 4) << "the locked time was charged";

    // Another program of the session sends the screen saver's signal: it changes nothing.
    ASSERT_TRUE(m_services->ScreenSaverSignalForge("org.freedesktop.ScreenSaver", "/", true, true));
    ASSERT_TRUE(
        m_services->ScreenSaverSignalForge("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", true));
    ASSERT_TRUE(m_services->ScreenSaverSignalForge("org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", true));
    const auto forged = TSteady::now();
    const int64_t rowsAtForgery = RowsGet().first;
    while (RowsGet().first <= rowsAtForgery + 1 && SecondsSince(forged) < 10) {
        Pause(200);
    }
    EXPECT_GT(RowsGet().first, rowsAtForgery + 1) << "a forged signal paused the program; log:\n" << LogText();
    EXPECT_NE(LogText().find("ActiveChanged from :"), std::string::npos) << LogText();

    // On a bare window manager nothing holds the screen saver's name: a script of the session
    // (the stand-in, in python3) that takes it and says the screen saver is on pauses nothing
    // either, and is logged once.
    ASSERT_TRUE(m_services->ScreenSaverActiveSet(true));
    const auto held = TSteady::now();
    const int64_t rowsAtHolding = RowsGet().first;
    while (RowsGet().first <= rowsAtHolding + 1 && SecondsSince(held) < 10) {
        Pause(200);
    }
    EXPECT_GT(RowsGet().first, rowsAtHolding + 1) << "a script holding the free name paused the program; log:\n"
                                                  << LogText();
    EXPECT_NE(LogText().find("org.freedesktop.ScreenSaver is held by"), std::string::npos) << LogText();

    // The end-of-run save comes before the instance lock is given up, or a copy started at once
    // would run beside this one. A read of the test's holds the save up for a moment meanwhile.
    {
        TSQLiteDatabase reader(m_locations.SettingsDbFileName);
        reader.RunStatement("BEGIN");
        reader.RunQuery("SELECT COUNT(*) FROM settings");
        ::kill(pid, SIGTERM);
        const auto ending = TSteady::now();
        bool lockFree = false;
        while (!lockFree && SecondsSince(ending) < 0.4) {
            const int handle = ::open(m_locations.LockFileName.c_str(), O_RDONLY | O_CLOEXEC);
            lockFree = handle < 0 || ::flock(handle, LOCK_EX | LOCK_NB) == 0;
            if (handle >= 0) {
                ::close(handle);
            }
            Pause(5);
        }
        reader.RunStatement("COMMIT");
        EXPECT_FALSE(lockFree) << "the instance lock was given up before the end-of-run save";
    }
    EXPECT_EQ(ExitWait(pid, 10), 0);
}

// Summer time ends while the program runs, as it does for a user whose zone has it: the program's
// zone (TZ, as a user's environment may name it) is ten minutes ahead of its winter time until
// half a minute from now, so the program's clock goes ten minutes back then. Set back like
// that, the clock starts no focus period and closes nothing; the listed xterm is charged on.
TEST_F(ProgramEnforcing, SummerTimeEndingSetsTheClockBackWithoutAnyFocusAndNothingIsClosed)
{
    SettingsPrepare(28800, 0, 0); // "Reminder Only", far from the limit
    const TWindowHandle xterm = XtermInFront("listed");
    ASSERT_NE(xterm, 0u);
    // The rule's end is the summer time's own wall time of the moment (zero-based day of the year).
    const std::time_t nowUtc = std::time(nullptr);
    const std::time_t summerWallAtEnd = nowUtc + 30 + 600;
    std::tm end {};
    gmtime_r(&summerWallAtEnd, &end);
    std::tm today {};
    gmtime_r(&nowUtc, &today);
    if (end.tm_year != today.tm_year) {
        GTEST_SKIP() << "the zone's rule cannot end its summer time in the next year";
    }
    char zone[64];
    std::snprintf(
        zone, sizeof(zone), "TZ=XST0XDT-0:10,0/0,%d/%02d:%02d:%02d", end.tm_yday, end.tm_hour, end.tm_min, end.tm_sec);
    const pid_t pid = m_desktop.ProgramStart({ "env", zone, m_program }, "tallyhour");
    ASSERT_GT(pid, 0);
    auto start = TSteady::now();
    while (RowsGet().first < 1 && SecondsSince(start) < 15) {
        Pause(200);
    }
    ASSERT_GE(RowsGet().first, 1) << "the xterm was not charged before the change; log:\n" << LogText();
    start = TSteady::now();
    while (LogText().find("The time zone's offset changed from +00:10 to +00:00") == std::string::npos
        && SecondsSince(start) < 30) {
        Pause(200);
    }
    ASSERT_NE(LogText().find("The time zone's offset changed from +00:10 to +00:00"), std::string::npos)
        << "no change while the program ran; log:\n"
        << LogText();
    const int64_t rowsAtChange = RowsGet().first;
    // Three scans and more: no focus window, the xterm open and charged on.
    EXPECT_EQ(m_desktop.WindowWait(pid, 8, "Reminder"), 0u) << LogText();
    EXPECT_NE(m_desktop.Windows().WindowProcessIdGet(xterm), 0) << "the listed xterm was closed";
    EXPECT_GT(RowsGet().first, rowsAtChange + 1) << LogText();
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitWait(pid, 10), 0);
}

TEST_F(ProgramEnforcing, TheUninstallFlagEndsTheProgramWithinASecondWithTheSettingsSaved)
{
    SettingsPrepare(28800, 0, 0);
    // A row the end of the run writes again: the settings were saved on the way out.
    {
        ASSERT_TRUE(OptionsInstance().SettingsDBExecSQL("DELETE FROM settings WHERE name = 'ScanPeriodSeconds'"));
        OptionsInstanceFree();
    }
    const pid_t pid = ProgramStart();
    ASSERT_GT(pid, 0);
    const auto start = TSteady::now();
    while (!fs::exists(m_locations.LockFileName) && SecondsSince(start) < 15) {
        Pause(100);
    }
    Pause(2000);
    ASSERT_EQ(ExitWait(pid, 0), -1) << LogText();
    std::ofstream(m_programFolder / "uninstall.flag") << "";
    const auto flagged = TSteady::now();
    EXPECT_EQ(ExitWait(pid, 3), 0) << LogText();
    EXPECT_LT(SecondsSince(flagged), 2.0);
    EXPECT_FALSE(fs::exists(m_locations.FlagFileName));
    auto table = OptionsInstance().SettingsDBGetTable("SELECT value FROM settings WHERE name = 'ScanPeriodSeconds'");
    ASSERT_TRUE(table);
    table->First();
    ASSERT_FALSE(table->AtEnd()) << "the settings were not saved at the end";
    EXPECT_EQ(table->TextAt(0), "2");
}
