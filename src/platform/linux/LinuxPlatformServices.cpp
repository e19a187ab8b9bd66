#include "platform/linux/LinuxPlatformServices.h"

#include "model/ProgramLog.h"
#include "platform/linux/BootTimeClockSource.h"
#include "platform/linux/LinuxHotkeySources.h"
#include "platform/linux/atspi/AccessibilitySwitch.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/gnome/GnomeWindowSystem.h"
#include "platform/linux/kwin/KWinWindowSystem.h"
#include "platform/linux/proc/ProcFsProcesses.h"
#include "platform/linux/sway/SwayWindowSystem.h"
#include "platform/linux/wlroots/ForeignToplevelWindowSystem.h"
#include "platform/linux/x11/X11WindowSystem.h"
#include "platform/linux/x11/XInputHotkeySource.h"

namespace {

// Browsers expose the pages they show only while the desktop's accessibility switch is on, and
// an ordinary desktop leaves it off: so the program turns it on for the session and says so.
// Returns the moment it did (0 when it found the switch on, or could not reach it).
double AccessibilityEnable()
{
    const TAccessibilitySwitch state = AccessibilitySwitchOn(2 * TAtspiAccessibility::CallTimeoutMs);
    if (!state.Reached || !state.On) {
        LogMessageWrite("The desktop's accessibility support cannot be switched on (" + state.ErrorText
            + "); the addresses shown by web browsers are not read");
        return 0;
    }
    if (state.WasOn) {
        LogMessageWrite("The desktop's accessibility support is on; the addresses shown by web browsers are read "
                        "through it");
        return 0;
    }
    LogMessageWrite("Switched on the desktop's accessibility support (org.a11y.Status IsEnabled) so that the "
                    "addresses shown by web browsers can be read; a Chromium-family browser already running must be "
                    "restarted for its sites to be counted");
    return TAtspiAccessibility::BootSecondsNow();
}

std::unique_ptr<TPlatformServices> ServicesAssemble(
    std::unique_ptr<TWindowSystem> windowSystem, std::unique_ptr<THotkeySource> hotkeySource)
{
    auto services = std::make_unique<TPlatformServices>();
    services->Accessibility = std::make_unique<TAtspiAccessibility>(*windowSystem, AccessibilityEnable());
    services->WindowSystem = std::move(windowSystem);
    services->Processes = std::make_unique<TProcFsProcesses>();
    services->ClockSource = std::make_unique<TBootTimeClockSource>();
    services->HotkeySource = std::move(hotkeySource);
    return services;
}

} // namespace

std::unique_ptr<TPlatformServices> LinuxPlatformServicesCreate(const std::string& displayName)
{
    return ServicesAssemble(
        std::make_unique<TX11WindowSystem>(displayName), std::make_unique<TXInputHotkeySource>(displayName));
}

std::unique_ptr<TPlatformServices> LinuxPlatformServicesCreate(const TLinuxSession& session)
{
    std::unique_ptr<TWindowSystem> windowSystem;
    std::string notice = LinuxSessionForegroundNotice(session);
    try {
        switch (session.Kind) {
        case TLinuxDesktopKind::Sway:
            windowSystem = std::make_unique<TSwayWindowSystem>(session.SwaySocket);
            break;
        case TLinuxDesktopKind::X11:
            windowSystem = std::make_unique<TX11WindowSystem>(session.X11Display);
            break;
        case TLinuxDesktopKind::KWin:
            try {
                windowSystem = std::make_unique<TKWinWindowSystem>();
            } catch (const std::exception& error) {
                // XWayland's windows are still seen; the notice says the rest is not.
                notice = LinuxSessionForegroundNotice(session, error.what());
                if (!session.X11Display.empty())
                    windowSystem = std::make_unique<TX11WindowSystem>(session.X11Display);
            }
            break;
        case TLinuxDesktopKind::Gnome:
            try {
                windowSystem = std::make_unique<TGnomeWindowSystem>();
            } catch (const EGnomeExtensionError& error) {
                notice = LinuxSessionForegroundNotice(session, error.what(), error.Advice);
                if (!session.X11Display.empty())
                    windowSystem = std::make_unique<TX11WindowSystem>(session.X11Display);
            } catch (const std::exception& error) {
                notice = LinuxSessionForegroundNotice(session, error.what());
                if (!session.X11Display.empty())
                    windowSystem = std::make_unique<TX11WindowSystem>(session.X11Display);
            }
            break;
        case TLinuxDesktopKind::WaylandOther:
            // wlroots compositors hand their window list to any client; others do not, and leave
            // XWayland's windows alone to be seen.
            try {
                windowSystem = std::make_unique<TForeignToplevelWindowSystem>();
                notice.clear();
            } catch (const std::exception& error) {
                notice = LinuxSessionForegroundNotice(session, error.what());
                if (!session.X11Display.empty())
                    windowSystem = std::make_unique<TX11WindowSystem>(session.X11Display);
            }
            break;
        case TLinuxDesktopKind::None:
            notice = "Tallyhour finds no display server in this session, so it cannot see which window is in "
                     "front and counts no time.";
            break;
        }
    } catch (const std::exception& error) {
        notice = "Tallyhour cannot see which window is in front, so the time spent on the applications and sites "
                 "of your list is not counted: "
            + std::string(error.what()) + ".";
    }
    if (!windowSystem)
        windowSystem = std::make_unique<TUnseenWindowSystem>();
    auto services = ServicesAssemble(std::move(windowSystem), LinuxHotkeySourceCreate(session));
    services->ForegroundNotice = notice;
    if (!notice.empty())
        LogMessageWrite(notice);
    return services;
}
