#pragma once

#include "model/MonitoredObjects.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/SessionPower.h"

#include <cstdint>
#include <functional>
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

// The first reminder section the time-up window shows for a time of day (0 morning from 04:00,
// 1 afternoon from 12:00, 2 evening from 18:00 and before 04:00); the later ones follow it.
int ReminderFirstSectionGet(TDateTime timeOfDay);

// What the expiry step needs of its owner, the main window.
struct TTimeUpSteps
{
    // The effective action (0..2). Default: 0.
    std::function<int()> ExpirationActionGet;
    // The stored time-limit list, for closing every listed window. Default: none (nothing closed).
    std::function<const TMonitoredList*()> TimeLimitListGet;
    // Shows the time-up window modally for the sample and returns how the user left it.
    // Default: no window, as if "Continue" was chosen.
    std::function<TReminderAnswer(const TZaraveDezeZurirevuzor& sample, bool inFocus, bool fiveMinuteOffer)>
        ReminderShow;
    // Switches tmrReminderOnly on (a running timer keeps its phase) or off.
    std::function<void(bool enabled)> ReminderOnlyTimerEnabledSet;
};

// The flags of the time-up handling. They live with the owner, the main window, whose daily
// reset and display read and set them too.
struct TTimeUpFlags
{
    bool& LimitWindowArmed; // the window may be shown for the daily limit
    bool& FocusWindowArmed; // the window may be shown for a focus period
    bool& GraceActive; // the user took the five minutes; nothing is closed meanwhile
    bool& FiveMinuteOffer; // the five minutes are offered (once a day)
};

// The time-up handling of the scan: whether the window is shown, what is closed, the grace of
// five minutes, the re-arming five minutes after the window, and the daily re-arming.
class TTimeUp
{
public:
    TTimeUp(TWindowSystem& windowSystem, TProcesses& processes, TAccessibility& accessibility,
        TSessionPower& sessionPower, TTimeUpFlags flags, TTimeUpSteps steps);

    // The expiry step of a scan whose sample matched the list. Over the limit (`total` at or
    // above `limit`) or in focus, it may show the window once per arming, and then, with the
    // action "Close Browser/App." or in focus and without grace, asks the sample's window to
    // close. A window that ended without an answer (the program is ending) runs nothing. An
    // error of the shutdown request is raised on to the scan.
    void ExpiryCheck(TZaraveDezeZurirevuzor& sample, int32_t total, int32_t limit, bool inFocus);
    // tmrReminderOnly fired. Paused: nothing, the timer fires again. Otherwise the limit window
    // is armed again, the grace ends and the timer stops.
    void ReminderOnlyTimerRun(bool paused);
    // The 04:00 reset: the window may be shown again, for the limit and for focus, and the five
    // minutes are offered again.
    void DailyRearm();
    // Asks every top-level window that matches `list` to close. Runs on a sample of its own, so
    // the scan's foreground sample (and what the scan charges) stays as it was.
    void CloseAllRun(const TMonitoredList* list);

private:
    TWindowSystem& m_windowSystem;
    TProcesses& m_processes;
    TAccessibility& m_accessibility;
    TSessionPower& m_sessionPower;
    TTimeUpFlags m_flags;
    TTimeUpSteps m_steps;
};
