// The real tallyhour in a headless sway session, started as a user's session starts it: the
// session's variables, a fresh HOME, a session bus, with or without XWayland. The checks are
// what lands in the files and what the program says.

#include "ProgramOnDesktopFixture.h"

#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "platform/linux/logind/LinuxSession.h"
#include "platform/linux/sway/SwayWindowSystem.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/SQLiteDatabase.h"
#include "storage/WindowPreferences.h"
#include "support/TestSupport.h"

#include <signal.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace fs = std::filesystem;

namespace {

class ProgramOnSway : public ProgramOnDesktopFixture
{
protected:
    void Start(bool xwayland)
    {
        TH_REQUIRE_PROGRAMS("sway", "foot", "dbus-daemon");
        if (xwayland)
            TH_REQUIRE_PROGRAMS("Xwayland");
        PlatformPutAside();
        ASSERT_TRUE(m_desktop.SwayStart(xwayland)) << m_desktop.ErrorText();
        ASSERT_TRUE(m_desktop.SessionBusStart()) << m_desktop.ErrorText();
        ProgramLocate();
        m_footPath = fs::canonical(TTestDesktop::ProgramFind("foot")).string();
    }

    // The settings a user had when the program starts: the first run over, the day's reset done,
    // foot on the time-limit list, and `site` when given. Then the files go to the session's
    // user, and this process's own log lines elsewhere.
    void SettingsPrepare(const std::string& site = "")
    {
        TOptions& options = OptionsInstance();
        options.IsNotFirstRun = true;
        options.ResetDateTime = TodayAt0400() + 1;
        auto item = std::make_unique<TMonitoredItem>();
        item->Name = m_footPath;
        item->Caption = "Terminal";
        item->ItemType = mitApp;
        item->Checked = true;
        options.MonitoredItems().Add("Terminal", std::move(item));
        if (!site.empty()) {
            auto web = std::make_unique<TMonitoredItem>();
            web->Name = site;
            web->Caption = "Loop site";
            web->ItemType = mitWeb;
            web->Checked = true;
            options.MonitoredItems().Add("Loop site", std::move(web));
        }
        options.ListSave();
        OptionsInstanceFree();
        WindowPreferencesFree();
        LogFileNameSet(m_desktop.Folder() + "/logs/test_sway_program.log");
        fs::remove(m_locations.LogFileName);
        ASSERT_TRUE(m_desktop.FolderHandOver()) << m_desktop.ErrorText();
    }

    // The tests' stand-in for the desktop portal, with global shortcuts, on the session's bus.
    void PortalStart()
    {
        ASSERT_GT(m_desktop.ProgramStart({ "/usr/bin/python3", FAKE_PORTAL, "shortcuts" }, "fake-portal"), 0)
            << m_desktop.ErrorText();
        const std::string portalLog = m_desktop.Folder() + "/logs/fake-portal.log";
        for (int i = 0; i < 150 && FileText(portalLog).find("ready") == std::string::npos; ++i)
            Pause(100);
        ASSERT_NE(FileText(portalLog).find("ready"), std::string::npos) << FileText(portalLog);
    }
    // The user presses the desktop's shortcut for the program; gives what the portal said.
    std::string ShortcutPress()
    {
        std::string output;
        m_desktop.ProgramRun({ "/usr/bin/python3", FAKE_PORTAL, "activate" }, "fake-portal-press", 10, output);
        return output;
    }

    // The place of sway's container `window` (x, y, width) and its output's width, as sway's tree
    // says; all -1 when it is not there.
    std::array<int, 4> WindowRect(TWindowHandle window)
    {
        std::string tree;
        m_desktop.ProgramRun({ "swaymsg", "-r", "-t", "get_tree" }, "swaymsg-tree", 10, tree);
        std::array<int, 4> found { -1, -1, -1, -1 };
        const nlohmann::json root = nlohmann::json::parse(tree, nullptr, false);
        std::function<void(const nlohmann::json&, int)> walk = [&](const nlohmann::json& node, int outputWidth) {
            if (!node.is_object())
                return;
            if (node.value("type", "") == "output" && node.value("name", "") != "__i3")
                outputWidth = node["rect"].value("width", -1);
            if (node.value("id", 0u) == window) {
                const auto& rect = node["rect"];
                found = { rect.value("x", -1), rect.value("y", -1), rect.value("width", -1), outputWidth };
            }
            for (const char* children : { "nodes", "floating_nodes" }) {
                if (node.contains(children))
                    for (const auto& child : node[children])
                        walk(child, outputWidth);
            }
        };
        walk(root, -1);
        return found;
    }

