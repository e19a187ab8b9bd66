#include "X11TestHelpers.h"

#include "model/MonitoredObjects.h"
#include "model/ProgramLog.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/sway/SwayWindowSystem.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// A headless sway of its own, the services picked from the session it sets, as the program
// picks them.
class SwayDesktop : public ::testing::Test
{
protected:
    void Start(bool xwayland)
    {
        TH_REQUIRE_PROGRAMS("sway", "foot");
        ASSERT_TRUE(m_desktop.SwayStart(xwayland)) << m_desktop.ErrorText();
        // This process's own log lines stay out of the desktop user's data folder: made here, as
        // root and private, it would keep the program (run as that user) from starting at all.
        LogFileNameSet(m_desktop.Folder() + "/logs/test_sway_desktop.log");
        const TLinuxSession session = LinuxSessionDetect();
        ASSERT_EQ(session.Kind, TLinuxDesktopKind::Sway);
        m_services = LinuxPlatformServicesCreate(session);
        ASSERT_EQ(m_services->ForegroundNotice, "");
    }
    void TearDown() override
    {
        m_services.reset();
        LogFileNameSet({});
        m_desktop.Stop();
    }
    TWindowHandle FootShow(const std::string& title, pid_t& foot)
    {
        foot = m_desktop.FootStart(title);
        return foot > 0 ? m_desktop.WindowWait(foot, 20, title) : 0;
    }
    bool Listed(TWindowHandle window)
    {
        const auto windows = m_services->WindowSystem->TopLevelWindowsGet();
        return std::find(windows.begin(), windows.end(), window) != windows.end();
    }
    static std::string FootPath()
    {
        return std::filesystem::canonical(TTestDesktop::ProgramFind("foot")).string();
    }

    TTestDesktop m_desktop;
    std::unique_ptr<TPlatformServices> m_services;
};

} // namespace

TEST_F(SwayDesktop, WaylandWindowInFrontIsSampledWithItsRealExecutableAndSwitchingSwitchesTheSample)
{
    Start(false);
    pid_t first = 0;
    pid_t second = 0;
    const TWindowHandle firstWindow = FootShow("first", first);
    const TWindowHandle secondWindow = FootShow("second", second);
    ASSERT_NE(firstWindow, 0u);
    ASSERT_NE(secondWindow, 0u);

    ASSERT_TRUE(m_desktop.WindowActivate(firstWindow));
    TWindowSystem& windows = *m_services->WindowSystem;
    EXPECT_EQ(windows.ForegroundWindowGet(), firstWindow);
    EXPECT_EQ(windows.WindowProcessIdGet(firstWindow), first);
    EXPECT_EQ(windows.WindowClassNameGet(firstWindow), "foot");
    EXPECT_EQ(windows.WindowTextGet(firstWindow), "first");
    // The tool a user runs, in the session as it stands, sees what the scan sees.
    auto sample = SampleCommandRun();
    EXPECT_EQ(sample["exit"], "0");
    EXPECT_EQ(sample["window"], WindowHandleText(firstWindow));
    EXPECT_EQ(sample["exe"], FootPath());
    EXPECT_EQ(sample["app_type"], "Desktop Application");

    ASSERT_TRUE(m_desktop.WindowActivate(secondWindow));
    TZaraveDezeZurirevuzor scan(*m_services->WindowSystem, *m_services->Processes, *m_services->Accessibility);
    scan.Execute(false, nullptr);
    EXPECT_EQ(scan.WindowHandle, secondWindow);
    EXPECT_EQ(scan.ExeName, FootPath());
    EXPECT_EQ(windows.WindowProcessIdGet(scan.WindowHandle), second);
}

