#pragma once

#include "platform/PlatformServices.h"

#include <memory>
#include <string>

// The Linux desktop's services: X11 windows (through the window manager's EWMH hints),
// processes from /proc, browser addresses through AT-SPI and the monotonic clock.
// `displayName` empty means the DISPLAY of the environment. Raises EOSError with a message for
// the user when there is no X display to work on.
std::unique_ptr<TPlatformServices> LinuxPlatformServicesCreate(const std::string& displayName = "");
