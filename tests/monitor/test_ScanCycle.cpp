#include "monitor/ScanCycle.h"

#include "MonitorTestSupport.h"
#include "model/Exceptions.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "support/desktop/FakeDesktop.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kEditor = "/usr/bin/editor";
constexpr const char* kTerminal = "/usr/bin/xterm";
constexpr const char* kFirefox = "/usr/lib/firefox-esr/firefox-esr";

struct TCharge
{
    std::string ExeName;
    std::string BrowserUrl;
    TApplicationType AppType;
    int32_t Seconds;
};

class ScanTick : public ::testing::Test
{
protected:
    ScanTick()
    {
        ListedItemAdd(m_list, mitApp, kEditor, "Editor");
        ListedItemAdd(m_list, mitWeb, "example.com", "Example");
        m_editor = m_desktop.WindowShow({ .ExeName = kEditor });
        m_terminal = m_desktop.WindowShow({ .ExeName = kTerminal });
        m_cycle.LastScanTime = ProgramNow();
    }

    TScanSteps Steps()
    {
        TScanSteps steps;
        steps.PausedGet = [this] { return m_paused; };
        steps.TimerEnabledSet = [this](bool enabled) {
            m_timerEnabled = enabled;
            m_trace += enabled ? "on;" : "off;";
        };
        steps.PartOfDayUpdate = [this] { m_trace += "part;"; };
        steps.FocusEndGet = [this] { return m_focusEnd; };
        steps.NormalTimeDisplayShow = [this] { m_trace += "normal;"; };
        steps.ResetDateTimeGet = [this] { return m_resetDateTime; };
        steps.DailyReset = [this] {
            m_trace += "reset;";
            m_resetDateTime += 1;
        };
        steps.TimeLimitListGet = [this] { return &m_list; };
        steps.TimeLimitSecondsGet = [] { return 3600; };
        steps.TotalGet = [this] { return m_total; };
        steps.ExpiryCheck = [this](TZaraveDezeZurirevuzor& sample, int32_t total, int32_t limit, bool inFocus) {
            m_trace += "expiry;";
            if (m_duringExpiry) {
                m_duringExpiry();
            }
            m_expiry = { sample.ExeName, total, limit, inFocus };
        };
        steps.Log = [this](const TZaraveDezeZurirevuzor& sample, int32_t seconds) {
            m_trace += "log;";
            if (m_logFails) {
                throw ERangeError("Range check error");
            }
            m_charges.push_back({ sample.ExeName, sample.BrowserUrl, sample.AppType, seconds });
            m_total += seconds;
        };
        steps.ScanPeriodSecondsGet = [this] { return m_scanPeriod; };
        return steps;
    }

    // The wall clock that the program clock follows, set to what the program clock reads now.
    void WallClockFollow()
    {
        m_wallUtc = (ProgramNow() - 25569.0) * 86400.0;
        ClockWallSourceSet([this] { return TWallClockReading { m_wallUtc, m_wallOffset }; });
    }
    // `seconds` pass on both clocks, then a tick in front of `window`.
    void TickAfterOnBothClocks(double seconds, TWindowHandle window)
    {
        m_wallUtc += seconds;
        TickAfter(seconds, window);
    }

    // One tick in front of `window` after `seconds` on the clock.
    void TickAfter(double seconds, TWindowHandle window)
    {
        m_clock.AdvanceMs(static_cast<int64_t>(seconds * 1000.0 + (seconds < 0 ? -0.5 : 0.5)));
        m_desktop.WindowActivate(window);
        m_cycle.TickRun();
    }

    struct TExpiryCall
    {
        std::string ExeName;
        int32_t Total = -1;
        int32_t Limit = -1;
        bool InFocus = false;
    };

    TLogCapture m_log;
    // Declared before the clock, which stops following them when it goes.
    double m_wallUtc = 0;
    int32_t m_wallOffset = 0;
    TFakeClock m_clock { EncodeDateTime(2024, 3, 5, 10, 0, 0) };
    TFakeDesktop m_desktop;
    TMonitoredList m_list;
    TWindowHandle m_editor = 0;
    TWindowHandle m_terminal = 0;
    bool m_paused = false;
    bool m_timerEnabled = true;
    bool m_logFails = false;
    int32_t m_scanPeriod = 0;
    TDateTime m_focusEnd = 0;
    TDateTime m_resetDateTime = EncodeDateTime(2024, 3, 6, 4, 0, 0);
    int32_t m_total = 0;
    std::string m_trace;
    TExpiryCall m_expiry;
    // Runs inside the expiry check, as the user does while its modal window is open.
    std::function<void()> m_duringExpiry;
    std::vector<TCharge> m_charges;
    TScanCycle m_cycle { m_desktop, m_desktop.Processes(), m_desktop, Steps() };
};

} // namespace

