// Browsers as Wayland clients on sway: the window in front and its process come from sway's IPC.

#include "WaylandBrowsers.h"

namespace {

struct TSwaySession
{
    static void Require()
    {
        TH_REQUIRE_PROGRAMS("sway");
    }
    static bool Start(TTestDesktop& desktop)
    {
        // The session's bus, which starts the accessibility bus when it is first asked for it.
        return desktop.SwayStart(false) && desktop.SessionBusStart();
    }
    static constexpr TLinuxDesktopKind Kind = TLinuxDesktopKind::Sway;
    static constexpr bool ActivatesWindows = true;
    static constexpr bool SharesWindowNumbers = true; // sway's own container ids
};

using SwayBrowsers = TWaylandBrowsers<TSwaySession>;

} // namespace

TEST_F(SwayBrowsers, TheFirstSampleSwitchesTheDesktopsAccessibilityOnAndSaysSo)
{
    FirstSampleCheck();
}

TEST_F(SwayBrowsers, FirefoxOnWaylandGivesTheShownAddress)
{
    AddressShownCheck("firefox-esr", "Mozila FireFox");
}

TEST_F(SwayBrowsers, ChromiumOnWaylandGivesTheShownAddress)
{
    AddressShownCheck("chromium", "Google Chrome");
}
