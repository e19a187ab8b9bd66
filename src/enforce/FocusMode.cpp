#include "enforce/FocusMode.h"

void FocusPeriodStart(TEnforcementState& state, TDateTime duration)
{
    state.FocusStarted = true;
    state.FocusStart = ProgramNowWithSteps(state.FocusClockSteps);
    state.FocusDuration = duration;
    state.FocusEnd = state.FocusStart + duration;
}

TDateTime FocusClockRead(TEnforcementState& state)
{
    double steps = 0;
    const TDateTime now = ProgramNowWithSteps(steps);
    const double step = steps - state.FocusClockSteps;
    state.FocusClockSteps = steps;
    if (step != 0) {
        state.FocusStart += step;
        state.FocusEnd += step;
    }
    return now;
}