    // The windows of the program's process in sway's tree.
    std::vector<TWindowHandle> ProgramWindows(pid_t program)
    {
        std::vector<TWindowHandle> found;
        TWindowSystem& windows = m_desktop.Windows();
        for (TWindowHandle window : windows.TopLevelWindowsGet()) {
            if (windows.WindowProcessIdGet(window) == program)
                found.push_back(window);
        }
        return found;
    }

    // With the program started: waits for its main window (there is no tray on this desktop, so
    // it shows), puts a listed foot in front for `seconds`, ends the program, and checks that
    // foot's time, and only foot's, landed in the activity database under its real path.
    // `channel` is how the program says it reads the window in front (sway's socket when empty);
    // only through sway's own channel does it ask for its windows to float.
    void ListedFootChargedCheck(pid_t program, double seconds, std::string channel = "")
    {
        ASSERT_GT(program, 0) << m_desktop.ErrorText();
        const bool sway = channel.empty();
        if (sway)
            channel = "sway's IPC socket " + LinuxSessionDetect().SwaySocket;
        const std::string line = LogLineWait("The window in front is read through", 20);
        ASSERT_NE(line, "") << LogText();
        EXPECT_NE(line.find(channel), std::string::npos) << line;
        TWindowHandle mainWindow = 0;
        for (int i = 0; i < 150 && mainWindow == 0; ++i) {
            const auto windows = ProgramWindows(program);
            mainWindow = windows.empty() ? 0 : windows.front();
            if (mainWindow == 0)
                Pause(100);
        }
        ASSERT_NE(mainWindow, 0u) << "the program shows no window; log:\n" << LogText();
        // A narrow panel at its own size, not stretched over the screen as a tiled window is.
        const auto shown = m_desktop.Sway()->WindowGet(mainWindow);
        ASSERT_TRUE(shown);
        if (sway) {
            EXPECT_TRUE(shown->Floating);
        }

        const pid_t foot = m_desktop.FootStart("listed");
        const TWindowHandle footWindow = foot > 0 ? m_desktop.WindowWait(foot, 20, "listed") : 0;
        ASSERT_NE(footWindow, 0u) << m_desktop.ErrorText();
        ASSERT_TRUE(m_desktop.WindowActivate(footWindow));
        Pause(static_cast<int>(seconds * 1000));
        ::kill(program, SIGTERM);
        ASSERT_EQ(ExitWait(program, 15), 0) << LogText();

        auto rows = ActivityDBGetTable("SELECT app_name, app_type, origin, SUM(duration), COUNT(*) FROM applications "
                                       "GROUP BY app_name, app_type, origin",
            m_locations.ActivityDbFileName);
        ASSERT_TRUE(rows);
        rows->First();
        ASSERT_FALSE(rows->AtEnd()) << "nothing charged; log:\n" << LogText();
        EXPECT_EQ(rows->TextAt(0), m_footPath);
        EXPECT_EQ(rows->TextAt(1), "Desktop Application");
        EXPECT_EQ(rows->Int64At(2), 1);
        EXPECT_GE(rows->Int64At(3), 3);
        EXPECT_LE(rows->Int64At(3), seconds + 5);
        rows->Next();
        EXPECT_TRUE(rows->AtEnd()) << "only foot was charged";
        const std::string log = LogText();
        EXPECT_EQ(log.find("cannot see which window is in front"), std::string::npos) << log;
        EXPECT_EQ(log.find("Error"), std::string::npos) << log;
    }

    void DockedCheck(bool xwayland);

    std::string m_footPath;
};

} // namespace

TEST_F(ProgramOnSway, ListedWaylandProgramInFrontIsChargedWithItsRealPathAndTheWindowsUseXWayland)
{
    Start(true);
    SettingsPrepare();
    const pid_t program = m_desktop.ProgramStart({ m_program }, "tallyhour");
    ListedFootChargedCheck(program, 7);
    EXPECT_NE(LogLineWait("The window in front is read through", 0).find("Qt's \"xcb\" platform"), std::string::npos);
}

TEST_F(ProgramOnSway, WithoutXWaylandTheWindowsAreWaylandOnesTheUserIsToldWhatTheyLackAndTimeIsCharged)
{
    Start(false);
    SettingsPrepare();
    const pid_t program = m_desktop.ProgramStart({ m_program }, "tallyhour");
    ListedFootChargedCheck(program, 5);
    EXPECT_NE(
        LogLineWait("The window in front is read through", 0).find("Qt's \"wayland\" platform"), std::string::npos);
    const std::string told = LogLineWait("XWayland does not run", 0);
    EXPECT_NE(told.find("Wayland windows"), std::string::npos) << LogText();
    // Neither a portal's shortcut nor XWayland's keyboard: the start line promises no hot key.
    const std::string tray = LogLineWait("has no system tray", 0);
    EXPECT_NE(tray.find("the program has no hot key"), std::string::npos) << LogText();
    EXPECT_EQ(tray.find("hot key ("), std::string::npos) << tray;
}

