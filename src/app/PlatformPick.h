#pragma once

#include "platform/PlatformServices.h"

#include <memory>

// The one place that picks the desktop backend, once at start-up. Returns none (after a log
// line) when the session offers no desktop the program can watch, such as Qt's offscreen
// platform; the program then runs without monitoring instead of failing.
std::unique_ptr<TPlatformServices> PlatformServicesPick();

// Moves the program clock onto the backend's counter before anything reads the time.
void ProgramClockAttach(TClockSource& source);
