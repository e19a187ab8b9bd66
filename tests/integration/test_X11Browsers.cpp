#include "X11TestHelpers.h"

#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/x11/X11WindowSystem.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/SQLiteDatabase.h"
#include "storage/WindowPreferences.h"
#include "support/ScanHostPlain.h"
#include "support/TestSupport.h"
#include "support/desktop/FakeSessionPower.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>

namespace {

// One desktop for the suite: the accessibility library connects to one bus per process. It is
// the desktop a user has: the accessibility switch off, the browsers started as a user starts
// them, after the program.
class X11Browsers : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_desktop = new TTestDesktop;
        s_server = new TLoopbackPageServer;
        s_logFolder = new TTempFolder;
    }
    static void TearDownTestSuite()
    {
        delete s_services;
        delete s_server;
        delete s_desktop;
        delete s_logFolder;
        s_services = nullptr;
        s_server = nullptr;
        s_desktop = nullptr;
        s_logFolder = nullptr;
    }
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS("Xvfb", "openbox", "dbus-daemon", "xdotool");
        if (access("/usr/libexec/at-spi-bus-launcher", X_OK) != 0
            && access("/usr/lib/at-spi2-core/at-spi-bus-launcher", X_OK) != 0)
            GTEST_SKIP() << "at-spi-bus-launcher is not installed (at-spi2-core)";
        if (!s_services) {
            ASSERT_TRUE(s_desktop->Start(true)) << s_desktop->ErrorText();
            ASSERT_TRUE(s_server->Start());
            s_switchBefore = s_desktop->AccessibilitySwitchGet();
            LogFileNameSet((s_logFolder->Path() / "tallyhour.log").string());
            s_services = LinuxPlatformServicesCreate(s_desktop->DisplayName()).release();
            s_logText = FileText((s_logFolder->Path() / "tallyhour.log").string());
        }
    }

    // The address of the browser window in front as the scan's sample reads it.
    static std::string SampledAddress()
    {
        TZaraveDezeZurirevuzor sample(*s_services->WindowSystem, *s_services->Processes, *s_services->Accessibility);
        sample.Execute(false, nullptr);
        return sample.BrowserUrl;
    }
    // Another address the loop server answers (with its "Not found" page).
    static std::string OtherUrl(const std::string& tail)
    {
        const std::string page = s_server->PageUrl();
        return page.substr(0, page.rfind('/') + 1) + "?" + tail;
    }

    // Waits for the browser's window showing the loop page, puts it in front and polls until its
    // address can be read (the tree fills in after the page has loaded).
    TWindowHandle AddressShownCheck(pid_t browser, TBrowserFamily family, const std::string& appTypeText)
    {
        EXPECT_GT(browser, 0) << s_desktop->ErrorText();
        const TWindowHandle window = s_desktop->WindowWait(browser, 90, TLoopbackPageServer::PageTitle);
        EXPECT_NE(window, 0u) << "no window showing the page; windows: " << WindowTitles(*s_desktop);
        if (window == 0 || !s_desktop->WindowActivate(window)) {
            ADD_FAILURE() << "the browser's window cannot be put in front";
            return 0;
        }
        const int64_t processId = s_services->WindowSystem->WindowProcessIdGet(window);
        EXPECT_GT(processId, 0);
        EXPECT_TRUE(s_services->Accessibility->CanReadBrowserAddress());

        const std::string url = s_server->PageUrl();
        EXPECT_EQ(
            ValueWait(url, 60, [&] { return s_services->Accessibility->BrowserAddressGet(window, processId, family); }),
            url);
        // Nothing to tell the user about a browser that can be read.
        EXPECT_EQ(s_services->Accessibility->UserNoticeTake(), "");

        std::string exeName;
        std::string errorText;
        EXPECT_TRUE(s_services->Processes->ProcessExeNameGet(processId, exeName, errorText)) << errorText;
        auto sample = SampleCommandRun();
        EXPECT_EQ(sample["exit"], "0");
        EXPECT_EQ(sample["window"], WindowHandleText(window));
        EXPECT_EQ(sample["exe"], exeName);
        EXPECT_EQ(sample["app_type"], appTypeText);
        EXPECT_EQ(sample["browser_url"], url);
        return window;
    }

    // Selects the address field and types `url` into it, as a user does.
    static bool AddressFieldType(const std::string& url)
    {
        // The field takes keys a moment after the shortcut selects it.
        if (!KeysSend("key ctrl+l"))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return KeysSend("type --delay 150 '" + url + "'");
    }
    // Waits until the sample shows `url`, after Enter was pressed in the address field. Keys do
    // get lost on a loaded machine (the first letters of the text, or all of them when a new
    // tab's own page takes the keyboard as it loads late): then the address is typed again.
    static std::string AddressGoneTo(const std::string& url)
    {
        std::string shown = ValueWait(url, 20, SampledAddress);
        for (int attempt = 0; attempt < 2 && shown != url; ++attempt) {
            if (!AddressFieldType(url) || !KeysSend("key Return"))
                break;
            shown = ValueWait(url, 20, SampledAddress);
        }
        return shown;
    }

    // What the user types into the address field is not where they are until they press Enter;
    // the tab in front decides which page that is.
    void AddressFollowsThePageShownCheck(pid_t browser, TBrowserFamily family)
    {
        const TWindowHandle window
            = AddressShownCheck(browser, family, ApplicationTypeText(ApplicationTypeOfFamily(family)));
        ASSERT_NE(window, 0u);
        const std::string page = s_server->PageUrl();
        ASSERT_EQ(ValueWait(page, 30, SampledAddress), page);

        const std::string typed = OtherUrl("typed");
        ASSERT_TRUE(AddressFieldType(typed));
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(SampledAddress(), page) << "typed text taken for the address";
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        // Enter takes the browser there (which shows the text was in the field).
        ASSERT_TRUE(KeysSend("key Return"));
        EXPECT_EQ(AddressGoneTo(typed), typed);

        // A new tab shows the browser's own page: no address. Then a second site in it.
        ASSERT_TRUE(KeysSend("key ctrl+t"));
        EXPECT_EQ(ValueWait("", 30, SampledAddress), "");
        const std::string second = OtherUrl("second");
        ASSERT_TRUE(AddressFieldType(second));
        ASSERT_TRUE(KeysSend("key Return"));
        EXPECT_EQ(AddressGoneTo(second), second);

        // Switching tabs switches the address, both ways (keys both browsers know).
        ASSERT_TRUE(KeysSend("key ctrl+Page_Up"));
        EXPECT_EQ(ValueWait(typed, 30, SampledAddress), typed);
        ASSERT_TRUE(KeysSend("key ctrl+Page_Down"));
        EXPECT_EQ(ValueWait(second, 30, SampledAddress), second);
        EXPECT_EQ(s_services->Accessibility->UserNoticeTake(), "");
    }

    static TTestDesktop* s_desktop;
    static TLoopbackPageServer* s_server;
    static TPlatformServices* s_services;
    static TTempFolder* s_logFolder;
    static std::optional<bool> s_switchBefore;
    static std::string s_logText;
};

