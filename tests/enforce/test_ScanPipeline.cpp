#include "enforce/ScanPipeline.h"

#include "enforce/FocusMode.h"

#include "model/Exceptions.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/MonitorTestSupport.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/FakeSessionPower.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>

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

// The window's side of the scan as a trace of what it was asked, with the settings and the
// account in memory. Listed: the editor and the site example.com.
class TScanHost : public TScanSettings, public TScanAccount, public TScanObserver
{
public:
    TScanHost()
    {
        ListedItemAdd(List, mitApp, kEditor, "Editor");
        ListedItemAdd(List, mitWeb, "example.com", "Example");
    }

    const TMonitoredList& TimeLimitList() override
    {
        return List;
    }
    int32_t TimeLimitSeconds() override
    {
        return 3600;
    }
    TDateTime ResetDateTime() override
    {
        return ResetAt;
    }
    int ExpirationAction() override
    {
        return eaReminderOnly;
    }
    int32_t Total() override
    {
        return TotalSeconds;
    }
    void Charge(const TZaraveDezeZurirevuzor& sample, int32_t seconds) override
    {
        Trace += "charge;";
        if (ChargeFails) {
            throw ERangeError("Range check error");
        }
        Charges.push_back({ sample.ExeName, sample.BrowserUrl, sample.AppType, seconds });
        TotalSeconds += seconds;
    }
    void PartOfDayUpdate() override
    {
        Trace += "part;";
    }
    void NormalTimeDisplayShow() override
    {
        Trace += "normal;";
    }
    void DailyResetRequest() override
    {
        Trace += "reset;";
        ResetAt += 1;
    }
    void TimeUpShow(const TTimeUpRequest& request) override
    {
        Trace += request.InFocus ? "timeup(focus);" : "timeup;";
        Requests.push_back(request);
    }
    void ReminderTimerEnabledSet(bool) override
    {
    }
    void TickEnded() override
    {
        Trace += "ended;";
    }
    void ShutdownFailedShow(const std::string&) override
    {
        Trace += "shutdown failed;";
    }

    TMonitoredList List;
    TDateTime ResetAt = EncodeDateTime(2024, 3, 6, 4, 0, 0);
    int32_t TotalSeconds = 0;
    bool ChargeFails = false;
    std::string Trace;
    std::vector<TCharge> Charges;
    std::vector<TTimeUpRequest> Requests;
};

class ScanTick : public ::testing::Test
{
protected:
    ScanTick()
    {
        m_editor = m_desktop.WindowShow({ .ExeName = kEditor });
        m_terminal = m_desktop.WindowShow({ .ExeName = kTerminal });
        m_scan.LastScanTime = ProgramNow();
    }

    // The wall clock that the program clock follows, set to what the program clock reads now.
    void WallClockFollow()
    {
        m_wallUtc = (ProgramNow() - 25569.0) * 86400.0;
        ClockWallSourceSet([this] { return TWallClockReading { m_wallUtc, m_wallOffset }; });
    }
    // One tick in front of `window` after `seconds` on the program clock (and on the wall clock
    // when it is followed).
    void TickAfter(double seconds, TWindowHandle window)
    {
        m_wallUtc += seconds;
        m_clock.AdvanceMs(static_cast<int64_t>(seconds * 1000.0 + (seconds < 0 ? -0.5 : 0.5)));
        m_desktop.WindowActivate(window);
        m_scan.TickRun();
    }
    std::vector<int32_t> Seconds() const
    {
        std::vector<int32_t> seconds;
        for (const TCharge& charge : m_host.Charges) {
            seconds.push_back(charge.Seconds);
        }
        return seconds;
    }

