#pragma once

#include "platform/Accessibility.h"

#include <string_view>

// Which browser family a top-level window belongs to, from its window class (the class part of
// WM_CLASS) and the full path of its executable. The class decides when it names a browser;
// otherwise the executable's file name does, so a browser started under an unusual class (a
// renamed profile, a web-app window) is still read. Both compare ignoring ASCII case.
//   Firefox family:  firefox, firefox-esr, firefox-bin, firefox-*, librewolf, waterfox, icecat
//   Chromium family: chromium, chromium-browser, chrome, google-chrome*, msedge, microsoft-edge*,
//                    brave, brave-browser*, vivaldi, vivaldi-bin, vivaldi-stable*
//   Opera:           opera, opera-*
// An executable text that is an error ("Error: ...") is no evidence. There is no Internet
// Explorer here: that family is never returned.
TBrowserFamily BrowserFamilyGet(std::string_view windowClass, std::string_view exePath);
