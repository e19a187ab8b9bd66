#include "enforce/FocusMode.h"
#include "enforce/ScanPipeline.h"
#include "enforce/SessionPause.h"
#include "enforce/TimeUp.h"
#include "enforce/UninstallFlag.h"

#include "model/Exceptions.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/MonitorTestSupport.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/FakeSessionPower.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr const char* kTerminal = "/usr/bin/xterm";
constexpr const char* kEditor = "/usr/bin/editor";
constexpr const char* kCalculator = "/usr/bin/galculator";
constexpr double kScanSeconds = 3;

TDateTime TimeOfDay(int hour, int minute, int second, int milliSecond)
{
    return EncodeDateTime(1899, 12, 30, hour, minute, second, milliSecond);
}

struct TWindowShown
{
    TDateTime At = 0;
    bool InFocus = false;
    bool FiveMinuteOffer = false;
};

// The scan, the time-up handling, focus and the pause wired together as the main window wires
// them, on a fake desktop with a fake clock, one synchronous step at a time. Listed: the terminal
// and the editor. The time-up window is answered as soon as the scan asks for it.
class Enforcement : public ::testing::Test, public TScanSettings, public TScanAccount, public TScanObserver
{
protected:
    Enforcement()
    {
        ListedItemAdd(m_list, mitApp, kTerminal, "Terminal");
        ListedItemAdd(m_list, mitApp, kEditor, "Editor");
        m_calculator = m_desktop.WindowShow({ .ExeName = kCalculator });
        m_editor = m_desktop.WindowShow({ .ExeName = kEditor });
        m_terminal = m_desktop.WindowShow({ .ExeName = kTerminal });
        m_power.ListenerSet({ [this](bool locked) { m_pause.SessionLockedChanged(locked); },
            [this](bool sleeping) { m_pause.SleepingChanged(sleeping); }, {} });
        m_scan.LastScanTime = ProgramNow();
    }

    // TScanSettings
    const TMonitoredList& TimeLimitList() override
    {
        return m_list;
    }
    int32_t TimeLimitSeconds() override
    {
        return m_limit;
    }
    TDateTime ResetDateTime() override
    {
        return m_resetDateTime;
    }
    int ExpirationAction() override
    {
        return m_action;
    }
    // TScanAccount
    int32_t Total() override
    {
        return m_total;
    }
    void Charge(const TZaraveDezeZurirevuzor& sample, int32_t seconds) override
    {
        m_charged[sample.ExeName] += seconds;
        m_total += seconds;
    }
    // TScanObserver
    void NormalTimeDisplayShow() override
    {
        m_focusDisplayOffAt = ProgramNow();
    }
    void DailyResetRequest() override
    {
        m_scan.TimeUp().DailyRearm();
        m_resetDateTime += 1;
        m_total = 0;
    }
    void TimeUpShow(const TTimeUpRequest& request) override
    {
        m_shown.push_back({ ProgramNow(), request.InFocus, request.FiveMinuteOffer });
        // The window counts down its minute before it closes (when it counts down at all).
        const bool countsDown = request.InFocus || m_action != eaReminderOnly;
        if (countsDown) {
            ClockAdvanceMs(kTimeUpCountdownSeconds * 1000);
        }
        TReminderAnswer answer = m_answer;
        if (countsDown) {
            answer.Choice = m_action; // the combo is hidden and keeps the setting
        }
        m_scan.TimeUpAnswer(answer);
    }
    void ReminderTimerEnabledSet(bool enabled) override
    {
        if (enabled && !m_reminderOnlyEnabled) {
            m_reminderOnlyDue = ProgramNow() + kReminderOnlyIntervalMs / 86'400'000.0;
        }
        m_reminderOnlyEnabled = enabled;
    }
    void ShutdownFailedShow(const std::string& reason) override
    {
        m_shutdownFailures.push_back(reason);
    }

    // The timers between two scans: tmrReminderOnly fires every five minutes while enabled.
    void TimersRun()
    {
        while (m_reminderOnlyEnabled && ProgramNow() >= m_reminderOnlyDue - 1e-9) {
            m_reminderOnlyDue += kReminderOnlyIntervalMs / 86'400'000.0;
            m_scan.TimeUp().ReminderOnlyTimerRun(m_pause.Paused());
        }
    }

