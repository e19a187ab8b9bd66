#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/logind/LinuxSession.h"

#include "model/ProgramLog.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TLinuxSession Detect(const std::map<std::string, std::string>& variables)
{
    return LinuxSessionDetect([&variables](const char* name) -> const char* {
        const auto it = variables.find(name);
        return it == variables.end() ? nullptr : it->second.c_str();
    });
}

} // namespace

TEST(LinuxSession, TheSessionTypeDecidesAndSwayIsKnownByItsSocket)
{
    EXPECT_EQ(Detect({}).Kind, TLinuxDesktopKind::None);
    EXPECT_EQ(Detect({ { "DISPLAY", ":0" } }).Kind, TLinuxDesktopKind::X11);
    // A Wayland session's XWayland display does not make it an X11 session.
    const TLinuxSession sway = Detect({ { "XDG_SESSION_TYPE", "wayland" }, { "WAYLAND_DISPLAY", "wayland-1" },
        { "DISPLAY", ":1" }, { "SWAYSOCK", "/run/user/1000/sway-ipc.1000.42.sock" } });
    EXPECT_EQ(sway.Kind, TLinuxDesktopKind::Sway);
    EXPECT_EQ(sway.SwaySocket, "/run/user/1000/sway-ipc.1000.42.sock");
    EXPECT_EQ(sway.X11Display, ":1");
    EXPECT_EQ(sway.DesktopName, "sway");
    // Started by hand from a console: no session type, only the compositor's variables.
    EXPECT_EQ(
        Detect({ { "WAYLAND_DISPLAY", "wayland-0" }, { "SWAYSOCK", "/tmp/s.sock" } }).Kind, TLinuxDesktopKind::Sway);
    // An X11 session that carries a stray WAYLAND_DISPLAY (a nested compositor's) stays X11.
    EXPECT_EQ(Detect({ { "XDG_SESSION_TYPE", "x11" }, { "WAYLAND_DISPLAY", "wayland-0" }, { "DISPLAY", ":0" } }).Kind,
        TLinuxDesktopKind::X11);
    const TLinuxSession gnome = Detect({ { "XDG_SESSION_TYPE", "wayland" }, { "WAYLAND_DISPLAY", "wayland-0" },
        { "XDG_CURRENT_DESKTOP", "ubuntu:GNOME" } });
    EXPECT_EQ(gnome.Kind, TLinuxDesktopKind::Gnome);
    EXPECT_EQ(gnome.DesktopName, "ubuntu");
    EXPECT_EQ(Detect({ { "WAYLAND_DISPLAY", "wayland-0" }, { "XDG_CURRENT_DESKTOP", "GNOME-Classic:GNOME" } }).Kind,
        TLinuxDesktopKind::Gnome);
    // GNOME on Xorg stays X11; a desktop that only borrows GNOME's parts in its name does not.
    EXPECT_EQ(Detect({ { "XDG_SESSION_TYPE", "x11" }, { "XDG_CURRENT_DESKTOP", "GNOME" }, { "DISPLAY", ":0" } }).Kind,
        TLinuxDesktopKind::X11);
    EXPECT_EQ(Detect({ { "WAYLAND_DISPLAY", "wayland-0" }, { "XDG_CURRENT_DESKTOP", "Hyprland" } }).Kind,
        TLinuxDesktopKind::WaylandOther);
    // KDE's Wayland session, however the login manager spells it; its X11 session stays X11.
    EXPECT_EQ(
        Detect({ { "XDG_SESSION_TYPE", "wayland" }, { "XDG_CURRENT_DESKTOP", "KDE" } }).Kind, TLinuxDesktopKind::KWin);
    EXPECT_EQ(Detect({ { "WAYLAND_DISPLAY", "wayland-0" }, { "XDG_SESSION_DESKTOP", "plasmawayland" } }).Kind,
        TLinuxDesktopKind::KWin);
    EXPECT_EQ(Detect({ { "XDG_SESSION_TYPE", "x11" }, { "XDG_CURRENT_DESKTOP", "KDE" }, { "DISPLAY", ":0" } }).Kind,
        TLinuxDesktopKind::X11);
}