TEST(ElapsedSeconds, RoundsHalvesToEvenAndRefusesWhatNoIntegerHolds)
{
    const TDateTime start = EncodeDateTime(2024, 3, 5, 10, 0, 0);
    const auto after = [start](double seconds) { return ElapsedSecondsGet(start, start + seconds / 86400.0); };
    EXPECT_EQ(after(4.4), 4);
    EXPECT_EQ(after(4.6), 5);
    EXPECT_EQ(after(4.5), 4);
    EXPECT_EQ(after(5.5), 6);
    EXPECT_EQ(after(-4.5), -4);
    EXPECT_EQ(after(-5.5), -6);
    EXPECT_EQ(after(0.4999), 0);
    // Only an exact half is a tie: a fraction of a millisecond past it still rounds up.
    EXPECT_EQ(after(4.5004), 5);
    EXPECT_EQ(after(5.4996), 5);
    EXPECT_EQ(after(-4.5004), -5);
    EXPECT_THROW(ElapsedSecondsGet(0, start), ERangeError);
    EXPECT_THROW(ElapsedSecondsGet(start, 0), ERangeError);
}

TEST_F(ScanTick, PausedTickChangesNothing)
{
    m_paused = true;
    const TDateTime before = m_cycle.LastScanTime;
    TickAfter(10, m_editor);
    EXPECT_EQ(m_cycle.LastScanTime, before);
    EXPECT_EQ(m_trace, "");
    EXPECT_EQ(m_desktop.Processes().ExeNameReads(), 0);
    EXPECT_TRUE(m_charges.empty());
}

TEST_F(ScanTick, StepsRunInOrderAndTheTimerIsOffMeanwhile)
{
    m_resetDateTime = ProgramNow() + 1.0 / 86400.0;
    TickAfter(4, m_editor);
    EXPECT_EQ(m_trace, "off;part;normal;reset;expiry;log;on;");
    EXPECT_TRUE(m_timerEnabled);
    // The reset moved on, so the next tick does not reset again.
    m_trace.clear();
    TickAfter(4, m_editor);
    EXPECT_EQ(m_trace, "off;part;normal;expiry;log;on;");
}

TEST_F(ScanTick, UnlistedTickChargesNothingAndMovesLastScanTime)
{
    TickAfter(600, m_terminal);
    EXPECT_TRUE(m_charges.empty());
    EXPECT_EQ(m_trace, "off;part;normal;on;");
    EXPECT_EQ(m_cycle.LastScanTime, ProgramNow());
    EXPECT_EQ(m_cycle.Sample().ExeName, kTerminal);

    // The first listed tick after ten minutes elsewhere charges only its own interval.
    TickAfter(3, m_editor);
    ASSERT_EQ(m_charges.size(), 1u);
    EXPECT_EQ(m_charges[0].Seconds, 3);
}

TEST_F(ScanTick, ListedTicksChargeRoundedSecondsWithHalvesToEven)
{
    for (const double seconds : { 4.0, 4.4, 4.6, 4.5, 5.5, 2.5 }) {
        TickAfter(seconds, m_editor);
    }
    ASSERT_EQ(m_charges.size(), 6u);
    const std::vector<int32_t> expected { 4, 4, 5, 4, 6, 2 };
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(m_charges[i].Seconds, expected[i]) << i;
    }
    EXPECT_EQ(m_charges[0].ExeName, kEditor);
    EXPECT_EQ(m_charges[0].BrowserUrl, "");
    EXPECT_EQ(m_charges[0].AppType, atDesktop);
}

TEST_F(ScanTick, ClockMovedBackChargesNegativeSeconds)
{
    TickAfter(3, m_editor);
    ClockBaseAdjust(-60.0 / 86400.0);
    TickAfter(3, m_editor);
    ASSERT_EQ(m_charges.size(), 2u);
    EXPECT_EQ(m_charges[1].Seconds, -57);
    EXPECT_EQ(m_total, 3 - 57);
}

TEST_F(ScanTick, BrowserChargeIsStoredUnderTheListedSitesName)
{
    const TWindowHandle firefox = m_desktop.WindowShow(
        { .ExeName = kFirefox, .ClassName = "firefox-esr", .Address = "https://www.example.com/news?id=3" });
    TickAfter(3, firefox);
    ASSERT_EQ(m_charges.size(), 1u);
    EXPECT_EQ(m_charges[0].ExeName, kFirefox);
    EXPECT_EQ(m_charges[0].BrowserUrl, "example.com");
    EXPECT_EQ(m_charges[0].AppType, atFirefox);
    EXPECT_EQ(m_cycle.Sample().BrowserUrl, "example.com");
}

TEST_F(ScanTick, BrowserChargeKeepsTheMatchedNameWhenTheListChangesDuringTheExpiryCheck)
{
    const TWindowHandle firefox = m_desktop.WindowShow(
        { .ExeName = kFirefox, .ClassName = "firefox-esr", .Address = "https://www.example.com/news?id=3" });
    // An entry sorted before the matched one moves it to another index while the window is open.
    m_duringExpiry = [this] { ListedItemAdd(m_list, mitApp, "/usr/bin/abiword", "Abiword"); };
    TickAfter(3, firefox);
    ASSERT_EQ(m_charges.size(), 1u);
    EXPECT_EQ(m_charges[0].BrowserUrl, "example.com");
}

