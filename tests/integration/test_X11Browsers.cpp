#include "X11TestHelpers.h"

#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/ScanCycle.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/SQLiteDatabase.h"
#include "storage/WindowPreferences.h"
#include "support/TestSupport.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

// One desktop for the suite: the accessibility library connects to one bus per process.
class X11Browsers : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_desktop = new TTestDesktop;
        s_server = new TLoopbackPageServer;
    }
    static void TearDownTestSuite()
    {
        delete s_services;
        delete s_server;
        delete s_desktop;
        s_services = nullptr;
        s_server = nullptr;
        s_desktop = nullptr;
    }
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS("Xvfb", "openbox", "dbus-daemon");
        if (access("/usr/libexec/at-spi-bus-launcher", X_OK) != 0
            && access("/usr/lib/at-spi2-core/at-spi-bus-launcher", X_OK) != 0)
            GTEST_SKIP() << "at-spi-bus-launcher is not installed (at-spi2-core)";
        if (!s_services) {
            ASSERT_TRUE(s_desktop->Start(true)) << s_desktop->ErrorText();
            ASSERT_TRUE(s_server->Start());
            s_services = LinuxPlatformServicesCreate(s_desktop->DisplayName()).release();
        }
    }

    // Starts nothing; waits for the browser's window showing the loop page, puts it in front and
    // polls until its address can be read (the tree fills in after the page has loaded).
    void AddressShownCheck(pid_t browser, TBrowserFamily family, const std::string& appTypeText)
    {
        ASSERT_GT(browser, 0) << s_desktop->ErrorText();
        const TWindowHandle window = s_desktop->WindowWait(browser, 60, TLoopbackPageServer::PageTitle);
        ASSERT_NE(window, 0u) << "no window showing the page; see the logs in " << s_desktop->Folder();
        ASSERT_TRUE(s_desktop->WindowActivate(window));
        const int64_t processId = s_services->WindowSystem->WindowProcessIdGet(window);
        ASSERT_GT(processId, 0);
        EXPECT_TRUE(s_services->Accessibility->CanReadBrowserAddress());

        const std::string url = s_server->PageUrl();
        std::string address;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            address = s_services->Accessibility->BrowserAddressGet(window, processId, family);
            if (address == url)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        EXPECT_EQ(address, url);

        std::string exeName;
        std::string errorText;
        ASSERT_TRUE(s_services->Processes->ProcessExeNameGet(processId, exeName, errorText)) << errorText;
        auto sample = SampleCommandRun();
        EXPECT_EQ(sample["exit"], "0");
        EXPECT_EQ(sample["window"], WindowHandleText(window));
        EXPECT_EQ(sample["exe"], exeName);
        EXPECT_EQ(sample["app_type"], appTypeText);
        EXPECT_EQ(sample["browser_url"], url);
    }

    static TTestDesktop* s_desktop;
    static TLoopbackPageServer* s_server;
    static TPlatformServices* s_services;
};

TTestDesktop* X11Browsers::s_desktop = nullptr;
TLoopbackPageServer* X11Browsers::s_server = nullptr;
TPlatformServices* X11Browsers::s_services = nullptr;

} // namespace

TEST_F(X11Browsers, ChromiumShowingALoopbackPageGivesItsAddress)
{
    TH_REQUIRE_PROGRAMS("chromium");
    const pid_t browser = s_desktop->ChromiumStart(s_server->PageUrl());
    AddressShownCheck(browser, TBrowserFamily::Chromium, "Google Chrome");
    s_desktop->ProgramStop(browser);
}

TEST_F(X11Browsers, FirefoxShowingALoopbackPageGivesItsAddress)
{
    TH_REQUIRE_PROGRAMS("firefox-esr");
    const pid_t browser = s_desktop->FirefoxStart(s_server->PageUrl());
    AddressShownCheck(browser, TBrowserFamily::Firefox, "Mozila FireFox");
    s_desktop->ProgramStop(browser);
}

