#pragma once

#include <functional>
#include <string>

// What the session and the power management report: the screen was locked or unlocked (also a
// desktop's screen saver coming on with its lock), and the computer is about to sleep or has
// woken up. Each call tells the new state; a repeated state may be reported again.
struct TSessionPowerListener
{
    std::function<void(bool locked)> SessionLockedChanged;
    std::function<void(bool sleeping)> SleepingChanged;
    // The desktop session is ending, where the system says so to every program (Windows, before
    // it logs off or shuts down): what must not be lost is saved at once, since the process may
    // be ended without its event loop returning. `final` is the last word: the session ends now
    // and the program with it; before that comes the announcement (false), which can still be
    // called off.
    std::function<void(bool final)> SessionEnding;
};

// The kinds of system shutdown the program may ask for.
enum TShutdownKind : int
{
    skRestart = 0,
    skPowerOff = 1,
};

// The user's session and the computer's power, as the program needs them: news of locking and
// sleeping, and the request to shut the computer down.
class TSessionPower
{
public:
    virtual ~TSessionPower() = default;

    // Replaces the listener; news arrive on the thread that runs the program's event loop.
    virtual void ListenerSet(TSessionPowerListener listener) = 0;
    // Whether locking and sleeping are reported at all (false: the program never pauses).
    virtual bool CanWatchSession() const = 0;
    virtual bool CanWatchSleep() const = 0;
    // Asks the system to shut down (power off or restart), closing the user's programs without
    // asking them. Raises EOSError when the request is refused or cannot be made, its text the
    // reason as the user reads it after "The computer could not be shut down: " (no system bus,
    // refused by the system and its own words, no right to it); never returns quietly without
    // having asked.
    virtual void ShutdownRequest(TShutdownKind kind, int timeoutSeconds) = 0;
};
