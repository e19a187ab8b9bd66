#pragma once

#include "model/ProgramClock.h"

// A focus period ("Block Mode"): from its start for the entered length every listed site or
// application in front is closed. Nothing of it is stored, so a new start of the program begins
// without one; there is no way to end one early.
class TFocusMode
{
public:
    // No period: the end is the moment of creation.
    explicit TFocusMode(TDateTime now);

    TDateTime FocusStart = 0;
    TDateTime FocusDuration = 0; // a day fraction, as entered
    TDateTime FocusEnd = 0;

    // A period runs while `now` is not later than its end.
    bool InFocus(TDateTime now) const
    {
        return now <= FocusEnd;
    }
    // Starts a period of `duration` (a day fraction) at `now`.
    void Start(TDateTime now, TDateTime duration);
};
