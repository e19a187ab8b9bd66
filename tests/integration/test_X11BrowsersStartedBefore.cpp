#include "X11TestHelpers.h"

#include "model/ProgramLog.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "support/TestSupport.h"

#include <unistd.h>

#include <memory>
#include <optional>

namespace {

// Browsers that were running before the program started, on a desktop whose accessibility switch
// was off until the program turned it on: the user's browsers after a log-in with the program in
// autostart, say. A process of its own, as the accessibility library connects to one bus per
// process.
class X11BrowsersStartedBefore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS("Xvfb", "openbox", "dbus-daemon", "chromium", "firefox-esr");
        if (access("/usr/libexec/at-spi-bus-launcher", X_OK) != 0
            && access("/usr/lib/at-spi2-core/at-spi-bus-launcher", X_OK) != 0)
            GTEST_SKIP() << "at-spi-bus-launcher is not installed (at-spi2-core)";
        ASSERT_TRUE(m_desktop.Start(true)) << m_desktop.ErrorText();
        ASSERT_TRUE(m_server.Start());
        m_logFile = (m_logFolder.Path() / "tallyhour.log").string();
        LogFileNameSet(m_logFile);
    }
    void TearDown() override
    {
        m_services.reset();
        m_desktop.Stop();
        LogFileNameSet("");
    }

    TWindowHandle PageWindowWait(pid_t browser)
    {
        return browser > 0 ? m_desktop.WindowWait(browser, 90, TLoopbackPageServer::PageTitle) : 0;
    }
    struct TSampled
    {
        TApplicationType AppType = atDesktop;
        std::string BrowserUrl;
    };
    TSampled SampleOf(TWindowHandle window)
    {
        EXPECT_TRUE(m_desktop.WindowActivate(window));
        TZaraveDezeZurirevuzor sample(*m_services->WindowSystem, *m_services->Processes, *m_services->Accessibility);
        sample.Execute(false, nullptr);
        EXPECT_EQ(sample.WindowHandle, window);
        return { sample.AppType, sample.BrowserUrl };
    }
    static size_t Count(const std::string& text, const std::string& part)
    {
        size_t count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++count;
        return count;
    }

    TTestDesktop m_desktop;
    TLoopbackPageServer m_server;
    TTempFolder m_logFolder;
    std::string m_logFile;
    std::unique_ptr<TPlatformServices> m_services;
};

} // namespace

TEST_F(X11BrowsersStartedBefore, FirefoxIsReadAndChromiumsUserIsToldOnceToRestartIt)
{
    ASSERT_EQ(m_desktop.AccessibilitySwitchGet(), std::optional<bool>(false));
    const pid_t chromium = m_desktop.ChromiumStart(m_server.PageUrl());
    const pid_t firefox = m_desktop.FirefoxStart(m_server.PageUrl());
    const TWindowHandle chromiumWindow = PageWindowWait(chromium);
    const TWindowHandle firefoxWindow = PageWindowWait(firefox);
    ASSERT_NE(chromiumWindow, 0u) << m_desktop.ErrorText() << "; windows: " << WindowTitles(m_desktop);
    ASSERT_NE(firefoxWindow, 0u) << m_desktop.ErrorText() << "; windows: " << WindowTitles(m_desktop);

    m_services = LinuxPlatformServicesCreate(m_desktop.DisplayName());
    EXPECT_EQ(m_desktop.AccessibilitySwitchGet(), std::optional<bool>(true));

    // Firefox joins the tree once the switch is on.
    const std::string page = m_server.PageUrl();
    EXPECT_EQ(ValueWait(page, 60, [&] { return SampleOf(firefoxWindow).BrowserUrl; }), page);
    EXPECT_EQ(m_services->Accessibility->UserNoticeTake(), "");

    // Chromium never will: it is still sampled as a browser, and the user learns why its sites
    // are not counted and what to do, once.
    for (int i = 0; i < 3; ++i) {
        const TSampled sample = SampleOf(chromiumWindow);
        EXPECT_EQ(sample.AppType, atChrome);
        EXPECT_EQ(sample.BrowserUrl, "");
        const std::string notice = m_services->Accessibility->UserNoticeTake();
        if (i == 0) {
            EXPECT_NE(notice.find("was started before the desktop's accessibility support was switched on"),
                std::string::npos)
                << notice;
            EXPECT_NE(notice.find("start it again"), std::string::npos) << notice;
        } else {
            EXPECT_EQ(notice, "");
        }
    }
    const std::string log = FileText(m_logFile);
    EXPECT_EQ(Count(log, "Switched on the desktop's accessibility support"), 1u) << log;
    EXPECT_EQ(Count(log, "was started before the desktop's accessibility support was switched on"), 1u) << log;

    // Firefox is still read after the sample of the unreadable Chromium.
    EXPECT_EQ(SampleOf(firefoxWindow).BrowserUrl, page);
}