TEST_F(X11Browsers, StoppedChromiumIsSampledAsABrowserWithoutAddress)
{
    TH_REQUIRE_PROGRAMS("chromium");
    const pid_t browser = s_desktop->ChromiumStart(s_server->PageUrl());
    AddressShownCheck(browser, TBrowserFamily::Chromium, "Google Chrome");
    const TWindowHandle window = s_desktop->WindowWait(browser, 10, TLoopbackPageServer::PageTitle);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(s_desktop->WindowActivate(window));

    // A browser that no longer answers (stopped, or its interface thread hung): every call into
    // it gives up after its time-out, and the sample keeps the browser's kind.
    ASSERT_EQ(kill(-browser, SIGSTOP), 0);
    TZaraveDezeZurirevuzor sample(*s_services->WindowSystem, *s_services->Processes, *s_services->Accessibility);
    const auto start = std::chrono::steady_clock::now();
    sample.Execute(false, nullptr);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    kill(-browser, SIGCONT);
    std::printf("sample of a stopped browser took %.2f s\n", seconds);
    EXPECT_EQ(sample.WindowHandle, window);
    EXPECT_EQ(sample.AppType, atChrome);
    EXPECT_EQ(sample.BrowserUrl, "");
    EXPECT_FALSE(sample.ExeName.starts_with("Error: ")) << sample.ExeName;
    s_desktop->ProgramStop(browser);
}

TEST_F(X11Browsers, ListedLoopbackSiteInChromiumIsChargedAsASite)
{
    TH_REQUIRE_PROGRAMS("chromium");
    TTempFolder data;
    OptionsInstanceFree();
    WindowPreferencesFree();
    DataLocationsCompute(data.Text(), "/opt/tallyhour/tallyhour");
    LogFileNameSet("");
    {
        TOptions& options = OptionsInstance();
        auto site = std::make_unique<TMonitoredItem>();
        site->ItemType = mitWeb;
        site->Name = "127.0.0.1";
        site->Caption = "Loop site";
        options.MonitoredItems().Add("Loop site", std::move(site));
        options.ListSave();
    }

    const pid_t browser = s_desktop->ChromiumStart(s_server->PageUrl());
    ASSERT_GT(browser, 0) << s_desktop->ErrorText();
    const TWindowHandle window = s_desktop->WindowWait(browser, 60, TLoopbackPageServer::PageTitle);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(s_desktop->WindowActivate(window));

    // The program clock stands still between ticks unless moved: each tick charges exactly 3 s.
    TFakeClock clock(EncodeDateTime(2024, 3, 5, 10, 0, 0));
    auto logger = std::make_unique<TZaraveDezeZurirevuzorLogger>();
    TScanSteps steps;
    steps.TimeLimitListGet = [] { return &OptionsInstance().MonitoredItems(); };
    steps.TotalGet = [&] { return logger->Total; };
    steps.Log = [&](const TZaraveDezeZurirevuzor& sample, int32_t seconds) { logger->Log(&sample, seconds); };
    TScanCycle scan(*s_services->WindowSystem, *s_services->Processes, *s_services->Accessibility, steps);
    scan.LastScanTime = ProgramNow();

    // The page's tree fills in after the window shows: tick until the site is charged.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (logger->Total == 0 && std::chrono::steady_clock::now() < deadline) {
        clock.Advance(3);
        scan.TickRun();
        if (logger->Total == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_EQ(logger->Total, 3);
    EXPECT_EQ(scan.Sample().AppType, atChrome);
    EXPECT_EQ(scan.Sample().BrowserUrl, "127.0.0.1");

    auto rows = ActivityDBGetTable("SELECT browser_url, app_type, duration, origin FROM applications ORDER BY rowid");
    ASSERT_TRUE(rows->First());
    EXPECT_EQ(rows->TextAt(0), "127.0.0.1");
    EXPECT_EQ(rows->TextAt(1), "Google Chrome");
    EXPECT_EQ(rows->TextAt(2), "3");
    EXPECT_EQ(rows->TextAt(3), "2");

    s_desktop->ProgramStop(browser);
    logger.reset();
    OptionsInstanceFree();
    WindowPreferencesFree();
}
