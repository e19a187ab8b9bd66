#include "X11TestHelpers.h"

#include "model/ProgramLog.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/proc/ProcFsProcesses.h"
#include "platform/linux/wlroots/ForeignToplevelWindowSystem.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace {

using TToplevelClock = std::chrono::steady_clock;

// foot and xterm show no web pages; the sample needs no accessibility bus for them.
class TNoAccessibility final : public TAccessibility
{
public:
    bool CanReadBrowserAddress() const override
    {
        return false;
    }
    std::string BrowserAddressGet(TWindowHandle, int64_t, TBrowserFamily) override
    {
        return {};
    }
};

// The system's own source, counting the searches through the running processes.
class TCountingSource final : public TToplevelProcessSource
{
public:
    explicit TCountingSource(int& searches)
        : m_searches(searches)
    {
    }
    std::optional<TActiveFrame> ActiveFrameGet() override
    {
        return m_source.ActiveFrameGet();
    }
    std::vector<TToplevelProcess> UserProcessesGet() override
    {
        ++m_searches;
        return m_source.UserProcessesGet();
    }
    std::string DesktopEntryProgramGet(const std::string& appId) override
    {
        return m_source.DesktopEntryProgramGet(appId);
    }

private:
    TLinuxToplevelProcessSource m_source;
    int& m_searches;
};