// sway puts a floating window in the middle of the screen; the program moves its main window to
// its edge, also after it was hidden and shown again (by the desktop's shortcut).
void ProgramOnSway::DockedCheck(bool xwayland)
{
    Start(xwayland);
    PortalStart();
    SettingsPrepare();
    const pid_t program = m_desktop.ProgramStart({ m_program }, "tallyhour");
    ASSERT_GT(program, 0) << m_desktop.ErrorText();
    TWindowHandle mainWindow = 0;
    for (int i = 0; i < 150 && mainWindow == 0; ++i) {
        const auto windows = ProgramWindows(program);
        mainWindow = windows.empty() ? 0 : windows.front();
        if (mainWindow == 0)
            Pause(100);
    }
    ASSERT_NE(mainWindow, 0u) << "the program shows no window; log:\n" << LogText();
    const auto dockedWait = [&](TWindowHandle window) {
        std::array<int, 4> rect {};
        for (int i = 0; i < 50; ++i) {
            rect = WindowRect(window);
            if (rect[0] >= 0 && rect[0] + rect[2] == rect[3])
                break;
            Pause(100);
        }
        return rect;
    };
    std::array<int, 4> rect = dockedWait(mainWindow);
    EXPECT_EQ(rect[0] + rect[2], rect[3]) << "x " << rect[0] << ", width " << rect[2] << ", screen " << rect[3];
    EXPECT_NE(LogText().find("has no system tray"), std::string::npos) << LogText();

    // Shown anew, the window is placed by sway anew.
    ASSERT_NE(LogLineWait("The hot key is Ctrl+Alt+H", 20), "") << LogText();
    ASSERT_EQ(ShortcutPress(), "1\n");
    for (int i = 0; i < 100 && !ProgramWindows(program).empty(); ++i)
        Pause(100);
    ASSERT_TRUE(ProgramWindows(program).empty()) << LogText();
    ASSERT_EQ(ShortcutPress(), "1\n");
    for (int i = 0; i < 100 && ProgramWindows(program).empty(); ++i)
        Pause(100);
    ASSERT_FALSE(ProgramWindows(program).empty()) << LogText();
    rect = dockedWait(ProgramWindows(program).front());
    EXPECT_EQ(rect[0] + rect[2], rect[3]) << "x " << rect[0] << ", width " << rect[2] << ", screen " << rect[3];
    if (xwayland && !TTestDesktop::ProgramFind("xdotool").empty()) {
        // An X11 window's request to move (as the program's own moves make) has sway centre it
        // again; the program puts it back.
        std::string output;
        m_desktop.ProgramRun({ "xdotool", "search", "--pid", std::to_string(program), "--name", "^Tallyhour$",
                                 "windowmove", "%@", "100", "100" },
            "xdotool-move", 10, output);
        Pause(300);
        rect = dockedWait(ProgramWindows(program).front());
        EXPECT_EQ(rect[0] + rect[2], rect[3]) << "x " << rect[0] << ", width " << rect[2] << ", screen " << rect[3];
    }
    ::kill(program, SIGTERM);
    ASSERT_EQ(ExitWait(program, 15), 0) << LogText();
    EXPECT_EQ(LogText().find("did not move the main window"), std::string::npos) << LogText();
}

TEST_F(ProgramOnSway, TheMainWindowIsDockedAtTheRightEdgeThroughXWaylandAndAfterItShowsAgain)
{
    DockedCheck(true);
}

TEST_F(ProgramOnSway, WithoutXWaylandTheMainWindowIsDockedAtTheRightEdgeToo)
{
    DockedCheck(false);
}

TEST_F(ProgramOnSway, TheDesktopPortalsShortcutHidesAndShowsTheWaylandWindow)
{
    Start(false);
    PortalStart();
    SettingsPrepare();
    const pid_t program = m_desktop.ProgramStart({ m_program }, "tallyhour");
    ASSERT_GT(program, 0) << m_desktop.ErrorText();
    ASSERT_NE(LogLineWait("The hot key is Ctrl+Alt+H", 20), "") << LogText();
    const auto windowsWait = [&](bool shown) {
        for (int i = 0; i < 100; ++i) {
            if (ProgramWindows(program).empty() != shown)
                return true;
            Pause(100);
        }
        return false;
    };
    ASSERT_TRUE(windowsWait(true)) << "the program shows no window (no tray here); log:\n" << LogText();
    EXPECT_EQ(ShortcutPress(), "1\n");
    EXPECT_TRUE(windowsWait(false)) << "the window stayed; log:\n" << LogText();
    EXPECT_EQ(ShortcutPress(), "1\n");
    EXPECT_TRUE(windowsWait(true)) << "the window did not come back; log:\n" << LogText();
    ::kill(program, SIGTERM);
    ASSERT_EQ(ExitWait(program, 15), 0) << LogText();
    EXPECT_EQ(LogText().find("Error"), std::string::npos) << LogText();
}

