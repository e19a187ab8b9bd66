#include "enforce/TimeUp.h"

#include "model/ProgramLog.h"

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

std::string ShutdownFailedText(const std::string& reason)
{
    std::string why = reason.empty() ? std::string("the system gave no reason") : reason;
    if (why.back() != '.') {
        why += '.';
    }
    return "The computer could not be shut down: " + why
        + "\n\nThe sites and applications on your 'to watch' list have been closed instead, and will be closed "
          "whenever they come to the front until 0400 tomorrow.";
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
    TSessionPower& sessionPower, TTaskRunner& worker, TEnforcementState& state)
    : m_windowSystem(windowSystem)
    , m_processes(processes)
    , m_accessibility(accessibility)
    , m_sessionPower(sessionPower)
    , m_worker(worker)
    , m_state(state)
{
}

TTimeUpRequest TTimeUp::ExpiryCheck(TWindowHandle window, int32_t total, int32_t limit, bool inFocus, int action)
{
    const bool over = total >= limit;
    if (!over && !inFocus) {
        return {};
    }
    if ((!inFocus && m_state.LimitWindowArmed) || (inFocus && m_state.FocusWindowArmed)) {
        return { true, inFocus, m_state.FiveMinuteOffer, window };
    }
    WindowClose(window, action, inFocus);
    return {};
}

void TTimeUp::AnswerApply(
    const TTimeUpRequest& request, const TReminderAnswer& answer, int action, const TMonitoredList& list)
{
    if (!answer.Answered) {
        // The program is ending (a signal, the uninstall flag): its end is no answer, and the
        // default one would close the user's windows or shut the computer down on the way out.
        return;
    }
    m_state.GraceActive = answer.Grace;
    if (request.InFocus) {
        m_state.FocusWindowArmed = false;
    } else {
        m_state.LimitWindowArmed = false;
    }
    if (m_state.GraceActive && m_state.FiveMinuteOffer) {
        m_state.FiveMinuteOffer = false;
    }
    if (ReminderTimerEnabledSet) {
        ReminderTimerEnabledSet(true);
    }
    // The chosen action runs after the window is disarmed: a shutdown the system refuses then
    // brings the window back after five minutes, not at every scan.
    if (!answer.Grace) {
        const int choice = request.InFocus ? eaCloseApplication : answer.Choice;
        if (choice == eaCloseApplication) {
            CloseAllRun(list);
        } else if (choice == eaShutdown) {
            auto copy = std::make_shared<TMonitoredList>();
            copy->ItemsCopy(list, mitAll, "");
            m_worker.Post([this, copy, report = ShutdownFailedReport] {
                std::string reason;
                try {
                    m_sessionPower.ShutdownRequest(skPowerOff, kTimeUpCountdownSeconds);
                    return;
                } catch (const std::exception& error) {
                    reason = error.what();
                } catch (...) {
                    reason = "an unknown error";
                }
                // The computer stays on, and the limit must hold all the same.
                LogMessageWrite("The computer could not be shut down: " + reason
                    + "; the listed windows are closed instead, today's later ones as they come to the front");
                m_shutdownFailed = true;
                ListedWindowsClose(*copy);
                if (report) {
                    report(reason);
                }
            });
        }
    }
    WindowClose(request.Window, action, request.InFocus);
}

void TTimeUp::WindowClose(TWindowHandle window, int action, bool inFocus)
{
    const bool closing = action == eaCloseApplication || (action == eaShutdown && m_shutdownFailed) || inFocus;
    if (closing && !m_state.GraceActive && window != 0) {
        m_worker.Post([this, window] { m_windowSystem.WindowCloseRequest(window); });
    }
}

void TTimeUp::ReminderOnlyTimerRun(bool paused)
{
    if (paused) {
        return;
    }
    m_state.LimitWindowArmed = true;
    m_state.GraceActive = false;
    if (ReminderTimerEnabledSet) {
        ReminderTimerEnabledSet(false);
    }
}

void TTimeUp::DailyRearm()
{
    m_state.LimitWindowArmed = true;
    m_state.FocusWindowArmed = true;
    m_state.FiveMinuteOffer = true;
    m_shutdownFailed = false;
}

void TTimeUp::CloseAllRun(const TMonitoredList& list)
{
    // The worker reads its own copy: the user may change the list meanwhile.
    auto copy = std::make_shared<TMonitoredList>();
    copy->ItemsCopy(list, mitAll, "");
    m_worker.Post([this, copy] { ListedWindowsClose(*copy); });
}

void TTimeUp::ListedWindowsClose(const TMonitoredList& list)
{
    TZaraveDezeZurirevuzor closer(m_windowSystem, m_processes, m_accessibility);
    closer.Execute(true, &list);
}
