#pragma once

#include "model/ProgramClock.h"

// A focus period ("Block Mode"): from its start for the entered length every listed site or
// application in front is closed. Nothing of it is stored, so a new start of the program begins
// without one (its end is then the moment of the start), and nothing ends one early.

// A period runs while `now` is not later than its end.
inline bool InFocus(TDateTime now, TDateTime focusEnd)
{
    return now <= focusEnd;
}

// Starts a period of `duration` (a day fraction, as entered) at `now`.
void FocusPeriodStart(
    TDateTime now, TDateTime duration, TDateTime& focusStart, TDateTime& focusDuration, TDateTime& focusEnd);