TTestDesktop* X11Browsers::s_desktop = nullptr;
TLoopbackPageServer* X11Browsers::s_server = nullptr;
TPlatformServices* X11Browsers::s_services = nullptr;
TTempFolder* X11Browsers::s_logFolder = nullptr;
std::optional<bool> X11Browsers::s_switchBefore;
std::string X11Browsers::s_logText;

} // namespace

TEST_F(X11Browsers, StartingTheBackendSwitchesTheDesktopsAccessibilityOnAndSaysSo)
{
    EXPECT_EQ(s_switchBefore, std::optional<bool>(false)) << "the desktop must start as an ordinary one does";
    EXPECT_EQ(s_desktop->AccessibilitySwitchGet(), std::optional<bool>(true));
    EXPECT_NE(s_logText.find("Switched on the desktop's accessibility support"), std::string::npos) << s_logText;
}

TEST_F(X11Browsers, ChromiumStartedAfterTheProgramGivesTheShownAddress)
{
    TH_REQUIRE_PROGRAMS("chromium");
    const pid_t browser = s_desktop->ChromiumStart(s_server->PageUrl());
    AddressShownCheck(browser, TBrowserFamily::Chromium, "Google Chrome");
    s_desktop->ProgramStop(browser);
}

TEST_F(X11Browsers, FirefoxStartedAfterTheProgramGivesTheShownAddress)
{
    TH_REQUIRE_PROGRAMS("firefox-esr");
    const pid_t browser = s_desktop->FirefoxStart(s_server->PageUrl());
    AddressShownCheck(browser, TBrowserFamily::Firefox, "Mozila FireFox");
    s_desktop->ProgramStop(browser);
}

