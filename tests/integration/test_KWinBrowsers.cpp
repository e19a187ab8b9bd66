// Browsers as Wayland clients on KWin, as in KDE Plasma's Wayland session: the window in front
// and its process come from KWin, through the program's script.

#include "WaylandBrowsers.h"

namespace {

struct TKWinSession
{
    static void Require()
    {
        TH_REQUIRE_PROGRAMS("kwin_wayland");
    }
    static bool Start(TTestDesktop& desktop)
    {
        return desktop.KWinStart();
    }
    static constexpr TLinuxDesktopKind Kind = TLinuxDesktopKind::KWin;
    static constexpr bool ActivatesWindows = true;
    // The tool numbers KWin's windows its own way; the window is recognised by its title.
    static constexpr bool SharesWindowNumbers = false;
};

using KWinBrowsers = TWaylandBrowsers<TKWinSession>;

} // namespace

TEST_F(KWinBrowsers, TheFirstSampleSwitchesTheDesktopsAccessibilityOnAndSeesTheWindowInFront)
{
    FirstSampleCheck();
}

TEST_F(KWinBrowsers, FirefoxOnWaylandGivesTheShownAddress)
{
    AddressShownCheck("firefox-esr", "Mozila FireFox");
}

TEST_F(KWinBrowsers, ChromiumOnWaylandGivesTheShownAddress)
{
    AddressShownCheck("chromium", "Google Chrome");
}
