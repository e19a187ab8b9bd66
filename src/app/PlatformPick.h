#pragma once

#include "platform/PlatformServices.h"

#include <memory>
#include <string>

// Before the application object exists: on a Wayland desktop with XWayland the windows run as
// X11 clients (QT_QPA_PLATFORM), because docking to an edge, staying on top and keeping out of
// the task bar need window positions and hints that Wayland clients cannot set. A platform the
// user chose is kept. Where no display server the windows could use answers (a compositor that
// ended left WAYLAND_DISPLAY behind), gives a sentence for the user instead; empty otherwise.
std::string QtPlatformChoose();

// The one place that picks the desktop backend, once at start-up, from the session the program
// runs in. Returns none (after a log line) when the session offers no desktop the program can
// watch, such as Qt's offscreen platform; the program then runs without monitoring instead of
// failing. Where the window in front can be known only in part or not at all, the services'
// ForegroundNotice says so (it is logged too) for the windows to show once.
std::unique_ptr<TPlatformServices> PlatformServicesPick();

// Moves the program clock onto the backend's counter before anything reads the time, and has it
// follow the wall clock's deliberate changes.
void ProgramClockAttach(TClockSource& source);