TEST_F(X11Browsers, ChromiumAddressFollowsThePageShownNotTheTextTyped)
{
    TH_REQUIRE_PROGRAMS("chromium");
    const pid_t browser = s_desktop->ChromiumStart(s_server->PageUrl());
    AddressFollowsThePageShownCheck(browser, TBrowserFamily::Chromium);
    s_desktop->ProgramStop(browser);
}

TEST_F(X11Browsers, FirefoxAddressFollowsThePageShownNotTheTextTyped)
{
    TH_REQUIRE_PROGRAMS("firefox-esr");
    const pid_t browser = s_desktop->FirefoxStart(s_server->PageUrl());
    AddressFollowsThePageShownCheck(browser, TBrowserFamily::Firefox);
    s_desktop->ProgramStop(browser);
}

TEST_F(X11Browsers, StoppedChromiumIsSampledAsABrowserWithoutAddressWithinItsBound)
{
    TH_REQUIRE_PROGRAMS("chromium");
    const pid_t browser = s_desktop->ChromiumStart(s_server->PageUrl());
    const TWindowHandle window = AddressShownCheck(browser, TBrowserFamily::Chromium, "Google Chrome");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(s_desktop->WindowActivate(window));

    // A browser that no longer answers (stopped, or its interface thread hung): every call into
    // it gives up after its time-out, the sample starts no more calls once half of one has
    // passed, and the sample keeps the browser's kind. Twice: the second sample starts from
    // what the first one left.
    ASSERT_EQ(kill(-browser, SIGSTOP), 0);
    TZaraveDezeZurirevuzor sample(*s_services->WindowSystem, *s_services->Processes, *s_services->Accessibility);
    for (int i = 0; i < 2; ++i) {
        const auto start = std::chrono::steady_clock::now();
        sample.Execute(false, nullptr);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("sample of a stopped browser took %.2f s\n", seconds);
        EXPECT_LT(seconds, 2.5 * TAtspiAccessibility::CallTimeoutMs / 1000.0);
        EXPECT_EQ(sample.WindowHandle, window);
        EXPECT_EQ(sample.AppType, atChrome);
        EXPECT_EQ(sample.BrowserUrl, "");
        EXPECT_FALSE(sample.ExeName.starts_with("Error: ")) << sample.ExeName;
    }
    kill(-browser, SIGCONT);
    // Once it answers again its address is back.
    EXPECT_EQ(ValueWait(s_server->PageUrl(), 30, SampledAddress), s_server->PageUrl());
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
    TScanHostPlain host(OptionsInstance().MonitoredItems(), logger.get());
    TFakeSessionPower power;
    TEnforcementState enforcement;
    TInlineTaskRunner owner;
    TScanPipeline scan({ *s_services->WindowSystem, *s_services->Processes, *s_services->Accessibility, power }, host,
        host, enforcement, host, std::make_unique<TInlineTaskRunner>(), owner);
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
