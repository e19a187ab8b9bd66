#include "monitor/BrowserFamily.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(BrowserFamily, WindowClassNamesTheFamily)
{
    EXPECT_EQ(BrowserFamilyGet("firefox-esr", ""), TBrowserFamily::Firefox);
    EXPECT_EQ(BrowserFamilyGet("Firefox", ""), TBrowserFamily::Firefox);
    EXPECT_EQ(BrowserFamilyGet("firefox-nightly", ""), TBrowserFamily::Firefox);
    EXPECT_EQ(BrowserFamilyGet("Chromium", ""), TBrowserFamily::Chromium);
    EXPECT_EQ(BrowserFamilyGet("Google-chrome", ""), TBrowserFamily::Chromium);
    EXPECT_EQ(BrowserFamilyGet("Microsoft-edge-beta", ""), TBrowserFamily::Chromium);
    EXPECT_EQ(BrowserFamilyGet("Brave-browser", ""), TBrowserFamily::Chromium);
    EXPECT_EQ(BrowserFamilyGet("Vivaldi-stable", ""), TBrowserFamily::Chromium);
    EXPECT_EQ(BrowserFamilyGet("Opera", ""), TBrowserFamily::Opera);
}

TEST(BrowserFamily, ExecutableDecidesWhenTheClassSaysNothing)
{
    EXPECT_EQ(BrowserFamilyGet("crx_abcdef", "/opt/google/chrome/chrome"), TBrowserFamily::Chromium);
    EXPECT_EQ(BrowserFamilyGet("", "/usr/lib/firefox/firefox-bin"), TBrowserFamily::Firefox);
    EXPECT_EQ(BrowserFamilyGet("", "/opt/vivaldi/vivaldi-bin"), TBrowserFamily::Chromium);
    EXPECT_EQ(BrowserFamilyGet("", "/usr/lib/x86_64-linux-gnu/opera/opera"), TBrowserFamily::Opera);
    EXPECT_EQ(BrowserFamilyGet("", "/opt/microsoft/msedge/msedge"), TBrowserFamily::Chromium);
    // Windows programs by their file name, without its ".exe"; the windows' classes
    // (Chrome_WidgetWin_1, MozillaWindowClass) name no family.
    EXPECT_EQ(BrowserFamilyGet("Chrome_WidgetWin_1", "/opt/wine/Chrome.EXE"), TBrowserFamily::Chromium);
    if (std::filesystem::path::preferred_separator == '\\') {
        EXPECT_EQ(
            BrowserFamilyGet("Chrome_WidgetWin_1", "C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe"),
            TBrowserFamily::Chromium);
        EXPECT_EQ(BrowserFamilyGet("MozillaWindowClass", "C:\\Program Files\\Mozilla Firefox\\firefox.exe"),
            TBrowserFamily::Firefox);
        EXPECT_EQ(BrowserFamilyGet("Notepad", "C:\\windows\\system32\\notepad.exe"), TBrowserFamily::None);
    } else {
        // On POSIX a backslash is part of a name: this is one odd file name, not a browser.
        EXPECT_EQ(BrowserFamilyGet("", "/tmp/x\\chrome"), TBrowserFamily::None);
    }
}

TEST(BrowserFamily, OtherProgramsAreNoBrowsers)
{
    // Programs built on a browser engine, and names that merely contain a browser's name.
    EXPECT_EQ(BrowserFamilyGet("Code", "/usr/share/code/code"), TBrowserFamily::None);
    EXPECT_EQ(BrowserFamilyGet("XTerm", "/usr/bin/xterm"), TBrowserFamily::None);
    EXPECT_EQ(BrowserFamilyGet("", "/home/u/bin/chromium-helper-tool"), TBrowserFamily::None);
    EXPECT_EQ(BrowserFamilyGet("", "/usr/bin/operator"), TBrowserFamily::None);
    EXPECT_EQ(BrowserFamilyGet("", "Error: No such process"), TBrowserFamily::None);
    EXPECT_EQ(BrowserFamilyGet("", ""), TBrowserFamily::None);
}
