#include "app/PlatformPick.h"

#include "model/Exceptions.h"
#include "model/ProgramClock.h"
#include "model/ProgramLog.h"
#include "platform/linux/DisplayServers.h"
#include "platform/linux/wlroots/ForeignToplevelWindowSystem.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/sway/SwayWindowSystem.h"
#include "ui/framework/FrmBase.h"

#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> PlatformsSplit(const std::string& list)
{
    std::vector<std::string> platforms;
    size_t begin = 0;
    while (begin <= list.size()) {
        const size_t end = std::min(list.find(';', begin), list.size());
        if (end > begin)
            platforms.push_back(list.substr(begin, end - begin));
        begin = end + 1;
    }
    return platforms;
}

} // namespace

std::string QtPlatformChoose()
{
    const std::string current = qEnvironmentVariable("QT_QPA_PLATFORM").toStdString();
    const TLinuxSession session = LinuxSessionDetect();
    const std::string chosen = LinuxSessionQtPlatform(session, current);
    // Qt aborts the program (with a core dump) when no platform it tries can start, and a
    // compositor or X server that ended leaves its variables (and its socket's file) behind:
    // so the display servers are asked first.
    const std::string wayland = qEnvironmentVariable("WAYLAND_DISPLAY").toStdString();
    const std::string x11 = qEnvironmentVariable("DISPLAY").toStdString();
    const bool waylandAnswers
        = !wayland.empty() && WaylandDisplayAnswers(wayland, qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString());
    const bool x11Answers = !x11.empty() && X11DisplayAnswers(x11);
    const auto answers = [&](const std::string& platform) {
        return platform == "xcb" ? x11Answers : platform.starts_with("wayland") && waylandAnswers;
    };
    const std::string missing = "no display server answers ("
        + (wayland.empty() ? std::string("WAYLAND_DISPLAY is not set")
                           : "the Wayland compositor \"" + wayland + "\" does not answer")
        + (x11.empty() ? std::string(", DISPLAY is not set") : ", the X display \"" + x11 + "\" does not answer")
        + "); start it inside a desktop session.";

    if (!current.empty()) {
        // The user's own choice is kept; only a list of display platforms none of which can
        // start is told instead of Qt's abort.
        const std::vector<std::string> platforms = PlatformsSplit(current);
        const bool displaysOnly = !platforms.empty()
            && std::all_of(platforms.begin(), platforms.end(),
                [](const auto& p) { return p == "xcb" || p.starts_with("wayland"); });
        if (displaysOnly && std::none_of(platforms.begin(), platforms.end(), answers))
            return missing;
        return {};
    }
    if (!x11Answers && !waylandAnswers)
        return missing;
    if (chosen == "xcb") {
        // Should XWayland fail to start after all, Qt falls back to the Wayland platform.
        qputenv("QT_QPA_PLATFORM", x11Answers ? "xcb;wayland" : "wayland");
        return {};
    }
    // Otherwise Qt's own choice, unless it would take the display that does not answer.
    const bool waylandSession = session.Kind != TLinuxDesktopKind::X11 && session.Kind != TLinuxDesktopKind::None;
    if (waylandSession ? !waylandAnswers : !x11Answers)
        qputenv("QT_QPA_PLATFORM", x11Answers ? "xcb" : "wayland");
    return {};
}

std::unique_ptr<TPlatformServices> PlatformServicesPick()
{
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && platform != QLatin1String("wayland")) {
        LogMessageWrite("Desktop monitoring is not available on the \"" + platform.toStdString()
            + "\" window system; the program runs without it.");
        return nullptr;
    }
    // The windows may run through XWayland while the session is Wayland's: the session, not
    // Qt's platform, says where the window in front is known.
    const TLinuxSession session = LinuxSessionDetect();
    std::unique_ptr<TPlatformServices> services = LinuxPlatformServicesCreate(session);
    std::string channel;
    switch (session.Kind) {
    case TLinuxDesktopKind::Sway:
        channel = "sway's IPC socket " + session.SwaySocket;
        // The main window is a narrow panel and the others are small dialogs: tiled, sway would
        // stretch each over its share of the screen. (XWayland's are floated for their kind
        // already; Wayland ones are not.)
        if (auto* sway = dynamic_cast<TSwayWindowSystem*>(services->WindowSystem.get());
            sway && !sway->ProcessWindowsFloat(QCoreApplication::applicationPid())) {
            LogMessageWrite("sway did not take the rule that floats the program's windows; they may be tiled");
        }
        break;
    case TLinuxDesktopKind::X11:
        channel = "the X display " + session.X11Display;
        break;
    case TLinuxDesktopKind::KWin:
        channel = services->ForegroundNotice.empty()
            ? "KWin's window script"
            : (session.X11Display.empty() ? "nothing" : "XWayland's display " + session.X11Display + " alone");
        break;
    case TLinuxDesktopKind::Gnome:
        channel = services->ForegroundNotice.empty()
            ? "Tallyhour's GNOME Shell extension"
            : (session.X11Display.empty() ? "nothing" : "XWayland's display " + session.X11Display + " alone");
        break;
    default:
        if (auto* toplevels = dynamic_cast<TForeignToplevelWindowSystem*>(services->WindowSystem.get()))
            channel = "the compositor's foreign-toplevel window list on " + toplevels->DisplayName();
        else
            channel = session.X11Display.empty() ? "nothing" : "XWayland's display " + session.X11Display + " alone";
        break;
    }
    LogMessageWrite("The window in front is read through " + channel + "; the program's windows run on Qt's \""
        + platform.toStdString() + "\" platform.");
    if (platform == QLatin1String("wayland") && session.X11Display.empty()) {
        LogMessageWrite(session.Kind == TLinuxDesktopKind::Sway
                ? "XWayland does not run in this session, so the program's windows are Wayland windows: sway floats "
                  "them above the tiled ones and moves the main window to the screen's edge when the program asks."
                : "XWayland does not run in this session, so the program's windows are Wayland windows: the desktop "
                  "places them (the main window is not docked to the screen's edge), may not keep them on top, and "
                  "may list them in the task bar.");
    }
    if (!services->ForegroundNotice.empty()) {
        // Once the windows are up, so the message has an owner on the screen.
        QTimer::singleShot(0, qApp, [notice = QString::fromStdString(services->ForegroundNotice)] {
            TfrmBase::ShowMessage(notice, QStringLiteral("Please Note"));
        });
    }
    // A compositor can go away while the program runs (KWin restarts): the user hears of it
    // when it does not come back, not only at start.
    auto* noticePoll = new QTimer(qApp);
    QObject::connect(noticePoll, &QTimer::timeout, qApp, [windows = services->WindowSystem.get()] {
        const std::string notice = windows->ForegroundNoticeTake();
        if (!notice.empty())
            TfrmBase::ShowMessage(QString::fromStdString(notice), QStringLiteral("Please Note"));
    });
    noticePoll->start(5000);
    return services;
}

void ProgramClockAttach(TClockSource& source)
{
    ClockTickSourceSet([&source] { return source.Ticks(); }, source.Frequency(), SystemNow(),
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
    // The end of summer time and a clock the user sets take effect at once, not at the next start.
    ClockWallSourceSet(SystemWallClockRead);
}
