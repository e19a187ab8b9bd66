#include "monitor/BrowserFamily.h"

#include <gtest/gtest.h>

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
