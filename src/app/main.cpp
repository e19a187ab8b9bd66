#include "app/PlatformPick.h"
#include "app/TerminationSignals.h"

#include "ui/framework/Application.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool DisplayAvailable()
{
    // An explicit platform choice (offscreen, for instance) needs no display server.
    if (std::getenv("QT_QPA_PLATFORM")) {
        return true;
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

int main(int argc, char* argv[])
{
    if (!DisplayAvailable()) {
        std::fprintf(stderr, "tallyhour: no display found (DISPLAY is not set); start it inside a desktop session.\n");
        return 2;
    }
    QtPlatformChoose();
    // Errors that an event or timer handler lets through reach the error reporter from here on.
    TApplication application(argc, argv);
    QApplication::setApplicationName("Tallyhour");
    QApplication::setQuitOnLastWindowClosed(false);

    // The desktop services live for the whole run; the windows that use them come later.
    std::unique_ptr<TPlatformServices> platformServices = PlatformServicesPick();
    if (platformServices && platformServices->ClockSource) {
        ProgramClockAttach(*platformServices->ClockSource);
    }

    TTerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TTerminationSignals::Requested, &application, [] { QApplication::quit(); });

    return QApplication::exec();
}