    // The wall clock that the program clock follows from now on, set to what the program clock reads.
    void WallClockFollow()
    {
        m_wallUtc = (ProgramNow() - 25569.0) * 86400.0;
        ClockWallSourceSet([this] { return TWallClockReading { m_wallUtc, m_wallOffset }; });
    }
    // Time passes, on the program clock and on the wall clock alike.
    void ClockAdvanceMs(int64_t milliseconds)
    {
        m_wallUtc += static_cast<double>(milliseconds) / 1000.0;
        m_clock.AdvanceMs(milliseconds);
    }

    // One scan after `seconds`, with `window` in front.
    void ScanAfter(double seconds, TWindowHandle window)
    {
        ClockAdvanceMs(static_cast<int64_t>(seconds * 1000));
        TimersRun();
        if (window != 0) {
            m_desktop.WindowActivate(window);
        }
        m_scan.TickRun();
    }

    // Scans every three seconds for `seconds` with `window` in front.
    void ScansFor(double seconds, TWindowHandle window)
    {
        for (double done = 0; done + kScanSeconds <= seconds + 1e-9; done += kScanSeconds) {
            ScanAfter(kScanSeconds, window);
        }
    }

    void FocusStart(TDateTime duration)
    {
        FocusPeriodStart(m_state, duration);
    }

    int CloseRequestsTo(TWindowHandle window) const
    {
        const auto& requests = m_desktop.CloseRequestsGet();
        return static_cast<int>(std::count(requests.begin(), requests.end(), window));
    }

    TLogCapture m_log;
    // Declared before the clock, which stops following them when it goes.
    double m_wallUtc = 0;
    int32_t m_wallOffset = 0;
    TFakeClock m_clock { EncodeDateTime(2024, 3, 5, 10, 0, 0) };
    TFakeDesktop m_desktop;
    TFakeSessionPower m_power;
    TMonitoredList m_list;
    TWindowHandle m_calculator = 0;
    TWindowHandle m_editor = 0;
    TWindowHandle m_terminal = 0;
    int m_action = eaReminderOnly;
    int32_t m_limit = 60;
    int32_t m_total = 0;
    std::map<std::string, int32_t> m_charged;
    TReminderAnswer m_answer;
    std::vector<TWindowShown> m_shown;
    std::vector<std::string> m_shutdownFailures;
    bool m_reminderOnlyEnabled = false;
    TDateTime m_reminderOnlyDue = 0;
    TDateTime m_resetDateTime = EncodeDateTime(2024, 3, 6, 4, 0, 0);
    TDateTime m_focusDisplayOffAt = 0;
    TEnforcementState m_state;
    TInlineTaskRunner m_owner;
    TScanPipeline m_scan { { m_desktop, m_desktop.Processes(), m_desktop, m_power }, *this, *this, m_state, *this,
        std::make_unique<TInlineTaskRunner>(), m_owner };
    TSessionPause m_pause { m_state.SessionPaused, m_state.PowerPaused,
        { [this] { ++m_minimized; }, [this] { m_scan.LastScanTime = ProgramNow(); } } };
    int m_minimized = 0;
};

} // namespace

TEST_F(Enforcement, ExactlyAtTheLimitIsOverButOneSecondShortIsNot)
{
    m_total = 59;
    ScanAfter(3, m_terminal);
    EXPECT_TRUE(m_shown.empty());
    m_total = 60;
    ScanAfter(3, m_terminal);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_FALSE(m_shown[0].InFocus);
    EXPECT_TRUE(m_shown[0].FiveMinuteOffer);
}

TEST_F(Enforcement, OverTheLimitWithAnUnlistedWindowInFrontNeitherShowsNorCloses)
{
    m_action = eaCloseApplication;
    m_total = 5000;
    ScansFor(30, m_calculator);
    EXPECT_TRUE(m_shown.empty());
    EXPECT_TRUE(m_desktop.CloseRequestsGet().empty());
    EXPECT_TRUE(m_charged.empty());
}

