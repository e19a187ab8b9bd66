// Browsers drawing as Wayland clients on a headless GNOME Shell, as in GNOME's Wayland session: the
// window in front and its process come from the Shell (through the program's extension, installed
// as the package installs it and left off), the page's address from the accessibility bus. The
// desktop is the one a user has: a session bus, the accessibility switch left off, the browsers
// started after the program.

#include "X11TestHelpers.h"

#include "platform/linux/LinuxSession.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace {

// One desktop for the suite, as a user's session runs one browser after the other.
class GnomeBrowsers : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_desktop = new TTestDesktop;
        s_server = new TLoopbackPageServer;
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_desktop;
        s_server = nullptr;
        s_desktop = nullptr;
    }
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS("gnome-shell", "dbus-daemon", "dbus-send");
        if (std::system("/usr/bin/python3 -c 'import dbusmock' >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "python3-dbusmock (the stand-in for logind) is not installed";
        if (access("/usr/libexec/at-spi-bus-launcher", X_OK) != 0
            && access("/usr/lib/at-spi2-core/at-spi-bus-launcher", X_OK) != 0)
            GTEST_SKIP() << "at-spi-bus-launcher is not installed (at-spi2-core)";
        if (!s_started) {
            s_started = true;
            ASSERT_TRUE(s_desktop->GnomeStart(GNOME_EXTENSION_SOURCE)) << s_desktop->ErrorText();
            // No XWayland: a browser window on this desktop can only be a Wayland client's.
            ASSERT_EQ(std::getenv("DISPLAY"), nullptr);
            ASSERT_TRUE(s_server->Start());
            ASSERT_EQ(LinuxSessionDetect().Kind, TLinuxDesktopKind::Gnome);
            s_switchBefore = s_desktop->AccessibilitySwitchGet();
            // The program's first sample, before any browser runs.
            s_firstSample = DesktopSampleRun(*s_desktop);
        }
        ASSERT_EQ(s_firstSample["exit"], "0") << s_firstSample["output"];
    }

    // Waits for the browser's window showing the loop page (a new window takes the focus), and
    // checks the sample of the program's own tool: the browser's program and kind from the Shell
    // and /proc, and (once the page is in the tree) the page's address. The tool numbers the
    // Shell's windows its own way, so the window is recognised by its title.
    void AddressShownCheck(pid_t browser, const std::string& program, const std::string& appTypeText)
    {
        ASSERT_GT(browser, 0) << s_desktop->ErrorText();
        const TWindowHandle window = s_desktop->WindowWait(browser, 90, TLoopbackPageServer::PageTitle);
        ASSERT_NE(window, 0u) << "no window showing the page; windows: " << WindowTitles(*s_desktop);
        const std::string url = s_server->PageUrl();
        std::map<std::string, std::string> sample;
        EXPECT_EQ(ValueWait(url, 60,
                      [&sample] {
                          sample = DesktopSampleRun(*s_desktop);
                          return sample["browser_url"];
                      }),
            url)
            << sample["output"];
        EXPECT_NE(sample["title"].find(TLoopbackPageServer::PageTitle), std::string::npos) << sample["output"];
        EXPECT_EQ(std::filesystem::path(sample["exe"]).filename(), program) << sample["exe"];
        EXPECT_EQ(sample["app_type"], appTypeText);
    }

    static TTestDesktop* s_desktop;
    static TLoopbackPageServer* s_server;
    static bool s_started;
    static std::optional<bool> s_switchBefore;
    static std::map<std::string, std::string> s_firstSample;
};

TTestDesktop* GnomeBrowsers::s_desktop = nullptr;
TLoopbackPageServer* GnomeBrowsers::s_server = nullptr;
bool GnomeBrowsers::s_started = false;
std::optional<bool> GnomeBrowsers::s_switchBefore;
std::map<std::string, std::string> GnomeBrowsers::s_firstSample;

} // namespace

TEST_F(GnomeBrowsers, TheFirstSampleSwitchesTheDesktopsAccessibilityOnAndSeesTheWindowInFront)
{
    EXPECT_EQ(s_switchBefore, std::optional<bool>(false)) << "the desktop must start as an ordinary one does";
    EXPECT_EQ(s_desktop->AccessibilitySwitchGet(), std::optional<bool>(true));
    const std::string output = s_firstSample["output"];
    EXPECT_NE(output.find("Switched on the desktop's accessibility support"), std::string::npos) << output;
    EXPECT_EQ(output.find("cannot see which window is in front"), std::string::npos) << output;
    // The sample switched the program's extension on, as the program does.
    EXPECT_NE(output.find("Enabled Tallyhour's GNOME Shell extension"), std::string::npos) << output;
}

TEST_F(GnomeBrowsers, FirefoxOnWaylandGivesTheShownAddress)
{
    TH_REQUIRE_PROGRAMS("firefox-esr");
    const pid_t browser = s_desktop->FirefoxStart(s_server->PageUrl());
    AddressShownCheck(browser, "firefox-esr", "Mozila FireFox");
    s_desktop->ProgramStop(browser);
}

TEST_F(GnomeBrowsers, ChromiumOnWaylandGivesTheShownAddress)
{
    TH_REQUIRE_PROGRAMS("chromium");
    const pid_t browser = s_desktop->ChromiumStart(s_server->PageUrl());
    AddressShownCheck(browser, "chromium", "Google Chrome");
    s_desktop->ProgramStop(browser);
}