TEST_F(SwayDesktop, CloseRequestClosesTheWindowAskedOnlyAndAnEmptyScreenGivesNoWindow)
{
    Start(false);
    pid_t asked = 0;
    pid_t other = 0;
    const TWindowHandle askedWindow = FootShow("asked", asked);
    const TWindowHandle otherWindow = FootShow("other", other);
    ASSERT_NE(askedWindow, 0u);
    ASSERT_NE(otherWindow, 0u);

    EXPECT_TRUE(m_services->WindowSystem->WindowCloseRequest(askedWindow));
    EXPECT_TRUE(m_desktop.WindowGoneWait(askedWindow, 10));
    EXPECT_TRUE(Listed(otherWindow));
    EXPECT_EQ(kill(other, 0), 0);
    // Gone windows answer "not available".
    EXPECT_FALSE(m_services->WindowSystem->WindowCloseRequest(askedWindow));
    EXPECT_EQ(m_services->WindowSystem->WindowProcessIdGet(askedWindow), 0);
    EXPECT_EQ(m_services->WindowSystem->WindowTextGet(askedWindow), "");

    ASSERT_TRUE(m_services->WindowSystem->WindowCloseRequest(otherWindow));
    ASSERT_TRUE(m_desktop.WindowGoneWait(otherWindow, 10));
    EXPECT_EQ(m_services->WindowSystem->ForegroundWindowGet(), 0u);
    auto sample = SampleCommandRun();
    EXPECT_EQ(sample["window"], "0x0");
    EXPECT_EQ(sample["exe"], "Error: No such process");
}

TEST_F(SwayDesktop, CloseAllClosesTheListedProgramsWindowsAndLeavesAnXWaylandOne)
{
    TH_REQUIRE_PROGRAMS("Xwayland", "xterm");
    Start(true);
    pid_t listed = 0;
    const TWindowHandle listedWindow = FootShow("listed", listed);
    const pid_t xterm = m_desktop.XtermStart("unlisted");
    ASSERT_GT(xterm, 0) << m_desktop.ErrorText();
    const TWindowHandle xtermWindow = m_desktop.WindowWait(xterm, 30, "unlisted");
    ASSERT_NE(listedWindow, 0u);
    ASSERT_NE(xtermWindow, 0u);
    // An X11 program under sway is known by its X11 class and its own process.
    EXPECT_EQ(m_services->WindowSystem->WindowClassNameGet(xtermWindow), "XTerm");
    EXPECT_EQ(m_services->WindowSystem->WindowProcessIdGet(xtermWindow), xterm);
    // The listed window is out of sight, in the scratchpad: close-all reaches it too.
    ASSERT_TRUE(m_desktop.Sway()->CommandRun("[con_id=" + std::to_string(listedWindow) + "] move scratchpad"));
    ASSERT_TRUE(Listed(listedWindow));

    TMonitoredList list;
    auto item = std::make_unique<TMonitoredItem>();
    item->ItemType = mitApp;
    item->Name = FootPath();
    item->Caption = "Terminal";
    list.Add("Terminal", std::move(item));
    TZaraveDezeZurirevuzor sample(*m_services->WindowSystem, *m_services->Processes, *m_services->Accessibility);
    sample.Execute(true, &list);
    EXPECT_TRUE(m_desktop.WindowGoneWait(listedWindow, 10));
    EXPECT_TRUE(Listed(xtermWindow));
    EXPECT_EQ(kill(xterm, 0), 0);
}

