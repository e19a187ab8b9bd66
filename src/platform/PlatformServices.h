#pragma once

#include "platform/Accessibility.h"
#include "platform/ClockSource.h"
#include "platform/HotkeySource.h"
#include "platform/InstalledApplications.h"
#include "platform/Processes.h"
#include "platform/SessionPower.h"
#include "platform/WindowPlacement.h"
#include "platform/WindowSystem.h"

#include <memory>
#include <string>

// The desktop services one backend supplies. The entry builds it once and hands the parts down
// by reference; nothing else reaches a backend.
struct TPlatformServices
{
    std::unique_ptr<TWindowSystem> WindowSystem;
    std::unique_ptr<TAccessibility> Accessibility;
    std::unique_ptr<TProcesses> Processes;
    std::unique_ptr<TClockSource> ClockSource;
    // Empty when the backend sees the window in front. Otherwise a sentence for the user saying
    // what it cannot see and why, to be shown once: the program must never count nothing in
    // silence.
    std::string ForegroundNotice;
    std::unique_ptr<THotkeySource> HotkeySource;
    // Where the desktop places the program's windows itself; none where it honours their moves.
    std::unique_ptr<TWindowPlacement> WindowPlacement;
    // Locking, sleeping and shutting down; none: the program never pauses and cannot shut down.
    std::unique_ptr<TSessionPower> SessionPower;
    // The desktop's menus and program folders, for the configuration windows.
    std::unique_ptr<TInstalledApplications> InstalledApplications;
};
