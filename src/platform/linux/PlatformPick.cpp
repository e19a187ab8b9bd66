#include "platform/PlatformPick.h"

#include "model/ProgramLog.h"
#include "platform/linux/DisplayServers.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/dbus/LogindSessionPower.h"
#include "platform/linux/logind/LinuxSession.h"
#include "platform/linux/proc/ProcFsProcesses.h"
#include "platform/linux/sway/SwayWindowPlacement.h"
#include "platform/linux/sway/SwayWindowSystem.h"
#include "platform/linux/wlroots/ForeignToplevelWindowSystem.h"
#include "platform/linux/xdg/XdgInstalledApplications.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string EnvironmentGet(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

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

// Where the window in front is read, for the log.
std::string ChannelDescribe(const TLinuxSession& session, const TPlatformServices& services)
{
    const std::string xwaylandAlone
        = session.X11Display.empty() ? "nothing" : "XWayland's display " + session.X11Display + " alone";
    switch (session.Kind) {
    case TLinuxDesktopKind::Sway:
        return "sway's IPC socket " + session.SwaySocket;
    case TLinuxDesktopKind::X11:
        return "the X display " + session.X11Display;
    case TLinuxDesktopKind::KWin:
        return services.ForegroundNotice.empty() ? "KWin's window script" : xwaylandAlone;
    case TLinuxDesktopKind::Gnome:
        return services.ForegroundNotice.empty() ? "Tallyhour's GNOME Shell extension" : xwaylandAlone;
    default:
        if (auto* toplevels = dynamic_cast<TForeignToplevelWindowSystem*>(services.WindowSystem.get()))
            return "the compositor's foreign-toplevel window list on " + toplevels->DisplayName();
        return xwaylandAlone;
    }
}

} // namespace

std::string WindowPlatformChoose()
{
    const std::string current = EnvironmentGet("QT_QPA_PLATFORM");
    const TLinuxSession session = LinuxSessionDetect();
    const std::string chosen = LinuxSessionQtPlatform(session, current);
    // Qt aborts the program (with a core dump) when no platform it tries can start, and a
    // compositor or X server that ended leaves its variables (and its socket's file) behind:
    // so the display servers are asked first.
    const std::string wayland = EnvironmentGet("WAYLAND_DISPLAY");
    const std::string x11 = EnvironmentGet("DISPLAY");
    const bool waylandAnswers = !wayland.empty() && WaylandDisplayAnswers(wayland, EnvironmentGet("XDG_RUNTIME_DIR"));
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
        setenv("QT_QPA_PLATFORM", x11Answers ? "xcb;wayland" : "wayland", 1);
        return {};
    }
    // Otherwise Qt's own choice, unless it would take the display that does not answer.
    const bool waylandSession = session.Kind != TLinuxDesktopKind::X11 && session.Kind != TLinuxDesktopKind::None;
    if (waylandSession ? !waylandAnswers : !x11Answers)
        setenv("QT_QPA_PLATFORM", x11Answers ? "xcb" : "wayland", 1);
    return {};
}

std::unique_ptr<TPlatformServices> PlatformServicesPick(const std::string& windowPlatform)
{
    std::unique_ptr<TPlatformServices> services;
    if (windowPlatform != "xcb" && windowPlatform != "wayland") {
        LogMessageWrite("Desktop monitoring is not available on the \"" + windowPlatform
            + "\" window system; the program runs without it.");
        services = std::make_unique<TPlatformServices>();
        services->Processes = std::make_unique<TProcFsProcesses>();
    } else {
        // The windows may run through XWayland while the session is Wayland's: the session, not
        // the windows' platform, says where the window in front is known.
        const TLinuxSession session = LinuxSessionDetect();
        services = LinuxPlatformServicesCreate(session);
        if (auto* sway = dynamic_cast<TSwayWindowSystem*>(services->WindowSystem.get())) {
            // The main window is a narrow panel and the others are small dialogs: tiled, sway would
            // stretch each over its share of the screen. (XWayland's are floated for their kind
            // already; Wayland ones are not.)
            if (!sway->ProcessWindowsFloat(getpid()))
                LogMessageWrite("sway did not take the rule that floats the program's windows; they may be tiled");
            services->WindowPlacement = std::make_unique<TSwayWindowPlacement>(*sway);
        }
        LogMessageWrite("The window in front is read through " + ChannelDescribe(session, *services)
            + "; the program's windows run on Qt's \"" + windowPlatform + "\" platform.");
        if (windowPlatform == "wayland" && session.X11Display.empty()) {
            LogMessageWrite(session.Kind == TLinuxDesktopKind::Sway
                    ? "XWayland does not run in this session, so the program's windows are Wayland windows: sway "
                      "floats them above the tiled ones and moves the main window to the screen's edge when the "
                      "program asks."
                    : "XWayland does not run in this session, so the program's windows are Wayland windows: the "
                      "desktop places them (the main window is not docked to the screen's edge), may not keep them "
                      "on top, and may list them in the task bar.");
        }
    }
    // Locking, sleep and shutdown go through the session's services, whatever the window system;
    // the configuration windows find installed programs in the desktop's menus and folders.
    services->SessionPower = std::make_unique<TLogindSessionPower>();
    services->InstalledApplications = std::make_unique<TXdgInstalledApplications>();
    return services;
}
