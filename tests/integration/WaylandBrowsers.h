#pragma once

// Browsers drawing as Wayland clients on a headless compositor: the window in front and its
// process come from the compositor's channel, the page's address from the accessibility bus, as
// on X11. The desktop is the one a user has: a session bus, the accessibility switch left off,
// the browsers started after the program, as a user starts them on Wayland. The sample is taken
// by the tool a user runs, in the session. `TSession` names the desktop:
//   static void Require();                  skips (GTEST_SKIP) when the desktop cannot be had
//   static bool Start(TTestDesktop&);
//   static constexpr TLinuxDesktopKind Kind;
//   static constexpr bool ActivatesWindows; false where a new window taking the focus must do
//   static constexpr bool SharesWindowNumbers; true when the tool numbers windows as the test does

#include "X11TestHelpers.h"

#include "platform/linux/logind/LinuxSession.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

// One desktop for the suite, as a user's session runs one browser after the other.
template <typename TSession> class TWaylandBrowsers : public ::testing::Test
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
        s_started = false;
    }
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS("dbus-daemon", "dbus-send");
        TSession::Require();
        if (IsSkipped())
            return;
        if (access("/usr/libexec/at-spi-bus-launcher", X_OK) != 0
            && access("/usr/lib/at-spi2-core/at-spi-bus-launcher", X_OK) != 0)
            GTEST_SKIP() << "at-spi-bus-launcher is not installed (at-spi2-core)";
        if (!s_started) {
            s_started = true;
            ASSERT_TRUE(TSession::Start(*s_desktop)) << s_desktop->ErrorText();
            // No XWayland: a browser window on this desktop can only be a Wayland client's.
            ASSERT_EQ(std::getenv("DISPLAY"), nullptr);
            ASSERT_TRUE(s_server->Start());
            ASSERT_EQ(LinuxSessionDetect().Kind, TSession::Kind);
            s_switchBefore = s_desktop->AccessibilitySwitchGet();
            // The program's first sample, before any browser runs.
            s_firstSample = DesktopSampleRun(*s_desktop);
        }
        ASSERT_EQ(s_firstSample["exit"], "0") << s_firstSample["output"];
    }

    // The first sample switched the desktop's accessibility support on, said so, and saw the
    // window in front.
    static void FirstSampleCheck()
    {
        EXPECT_EQ(s_switchBefore, std::optional<bool>(false)) << "the desktop must start as an ordinary one does";
        EXPECT_EQ(s_desktop->AccessibilitySwitchGet(), std::optional<bool>(true));
        const std::string output = s_firstSample["output"];
        EXPECT_NE(output.find("Switched on the desktop's accessibility support"), std::string::npos) << output;
        EXPECT_EQ(output.find("cannot see which window is in front"), std::string::npos) << output;
    }

    // Starts the browser on the loop page, waits for its window, puts it in front, and checks the
    // sample: the window, the browser's program and kind from the compositor and /proc, and (once
    // the page is in the tree) the page's address.
    void AddressShownCheck(const std::string& browserProgram, const std::string& appTypeText)
    {
        TH_REQUIRE_PROGRAMS(browserProgram.c_str());
        const pid_t browser = browserProgram == "chromium" ? s_desktop->ChromiumStart(s_server->PageUrl())
                                                           : s_desktop->FirefoxStart(s_server->PageUrl());
        ASSERT_GT(browser, 0) << s_desktop->ErrorText();
        const TWindowHandle window = s_desktop->WindowWait(browser, 90, TLoopbackPageServer::PageTitle);
        ASSERT_NE(window, 0u) << "no window showing the page; windows: " << WindowTitles(*s_desktop);
        if (TSession::ActivatesWindows) {
            ASSERT_TRUE(s_desktop->WindowActivate(window));
        }
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
        if (TSession::SharesWindowNumbers) {
            EXPECT_EQ(sample["window"], WindowHandleText(window));
        }
        EXPECT_EQ(std::filesystem::path(sample["exe"]).filename(), browserProgram) << sample["exe"];
        EXPECT_EQ(sample["app_type"], appTypeText);
        s_desktop->ProgramStop(browser);
    }

    static inline TTestDesktop* s_desktop = nullptr;
    static inline TLoopbackPageServer* s_server = nullptr;
    static inline bool s_started = false;
    static inline std::optional<bool> s_switchBefore;
    static inline std::map<std::string, std::string> s_firstSample;
};