    TLogCapture m_log;
    // Declared before the clock, which stops following them when it goes.
    double m_wallUtc = 0;
    int32_t m_wallOffset = 0;
    TFakeClock m_clock { EncodeDateTime(2024, 3, 5, 10, 0, 0) };
    TFakeDesktop m_desktop;
    TFakeSessionPower m_power;
    TScanHost m_host;
    TEnforcementState m_state;
    TInlineTaskRunner m_owner;
    TScanPipeline m_scan { { m_desktop, m_desktop.Processes(), m_desktop, m_power }, m_host, m_host, m_state, m_host,
        std::make_unique<TInlineTaskRunner>(), m_owner };
    TWindowHandle m_editor = 0;
    TWindowHandle m_terminal = 0;
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

TEST_F(ScanTick, StepsRunInOrderAPausedTickDoesNothingAndAnUnlistedOneOnlyMovesTheBase)
{
    m_state.SessionPaused = true;
    const TDateTime before = m_scan.LastScanTime;
    TickAfter(10, m_editor);
    EXPECT_EQ(m_scan.LastScanTime, before);
    EXPECT_EQ(m_host.Trace, "");
    EXPECT_EQ(m_desktop.Processes().ExeNameReads(), 0);

    m_state.SessionPaused = false;
    m_host.ResetAt = ProgramNow() + 1.0 / 86400.0;
    TickAfter(4, m_editor);
    EXPECT_EQ(m_host.Trace, "part;normal;reset;charge;ended;");
    // The reset moved on, so the next tick does not reset again; an unlisted sample is not charged.
    m_host.Trace.clear();
    TickAfter(600, m_terminal);
    EXPECT_EQ(m_host.Trace, "part;normal;ended;");
    EXPECT_EQ(m_scan.LastScanTime, ProgramNow());
    EXPECT_EQ(m_scan.Sample().ExeName, kTerminal);
    // The first listed tick after ten minutes elsewhere charges only its own interval.
    TickAfter(3, m_editor);
    EXPECT_EQ(Seconds(), std::vector<int32_t>({ 14, 3 }));
}

TEST_F(ScanTick, ListedTicksChargeRoundedSecondsWithHalvesToEvenAndAClockMovedBackChargesNegative)
{
    for (const double seconds : { 4.0, 4.4, 4.6, 4.5, 5.5, 2.5 }) {
        TickAfter(seconds, m_editor);
    }
    ClockBaseAdjust(-60.0 / 86400.0);
    TickAfter(3, m_editor);
    EXPECT_EQ(Seconds(), std::vector<int32_t>({ 4, 4, 5, 4, 6, 2, -57 }));
    EXPECT_EQ(m_host.Charges[0].ExeName, kEditor);
    EXPECT_EQ(m_host.Charges[0].BrowserUrl, "");
    EXPECT_EQ(m_host.Charges[0].AppType, atDesktop);
}

TEST_F(ScanTick, BrowserChargesAreStoredUnderTheListedNameTheyMatchedAlsoWhenTheListChangesMeanwhile)
{
    const TWindowHandle firefox = m_desktop.WindowShow(
        { .ExeName = kFirefox, .ClassName = "firefox-esr", .Address = "https://www.example.com/news?id=3" });
    TickAfter(3, firefox);
    ASSERT_EQ(m_host.Charges.size(), 1u);
    EXPECT_EQ(m_host.Charges[0].ExeName, kFirefox);
    EXPECT_EQ(m_host.Charges[0].BrowserUrl, "example.com");
    EXPECT_EQ(m_host.Charges[0].AppType, atFirefox);

    // Over the limit: the charge waits for the time-up window's answer, and an entry sorted
    // before the matched one, added while the window is open, does not change what is charged.
    m_host.TotalSeconds = 3600;
    TickAfter(3, firefox);
    EXPECT_EQ(m_host.Trace, "part;normal;charge;ended;part;normal;timeup;");
    ASSERT_EQ(m_host.Requests.size(), 1u);
    EXPECT_EQ(m_host.Requests[0].Window, firefox);
    EXPECT_TRUE(m_scan.TimeUpOut());
    ListedItemAdd(m_host.List, mitApp, "/usr/bin/abiword", "Abiword");
    TickAfter(20, firefox); // no tick while the window is out
    m_scan.TimeUpAnswer({ .Grace = true });
    EXPECT_EQ(Seconds(), std::vector<int32_t>({ 3, 23 }));
    EXPECT_EQ(m_host.Charges[1].BrowserUrl, "example.com");

    // A browser listed by its executable is stored under that path.
    ListedItemAdd(m_host.List, mitApp, kFirefox, "Firefox");
    m_desktop.WindowAddressSet(firefox, "https://example.org/");
    TickAfter(3, firefox);
    EXPECT_EQ(m_host.Charges.back().BrowserUrl, kFirefox);
}

TEST_F(ScanTick, AFocusPeriodAsksForTheFocusWindowAndKeepsTheFocusDisplay)
{
    FocusPeriodStart(m_state, 60.0 / 86400.0);
    TickAfter(3, m_editor);
    EXPECT_EQ(m_host.Trace, "part;timeup(focus);");
    m_scan.TimeUpAnswer({});
    EXPECT_FALSE(m_state.FocusWindowArmed);
    m_host.Trace.clear();
    TickAfter(60, m_editor);
    EXPECT_EQ(m_host.Trace, "part;normal;charge;ended;");
}

TEST_F(ScanTick, AFailingChargeIsRaisedAfterTheTicksEndingAndTheSamplingErrorIsLoggedAndGoesOn)
{
    m_host.ChargeFails = true;
    EXPECT_THROW(TickAfter(3, m_editor), ERangeError);
    EXPECT_EQ(m_scan.LastScanTime, ProgramNow());
    EXPECT_EQ(m_host.Trace, "part;normal;charge;ended;");
    m_host.ChargeFails = false;
    // A base no counter can span: raised, nothing charged, the next tick counts from now.
    m_scan.LastScanTime = 0;
    EXPECT_THROW(TickAfter(3, m_editor), ERangeError);
    EXPECT_TRUE(m_host.Charges.empty());
    EXPECT_EQ(m_scan.LastScanTime, ProgramNow());

    const TWindowHandle firefox
        = m_desktop.WindowShow({ .ExeName = kFirefox, .ClassName = "firefox", .Address = "https://example.com/" });
    m_desktop.AccessibilityFailSet("Timeout was reached");
    ListedItemAdd(m_host.List, mitApp, kFirefox, "Firefox");
    EXPECT_NO_THROW(TickAfter(3, firefox));
    ASSERT_EQ(m_host.Charges.size(), 1u);
    EXPECT_EQ(m_host.Charges[0].BrowserUrl, kFirefox);
    EXPECT_NE(m_log.Text().find("ErrorClassName: EOSError; TZaraveDezeZurirevuzor.Execute: Timeout was reached"),
        std::string::npos);
}

TEST_F(ScanTick, StepsOfTheWallClockAreNeverChargedAndALongGapChargesOnePeriodAtMost)
{
    m_scan.ScanPeriodSeconds = 3;
    WallClockFollow();
    TickAfter(3, m_editor);
    // The end of summer time puts the clock an hour back between two ticks.
    m_wallOffset -= 3600;
    TickAfter(3, m_editor);
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2024-03-05 09:00:06");
    // The user sets the clock an hour ahead.
    m_wallUtc += 3600;
    TickAfter(3, m_editor);
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2024-03-05 10:00:09");
    // The program was stopped for a minute: one period is charged, and the gap is logged.
    TickAfter(60, m_editor);
    EXPECT_NE(m_log.Text().find("The scan came 60 seconds after the previous one"), std::string::npos) << m_log.Text();
    // A tick late by a few seconds is charged in full.
    TickAfter(8, m_editor);
    EXPECT_EQ(Seconds(), std::vector<int32_t>({ 3, 3, 3, 3, 8 }));
}

TEST_F(ScanTick, TheEndChargesTheRunningScansSecondsToTheLastSampleOnceAndNotWhilePaused)
{
    TickAfter(3, m_editor);
    m_host.Trace.clear();
    m_host.ResetAt = ProgramNow();
    m_clock.AdvanceMs(1400);
    m_scan.EndCharge();
    EXPECT_EQ(Seconds(), std::vector<int32_t>({ 3, 1 }));
    EXPECT_EQ(m_host.Trace, "charge;") << "the end ran more than the charge";
    m_scan.EndCharge();
    m_clock.AdvanceMs(2000);
    m_state.PowerPaused = true;
    m_scan.EndCharge();
    TickAfter(3, m_terminal);
    m_state.PowerPaused = false;
    TickAfter(3, m_terminal);
    m_clock.AdvanceMs(2000);
    m_scan.EndCharge();
    EXPECT_EQ(m_host.Charges.size(), 2u);
}

// A browser that does not answer in time (busy, or frozen) in front: its time goes to the page
// it showed last while its title stays; a new title, or a window never read, stays uncharged.
TEST_F(ScanTick, ABrowserThatDoesNotAnswerKeepsItsLastPageWhileItsTitleStays)
{
    const TWindowHandle firefox = m_desktop.WindowShow({ .ExeName = kFirefox,
        .ClassName = "firefox-esr",
        .Title = "News - Mozilla Firefox",
        .Address = "https://example.com/news" });
    TickAfter(3, firefox);
    m_desktop.AccessibilityAnswerSet(false);
    TickAfter(3, firefox);
    TickAfter(3, firefox);
    EXPECT_EQ(Seconds(), std::vector<int32_t>({ 3, 3, 3 }));
    EXPECT_EQ(m_host.Charges.back().BrowserUrl, "example.com");
    const std::string told = "did not answer in time; its time is charged to the page it showed last, "
                             "https://example.com/news, while its title stays the same";
    const std::string log = m_log.Text();
    ASSERT_NE(log.find(told), std::string::npos) << log;
    EXPECT_EQ(log.find(told), log.rfind(told)) << "told more than once";

    // Another window of the same browser, never read, and the first one under a new title (its
    // page may have changed): nothing.
    const TWindowHandle other = m_desktop.WindowShow(
        { .ExeName = kFirefox, .ClassName = "firefox-esr", .Title = "Other", .Address = "https://example.com/a" });
    TickAfter(3, other);
    m_desktop.WindowTitleSet(firefox, "Sports - Mozilla Firefox");
    TickAfter(3, firefox);
    EXPECT_EQ(m_host.Charges.size(), 3u);
    // It answers again: charged as before.
    m_desktop.AccessibilityAnswerSet(true);
    TickAfter(3, firefox);
    EXPECT_EQ(m_host.Charges.size(), 4u);
}

namespace {

// A desktop whose window system holds every question until the test opens its gate, as a
// compositor or a browser that does not answer does.
class TGatedDesktop : public TFakeDesktop
{
public:
    TWindowHandle ForegroundWindowGet() override
    {
        std::unique_lock lock(m_mutex);
        ++m_asked;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        return TFakeDesktop::ForegroundWindowGet();
    }
    void Open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    void AskedWait(int count)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this, count] { return m_asked >= count; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_asked = 0;
    bool m_open = false;
};

// The owner's event loop: jobs posted from any thread, run when the test says.
class TQueuedRunner : public TTaskRunner
{
public:
    void Post(std::function<void()> job) override
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        m_posted.notify_all();
    }
    void RunWhenPosted()
    {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_posted.wait(lock, [this] { return !m_jobs.empty(); });
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
    size_t Waiting()
    {
        std::lock_guard lock(m_mutex);
        return m_jobs.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_jobs;
};

} // namespace

// The window's thread never waits on the desktop: a tick only asks, and the answer's charge
// runs when it comes back; a tick meanwhile asks nothing more, and a pipeline that ends while
// the desktop is silent drops the late answer.
TEST(ScanOnItsWorker, TheTickNeverWaitsForTheDesktopAndTheAnswerChargesTheTimeUpToIt)
{
    TLogCapture log;
    TFakeClock clock { EncodeDateTime(2024, 3, 5, 10, 0, 0) };
    TGatedDesktop desktop;
    desktop.WindowShow({ .ExeName = kEditor });
    TFakeSessionPower power;
    TScanHost host;
    TEnforcementState state;
    TQueuedRunner owner;
    {
        TScanPipeline scan { { desktop, desktop.Processes(), desktop, power }, host, host, state, host,
            std::make_unique<TThreadTaskRunner>(), owner };
        scan.LastScanTime = ProgramNow();
        clock.AdvanceMs(3000);
        scan.TickRun(); // returns although the desktop holds the question
        desktop.AskedWait(1);
        scan.TickRun();
        EXPECT_EQ(host.Trace, "");
        // Eleven seconds without an answer: logged once, still one question out.
        clock.AdvanceMs(11000);
        scan.TickRun();
        scan.TickRun();
        desktop.Open();
        owner.RunWhenPosted();
        EXPECT_EQ(host.Trace, "part;normal;charge;ended;");
        EXPECT_EQ(host.Charges.size(), 1u);
        EXPECT_EQ(host.Charges[0].Seconds, 14);
        EXPECT_EQ(owner.Waiting(), 0u);
        const std::string text = log.Text();
        const std::string told
            = "The desktop has not answered the scan's question for the window in front for 11 seconds";
        EXPECT_NE(text.find(told), std::string::npos) << text;
        EXPECT_EQ(text.find(told), text.rfind(told));
        EXPECT_NE(text.find("The desktop answered the scan again"), std::string::npos);
        scan.TickRun(); // out again when the pipeline ends
    }
    // The answer that came after the end is dropped when the owner's loop runs it.
    owner.RunWhenPosted();
    EXPECT_EQ(host.Charges.size(), 1u);
}
