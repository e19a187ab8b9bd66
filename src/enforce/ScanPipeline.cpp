#include "enforce/ScanPipeline.h"

#include "enforce/FocusMode.h"
#include "model/Exceptions.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A sample out for this long has met a desktop that does not answer within its own bounds.
constexpr double kSlowSampleSeconds = 10.0;

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

TScanPipeline::TScanPipeline(TScanDesktop desktop, TScanSettings& settings, TScanAccount& account,
    TEnforcementState& state, TScanObserver& observer, std::unique_ptr<TTaskRunner> worker, TTaskRunner& owner)
    : m_settings(settings)
    , m_account(account)
    , m_state(state)
    , m_observer(observer)
    , m_owner(owner)
    , m_sample(desktop.WindowSystem, desktop.Processes, desktop.Accessibility)
    , m_workerSample(desktop.WindowSystem, desktop.Processes, desktop.Accessibility)
    , m_stepsSeen(ClockStepsTotal())
    , m_worker(std::move(worker))
    , m_timeUpRules(
          desktop.WindowSystem, desktop.Processes, desktop.Accessibility, desktop.SessionPower, *m_worker, state)
{
    m_timeUpRules.ReminderTimerEnabledSet = [this](bool enabled) { m_observer.ReminderTimerEnabledSet(enabled); };
    m_timeUpRules.ShutdownFailedReport = [this, alive = std::weak_ptr<int>(m_alive)](const std::string& reason) {
        m_owner.Post([this, alive, reason] {
            if (!alive.expired()) {
                m_observer.ShutdownFailedShow(reason);
            }
        });
    };
}

TScanPipeline::~TScanPipeline()
{
    // The jobs still waiting run (a close asked for goes out), then the thread ends; their
    // results find the pipeline gone and are dropped.
    m_alive.reset();
    m_worker.reset();
}

void TScanPipeline::ClockStepsTakeOut()
{
    double steps = 0;
    ProgramNowWithSteps(steps); // a step of the wall clock is taken at a reading
    // A base the owner set itself (at a resumed session) was read after the steps so far.
    if (LastScanTime == m_lastScanTimeKept) {
        LastScanTime += steps - m_stepsSeen;
    }
    m_stepsSeen = steps;
    m_lastScanTimeKept = LastScanTime;
}

void TScanPipeline::GapBound()
{
    const int32_t period = ScanPeriodSeconds;
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

void TScanPipeline::ScanBaseMove()
{
    LastScanTime = ProgramNowWithSteps(m_stepsSeen);
    m_lastScanTimeKept = LastScanTime;
}

void TScanPipeline::TickRun()
{
    if (m_state.Paused() || m_timeUpOut) {
        return;
    }
    if (m_sampleOut) {
        const double out = (ProgramNow() - m_sampleAskedAt) * 86400.0;
        if (out >= kSlowSampleSeconds && !m_slowSampleTold) {
            m_slowSampleTold = true;
            LogMessageWrite(Format("The desktop has not answered the scan's question for the window in front for "
                                   "%.0f seconds; the scan waits for its answer and charges the time then",
                out));
        }
        return;
    }
    m_sampleOut = true;
    m_sampleAskedAt = ProgramNow();
    m_worker->Post([this, alive = std::weak_ptr<int>(m_alive)] {
        m_workerSample.Execute(false, nullptr);
        m_owner.Post([this, alive, fields = m_workerSample.Fields()] {
            if (!alive.expired()) {
                SampleTaken(fields);
            }
        });
    });
}

void TScanPipeline::SampleTaken(const TForegroundFields& fields)
{
    m_sampleOut = false;
    if (m_slowSampleTold) {
        m_slowSampleTold = false;
        LogMessageWrite("The desktop answered the scan again");
    }
    if (m_state.Paused()) {
        return; // locked or asleep since the question: that time is not charged
    }
    m_sample.FieldsSet(fields);
    std::optional<TTimeUpRequest> timeUp;
    try {
        ClockStepsTakeOut();
        GapBound();
        m_observer.PartOfDayUpdate();
        const bool inFocus = InFocus(m_state, FocusClockRead(m_state));
        if (!inFocus) {
            m_observer.NormalTimeDisplayShow();
        }
        if (ProgramNow() > m_settings.ResetDateTime()) {
            m_observer.DailyResetRequest();
        }
        const TMonitoredList& list = m_settings.TimeLimitList();
        const TSampleMatchResult match = SampleMatch(m_sample, &list);
        if (match.Found) {
            const std::string matchedName = list.Items(match.Index)->Name;
            TTimeUpRequest request;
            // The total is yesterday's until a waiting reset has run.
            if (!m_observer.DailyResetWaiting()) {
                request = m_timeUpRules.ExpiryCheck(m_sample.WindowHandle, m_account.Total(),
                    m_settings.TimeLimitSeconds(), inFocus, m_settings.ExpirationAction());
            }
            if (request.Due) {
                // Charged after the answer, as the time the window was open belongs to the sample.
                timeUp = request;
                m_timeUpName = matchedName;
            } else {
                Charge(matchedName, true);
            }
        }
    } catch (...) {
        ScanBaseMove();
        m_observer.TickEnded();
        throw;
    }
    if (timeUp) {
        m_timeUpOut = timeUp;
        m_observer.TimeUpShow(*timeUp);
        return;
    }
    ScanBaseMove();
    m_observer.TickEnded();
}

void TScanPipeline::TimeUpAnswer(const TReminderAnswer& answer)
{
    if (!m_timeUpOut) {
        return;
    }
    const TTimeUpRequest request = *m_timeUpOut;
    m_timeUpOut.reset();
    try {
        m_timeUpRules.AnswerApply(request, answer, m_settings.ExpirationAction(), m_settings.TimeLimitList());
        ClockStepsTakeOut(); // the window may have stayed open across a step
        Charge(m_timeUpName, true);
    } catch (...) {
        ScanBaseMove();
        m_observer.TickEnded();
        throw;
    }
    ScanBaseMove();
    m_observer.TickEnded();
}

void TScanPipeline::EndCharge()
{
    try {
        if (m_state.Paused()) {
            return;
        }
        ClockStepsTakeOut();
        GapBound();
        const TMonitoredList& list = m_settings.TimeLimitList();
        const TSampleMatchResult match = SampleMatch(m_sample, &list);
        if (match.Found) {
            Charge(list.Items(match.Index)->Name, false);
        }
        ScanBaseMove();
    } catch (const std::exception& error) {
        LogError(error, "; TScanPipeline.EndCharge: ");
    }
}

void TScanPipeline::Charge(const std::string& matchedName, bool always)
{
    const int32_t seconds = ElapsedSecondsGet(LastScanTime, ProgramNow());
    if (!always && seconds <= 0) {
        return; // nothing to add at the end
    }
    if (m_sample.AppType != atDesktop) {
        // Stored under the listed entry's name, so the period queries find the row by it.
        m_sample.BrowserUrl = matchedName;
    }
    m_account.Charge(m_sample, seconds);
}