TEST_F(ScanTick, BrowserListedByItsExecutableIsStoredUnderThatPath)
{
    ListedItemAdd(m_list, mitApp, kFirefox, "Firefox");
    const TWindowHandle firefox
        = m_desktop.WindowShow({ .ExeName = kFirefox, .ClassName = "firefox-esr", .Address = "https://example.org/" });
    TickAfter(3, firefox);
    ASSERT_EQ(m_charges.size(), 1u);
    EXPECT_EQ(m_charges[0].BrowserUrl, kFirefox);
}

TEST_F(ScanTick, ExpiryCheckGetsTheTotalTheLimitAndTheFocusFlag)
{
    m_total = 1200;
    m_focusEnd = ProgramNow() + 60.0 / 86400.0;
    TickAfter(3, m_editor);
    EXPECT_EQ(m_expiry.ExeName, kEditor);
    EXPECT_EQ(m_expiry.Total, 1200);
    EXPECT_EQ(m_expiry.Limit, 3600);
    EXPECT_TRUE(m_expiry.InFocus);
    EXPECT_EQ(m_trace.find("normal;"), std::string::npos);

    TickAfter(60, m_editor);
    EXPECT_FALSE(m_expiry.InFocus);
    EXPECT_NE(m_trace.find("normal;"), std::string::npos);
}

TEST_F(ScanTick, FailingLoggerStillReenablesTheTimerAndMovesLastScanTime)
{
    m_logFails = true;
    EXPECT_THROW(TickAfter(3, m_editor), ERangeError);
    EXPECT_TRUE(m_timerEnabled);
    EXPECT_EQ(m_cycle.LastScanTime, ProgramNow());
}

TEST_F(ScanTick, ChargeTooLargeForTheCounterRaisesAfterTheEnding)
{
    m_cycle.LastScanTime = 0;
    EXPECT_THROW(TickAfter(3, m_editor), ERangeError);
    EXPECT_TRUE(m_charges.empty());
    EXPECT_TRUE(m_timerEnabled);
    EXPECT_EQ(m_cycle.LastScanTime, ProgramNow());
}

TEST_F(ScanTick, SamplingErrorIsLoggedAndTheTickGoesOn)
{
    const TWindowHandle firefox
        = m_desktop.WindowShow({ .ExeName = kFirefox, .ClassName = "firefox", .Address = "https://example.com/" });
    m_desktop.AccessibilityFailSet("Timeout was reached");
    ListedItemAdd(m_list, mitApp, kFirefox, "Firefox");
    EXPECT_NO_THROW(TickAfter(3, firefox));
    ASSERT_EQ(m_charges.size(), 1u);
    EXPECT_EQ(m_charges[0].BrowserUrl, kFirefox);
    EXPECT_NE(m_log.Text().find("ErrorClassName: EOSError; TZaraveDezeZurirevuzor.Execute: Timeout was reached"),
        std::string::npos);
}

TEST_F(ScanTick, StepsOfTheWallClockAreNeverChargedAndALongGapChargesOnePeriodAtMost)
{
    m_scanPeriod = 3;
    WallClockFollow();
    TickAfterOnBothClocks(3, m_editor);
    // The end of summer time puts the clock an hour back between two ticks.
    m_wallOffset -= 3600;
    TickAfterOnBothClocks(3, m_editor);
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2024-03-05 09:00:06");
    // The user sets the clock an hour ahead.
    m_wallUtc += 3600;
    TickAfterOnBothClocks(3, m_editor);
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2024-03-05 10:00:09");
    // The program was stopped for a minute: one period is charged, and the gap is logged.
    TickAfterOnBothClocks(60, m_editor);
    EXPECT_NE(m_log.Text().find("The scan came 60 seconds after the previous one"), std::string::npos) << m_log.Text();
    // A tick late by a few seconds is charged in full.
    TickAfterOnBothClocks(8, m_editor);
    std::vector<int32_t> seconds;
    for (const TCharge& charge : m_charges) {
        seconds.push_back(charge.Seconds);
    }
    EXPECT_EQ(seconds, std::vector<int32_t>({ 3, 3, 3, 3, 8 }));
}

TEST_F(ScanTick, TheEndChargesTheRunningScansSecondsToWhatIsInFrontAndNothingElse)
{
    TickAfter(3, m_editor);
    m_trace.clear();
    m_resetDateTime = ProgramNow();
    m_clock.AdvanceMs(1400);
    m_cycle.EndCharge();
    ASSERT_EQ(m_charges.size(), 2u);
    EXPECT_EQ(m_charges[1].Seconds, 1);
    EXPECT_EQ(m_trace, "log;") << "the end ran more than the charge";
    // No second charge of the same time, none for an unlisted program, none while paused.
    m_cycle.EndCharge();
    m_clock.AdvanceMs(2000);
    m_desktop.WindowActivate(m_terminal);
    m_cycle.EndCharge();
    m_clock.AdvanceMs(2000);
    m_desktop.WindowActivate(m_editor);
    m_paused = true;
    m_cycle.EndCharge();
    EXPECT_EQ(m_charges.size(), 2u);
}
