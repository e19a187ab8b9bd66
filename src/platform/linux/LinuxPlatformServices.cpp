#include "platform/linux/LinuxPlatformServices.h"

#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/MonotonicClockSource.h"
#include "platform/linux/ProcFsProcesses.h"
#include "platform/linux/X11WindowSystem.h"

std::unique_ptr<TPlatformServices> LinuxPlatformServicesCreate(const std::string& displayName)
{
    auto services = std::make_unique<TPlatformServices>();
    auto windowSystem = std::make_unique<TX11WindowSystem>(displayName);
    services->Accessibility = std::make_unique<TAtspiAccessibility>(*windowSystem);
    services->WindowSystem = std::move(windowSystem);
    services->Processes = std::make_unique<TProcFsProcesses>();
    services->ClockSource = std::make_unique<TMonotonicClockSource>();
    return services;
}
