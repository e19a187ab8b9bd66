#include "monitor/ZaraveDezeZurirevuzor.h"

#include "MonitorTestSupport.h"
#include "model/Exceptions.h"
#include "support/desktop/FakeDesktop.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kEditor = "/usr/bin/editor";
constexpr const char* kTerminal = "/usr/bin/xterm";
constexpr const char* kFirefox = "/usr/lib/firefox-esr/firefox-esr";
constexpr const char* kChromium = "/usr/lib/chromium/chromium";

class Sample : public ::testing::Test
{
protected:
    Sample()
    {
        ListedItemAdd(m_list, mitApp, kEditor, "Editor");
        ListedItemAdd(m_list, mitWeb, "example.com", "Example");
    }

    TLogCapture m_log;
    TFakeDesktop m_desktop;
    TZaraveDezeZurirevuzor m_sample { m_desktop, m_desktop.Processes(), m_desktop };
    TMonitoredList m_list;
};

} // namespace

TEST(ApplicationType, StoredTextsAreTheOnesExistingDatabasesHold)
{
    EXPECT_EQ(ApplicationTypeText(atDesktop), "Desktop Application");
    EXPECT_EQ(ApplicationTypeText(atInternetExplorer), "MS Internet Explorer");
    EXPECT_EQ(ApplicationTypeText(atFirefox), "Mozila FireFox");
    EXPECT_EQ(ApplicationTypeText(atChrome), "Google Chrome");
    EXPECT_EQ(ApplicationTypeText(atOpera), "Opera");
    EXPECT_THROW(ApplicationTypeText(static_cast<TApplicationType>(5)), EAssertionFailed);
}

TEST_F(Sample, ForegroundDesktopProgramGivesItsExecutableAndNoAddress)
{
    m_desktop.WindowShow({ .ExeName = kFirefox, .ClassName = "firefox-esr", .Address = "https://example.com/" });
    const TWindowHandle terminal = m_desktop.WindowShow({ .ExeName = kTerminal, .ClassName = "XTerm" });
    m_sample.Execute(false, nullptr);
    EXPECT_TRUE(m_sample.Sampled);
    EXPECT_EQ(m_sample.WindowHandle, terminal);
    EXPECT_EQ(m_sample.ExeName, kTerminal);
    EXPECT_EQ(m_sample.AppType, atDesktop);
    EXPECT_EQ(m_sample.BrowserUrl, "");
    EXPECT_EQ(m_desktop.AddressReads(), 0);
    EXPECT_TRUE(m_desktop.CloseRequestsGet().empty());
}

TEST_F(Sample, BrowsersGiveTheirFamilyAndAddress)
{
    m_desktop.WindowShow({ .ExeName = kFirefox, .ClassName = "firefox-esr", .Address = "https://www.example.com/a" });
    m_sample.Execute(false, nullptr);
    EXPECT_EQ(m_sample.AppType, atFirefox);
    EXPECT_EQ(m_sample.BrowserUrl, "https://www.example.com/a");

    m_desktop.WindowShow({ .ExeName = kChromium, .ClassName = "Chromium", .Address = "http://127.0.0.1:8080/" });
    m_sample.Execute(false, nullptr);
    EXPECT_EQ(m_sample.AppType, atChrome);
    EXPECT_EQ(m_sample.BrowserUrl, "http://127.0.0.1:8080/");
    EXPECT_FALSE(SampleMatch(m_sample, &m_list).Found);
}

TEST_F(Sample, BrowserWithoutReadableAddressKeepsItsFamily)
{
    m_desktop.WindowShow({ .ExeName = kFirefox, .ClassName = "firefox-esr", .Address = "a search text" });
    m_sample.Execute(false, nullptr);
    EXPECT_EQ(m_sample.AppType, atFirefox);
    EXPECT_EQ(m_sample.BrowserUrl, "");

    m_desktop.WindowShow({ .ExeName = kFirefox, .ClassName = "firefox-esr", .Address = "https://example.com/" });
    m_desktop.AccessibilityAvailableSet(false);
    m_sample.Execute(false, nullptr);
    EXPECT_EQ(m_sample.AppType, atFirefox);
    EXPECT_EQ(m_sample.BrowserUrl, "");
}

