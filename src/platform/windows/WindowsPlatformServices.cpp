#include "platform/windows/WindowsPlatformServices.h"

#include "model/ProgramLog.h"
#include "platform/windows/InterruptTimeClockSource.h"
#include "platform/windows/LowLevelHotkeySource.h"
#include "platform/windows/MsaaBrowserAddresses.h"
#include "platform/windows/Win32Processes.h"
#include "platform/windows/Win32WindowSystem.h"

std::unique_ptr<TPlatformServices> WindowsPlatformServicesCreate()
{
    auto services = std::make_unique<TPlatformServices>();
    services->WindowSystem = std::make_unique<TWin32WindowSystem>();
    services->Processes = std::make_unique<TWin32Processes>();
    services->ClockSource = std::make_unique<TInterruptTimeClockSource>();
    services->Accessibility = std::make_unique<TMsaaBrowserAddresses>();
    auto hotkeys = std::make_unique<TLowLevelHotkeySource>();
    if (!hotkeys->CanWatchKeys()) {
        LogMessageWrite("The keyboard cannot be watched (no low-level hook); the program has no hot key");
    }
    services->HotkeySource = std::move(hotkeys);

    return services;
}