TEST_F(Enforcement, ReminderOnlyContinueShowsTheWindowAgainAtTheFirstListedScanFiveMinutesLater)
{
    m_total = 60;
    ScanAfter(3, m_terminal);
    ASSERT_EQ(m_shown.size(), 1u);
    // Listed work goes on for almost five minutes without the window, and nothing is closed.
    ScansFor(294, m_terminal);
    EXPECT_EQ(m_shown.size(), 1u);
    // At five minutes the user is on an unlisted program: still no window.
    ScansFor(9, m_calculator);
    EXPECT_EQ(m_shown.size(), 1u);
    ScanAfter(3, m_editor);
    ASSERT_EQ(m_shown.size(), 2u);
    EXPECT_GE((m_shown[1].At - m_shown[0].At) * 86400.0, 300.0 - 1e-6);
    EXPECT_TRUE(m_desktop.CloseRequestsGet().empty());
}

TEST_F(Enforcement, ReminderOnlyWithCloseApplicationChosenClosesEveryListedWindowOnceAndNothingLater)
{
    const TWindowHandle hiddenEditor = m_desktop.WindowShow({ .ExeName = kEditor, .Visible = false });
    // An unlisted window last in the walk: a sweep on the scan's own sample would leave it there.
    m_desktop.WindowShow({ .ExeName = kCalculator, .Visible = false });
    m_answer.Choice = eaCloseApplication;
    m_total = 60;
    ScanAfter(3, m_terminal);
    EXPECT_EQ(CloseRequestsTo(m_terminal), 1);
    EXPECT_EQ(CloseRequestsTo(m_editor), 1);
    EXPECT_EQ(CloseRequestsTo(hiddenEditor), 1);
    EXPECT_EQ(CloseRequestsTo(m_calculator), 0);
    // The tick charged what was in front, not the last window of the sweep.
    EXPECT_EQ(m_charged[kTerminal], 3);
    EXPECT_EQ(m_charged.count(kCalculator), 0u);

    m_desktop.CloseRequestsClear();
    ScansFor(60, m_terminal);
    EXPECT_TRUE(m_desktop.CloseRequestsGet().empty());
    EXPECT_EQ(m_shown.size(), 1u);
}

TEST_F(Enforcement, CloseBrowserAppClosesTheListedWindowInFrontInTheSameScanAndOnEveryLaterOne)
{
    m_action = eaCloseApplication;
    m_total = 60;
    ScanAfter(3, m_terminal);
    ASSERT_EQ(m_shown.size(), 1u);
    // The sweep after the countdown asked both listed windows, the scan itself the one in front.
    EXPECT_EQ(CloseRequestsTo(m_terminal), 2);
    EXPECT_EQ(CloseRequestsTo(m_editor), 1);

    m_desktop.CloseRequestsClear();
    ScanAfter(3, m_editor);
    ScanAfter(3, m_calculator);
    ScanAfter(3, m_terminal);
    EXPECT_EQ(CloseRequestsTo(m_editor), 1);
    EXPECT_EQ(CloseRequestsTo(m_terminal), 1);
    EXPECT_EQ(CloseRequestsTo(m_calculator), 0);
    EXPECT_EQ(m_shown.size(), 1u);
}

TEST_F(Enforcement, GraceClosesNothingForFiveMinutesAndIsNotOfferedAgainUntilTheDailyReset)
{
    m_action = eaCloseApplication;
    m_answer.Grace = true;
    m_total = 60;
    ScanAfter(3, m_terminal);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_TRUE(m_shown[0].FiveMinuteOffer);
    EXPECT_FALSE(m_state.FiveMinuteOffer);
    // The five minutes count from the window's closing, after its minute of countdown.
    ScansFor(294, m_terminal);
    EXPECT_TRUE(m_desktop.CloseRequestsGet().empty());
    EXPECT_EQ(m_shown.size(), 1u);

    // Five minutes on: the window again, without the button; grace cannot be taken twice.
    m_answer.Grace = false;
    ScansFor(9, m_terminal);
    ASSERT_EQ(m_shown.size(), 2u);
    EXPECT_FALSE(m_shown[1].FiveMinuteOffer);
    EXPECT_GT(CloseRequestsTo(m_terminal), 0);

    // After 04:00 it is offered again.
    m_clock.AdvanceMs(static_cast<int64_t>((m_resetDateTime - ProgramNow()) * 86'400'000.0) + 1000);
    ScanAfter(3, m_calculator); // the reset runs and the new day starts from nothing
    m_total = 60;
    ScanAfter(3, m_terminal);
    ASSERT_EQ(m_shown.size(), 3u);
    EXPECT_TRUE(m_shown[2].FiveMinuteOffer);
}