TEST_F(Sample, NoWindowInFrontGivesTheErrorTextAndMatchesNothing)
{
    const TWindowHandle gone = m_desktop.WindowShow({ .ExeName = kEditor });
    m_desktop.WindowRemove(gone, /*keepStaleFront=*/true);
    m_sample.Execute(false, nullptr);
    EXPECT_TRUE(m_sample.Sampled);
    EXPECT_EQ(m_sample.WindowHandle, 0u);
    EXPECT_EQ(m_sample.ExeName, "Error: No such process");
    EXPECT_EQ(m_sample.AppType, atDesktop);
    EXPECT_FALSE(SampleMatch(m_sample, &m_list).Found);
}

TEST_F(Sample, UnreadableProcessGivesTheSystemsMessage)
{
    m_desktop.WindowShow({ .ProcessId = 77, .ExeName = kEditor });
    m_desktop.Processes().ProcessFailSet(77, "Permission denied");
    m_sample.Execute(false, nullptr);
    EXPECT_EQ(m_sample.ExeName, "Error: Permission denied");
    EXPECT_FALSE(SampleMatch(m_sample, &m_list).Found);
}

TEST_F(Sample, FailingBackendIsLoggedAndTheSampleKeepsWhatItReached)
{
    m_desktop.WindowShow({ .ExeName = kFirefox, .ClassName = "firefox", .Address = "https://example.com/" });
    m_desktop.AccessibilityFailSet("The browser does not answer");
    EXPECT_NO_THROW(m_sample.Execute(false, nullptr));
    EXPECT_EQ(m_sample.ExeName, kFirefox);
    EXPECT_EQ(m_sample.AppType, atFirefox);
    EXPECT_EQ(m_sample.BrowserUrl, "");
    EXPECT_FALSE(m_sample.CloseMatching);
    EXPECT_NE(
        m_log.Text().find("ErrorClassName: EOSError; TZaraveDezeZurirevuzor.Execute: The browser does not answer\r\n"),
        std::string::npos);
}

TEST_F(Sample, CloseAllAsksEveryListedWindowToCloseHiddenOnesIncluded)
{
    const TWindowHandle editor = m_desktop.WindowShow({ .ExeName = kEditor });
    const TWindowHandle hiddenEditor = m_desktop.WindowShow({ .ExeName = "/USR/BIN/EDITOR", .Visible = false });
    const TWindowHandle terminal = m_desktop.WindowShow({ .ExeName = kTerminal });
    const TWindowHandle site = m_desktop.WindowShow(
        { .ExeName = kChromium, .ClassName = "Chromium", .Address = "https://mail.example.com/inbox" });
    const TWindowHandle otherSite
        = m_desktop.WindowShow({ .ExeName = kChromium, .ClassName = "Chromium", .Address = "https://example.org/" });
    m_desktop.WindowHide(editor);

    m_sample.Execute(true, &m_list);

    EXPECT_EQ(m_desktop.CloseRequestsGet(), (std::vector<TWindowHandle> { editor, hiddenEditor, site }));
    EXPECT_TRUE(m_desktop.WindowExists(terminal));
    EXPECT_TRUE(m_desktop.WindowExists(otherSite));
    // The fields describe the last window of the walk; the run's mode is over.
    EXPECT_EQ(m_sample.WindowHandle, otherSite);
    EXPECT_FALSE(m_sample.CloseMatching);
    EXPECT_EQ(m_sample.CloseList, nullptr);
}

TEST_F(Sample, CloseAllGoesOnPastAWindowThatFails)
{
    m_desktop.WindowShow({ .ExeName = kFirefox, .ClassName = "firefox", .Address = "https://example.com/" });
    const TWindowHandle editor = m_desktop.WindowShow({ .ExeName = kEditor });
    m_desktop.AccessibilityFailSet("The browser does not answer");
    m_sample.Execute(true, &m_list);
    EXPECT_EQ(m_desktop.CloseRequestsGet(), (std::vector<TWindowHandle> { editor }));
    EXPECT_NE(m_log.Text().find("TZaraveDezeZurirevuzor.Execute: The browser does not answer"), std::string::npos);
}

TEST_F(Sample, ForegroundModeClosesNothingEvenWhenListed)
{
    m_desktop.WindowShow({ .ExeName = kEditor });
    m_sample.Execute(false, &m_list);
    EXPECT_TRUE(SampleMatch(m_sample, &m_list).Found);
    EXPECT_TRUE(m_desktop.CloseRequestsGet().empty());
}
