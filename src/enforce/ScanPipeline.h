#pragma once

#include "enforce/EnforcementState.h"
#include "enforce/TimeUp.h"
#include "model/MonitoredObjects.h"
#include "model/ProgramClock.h"
#include "monitor/DesktopWorker.h"
#include "monitor/ZaraveDezeZurirevuzor.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>

// The seconds between two program-clock readings, rounded to the nearest integer with halves to
// the even one. The day-count difference is first taken to whole steps of 10 microseconds: two
// date-times some forty thousand days from zero carry sub-microsecond noise, and without that
// step an interval of exactly 4.5 s would round by the noise, not by the rule. A result outside the
// 32-bit range raises ERangeError. Negative when the clock was moved back.
int32_t ElapsedSecondsGet(TDateTime from, TDateTime to);

// The settings the scan reads at every tick (the settings store).
class TScanSettings
{
public:
    virtual ~TScanSettings() = default;
    virtual const TMonitoredList& TimeLimitList() = 0;
    virtual int32_t TimeLimitSeconds() = 0;
    // The next 04:00 at which the day's account starts again.
    virtual TDateTime ResetDateTime() = 0;
    // What the daily limit does (TExpirationAction).
    virtual int ExpirationAction() = 0;
};

// The day's account (the logger): what has been charged today, and the charge itself.
class TScanAccount
{
public:
    virtual ~TScanAccount() = default;
    virtual int32_t Total() = 0;
    virtual void Charge(const TZaraveDezeZurirevuzor& sample, int32_t seconds) = 0;
};

// What the window must show or do for the scan. Every call comes on the owner's thread, from a
// tick that holds no desktop call and no nested event loop of its own.
class TScanObserver
{
public:
    virtual ~TScanObserver() = default;
    // The reminders follow the part of the day.
    virtual void PartOfDayUpdate()
    {
    }
    // Out of focus the window shows the day's time, not the focus time.
    virtual void NormalTimeDisplayShow()
    {
    }
    // 04:00 has passed: the owner runs the daily reset, at once or when its modal window closed.
    virtual void DailyResetRequest() = 0;
    // True while a requested reset waits for a modal window: the total is still yesterday's.
    virtual bool DailyResetWaiting()
    {
        return false;
    }
    // The time-up window: the owner opens it after this call returns, and hands the user's answer
    // to TScanPipeline::TimeUpAnswer. The scan charges nothing meanwhile.
    virtual void TimeUpShow(const TTimeUpRequest& request) = 0;
    // tmrReminderOnly on (a running timer keeps its phase) or off.
    virtual void ReminderTimerEnabledSet(bool enabled) = 0;
    // A tick ended: what the stores and the desktop have to tell the user can be shown.
    virtual void TickEnded()
    {
    }
    // The computer could not be shut down for `reason` (the system's words), and the listed
    // windows were closed instead: the user must hear that it stays on, and why.
    virtual void ShutdownFailedShow(const std::string& reason) = 0;
};

// The desktop the scan samples and acts on.
struct TScanDesktop
{
    TWindowSystem& WindowSystem;
    TProcesses& Processes;
    TAccessibility& Accessibility;
    TSessionPower& SessionPower;
};

// The scan of the main window without the window. A tick asks the desktop worker for a sample
// of the window in front; the sample comes back through the owner runner, and the tick goes on
// from there, on the owner's thread:
//   1. the program clock's steps since the last tick and a gap far beyond the scan period are
//      taken out of what is charged (a focus period moves with the steps, see FocusMode.h);
//   2. the reminders follow the part of the day, the display leaves focus time when focus ended;
//   3. past 04:00 the owner runs the daily reset;
//   4. a listed sample meets the time-up check: past the limit (or in focus) the time-up window
//      is asked for, or the window in front is closed;
//   5. the seconds since the last tick are charged to the listed sample; with a time-up window
//      out, after the user's answer instead;
//   6. the owner shows what the tick has to tell.
// Only one sample is out at a time; a tick while it is out does nothing, and a sample that takes
// far longer than a scan is logged once.
class TScanPipeline
{
public:
    // `worker` runs the desktop calls (the pipeline owns it and joins it first at its end);
    // `owner` brings their results back to the owner's thread.
    TScanPipeline(TScanDesktop desktop, TScanSettings& settings, TScanAccount& account, TEnforcementState& state,
        TScanObserver& observer, std::unique_ptr<TTaskRunner> worker, TTaskRunner& owner);
    ~TScanPipeline();
    TScanPipeline(const TScanPipeline&) = delete;
    TScanPipeline& operator=(const TScanPipeline&) = delete;

    // The last sample that came back.
    TZaraveDezeZurirevuzor& Sample()
    {
        return m_sample;
    }
    TTimeUp& TimeUp()
    {
        return m_timeUpRules;
    }
    // The end of the previous tick. The owner sets it when it is created and when a paused
    // session resumes; every charge moves it.
    TDateTime LastScanTime = 0;
    // The scan period in seconds. A tick that comes far later than it (the program was stopped,
    // the computer slept without saying so) charges at most one period for the gap. 0: no bound.
    int32_t ScanPeriodSeconds = 0;

    // One tick of the scan timer. Paused, or a sample or the time-up window still out: nothing.
    void TickRun();
    // The user's answer to the time-up window TimeUpShow asked for: the time-up action, then the
    // charge the tick left for it.
    void TimeUpAnswer(const TReminderAnswer& answer);
    // True while a sample is out on the worker.
    bool SampleOut() const
    {
        return m_sampleOut;
    }
    // True while the time-up window is out.
    bool TimeUpOut() const
    {
        return m_timeUpOut.has_value();
    }
    // At a clean end of the program: the seconds since the last tick are charged to the last
    // sample, as a tick would, without the daily reset or the expiry check. Never raises.
    void EndCharge();

private:
    // The sample came back: the rest of the tick.
    void SampleTaken(const TForegroundFields& fields);
    void ClockStepsTakeOut();
    void GapBound();
    void ScanBaseMove();
    // Charges the seconds since LastScanTime to the sample under the listed name it matched;
    // `always` charges also nothing or a step back, as a tick does.
    void Charge(const std::string& matchedName, bool always);

    TScanSettings& m_settings;
    TScanAccount& m_account;
    TEnforcementState& m_state;
    TScanObserver& m_observer;
    TTaskRunner& m_owner;
    TZaraveDezeZurirevuzor m_sample;
    // Sampled on the worker thread only.
    TZaraveDezeZurirevuzor m_workerSample;
    double m_stepsSeen = 0;
    // LastScanTime as this pipeline last left it; any other value was set by the owner.
    TDateTime m_lastScanTimeKept = 0;
    bool m_sampleOut = false;
    TDateTime m_sampleAskedAt = 0;
    bool m_slowSampleTold = false;
    // The time-up window that is out, with the name the sample matched.
    std::optional<TTimeUpRequest> m_timeUpOut;
    std::string m_timeUpName;
    // Joined first at the end (see the destructor): its jobs use the samples and the rules.
    std::unique_ptr<TTaskRunner> m_worker;
    TTimeUp m_timeUpRules;
    // Results that come back after the pipeline ended are dropped.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
