#include "platform/linux/logind/LinuxSession.h"

#include "platform/linux/DisplayServers.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string DesktopNameRead(const std::function<const char*(const char*)>& environment)
{
    for (const char* name : { "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION" }) {
        const char* value = environment(name);
        if (value && *value) {
            // XDG_CURRENT_DESKTOP lists names, most specific first ("ubuntu:GNOME").
            std::string text(value);
            const size_t colon = text.find(':');
            return colon == std::string::npos ? text : text.substr(0, colon);
        }
    }
    return {};
}

bool Contains(const std::string& text, const char* part)
{
    return Lower(text).find(part) != std::string::npos;
}

// sway's socket by the name sway gives it in the runtime folder (sway-ipc.UID.PID.sock), for a
// program started without sway's variables (a service of the user's, for instance). Sockets of
// ended sways stay behind, so only one that answers counts.
std::string SwaySocketFind(const std::string& runtimeFolder)
{
    if (runtimeFolder.empty())
        return {};
    const std::string prefix = "sway-ipc." + std::to_string(getuid()) + ".";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(runtimeFolder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(".sock") && UnixSocketAnswers(entry.path().string()))
            return entry.path().string();
    }
    return {};
}

} // namespace

TLinuxSession LinuxSessionDetect(const std::function<const char*(const char*)>& environment)
{
    auto text = [&environment](const char* name) {
        const char* value = environment(name);
        return std::string(value ? value : "");
    };
    TLinuxSession session;
    session.DesktopName = DesktopNameRead(environment);
    session.X11Display = text("DISPLAY");
    const std::string type = Lower(text("XDG_SESSION_TYPE"));
    // The session type names the session when the login manager set it; a desktop started by
    // hand (or nested) is known by its own variables.
    const bool wayland = type == "wayland" || (type != "x11" && !text("WAYLAND_DISPLAY").empty());
    if (wayland) {
        session.SwaySocket = text("SWAYSOCK");
        // sway names its socket twice; compositors that only speak i3's protocol name it once.
        if (session.SwaySocket.empty())
            session.SwaySocket = text("I3SOCK");
        if (session.SwaySocket.empty() && Contains(session.DesktopName, "sway"))
            session.SwaySocket = SwaySocketFind(text("XDG_RUNTIME_DIR"));
        if (!session.SwaySocket.empty())
            session.Kind = TLinuxDesktopKind::Sway;
        else if (Contains(session.DesktopName, "kde") || Contains(session.DesktopName, "plasma"))
            session.Kind = TLinuxDesktopKind::KWin;
        // Distributions put their own name first ("ubuntu:GNOME", "pop:GNOME"); GNOME Shell is
        // the compositor of all of them.
        else if (Contains(text("XDG_CURRENT_DESKTOP"), "gnome") || Contains(session.DesktopName, "gnome"))
            session.Kind = TLinuxDesktopKind::Gnome;
        else
            session.Kind = TLinuxDesktopKind::WaylandOther;
        if (session.DesktopName.empty() && session.Kind == TLinuxDesktopKind::Sway)
            session.DesktopName = "sway";
    } else if (!session.X11Display.empty()) {
        session.Kind = TLinuxDesktopKind::X11;
    }
    return session;
}

TLinuxSession LinuxSessionDetect()
{
    return LinuxSessionDetect([](const char* name) { return std::getenv(name); });
}

std::string LinuxSessionQtPlatform(const TLinuxSession& session, const std::string& current)
{
    if (!current.empty())
        return current;
    const bool wayland = session.Kind == TLinuxDesktopKind::Sway || session.Kind == TLinuxDesktopKind::KWin
        || session.Kind == TLinuxDesktopKind::Gnome || session.Kind == TLinuxDesktopKind::WaylandOther;
    return wayland && !session.X11Display.empty() ? "xcb" : "";
}

std::string LinuxSessionForegroundNotice(
    const TLinuxSession& session, const std::string& failure, const std::string& advice)
{
    const bool ownChannel = session.Kind == TLinuxDesktopKind::KWin || session.Kind == TLinuxDesktopKind::Gnome;
    if (ownChannel && failure.empty())
        return {};
    if (session.Kind != TLinuxDesktopKind::WaylandOther && !ownChannel)
        return {};
    const std::string& name = session.DesktopName;
    std::string desktop;
    std::string todo = advice;
    if (session.Kind == TLinuxDesktopKind::Gnome || Contains(name, "gnome") || Contains(name, "ubuntu")
        || Contains(name, "unity")) {
        desktop = "GNOME's Wayland session";
        if (todo.empty())
            todo = "Choose \"GNOME on Xorg\" at the login screen to have them counted.";
    } else if (session.Kind == TLinuxDesktopKind::KWin || Contains(name, "kde") || Contains(name, "plasma")) {
        desktop = "KDE Plasma's Wayland session";
        if (todo.empty())
            todo = "Choose \"Plasma (X11)\" at the login screen to have them counted.";
    } else {
        desktop = name.empty() ? "this Wayland desktop" : "this Wayland desktop (" + name + ")";
        if (todo.empty())
            todo = "Log in to an X11 session, or to sway, to have them counted.";
    }
    const std::string partly = session.X11Display.empty() ? "" : " Only programs that run through XWayland are seen.";
    const std::string reason = failure.empty() ? "" : " (" + failure + ")";
    return "Tallyhour cannot see which window is in front on " + desktop + reason
        + ", so the time spent on the applications and sites of your list is not counted." + partly + " " + todo;
}