// A headless sway, read as a compositor known only by its foreign-toplevel window list. The test
// runs as the desktop's own account, as the program does in a session: the processes behind the
// windows are looked for among that account's.
class ForeignToplevelDesktop : public ::testing::Test
{
protected:
    void Start(bool xwayland)
    {
        TH_REQUIRE_PROGRAMS("sway", "foot");
        ASSERT_TRUE(m_desktop.SwayStart(xwayland)) << m_desktop.ErrorText();
        ASSERT_TRUE(m_desktop.AccountTake()) << m_desktop.ErrorText();
        LogFileNameSet(LogFile());
        m_windows = std::make_unique<TForeignToplevelWindowSystem>(
            m_desktop.DisplayName(), std::make_unique<TCountingSource>(m_searches));
    }
    std::string LogFile() const
    {
        return m_desktop.Folder() + "/logs/test_foreign_toplevel.log";
    }
    void TearDown() override
    {
        m_windows.reset();
        LogFileNameSet({});
        m_desktop.Stop();
    }
    // The window of this backend's whose title is `title`, waited for; 0 when it does not come.
    TWindowHandle ToplevelWait(const std::string& title, double seconds = 10)
    {
        const auto deadline = TToplevelClock::now() + std::chrono::duration<double>(seconds);
        while (TToplevelClock::now() < deadline) {
            for (TWindowHandle window : m_windows->TopLevelWindowsGet()) {
                if (m_windows->WindowTextGet(window) == title)
                    return window;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return 0;
    }
    // Puts the desktop's window titled `title` in front and waits until the compositor has told
    // the backend.
    bool InFront(TWindowHandle swayWindow, TWindowHandle window)
    {
        if (!m_desktop.WindowActivate(swayWindow))
            return false;
        const auto deadline = TToplevelClock::now() + std::chrono::seconds(10);
        while (TToplevelClock::now() < deadline) {
            if (m_windows->ForegroundWindowGet() == window)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    TWindowHandle FootShow(const std::string& title, pid_t& foot)
    {
        foot = m_desktop.FootStart(title);
        return foot > 0 ? m_desktop.WindowWait(foot, 20, title) : 0;
    }
    static std::string RealPath(const char* program)
    {
        return std::filesystem::canonical(TTestDesktop::ProgramFind(program)).string();
    }

    TTestDesktop m_desktop;
    std::unique_ptr<TForeignToplevelWindowSystem> m_windows;
    int m_searches = 0;
};

} // namespace

TEST_F(ForeignToplevelDesktop, AWaylandWindowInFrontGivesItsProgramThroughItsAppIdAndSwitchingSwitchesTheSample)
{
    Start(false);
    pid_t first = 0;
    pid_t second = 0;
    const TWindowHandle firstSway = FootShow("first", first);
    const TWindowHandle secondSway = FootShow("second", second);
    ASSERT_NE(firstSway, 0u);
    ASSERT_NE(secondSway, 0u);
    const TWindowHandle firstWindow = ToplevelWait("first");
    const TWindowHandle secondWindow = ToplevelWait("second");
    ASSERT_NE(firstWindow, 0u);
    ASSERT_NE(secondWindow, 0u);
    EXPECT_EQ(m_windows->WindowClassNameGet(firstWindow), "foot");

    TProcFsProcesses processes;
    TNoAccessibility accessibility;
    TZaraveDezeZurirevuzor sample(*m_windows, processes, accessibility);
    ASSERT_TRUE(InFront(firstSway, firstWindow));
    sample.Execute(false, nullptr);
    EXPECT_EQ(sample.WindowHandle, firstWindow);
    EXPECT_EQ(sample.ExeName, RealPath("foot"));
    // foot exposes no accessibility and the protocol names no process: of the two foot
    // processes, the app_id cannot tell which shows the window, and the one started last is taken.
    // The program, which is what is charged, is right either way.
    EXPECT_EQ(m_windows->WindowProcessIdGet(firstWindow), second);

    ASSERT_TRUE(InFront(secondSway, secondWindow));
    sample.Execute(false, nullptr);
    EXPECT_EQ(sample.WindowHandle, secondWindow);
    EXPECT_EQ(sample.ExeName, RealPath("foot"));
    EXPECT_EQ(m_windows->WindowTextGet(sample.WindowHandle), "second");
}

TEST_F(ForeignToplevelDesktop, AnXWaylandWindowIsKnownByItsX11ClassAndItsOwnProcess)
{
    TH_REQUIRE_PROGRAMS("Xwayland", "xterm");
    Start(true);
    pid_t foot = 0;
    const TWindowHandle footSway = FootShow("native", foot);
    const pid_t xterm = m_desktop.XtermStart("x11");
    ASSERT_GT(xterm, 0) << m_desktop.ErrorText();
    const TWindowHandle xtermSway = m_desktop.WindowWait(xterm, 30, "x11");
    ASSERT_NE(footSway, 0u);
    ASSERT_NE(xtermSway, 0u);
    const TWindowHandle xtermWindow = ToplevelWait("x11");
    ASSERT_NE(xtermWindow, 0u) << "sway does not list XWayland windows through the protocol";
    EXPECT_EQ(m_windows->WindowClassNameGet(xtermWindow), "XTerm");

    ASSERT_TRUE(InFront(xtermSway, xtermWindow));
    TProcFsProcesses processes;
    TNoAccessibility accessibility;
    TZaraveDezeZurirevuzor sample(*m_windows, processes, accessibility);
    sample.Execute(false, nullptr);
    EXPECT_EQ(sample.WindowHandle, xtermWindow);
    EXPECT_EQ(sample.ExeName, RealPath("xterm"));
    EXPECT_EQ(m_windows->WindowProcessIdGet(xtermWindow), xterm);

    const TWindowHandle footWindow = ToplevelWait("native");
    ASSERT_TRUE(InFront(footSway, footWindow));
    sample.Execute(false, nullptr);
    EXPECT_EQ(sample.ExeName, RealPath("foot"));
    EXPECT_EQ(m_windows->WindowProcessIdGet(footWindow), foot);
}

TEST_F(ForeignToplevelDesktop, AWindowOfNoKnownProgramIsNotCountedLoggedOnceAndNotSearchedAtEverySample)
{
    Start(false);
    // A user's foot with an app_id of their own, for their compositor's window rules.
    const pid_t odd = m_desktop.ProgramStart(
        { "foot", "--app-id", "tallyhour-unknown-app", "--title", "odd", "sleep", "600" }, "foot-odd");
    pid_t plain = 0;
    const TWindowHandle plainSway = FootShow("plain", plain);
    const TWindowHandle oddSway = odd > 0 ? m_desktop.WindowWait(odd, 20, "odd") : 0;
    ASSERT_NE(oddSway, 0u);
    ASSERT_NE(plainSway, 0u);
    const TWindowHandle oddWindow = ToplevelWait("odd");
    const TWindowHandle plainWindow = ToplevelWait("plain");
    ASSERT_TRUE(InFront(oddSway, oddWindow));

    TProcFsProcesses processes;
    TNoAccessibility accessibility;
    TZaraveDezeZurirevuzor sample(*m_windows, processes, accessibility);
    const int before = m_searches;
    for (int i = 0; i < 3; ++i) {
        sample.Execute(false, nullptr);
        EXPECT_EQ(sample.WindowHandle, oddWindow);
        EXPECT_EQ(m_windows->WindowProcessIdGet(oddWindow), 0);
    }
    EXPECT_EQ(m_searches, before + 1);
    // Back in front after another window: looked for again, and still logged once.
    ASSERT_TRUE(InFront(plainSway, plainWindow));
    sample.Execute(false, nullptr);
    EXPECT_EQ(m_windows->WindowProcessIdGet(plainWindow), plain);
    ASSERT_TRUE(InFront(oddSway, oddWindow));
    const int again = m_searches;
    sample.Execute(false, nullptr);
    EXPECT_EQ(m_searches, again + 1);
    EXPECT_EQ(m_windows->WindowProcessIdGet(oddWindow), 0);
    std::ifstream log(LogFile());
    int lines = 0;
    for (std::string line; std::getline(log, line);)
        lines += line.find("\"tallyhour-unknown-app\"") != std::string::npos ? 1 : 0;
    EXPECT_EQ(lines, 1);
}

TEST_F(ForeignToplevelDesktop, ACloseRequestClosesTheWindowAskedOnly)
{
    Start(false);
    pid_t asked = 0;
    pid_t other = 0;
    const TWindowHandle askedSway = FootShow("asked", asked);
    const TWindowHandle otherSway = FootShow("other", other);
    ASSERT_NE(askedSway, 0u);
    ASSERT_NE(otherSway, 0u);
    const TWindowHandle askedWindow = ToplevelWait("asked");
    const TWindowHandle otherWindow = ToplevelWait("other");
    ASSERT_NE(askedWindow, 0u);
    ASSERT_NE(otherWindow, 0u);

    EXPECT_TRUE(m_windows->WindowCloseRequest(askedWindow));
    EXPECT_TRUE(m_desktop.WindowGoneWait(askedSway, 10));
    const auto listed = [this](TWindowHandle window) {
        const auto windows = m_windows->TopLevelWindowsGet();
        return std::find(windows.begin(), windows.end(), window) != windows.end();
    };
    for (int i = 0; i < 500 && listed(askedWindow); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(listed(askedWindow));
    EXPECT_TRUE(listed(otherWindow));
    const auto swayWindows = m_desktop.Windows().TopLevelWindowsGet();
    EXPECT_NE(std::find(swayWindows.begin(), swayWindows.end(), otherSway), swayWindows.end());
    EXPECT_EQ(kill(other, 0), 0);
    // A window gone answers "not available".
    EXPECT_FALSE(m_windows->WindowCloseRequest(askedWindow));
    EXPECT_EQ(m_windows->WindowProcessIdGet(askedWindow), 0);
    EXPECT_EQ(m_windows->WindowTextGet(askedWindow), "");
    EXPECT_EQ(m_windows->WindowClassNameGet(askedWindow), "");
}

TEST_F(ForeignToplevelDesktop, ACompositorThatEndsIsToldOnceAndLeavesNoWindow)
{
    Start(false);
    pid_t foot = 0;
    ASSERT_NE(FootShow("last", foot), 0u);
    const TWindowHandle window = ToplevelWait("last");
    ASSERT_NE(window, 0u);
    EXPECT_EQ(m_windows->ForegroundNoticeTake(), "");

    LogFileNameSet({});
    const std::string display = m_desktop.DisplayName();
    m_desktop.Stop();
    std::string notice;
    for (int i = 0; i < 500 && notice.empty(); ++i) {
        notice = m_windows->ForegroundNoticeTake();
        if (notice.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_NE(notice.find("lost the Wayland compositor's list of windows (" + display), std::string::npos) << notice;
    EXPECT_NE(notice.find("not count"), std::string::npos) << notice;
    EXPECT_EQ(m_windows->ForegroundNoticeTake(), "");
    EXPECT_FALSE(m_windows->Connected());
    EXPECT_EQ(m_windows->ForegroundWindowGet(), 0u);
    EXPECT_TRUE(m_windows->TopLevelWindowsGet().empty());
    EXPECT_FALSE(m_windows->WindowCloseRequest(window));
    EXPECT_EQ(m_windows->WindowProcessIdGet(window), 0);
}

TEST_F(ForeignToplevelDesktop, NoCompositorAtTheDisplayIsRefusedWithItsReason)
{
    try {
        TForeignToplevelWindowSystem windows("tallyhour-no-such-display");
        FAIL() << "connected to a display that is not there";
    } catch (const std::exception& error) {
        EXPECT_NE(std::string(error.what()).find("tallyhour-no-such-display"), std::string::npos) << error.what();
    }
}