TEST_F(ProgramOnSway, OnAWlrootsDesktopWithoutSwaysSocketTheCompositorsWindowListGivesTheListedProgram)
{
    Start(true);
    SettingsPrepare();
    // A wlroots compositor that names neither itself nor an IPC socket the program speaks. (The
    // desktop is restored at its end.)
    unsetenv("SWAYSOCK");
    setenv("XDG_CURRENT_DESKTOP", "Elsewhere", 1);
    const pid_t program = m_desktop.ProgramStart({ m_program }, "tallyhour");
    ListedFootChargedCheck(program, 7, "the compositor's foreign-toplevel window list on " + m_desktop.DisplayName());
}

TEST_F(ProgramOnSway, ListedSiteInFirefoxOnWaylandIsChargedAsASite)
{
    TH_REQUIRE_PROGRAMS("firefox-esr");
    Start(false);
    TLoopbackPageServer server;
    ASSERT_TRUE(server.Start());
    SettingsPrepare("127.0.0.1");
    const pid_t program = m_desktop.ProgramStart({ m_program }, "tallyhour");
    ASSERT_GT(program, 0) << m_desktop.ErrorText();
    ASSERT_NE(LogLineWait("The window in front is read through", 20), "") << LogText();
    // The program switched the session's accessibility support on; the browser starts after it.
    EXPECT_NE(LogText().find("Switched on the desktop's accessibility support"), std::string::npos) << LogText();
    const pid_t firefox = m_desktop.FirefoxStart(server.PageUrl());
    ASSERT_GT(firefox, 0) << m_desktop.ErrorText();
    const TWindowHandle window = m_desktop.WindowWait(firefox, 60, TLoopbackPageServer::PageTitle);
    ASSERT_NE(window, 0u) << WindowTitles(m_desktop);
    ASSERT_TRUE(m_desktop.WindowActivate(window));

    // The page's tree fills in a moment after the window shows: watch a copy of the database
    // (the program's own file is left to the program) until the site is charged twice. The
    // latest rows are in its write-ahead log, which is copied with it.
    const std::string copy = m_desktop.Folder() + "/tmp/actmondb-copy.sqlite";
    const std::string charged = ValueWait("2", 40, [&] {
        std::error_code error;
        for (const char* suffix : { "", "-wal", "-shm" }) {
            fs::remove(copy + suffix, error);
        }
        for (const char* suffix : { "", "-wal" }) {
            fs::copy_file(m_locations.ActivityDbFileName + suffix, copy + suffix, error);
        }
        try {
            TSQLiteDatabase database(copy);
            auto rows = database.RunQuery("SELECT COUNT(*) FROM applications WHERE browser_url = '127.0.0.1'");
            return rows && rows->First() ? std::to_string(std::min<int64_t>(rows->Int64At(0), 2)) : std::string();
        } catch (const std::exception&) {
            return std::string(); // copied while a page was being written
        }
    });
    EXPECT_EQ(charged, "2") << LogText();
    ::kill(program, SIGTERM);
    ASSERT_EQ(ExitWait(program, 15), 0) << LogText();

    auto rows = ActivityDBGetTable("SELECT browser_url, app_type, origin, app_name, MIN(duration) FROM applications "
                                   "GROUP BY browser_url, app_type, origin, app_name",
        m_locations.ActivityDbFileName);
    ASSERT_TRUE(rows);
    rows->First();
    ASSERT_FALSE(rows->AtEnd()) << "nothing charged; log:\n" << LogText();
    EXPECT_EQ(rows->TextAt(0), "127.0.0.1");
    EXPECT_EQ(rows->TextAt(1), "Mozila FireFox");
    EXPECT_EQ(rows->Int64At(2), 2);
    EXPECT_EQ(fs::path(rows->TextAt(3)).filename(), "firefox-esr") << rows->TextAt(3);
    EXPECT_GE(rows->Int64At(4), 1);
    rows->Next();
    EXPECT_TRUE(rows->AtEnd()) << "only the site was charged";
    EXPECT_EQ(LogText().find("Error"), std::string::npos) << LogText();
}
