#include "enforce/FocusMode.h"

TFocusMode::TFocusMode(TDateTime now)
    : FocusStart(now)
    , FocusEnd(now)
{
}

void TFocusMode::Start(TDateTime now, TDateTime duration)
{
    FocusStart = now;
    FocusDuration = duration;
    FocusEnd = FocusStart + FocusDuration;
}