TEST_F(SwayDesktop, TheProgramPutsItsWindowsOnXWaylandAndReadsTheWindowInFrontFromSway)
{
    TH_REQUIRE_PROGRAMS("Xwayland");
    Start(true);
    // Started as a user starts it from the desktop: no Qt platform chosen.
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    const std::string saved = chosen ? chosen : "";
    unsetenv("QT_QPA_PLATFORM");
    const char* binDir = std::getenv("TALLYHOUR_BIN_DIR");
    const pid_t program = m_desktop.ProgramStart({ std::string(binDir ? binDir : ".") + "/tallyhour" }, "tallyhour");
    if (chosen)
        setenv("QT_QPA_PLATFORM", saved.c_str(), 1);
    ASSERT_GT(program, 0) << m_desktop.ErrorText();

    const std::filesystem::path logFile = m_desktop.Folder() + "/home/.local/share/Tallyhour/tallyhour.log";
    std::string line;
    for (int i = 0; i < 300 && line.empty(); ++i) {
        std::ifstream log(logFile);
        for (std::string text; std::getline(log, text);) {
            if (text.find("The window in front is read through") != std::string::npos)
                line = text;
        }
        if (line.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(line, "") << "no start-up line in " << logFile;
    EXPECT_NE(line.find("sway's IPC socket " + LinuxSessionDetect().SwaySocket), std::string::npos) << line;
    EXPECT_NE(line.find("Qt's \"xcb\" platform"), std::string::npos) << line;
    EXPECT_EQ(kill(program, 0), 0);
}

TEST_F(SwayDesktop, AWaylandDesktopKnownByNoNameIsReadThroughItsCompositorsWindowList)
{
    TH_REQUIRE_PROGRAMS("Xwayland", "dbus-daemon");
    Start(true);
    // The session's bus, which a desktop session has: where the window's process is looked for on
    // the accessibility bus, that bus is started through it (and ends with it).
    ASSERT_TRUE(m_desktop.SessionBusStart()) << m_desktop.ErrorText();
    pid_t foot = 0;
    const TWindowHandle footWindow = FootShow("native", foot);
    ASSERT_NE(footWindow, 0u);
    // A wlroots desktop that names neither itself nor an IPC socket the program speaks. (The
    // desktop is restored at its end.)
    unsetenv("SWAYSOCK");
    setenv("XDG_CURRENT_DESKTOP", "Elsewhere", 1);
    ASSERT_TRUE(m_desktop.WindowActivate(footWindow));
    auto sample = DesktopSampleRun(m_desktop);
    EXPECT_EQ(sample["exit"], "0");
    EXPECT_EQ(sample["exe"], FootPath());
    EXPECT_EQ(sample["output"].find("cannot see which window is in front"), std::string::npos) << sample["output"];
}

TEST_F(SwayDesktop, WithoutTheCompositorsChannelOnlyXWaylandWindowsCountAndTheUserIsTold)
{
    TH_REQUIRE_PROGRAMS("Xwayland", "xterm");
    Start(true);
    pid_t foot = 0;
    const TWindowHandle footWindow = FootShow("native", foot);
    const pid_t xterm = m_desktop.XtermStart("x11");
    const TWindowHandle xtermWindow = xterm > 0 ? m_desktop.WindowWait(xterm, 30, "x11") : 0;
    ASSERT_NE(footWindow, 0u);
    ASSERT_NE(xtermWindow, 0u);
    // A Wayland desktop the program has no channel to: its IPC socket is not named, and its
    // compositor cannot be reached as a Wayland client either (as one that gives no window list
    // could not be asked for one). (The desktop is restored at its end.)
    unsetenv("SWAYSOCK");
    setenv("XDG_CURRENT_DESKTOP", "Elsewhere", 1);
    setenv("WAYLAND_DISPLAY", "tallyhour-no-such-display", 1);
    // XWayland admits its own user only: the sample runs as the desktop's user, as the program
    // would.
    ASSERT_TRUE(m_desktop.WindowActivate(xtermWindow));
    auto sample = DesktopSampleRun(m_desktop);
    EXPECT_EQ(sample["exit"], "0");
    EXPECT_EQ(sample["exe"], std::filesystem::canonical(TTestDesktop::ProgramFind("xterm")).string());
    const std::string output = sample["output"];
    const size_t notice = output.find("cannot see which window is in front");
    ASSERT_NE(notice, std::string::npos) << output;
    const std::string noticeLine = output.substr(notice, output.find('\n', notice) - notice);
    EXPECT_NE(noticeLine.find("(Elsewhere)"), std::string::npos) << noticeLine;
    EXPECT_NE(noticeLine.find("XWayland"), std::string::npos) << noticeLine;
    EXPECT_NE(noticeLine.find("tallyhour-no-such-display"), std::string::npos) << noticeLine;

    // A Wayland window in front is not taken for the X11 one that had the focus before it.
    ASSERT_TRUE(m_desktop.WindowActivate(footWindow));
    sample = DesktopSampleRun(m_desktop);
    EXPECT_EQ(sample["window"], "0x0");
    EXPECT_EQ(sample["exe"], "Error: No such process");
}
