#include "enforce/TimeUp.h"

#include <cmath>

std::string ReminderMessageText(bool inFocus, int expirationAction)
{
    if (inFocus) {
        return "You have chosen to focus without interruptions for a while.  Here's a reminder of your tasks today. "
               "The distracting sites and applications on your list will be closing shortly.";
    }
    switch (expirationAction) {
    case eaCloseApplication:
        return "Sorry but you have now spent your allocated time on your 'sites and applications to watch' list. "
               "Here's a reminder of your tasks for the rest of the day. The sites and applications on your 'to "
               "watch' list will be closing in 60 seconds. You will not be able to access your 'sites and "
               "applications to watch' list until 0400 tomorrow.";
    case eaShutdown:
        return "Sorry but you have now spent your allocated time on your 'sites and applications to watch' list. "
               "Here's a reminder of your tasks for the rest of the day. The computer will be shutting down in 60 "
               "seconds. You will not be able to access your 'sites and applications to watch' list until 0400 "
               "tomorrow.";
    default:
        return "Sorry but you have now spent your allocated time on your 'sites and applications to watch' list. "
               "Here's a reminder of  your tasks for the rest of the day. You can either block the 'sites and "
               "applications' until 0400 tomorrow or continue.";
    }
}

int ReminderFirstSectionGet(TDateTime timeOfDay)
{
    // Whole milliseconds, so that 12:00:00.000 itself is afternoon despite the day fraction's noise.
    const int64_t ms = std::llround((timeOfDay - std::floor(timeOfDay)) * 86'400'000.0);
    constexpr int64_t hour = 3'600'000;
    if (ms >= 4 * hour && ms < 12 * hour) {
        return 0;
    }
    if (ms >= 12 * hour && ms < 18 * hour) {
        return 1;
    }
    return 2;
}

TTimeUp::TTimeUp(TWindowSystem& windowSystem, TProcesses& processes, TAccessibility& accessibility,
    TSessionPower& sessionPower, TTimeUpFlags flags, TTimeUpSteps steps)
    : m_windowSystem(windowSystem)
    , m_processes(processes)
    , m_accessibility(accessibility)
    , m_sessionPower(sessionPower)
    , m_flags(flags)
    , m_steps(std::move(steps))
{
}

void TTimeUp::ExpiryCheck(TZaraveDezeZurirevuzor& sample, int32_t total, int32_t limit, bool inFocus)
{
    const bool over = total >= limit;
    if (!over && !inFocus) {
        return;
    }
    if ((!inFocus && m_flags.LimitWindowArmed) || (inFocus && m_flags.FocusWindowArmed)) {
        TReminderAnswer answer;
        if (m_steps.ReminderShow) {
            answer = m_steps.ReminderShow(sample, inFocus, m_flags.FiveMinuteOffer);
        }
        if (!answer.Answered) {
            // The program is ending (a signal, the uninstall flag): its end is no answer, and the
            // default one would close the user's windows or shut the computer down on the way out.
            return;
        }
        m_flags.GraceActive = answer.Grace;
        if (inFocus) {
            m_flags.FocusWindowArmed = false;
        } else {
            m_flags.LimitWindowArmed = false;
        }
        if (m_flags.GraceActive && m_flags.FiveMinuteOffer) {
            m_flags.FiveMinuteOffer = false;
        }
        if (m_steps.ReminderOnlyTimerEnabledSet) {
            m_steps.ReminderOnlyTimerEnabledSet(true);
        }
        // The chosen action runs after the window is disarmed: a shutdown the system refuses
        // then brings the window back after five minutes, not at every scan.
        if (!answer.Grace) {
            const int choice = inFocus ? eaCloseApplication : answer.Choice;
            if (choice == eaCloseApplication) {
                CloseAllRun(m_steps.TimeLimitListGet ? m_steps.TimeLimitListGet() : nullptr);
            } else if (choice == eaShutdown) {
                m_sessionPower.ShutdownRequest(skPowerOff, kTimeUpCountdownSeconds);
            }
        }
    }
    const int action = m_steps.ExpirationActionGet ? m_steps.ExpirationActionGet() : eaReminderOnly;
    if ((action == eaCloseApplication || inFocus) && !m_flags.GraceActive && sample.WindowHandle != 0) {
        m_windowSystem.WindowCloseRequest(sample.WindowHandle);
    }
}

void TTimeUp::ReminderOnlyTimerRun(bool paused)
{
    if (paused) {
        return;
    }
    m_flags.LimitWindowArmed = true;
    m_flags.GraceActive = false;
    if (m_steps.ReminderOnlyTimerEnabledSet) {
        m_steps.ReminderOnlyTimerEnabledSet(false);
    }
}

void TTimeUp::DailyRearm()
{
    m_flags.LimitWindowArmed = true;
    m_flags.FocusWindowArmed = true;
    m_flags.FiveMinuteOffer = true;
}

void TTimeUp::CloseAllRun(const TMonitoredList* list)
{
    if (!list) {
        return;
    }
    TZaraveDezeZurirevuzor closer(m_windowSystem, m_processes, m_accessibility);
    closer.Execute(true, list);
}
