#pragma once

#include "model/ProgramClock.h"

// What the scan, the time-up handling, focus mode and the session pause decide together: one
// record, owned by the main window's scan, that each rule reads and the daily reset re-arms.
struct TEnforcementState
{
    // The session is locked or disconnected; the computer sleeps or is going to.
    bool SessionPaused = false;
    bool PowerPaused = false;
    bool LimitWindowArmed = true; // the time-up window may be shown for the daily limit
    bool FocusWindowArmed = true; // the time-up window may be shown for a focus period
    bool GraceActive = false; // the user took the five minutes; nothing is closed meanwhile
    bool FiveMinuteOffer = true; // the five minutes are offered (once a day)
    // The focus period, on the program clock (see FocusMode.h): none until one is started. The
    // clock's steps (ClockStepsTotal) it has followed so far, so that the next one moves it too.
    bool FocusStarted = false;
    TDateTime FocusStart = 0;
    TDateTime FocusEnd = 0;
    TDateTime FocusDuration = 0;
    double FocusClockSteps = 0;

    bool Paused() const
    {
        return SessionPaused || PowerPaused;
    }
};