TEST(LinuxSession, WindowsRunThroughXWaylandWhereItIsUnlessTheUserChoseOtherwise)
{
    const TLinuxSession sway
        = Detect({ { "WAYLAND_DISPLAY", "wayland-1" }, { "DISPLAY", ":1" }, { "SWAYSOCK", "/s" } });
    EXPECT_EQ(LinuxSessionQtPlatform(sway, ""), "xcb");
    EXPECT_EQ(LinuxSessionQtPlatform(sway, "wayland"), "wayland");
    const TLinuxSession kde = Detect({ { "XDG_SESSION_TYPE", "wayland" }, { "DISPLAY", ":0" } });
    EXPECT_EQ(LinuxSessionQtPlatform(kde, ""), "xcb");
    // No XWayland: Qt's own choice.
    EXPECT_EQ(LinuxSessionQtPlatform(Detect({ { "WAYLAND_DISPLAY", "wayland-0" } }), ""), "");
    EXPECT_EQ(LinuxSessionQtPlatform(Detect({ { "DISPLAY", ":0" } }), ""), "");
}

TEST(LinuxSession, ADesktopWhoseWindowInFrontCannotBeSeenIsToldAndLoggedNotSilent)
{
    LogFileNameSet("/dev/null");
    const TLinuxSession other = Detect({ { "XDG_SESSION_TYPE", "wayland" }, { "WAYLAND_DISPLAY", "wayland-0" },
        { "XDG_CURRENT_DESKTOP", "Hyprland" } });
    auto services = LinuxPlatformServicesCreate(other);
    ASSERT_TRUE(services && services->WindowSystem && services->Processes && services->Accessibility);
    EXPECT_NE(services->ForegroundNotice.find("Hyprland"), std::string::npos) << services->ForegroundNotice;
    EXPECT_NE(services->ForegroundNotice.find("not counted"), std::string::npos);
    EXPECT_EQ(services->ForegroundNotice.find("XWayland"), std::string::npos);
    EXPECT_EQ(services->WindowSystem->ForegroundWindowGet(), 0u);
    EXPECT_TRUE(services->WindowSystem->TopLevelWindowsGet().empty());

    const TLinuxSession kde
        = Detect({ { "XDG_SESSION_TYPE", "wayland" }, { "XDG_CURRENT_DESKTOP", "KDE" }, { "DISPLAY", ":0" } });
    // KWin's script sees every window: nothing to say until it fails, and then why.
    EXPECT_EQ(LinuxSessionForegroundNotice(kde), "");
    const std::string kwinNotice = LinuxSessionForegroundNotice(kde, "KWin refused the window script");
    EXPECT_NE(kwinNotice.find("Plasma (X11)"), std::string::npos) << kwinNotice;
    EXPECT_NE(kwinNotice.find("XWayland"), std::string::npos) << kwinNotice;
    EXPECT_NE(kwinNotice.find("(KWin refused the window script)"), std::string::npos) << kwinNotice;
    EXPECT_NE(
        LinuxSessionForegroundNotice(Detect({ { "WAYLAND_DISPLAY", "w" }, { "XDG_CURRENT_DESKTOP", "Hyprland" } }))
            .find("(Hyprland)"),
        std::string::npos);
    // GNOME Shell's extension likewise; when it cannot run, the user reads why and what to do
    // about that very cause, not the general advice.
    const TLinuxSession gnome
        = Detect({ { "XDG_SESSION_TYPE", "wayland" }, { "XDG_CURRENT_DESKTOP", "ubuntu:GNOME" }, { "DISPLAY", ":0" } });
    EXPECT_EQ(LinuxSessionForegroundNotice(gnome), "");
    const std::string gnomeNotice
        = LinuxSessionForegroundNotice(gnome, "GNOME Shell has not loaded its extension", "Log out and in again.");
    EXPECT_NE(gnomeNotice.find("GNOME's Wayland session (GNOME Shell has not loaded its extension)"), std::string::npos)
        << gnomeNotice;
    EXPECT_NE(gnomeNotice.find("Log out and in again."), std::string::npos) << gnomeNotice;
    EXPECT_EQ(gnomeNotice.find("GNOME on Xorg"), std::string::npos) << gnomeNotice;
    EXPECT_NE(LinuxSessionForegroundNotice(gnome, "GNOME Shell is not on the session bus").find("GNOME on Xorg"),
        std::string::npos);

    // A sway whose socket is gone and a session without any display: told, never raised.
    auto deadSway
        = LinuxPlatformServicesCreate(Detect({ { "WAYLAND_DISPLAY", "w" }, { "SWAYSOCK", "/nonexistent/s" } }));
    EXPECT_NE(deadSway->ForegroundNotice.find("/nonexistent/s"), std::string::npos);
    EXPECT_EQ(deadSway->WindowSystem->ForegroundWindowGet(), 0u);
    EXPECT_FALSE(LinuxPlatformServicesCreate(Detect({}))->ForegroundNotice.empty());
    // Where the window in front is seen, nothing is said.
    EXPECT_EQ(LinuxSessionForegroundNotice(Detect({ { "DISPLAY", ":0" } })), "");
}
