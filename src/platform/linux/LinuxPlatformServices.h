#pragma once

#include "platform/PlatformServices.h"
#include "platform/linux/logind/LinuxSession.h"

#include <memory>
#include <string>

// The Linux desktop's services: X11 windows (through the window manager's EWMH hints),
// processes from /proc, browser addresses through AT-SPI and the boot-time clock. Creating them
// switches the desktop's accessibility support on for the session when it is off (browsers show
// their pages' addresses only then), and logs what it found or did.
// `displayName` empty means the DISPLAY of the environment. Raises EOSError with a message for
// the user when there is no X display to work on.
std::unique_ptr<TPlatformServices> LinuxPlatformServicesCreate(const std::string& displayName = "");

// The services for the session the program runs in: X11 as above; on sway its layout tree over
// its IPC socket; on KDE Plasma a script loaded into KWin; on other Wayland desktops the compositor's window list
// through the wlr foreign-toplevel protocol where it offers it, else XWayland's windows where XWayland runs, else none.
// Never raises: where the window in front cannot be known (fully or at all), the services see what they can and
// ForegroundNotice says what is missing, and the same is logged.
std::unique_ptr<TPlatformServices> LinuxPlatformServicesCreate(const TLinuxSession& session);
