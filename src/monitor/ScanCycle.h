#pragma once

#include "model/MonitoredObjects.h"
#include "model/ProgramClock.h"
#include "monitor/ZaraveDezeZurirevuzor.h"

#include <cstdint>
#include <functional>

// The parts of the main window and its companions that one scan tick calls. Each is a step the
// owner fills; a step left empty is skipped (its default is given).
struct TScanSteps
{
    // The session is locked or disconnected, or the computer is suspending. Default: false.
    std::function<bool()> PausedGet;
    // Switches the scan timer on and off.
    std::function<void(bool enabled)> TimerEnabledSet;
    // Moves the reminders' display to the current part of the day.
    std::function<void()> PartOfDayUpdate;
    // The end of the running focus period. Default: none (0).
    std::function<TDateTime()> FocusEndGet;
    // Switches the main window to its normal time display; called on every tick out of focus.
    std::function<void()> NormalTimeDisplayShow;
    // The settings' next reset moment. Default: never.
    std::function<TDateTime()> ResetDateTimeGet;
    // The daily reset, run when the current time is past the next reset moment.
    std::function<void()> DailyReset;
    // The settings' time-limit list. Required: an empty step or a null list is an assertion.
    std::function<const TMonitoredList*()> TimeLimitListGet;
    // The settings' daily limit in seconds. Default: 0.
    std::function<int32_t()> TimeLimitSecondsGet;
    // The logger's day total in seconds. Default: 0.
    std::function<int32_t()> TotalGet;
    // The expiry check for a listed sample; it may close the sample's window.
    std::function<void(TZaraveDezeZurirevuzor& sample, int32_t total, int32_t timeLimitSeconds, bool inFocus)>
        ExpiryCheck;
    // Charges `seconds` of the sample to the day's account.
    std::function<void(const TZaraveDezeZurirevuzor& sample, int32_t seconds)> Log;
    // The scan period in seconds. A tick that comes far later than it (the program was stopped,
    // the computer slept without saying so) charges at most one period for the gap. Default:
    // none, and no bound.
    std::function<int32_t()> ScanPeriodSecondsGet;
};

// The seconds between two program-clock readings, rounded to the nearest integer with halves to
// the even one. The day-count difference is first taken to whole steps of 10 microseconds: two
// date-times some forty thousand days from zero carry sub-microsecond noise, and without that
// step an interval of exactly 4.5 s would round by the noise, not by the rule. A result outside the
// 32-bit range raises ERangeError. Negative when the clock was moved back.
int32_t ElapsedSecondsGet(TDateTime from, TDateTime to);

// The scan cycle of the main window without the window: the sample, the memory of the previous
// tick, and the tick itself. The owner calls TickRun from its scan timer.
class TScanCycle
{
public:
    TScanCycle(TWindowSystem& windowSystem, TProcesses& processes, TAccessibility& accessibility, TScanSteps steps);

    TZaraveDezeZurirevuzor& Sample()
    {
        return m_sample;
    }
    // The end of the previous tick. The owner sets it when it is created and when a paused
    // session resumes; every tick that gets past the pause test moves it.
    TDateTime LastScanTime = 0;

    // One tick of the scan timer. Paused: nothing happens. Otherwise the timer is off for the
    // tick and, however the tick ends, on again with LastScanTime at the end of the tick. An
    // error of the daily reset, the expiry check or the logger is raised on to the caller after
    // that ending; an error of the sampling is logged and the tick goes on.
    void TickRun();
    // At a clean end of the program: the seconds since the last tick are charged to what is in
    // front now, as a tick would, without the daily reset or the expiry check. Never raises.
    void EndCharge();

private:
    void TickBody();
    // Steps the program clock took with the wall clock since the last tick are no time spent:
    // LastScanTime moves with them.
    void ClockStepsTakeOut();
    // A gap far longer than the scan period is logged and charged one period at most.
    void GapBound();
    // Charges the seconds since LastScanTime to the sample when it is listed.
    void SampleCharge(bool expiryCheck, bool inFocus);

    TZaraveDezeZurirevuzor m_sample;
    TScanSteps m_steps;
    double m_stepsSeen = 0;
    // LastScanTime as this cycle last left it; any other value was set by the owner.
    TDateTime m_lastScanTimeKept = 0;
};
