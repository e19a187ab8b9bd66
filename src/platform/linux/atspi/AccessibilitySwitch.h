#pragma once

#include <string>

// The desktop's switch for assistive technologies: the property IsEnabled of org.a11y.Status,
// served by the accessibility bus launcher (org.a11y.Bus on the session bus). A desktop's
// accessibility setting sets it (GNOME keeps it as org.gnome.desktop.interface
// toolkit-accessibility, which the launcher writes through). Browsers read it: Firefox joins the
// accessibility tree whenever it turns on, Chromium only when it was on as Chromium started.
struct TAccessibilitySwitch
{
    // The session bus and the launcher answered.
    bool Reached = false;
    // IsEnabled as found, and as left.
    bool WasOn = false;
    bool On = false;
    // Why the switch could not be read or set; empty when it could.
    std::string ErrorText;
};

// Reads the switch and turns it on when it is off. Never raises; waits at most `timeoutMs` per
// call. Reaches the session bus through DBUS_SESSION_BUS_ADDRESS or $XDG_RUNTIME_DIR/bus only:
// with neither there is no session to switch, and none is started.
TAccessibilitySwitch AccessibilitySwitchOn(int timeoutMs);
