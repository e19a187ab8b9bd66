// Browsers as Wayland clients on GNOME Shell, as in GNOME's Wayland session: the window in front
// and its process come from the Shell, through the program's extension, installed as the package
// installs it and left off.

#include "WaylandBrowsers.h"

namespace {

struct TGnomeSession
{
    static void Require()
    {
        TH_REQUIRE_PROGRAMS("gnome-shell");
        if (std::system("/usr/bin/python3 -c 'import dbusmock' >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "python3-dbusmock (the stand-in for logind) is not installed";
    }
    static bool Start(TTestDesktop& desktop)
    {
        return desktop.GnomeStart(GNOME_EXTENSION_SOURCE);
    }
    static constexpr TLinuxDesktopKind Kind = TLinuxDesktopKind::Gnome;
    // The extension activates no window: a new window taking the focus puts it in front.
    static constexpr bool ActivatesWindows = false;
    // The tool numbers the Shell's windows its own way; the window is recognised by its title.
    static constexpr bool SharesWindowNumbers = false;
};

using GnomeBrowsers = TWaylandBrowsers<TGnomeSession>;

} // namespace

TEST_F(GnomeBrowsers, TheFirstSampleSwitchesTheDesktopsAccessibilityOnAndSeesTheWindowInFront)
{
    FirstSampleCheck();
    // The sample switched the program's extension on, as the program does.
    const std::string output = s_firstSample["output"];
    EXPECT_NE(output.find("Enabled Tallyhour's GNOME Shell extension"), std::string::npos) << output;
}

TEST_F(GnomeBrowsers, FirefoxOnWaylandGivesTheShownAddress)
{
    AddressShownCheck("firefox-esr", "Mozila FireFox");
}

TEST_F(GnomeBrowsers, ChromiumOnWaylandGivesTheShownAddress)
{
    AddressShownCheck("chromium", "Google Chrome");
}
