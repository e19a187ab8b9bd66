#include "platform/PlatformPick.h"

#include "model/ProgramLog.h"
#include "platform/windows/Win32Processes.h"
#include "platform/windows/Win32SessionPower.h"
#include "platform/windows/WindowsInstalledApplications.h"
#include "platform/windows/WindowsPlatformServices.h"

std::string WindowPlatformChoose()
{
    // Qt's own "windows" platform always starts where a desktop runs; a user's choice is kept.
    return {};
}

std::unique_ptr<TPlatformServices> PlatformServicesPick(const std::string& windowPlatform)
{
    std::unique_ptr<TPlatformServices> services;
    if (windowPlatform != "windows") {
        LogMessageWrite("Desktop monitoring is not available on the \"" + windowPlatform
            + "\" window system; the program runs without it.");
        services = std::make_unique<TPlatformServices>();
        services->Processes = std::make_unique<TWin32Processes>();
    } else {
        services = WindowsPlatformServicesCreate();
        LogMessageWrite("The window in front is read through the Win32 window calls, browser addresses through "
                        "IAccessible.");
    }
    // Created on the thread of the program's event loop, which delivers the session's news.
    services->SessionPower = std::make_unique<TWin32SessionPower>();
    services->InstalledApplications = std::make_unique<TWindowsInstalledApplications>();
    return services;
}
