#include "enforce/FocusMode.h"

void FocusPeriodStart(
    TDateTime now, TDateTime duration, TDateTime& focusStart, TDateTime& focusDuration, TDateTime& focusEnd)
{
    focusStart = now;
    focusDuration = duration;
    focusEnd = focusStart + focusDuration;
}