TEST_F(Enforcement, FocusOfOneMinuteStartedAtHalfPastEndsAtTheFirstScanAfterItsEnd)
{
    // The window was shown for an earlier period today, so this one only closes.
    m_state.FocusWindowArmed = false;
    m_clock.AdvanceMs(30'000); // 10:00:30
    FocusStart(60.0 / 86400.0);
    m_total = 0; // far below the limit: focus alone closes
    const TDateTime end = EncodeDateTime(2024, 3, 5, 10, 1, 30);
    int scans = 0;
    while (ProgramNow() + 3.0 / 86400.0 <= end + 1e-9) {
        ScanAfter(3, scans % 2 ? m_editor : m_terminal);
        ++scans;
    }
    EXPECT_EQ(scans, 20);
    EXPECT_EQ(m_focusDisplayOffAt, 0);
    EXPECT_EQ(CloseRequestsTo(m_editor) + CloseRequestsTo(m_terminal), 20);
    EXPECT_TRUE(m_shown.empty());

    m_desktop.CloseRequestsClear();
    ScanAfter(3, m_editor);
    EXPECT_GT(m_focusDisplayOffAt, end);
    EXPECT_TRUE(m_desktop.CloseRequestsGet().empty());
}

// The program clock follows the wall clock when it is set (by hand, by NTP) or summer time ends.
TEST_F(Enforcement, AClockSetBackStartsNoFocusAndAPeriodKeepsWhatRemainedOfItAcrossClockSteps)
{
    m_limit = 3600;
    WallClockFollow();
    ScanAfter(3, m_terminal);
    m_wallUtc -= 600;
    ScanAfter(3, m_terminal);
    m_wallOffset -= 3600;
    ScanAfter(3, m_terminal);
    EXPECT_TRUE(m_shown.empty()) << "no period was started";
    EXPECT_TRUE(m_desktop.CloseRequestsGet().empty());
    EXPECT_EQ(m_charged[kTerminal], 9);

    // A period of 121.5 s (its window was shown earlier today, so it only closes): the clock goes
    // an hour back after 30 s and ten minutes ahead after 60 s, and it still ends after 121.5 s.
    m_state.FocusWindowArmed = false;
    FocusStart(121.5 / 86400.0);
    m_focusDisplayOffAt = 0;
    for (int scan = 1; scan <= 41; ++scan) {
        if (scan == 11) {
            m_wallUtc -= 3600;
        } else if (scan == 21) {
            m_wallUtc += 600;
        }
        ScanAfter(3, m_terminal);
        EXPECT_EQ(CloseRequestsTo(m_terminal), std::min(scan, 40)) << "scan " << scan;
        EXPECT_EQ(m_focusDisplayOffAt != 0, scan == 41) << "scan " << scan;
    }
    // Ended, it stays ended when the clock goes back past it.
    m_wallUtc -= 600;
    ScansFor(9, m_terminal);
    EXPECT_EQ(CloseRequestsTo(m_terminal), 40);
    EXPECT_TRUE(m_shown.empty());
}

TEST_F(Enforcement, FocusShowsItsWindowOnceThenClosesEveryListedWindow)
{
    FocusStart(1.0 / 24.0);
    const TWindowHandle hiddenTerminal = m_desktop.WindowShow({ .ExeName = kTerminal, .Visible = false });
    ScanAfter(3, m_calculator);
    EXPECT_TRUE(m_shown.empty());
    ScanAfter(3, m_terminal);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_TRUE(m_shown[0].InFocus);
    EXPECT_EQ(CloseRequestsTo(hiddenTerminal), 1);
    EXPECT_EQ(CloseRequestsTo(m_editor), 1);
    ScansFor(30, m_editor);
    EXPECT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(CloseRequestsTo(m_editor), 11);
}

TEST_F(Enforcement, ASecondFocusPeriodTheSameDayClosesWithoutTheWindow)
{
    FocusStart(60.0 / 86400.0);
    ScanAfter(3, m_terminal);
    ASSERT_EQ(m_shown.size(), 1u);
    ScansFor(120, m_calculator);
    FocusStart(60.0 / 86400.0);
    m_desktop.CloseRequestsClear();
    ScanAfter(3, m_terminal);
    EXPECT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(CloseRequestsTo(m_terminal), 1);
}

TEST_F(Enforcement, PausedWhenTheReminderTimerFiresTheReArmingWaitsForItsNextFiring)
{
    m_total = 60;
    ScanAfter(3, m_terminal);
    ASSERT_EQ(m_shown.size(), 1u);
    ScanAfter(290, m_terminal);
    m_power.Lock();
    m_clock.AdvanceMs(20'000); // the five minutes pass while locked
    TimersRun();
    EXPECT_FALSE(m_state.LimitWindowArmed);
    m_power.Unlock();
    ScansFor(30, m_terminal);
    EXPECT_EQ(m_shown.size(), 1u);
    ScansFor(300, m_terminal);
    EXPECT_EQ(m_shown.size(), 2u);
}

TEST_F(Enforcement, AnHourLockedWithAListedWindowInFrontChargesNothingForThatHour)
{
    ScanAfter(3, m_terminal);
    m_power.Lock();
    EXPECT_EQ(m_minimized, 1);
    ScansFor(3600, m_terminal);
    m_power.Unlock();
    ScanAfter(3, m_terminal);
    EXPECT_EQ(m_charged[kTerminal], 6);
}

TEST_F(Enforcement, TheScreenSaverLocksAsLogindDoes)
{
    ScanAfter(3, m_terminal);
    m_pause.SessionLockedChanged(true);
    ScansFor(600, m_terminal);
    m_pause.SessionLockedChanged(false);
    ScanAfter(3, m_terminal);
    EXPECT_EQ(m_charged[kTerminal], 6);
}

TEST_F(Enforcement, ANightAsleepChargesNothing)
{
    ScanAfter(3, m_terminal);
    m_power.SleepBegin();
    ScanAfter(3, m_terminal);
    // The program clock counts the night (it runs on the boot-time clock).
    m_clock.AdvanceMs(8LL * 3600 * 1000);
    m_power.SleepEnd();
    EXPECT_EQ(m_minimized, 2);
    ScanAfter(3, m_terminal);
    EXPECT_EQ(m_charged[kTerminal], 6);
}

TEST_F(Enforcement, UnlockingWhileStillAsleepLeavesTheScanBaseAlone)
{
    ScanAfter(3, m_terminal);
    const TDateTime base = m_scan.LastScanTime;
    m_power.Lock();
    m_power.SleepBegin();
    m_clock.AdvanceMs(60'000);
    m_power.Unlock();
    EXPECT_EQ(m_scan.LastScanTime, base);
    EXPECT_TRUE(m_pause.Paused());
    m_power.SleepEnd();
    EXPECT_FALSE(m_pause.Paused());
    EXPECT_GT(m_scan.LastScanTime, base);
}

TEST_F(Enforcement, ShutdownAsksForOnePowerOffWithTheMinuteOfWarning)
{
    m_action = eaShutdown;
    m_total = 60;
    ScanAfter(3, m_terminal);
    ASSERT_EQ(m_power.ShutdownRequestsGet().size(), 1u);
    EXPECT_EQ(m_power.ShutdownRequestsGet()[0].first, skPowerOff);
    EXPECT_EQ(m_power.ShutdownRequestsGet()[0].second, 60);
    EXPECT_TRUE(m_desktop.CloseRequestsGet().empty());
}

// The program ending while the window counts down (a signal, the uninstall flag) is no answer:
// whatever the action or focus, nothing is closed and the computer stays on.
TEST_F(Enforcement, AWindowEndedByTheProgramsEndClosesNothingAndShutsNothingDown)
{
    m_answer.Answered = false;
    m_total = 60;
    for (const int action : { eaCloseApplication, eaShutdown }) {
        m_action = action;
        m_state.LimitWindowArmed = true;
        ScanAfter(3, m_terminal);
    }
    FocusStart(1.0 / 24.0);
    ScanAfter(3, m_terminal);
    EXPECT_EQ(m_shown.size(), 3u);
    EXPECT_TRUE(m_desktop.CloseRequestsGet().empty());
    EXPECT_TRUE(m_power.ShutdownRequestsGet().empty());
}

TEST_F(Enforcement, ARefusedShutdownIsToldClosesTheListedWindowsInsteadAndTheWindowReturnsAfterFiveMinutes)
{
    m_action = eaShutdown;
    m_power.ShutdownRefuseSet("the system's login manager (logind) refused it (Interactive authentication required.)");
    m_total = 60;
    ScanAfter(3, m_terminal);
    ASSERT_EQ(m_shutdownFailures.size(), 1u) << "the refusal was swallowed";
    const std::string told = ShutdownFailedText(m_shutdownFailures[0]);
    EXPECT_EQ(told.rfind("The computer could not be shut down: the system's login manager (logind) refused it "
                         "(Interactive authentication required.).\n\nThe sites and applications on your 'to watch' "
                         "list have been closed instead",
                  0),
        0u)
        << told;
    // The limit holds without the shutdown: every listed window is asked to close, as "Close
    // Browser/App." does, and no other.
    EXPECT_GE(CloseRequestsTo(m_terminal), 1);
    EXPECT_EQ(CloseRequestsTo(m_editor), 1);
    EXPECT_EQ(CloseRequestsTo(m_calculator), 0);
    // The window's time was charged, and the next tick counts from its end.
    EXPECT_EQ(m_charged[kTerminal], 3 + kTimeUpCountdownSeconds);
    EXPECT_NEAR((ProgramNow() - m_scan.LastScanTime) * 86400.0, 0.0, 1e-3);
    // The window is not back at every scan with another refused request, but five minutes on;
    // a listed window brought to the front meanwhile is closed at the next scan.
    const int terminalCloses = CloseRequestsTo(m_terminal);
    ScanAfter(3, m_editor);
    EXPECT_EQ(CloseRequestsTo(m_editor), 2);
    ScansFor(237, m_terminal);
    EXPECT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(CloseRequestsTo(m_terminal), terminalCloses + 79);
    EXPECT_EQ(CloseRequestsTo(m_calculator), 0);
    m_power.ShutdownRefuseSet("");
    ScansFor(60, m_terminal);
    EXPECT_EQ(m_shown.size(), 2u);
    EXPECT_EQ(m_power.ShutdownRequestsGet().size(), 2u);
    EXPECT_EQ(m_shutdownFailures.size(), 1u);

    // A new day asks for the shutdown again before it closes anything.
    m_scan.TimeUp().DailyRearm();
    m_state.LimitWindowArmed = false;
    const int closesBefore = static_cast<int>(m_desktop.CloseRequestsGet().size());
    ScanAfter(3, m_terminal);
    EXPECT_EQ(static_cast<int>(m_desktop.CloseRequestsGet().size()), closesBefore);
}

TEST(UninstallFlag, IsTheFileInTheProgramFolderAndAMissingFolderNeverHasIt)
{
    TTempFolder folder;
    EXPECT_FALSE(UninstallFlagExists(folder.Text()));
    std::ofstream(folder.Text() + "uninstall.flag") << "";
    EXPECT_TRUE(UninstallFlagExists(folder.Text()));
    EXPECT_TRUE(UninstallFlagExists(folder.Path().string())); // without the trailing "/"
    EXPECT_FALSE(UninstallFlagExists(folder.Text() + "missing/"));
    EXPECT_FALSE(UninstallFlagExists(""));
}

TEST(ReminderTexts, FollowTheFocusAndTheActionAndThePartOfTheDay)
{
    EXPECT_NE(ReminderMessageText(true, eaShutdown).find("focus without interruptions"), std::string::npos);
    EXPECT_NE(ReminderMessageText(false, eaReminderOnly).find("or continue."), std::string::npos);
    EXPECT_NE(ReminderMessageText(false, eaCloseApplication).find("closing in 60 seconds"), std::string::npos);
    EXPECT_NE(ReminderMessageText(false, eaShutdown).find("shutting down in 60 seconds"), std::string::npos);
    EXPECT_EQ(ReminderFirstSectionGet(TimeOfDay(3, 59, 59, 999)), 2);
    EXPECT_EQ(ReminderFirstSectionGet(TimeOfDay(4, 0, 0, 0)), 0);
    EXPECT_EQ(ReminderFirstSectionGet(TimeOfDay(11, 59, 59, 999)), 0);
    EXPECT_EQ(ReminderFirstSectionGet(TimeOfDay(12, 0, 0, 0)), 1);
    EXPECT_EQ(ReminderFirstSectionGet(TimeOfDay(18, 0, 0, 0)), 2);
    EXPECT_EQ(ReminderFirstSectionGet(EncodeDateTime(2024, 3, 5, 13, 0, 0)), 1);
}
