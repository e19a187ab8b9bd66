#pragma once

#include "enforce/EnforcementState.h"
#include "model/MonitoredObjects.h"
#include "monitor/DesktopWorker.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/SessionPower.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// What the daily limit does (the settings' ExpirationAction), and the same numbers as the
// choices of the time-up window ("Continue", "Close Application", "Shutdown Computer").
enum TExpirationAction : int
{
    eaReminderOnly = 0,
    eaCloseApplication = 1,
    eaShutdown = 2,
};

// The seconds the time-up window counts down, and the timeout handed to the shutdown.
inline constexpr int kTimeUpCountdownSeconds = 60;
// The re-arming interval of the time-up window (tmrReminderOnly), in milliseconds.
inline constexpr int kReminderOnlyIntervalMs = 300000;

// How the user left the time-up window: asking for five minutes of grace, or with the action
// the combo showed at that moment (the configured action where the combo was hidden).
struct TReminderAnswer
{
    bool Grace = false;
    int Choice = eaReminderOnly;
    // False when the window ended without the user's answer (the program is ending): then no
    // time-up action runs and nothing is closed.
    bool Answered = true;
};

// The message of the time-up window: the focus text, or the text of the configured action.
std::string ReminderMessageText(bool inFocus, int expirationAction);

// What the user is told when the computer could not be shut down for `reason` (the system's
// words) and the listed windows were closed instead.
std::string ShutdownFailedText(const std::string& reason);

// The first reminder section the time-up window shows for a time of day (0 morning from 04:00,
// 1 afternoon from 12:00, 2 evening from 18:00 and before 04:00); the later ones follow it.
int ReminderFirstSectionGet(TDateTime timeOfDay);

// The time-up window a scan asks for: the owner opens it after the tick and hands the user's
// answer to TTimeUp::AnswerApply with the same request.
struct TTimeUpRequest
{
    bool Due = false;
    bool InFocus = false;
    bool FiveMinuteOffer = false;
    // The listed window in front when the limit was reached; 0 when it was none.
    TWindowHandle Window = 0;
};

// The time-up handling of the scan: whether the window is shown, what is closed, the grace of
// five minutes, the re-arming five minutes after the window, and the daily re-arming. Close and
// shutdown requests go to the desktop worker, so a desktop that does not answer holds up no
// window. A shutdown the system refuses still keeps the limit: the listed windows are closed
// instead, as "Close Browser/App." does, until the next day.
class TTimeUp
{
public:
    TTimeUp(TWindowSystem& windowSystem, TProcesses& processes, TAccessibility& accessibility,
        TSessionPower& sessionPower, TTaskRunner& worker, TEnforcementState& state);

    // Switches tmrReminderOnly on (a running timer keeps its phase) or off.
    std::function<void(bool enabled)> ReminderTimerEnabledSet;
    // A shutdown request failed for `reason` (the system's words) and the listed windows were
    // closed instead: the user must hear that the computer stays on, and why. Called on the
    // worker's thread.
    std::function<void(const std::string& reason)> ShutdownFailedReport;

    // The expiry step of a scan whose sample (the window `window`) matched the list. Over the
    // limit (`total` at or above `limit`) or in focus, with the window armed: a due request, and
    // nothing else until the answer. Otherwise, with `action` "Close Browser/App." (or
    // "Shutdown Computer" after the system refused to shut down today) or in focus and without
    // grace, the sample's window is asked to close.
    TTimeUpRequest ExpiryCheck(TWindowHandle window, int32_t total, int32_t limit, bool inFocus, int action);
    // How the user left the window of `request`: the window is disarmed, the grace taken or
    // not, the chosen action run on every window of `list` (or the shutdown asked for), and then
    // the closing of the sample's window as ExpiryCheck does it. A shutdown that fails closes
    // every window of `list` instead. A window that ended without an answer (the program is
    // ending) runs nothing.
    void AnswerApply(
        const TTimeUpRequest& request, const TReminderAnswer& answer, int action, const TMonitoredList& list);
    // tmrReminderOnly fired. Paused: nothing, the timer fires again. Otherwise the limit window
    // is armed again, the grace ends and the timer stops.
    void ReminderOnlyTimerRun(bool paused);
    // The 04:00 reset: the window may be shown again, for the limit and for focus, and the five
    // minutes are offered again; a shutdown is asked for again. The one place that re-arms for a
    // new day.
    void DailyRearm();
    // Asks every top-level window that matches `list` to close, on a sample of the worker's own,
    // so the scan's foreground sample (and what the scan charges) stays as it was.
    void CloseAllRun(const TMonitoredList& list);

private:
    void WindowClose(TWindowHandle window, int action, bool inFocus);
    // On the worker: every top-level window that matches `list` is asked to close.
    void ListedWindowsClose(const TMonitoredList& list);

    TWindowSystem& m_windowSystem;
    TProcesses& m_processes;
    TAccessibility& m_accessibility;
    TSessionPower& m_sessionPower;
    TTaskRunner& m_worker;
    TEnforcementState& m_state;
    // Set on the worker when the system refused to shut down, read by the scans on the owner's
    // thread; cleared by the daily re-arming.
    std::atomic<bool> m_shutdownFailed = false;
};
