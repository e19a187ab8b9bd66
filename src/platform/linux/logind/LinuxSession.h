#pragma once

#include <functional>
#include <string>

// The kind of desktop session the program was started in, which decides how the window in
// front can be known.
enum class TLinuxDesktopKind
{
    None, // no display server at all
    X11, // an X11 session: the window manager's EWMH hints
    Sway, // sway or another compositor speaking i3's IPC: its layout tree
    KWin, // KDE Plasma's Wayland session: a script of the program's own inside KWin
    Gnome, // GNOME's Wayland session: an extension of the program's own inside GNOME Shell
    WaylandOther, // another Wayland compositor: its window list where it gives one (wlroots'), else nothing
};

struct TLinuxSession
{
    TLinuxDesktopKind Kind = TLinuxDesktopKind::None;
    // The desktop's own name as the session states it ("GNOME", "KDE", "sway"), for messages.
    std::string DesktopName;
    // The X display: the session's own on X11, XWayland's on Wayland (empty when there is none).
    std::string X11Display;
    std::string SwaySocket;
};

// Reads the session from the environment the desktop gave the program: XDG_SESSION_TYPE,
// WAYLAND_DISPLAY, SWAYSOCK (or I3SOCK), DISPLAY and the desktop names (XDG_CURRENT_DESKTOP,
// XDG_SESSION_DESKTOP, DESKTOP_SESSION). A Wayland session of KDE's is KWin's; one that names
// GNOME anywhere in XDG_CURRENT_DESKTOP ("ubuntu:GNOME") is GNOME Shell's. A sway session that does not name its
// socket is given the one in XDG_RUNTIME_DIR that answers. `environment` answers like getenv.
TLinuxSession LinuxSessionDetect(const std::function<const char*(const char*)>& environment);
TLinuxSession LinuxSessionDetect();

// The Qt platform the program's windows should use in this session, or empty to leave Qt's own
// choice. On Wayland the windows dock to a screen edge, stay on top and keep out of the task bar
// only as X11 clients, so XWayland is taken where it runs. `current` is QT_QPA_PLATFORM as set
// (an explicit choice of the user's is kept).
std::string LinuxSessionQtPlatform(const TLinuxSession& session, const std::string& current);

// A sentence for the user when the session lets the program see the window in front only in
// part or not at all; empty when it sees it. `failure` says why the desktop's channel (KWin's
// script, GNOME Shell's extension) could not be opened; without one, that channel is taken to
// work. `advice`, when given, says what the user can do instead of the desktop's default advice.
std::string LinuxSessionForegroundNotice(
    const TLinuxSession& session, const std::string& failure = "", const std::string& advice = "");
