#pragma once

#include "platform/PlatformServices.h"

// Moves the program clock onto the backend's counter before anything reads the time, and has it
// follow the wall clock's deliberate changes.
void ProgramClockAttach(TClockSource& source);

// Shows the services' ForegroundNotice once the windows are up, and from then on what the window
// system says when it loses sight of the window in front while the program runs.
void ForegroundNoticesShow(const TPlatformServices& services);
