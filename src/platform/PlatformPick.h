#pragma once

#include "platform/PlatformServices.h"

#include <memory>
#include <string>

// What the entry asks of the backend that is linked into the program; each backend supplies both.

// Before the program's windows exist: picks the window platform they run on where the session
// needs one (setting QT_QPA_PLATFORM; a platform the user chose is kept). Where no display
// server the windows could use answers, gives a sentence for the user instead; empty otherwise.
std::string WindowPlatformChoose();

// The one place that picks the desktop's services, once at start-up, from the session the
// program runs in. `windowPlatform` names the platform the program's windows run on ("xcb",
// "wayland", "offscreen", ...). Always gives the services that need no desktop (session power,
// installed applications, processes); where the session offers no desktop the program can
// watch (Qt's offscreen platform, say) the window system, accessibility, clock and hot key are
// none, after a log line, and the program runs without monitoring. Where the window in front
// can be known only in part or not at all, ForegroundNotice says so (it is logged too).
std::unique_ptr<TPlatformServices> PlatformServicesPick(const std::string& windowPlatform);
