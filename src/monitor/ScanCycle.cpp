#include "monitor/ScanCycle.h"

#include "model/Assert.h"
#include "model/Exceptions.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr const char* kUnitName = "ScanCycle";

} // namespace

int32_t ElapsedSecondsGet(TDateTime from, TDateTime to)
{
    // Steps of 10 microseconds: far above the noise of two date-times (under 2 microseconds),
    // far below anything that decides a rounding, so 4.5004 s still charges 5.
    const double steps = std::round((to - from) * 8'640'000'000.0);
    const int64_t seconds = RoundHalfEven(steps / 100'000.0);
    if (seconds < std::numeric_limits<int32_t>::min() || seconds > std::numeric_limits<int32_t>::max()) {
        throw ERangeError("Range check error");
    }
    return static_cast<int32_t>(seconds);
}

TScanCycle::TScanCycle(
    TWindowSystem& windowSystem, TProcesses& processes, TAccessibility& accessibility, TScanSteps steps)
    : m_sample(windowSystem, processes, accessibility)
    , m_steps(std::move(steps))
    , m_stepsSeen(ClockStepsTotal())
{
}

void TScanCycle::ClockStepsTakeOut()
{
    ProgramNow(); // a step of the wall clock is taken at a reading
    const double steps = ClockStepsTotal();
    // A base the owner set itself (at a resumed session) was read after the steps so far.
    if (LastScanTime == m_lastScanTimeKept) {
        LastScanTime += steps - m_stepsSeen;
    }
    m_stepsSeen = steps;
    m_lastScanTimeKept = LastScanTime;
}

void TScanCycle::GapBound()
{
    const int32_t period = m_steps.ScanPeriodSecondsGet ? m_steps.ScanPeriodSecondsGet() : 0;
    if (period <= 0) {
        return;
    }
    const TDateTime now = ProgramNow();
    const double gap = (now - LastScanTime) * 86400.0;
    if (gap <= std::max(2.0 * period, period + 10.0)) {
        return;
    }
    LogMessageWrite(Format("The scan came %.0f seconds after the previous one, far more than its period of %d "
                           "seconds (the program was stopped, or the computer slept without saying so); at most "
                           "%d seconds of the gap are charged",
        gap, period, period));
    LastScanTime = now - period / 86400.0;
    m_lastScanTimeKept = LastScanTime;
}

void TScanCycle::TickRun()
{
    if (m_steps.PausedGet && m_steps.PausedGet()) {
        return;
    }
    if (m_steps.TimerEnabledSet) {
        m_steps.TimerEnabledSet(false);
    }
    // However the tick ends, the next one must be able to run and must count from here.
    const auto ending = [this] {
        LastScanTime = ProgramNow();
        m_stepsSeen = ClockStepsTotal();
        m_lastScanTimeKept = LastScanTime;
        if (m_steps.TimerEnabledSet) {
            m_steps.TimerEnabledSet(true);
        }
    };
    try {
        TickBody();
    } catch (...) {
        ending();
        throw;
    }
    ending();
}

void TScanCycle::EndCharge()
{
    try {
        if (m_steps.PausedGet && m_steps.PausedGet()) {
            return;
        }
        ClockStepsTakeOut();
        GapBound();
        try {
            m_sample.Execute(false, nullptr);
        } catch (const std::exception& error) {
            LogError(error, "; TfrmMain.tmrScanTimer: ");
        }
        SampleCharge(false, false);
        LastScanTime = ProgramNow();
        m_lastScanTimeKept = LastScanTime;
    } catch (const std::exception& error) {
        LogError(error, "; TScanCycle.EndCharge: ");
    }
}

void TScanCycle::TickBody()
{
    ClockStepsTakeOut();
    GapBound();
    if (m_steps.PartOfDayUpdate) {
        m_steps.PartOfDayUpdate();
    }
    const TDateTime focusEnd = m_steps.FocusEndGet ? m_steps.FocusEndGet() : 0;
    const bool inFocus = ProgramNow() <= focusEnd;
    if (!inFocus && m_steps.NormalTimeDisplayShow) {
        m_steps.NormalTimeDisplayShow();
    }
    if (m_steps.ResetDateTimeGet && ProgramNow() > m_steps.ResetDateTimeGet() && m_steps.DailyReset) {
        m_steps.DailyReset();
    }

    try {
        m_sample.Execute(false, nullptr);
    } catch (const std::exception& error) {
        LogError(error, "; TfrmMain.tmrScanTimer: ");
    }
    SampleCharge(true, inFocus);
}

void TScanCycle::SampleCharge(bool expiryCheck, bool inFocus)
{
    TH_ASSERT(static_cast<bool>(m_steps.TimeLimitListGet), kUnitName);
    const TMonitoredList* list = m_steps.TimeLimitListGet();
    const TSampleMatchResult match = SampleMatch(m_sample, list);
    if (!match.Found) {
        return;
    }

    // Taken before the expiry check: the list may change while its modal window is open, and
    // the index would then name another entry or none.
    const std::string matchedName = list->Items(match.Index)->Name;

    if (expiryCheck && m_steps.ExpiryCheck) {
        const int32_t total = m_steps.TotalGet ? m_steps.TotalGet() : 0;
        const int32_t limit = m_steps.TimeLimitSecondsGet ? m_steps.TimeLimitSecondsGet() : 0;
        m_steps.ExpiryCheck(m_sample, total, limit, inFocus);
    }

    ClockStepsTakeOut(); // the expiry check's window may have stayed open across a step
    const int32_t seconds = ElapsedSecondsGet(LastScanTime, ProgramNow());
    if (!expiryCheck && seconds <= 0) {
        return; // nothing to add at the end
    }
    if (m_sample.AppType != atDesktop) {
        // Stored under the listed entry's name, so the period queries find the row by it.
        m_sample.BrowserUrl = matchedName;
    }
    if (m_steps.Log) {
        m_steps.Log(m_sample, seconds);
    }
}
