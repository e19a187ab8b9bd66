#pragma once

#include <functional>

// What the pausing needs of its owner, the main window.
struct TSessionPauseSteps
{
    // Sends the main window to the tray.
    std::function<void()> Minimize;
    // Makes the next scan count from now (LastScanTime := now).
    std::function<void()> ScanBaseReset;
};

// The pause of all monitoring while the session is locked or the computer sleeps. The owner
// feeds it the platform's news and asks Paused() in its timers.
class TSessionPause
{
public:
    // The flags live with the owner, whose timers read them.
    TSessionPause(bool& sessionPaused, bool& powerPaused, TSessionPauseSteps steps);

    bool Paused() const
    {
        return m_sessionPaused || m_powerPaused;
    }
    // Locked: minimise, pause. Unlocked: minimise, resume, and unless the computer is still
    // asleep, count the next scan from now so that the locked time is not charged.
    void SessionLockedChanged(bool locked);
    // Going to sleep: pause, minimise. Woken: minimise, resume, and count the next scan from
    // now, because the program clock runs on through sleep and the night must not be charged.
    void SleepingChanged(bool sleeping);

private:
    bool& m_sessionPaused;
    bool& m_powerPaused;
    TSessionPauseSteps m_steps;
};
