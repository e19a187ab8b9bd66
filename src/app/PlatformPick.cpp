#include "app/PlatformPick.h"

#include "model/Exceptions.h"
#include "model/ProgramClock.h"
#include "model/ProgramLog.h"
#include "platform/linux/LinuxPlatformServices.h"

#include <QGuiApplication>

#include <chrono>
#include <thread>

std::unique_ptr<TPlatformServices> PlatformServicesPick()
{
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb")) {
        LogMessageWrite("Desktop monitoring is not available on the \"" + platform.toStdString()
            + "\" window system; the program runs without it.");
        return nullptr;
    }
    try {
        return LinuxPlatformServicesCreate();
    } catch (const std::exception& error) {
        LogError(error, "; PlatformServicesPick: ");
        return nullptr;
    }
}

void ProgramClockAttach(TClockSource& source)
{
    ClockTickSourceSet([&source] { return source.Ticks(); }, source.Frequency(), SystemNow(),
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
}
