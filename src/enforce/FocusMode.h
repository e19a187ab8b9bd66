#pragma once

#include "enforce/EnforcementState.h"
#include "model/ProgramClock.h"

// A focus period ("Block Mode"): from its start for the entered length every listed site or
// application in front is closed. Nothing of it is stored, so a new start of the program begins
// without one, and nothing ends one early.
//
// The period lasts its length whatever the wall clock does: when the program clock follows a step
// of the wall clock (set by hand or by NTP, the end of summer time), the period moves with it. A
// clock set back thus never starts a period, nor brings back one that has ended, and a clock set
// ahead does not cut one short.

// Starts a period of `duration` (a day fraction, as entered) now.
void FocusPeriodStart(TEnforcementState& state, TDateTime duration);

// The program clock's reading for the period, which first follows the steps the clock took since
// the period last did.
TDateTime FocusClockRead(TEnforcementState& state);

// A period runs while `now` (a FocusClockRead) is not later than its end.
inline bool InFocus(const TEnforcementState& state, TDateTime now)
{
    return state.FocusStarted && now <= state.FocusEnd;
}
