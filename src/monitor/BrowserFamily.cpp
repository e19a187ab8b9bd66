#include "monitor/BrowserFamily.h"

#include "model/TextHelpers.h"

#include <string>

namespace {

// `name` is lower-case already. Exact names first, then the vendors' channel suffixes
// ("google-chrome-beta", "microsoft-edge-dev", "firefox-nightly").
TBrowserFamily FamilyOfName(std::string_view name)
{
    if (name.empty()) {
        return TBrowserFamily::None;
    }
    if (name == "firefox" || StartsWith(name, "firefox-") || name == "librewolf" || name == "waterfox"
        || name == "icecat") {
        return TBrowserFamily::Firefox;
    }
    if (name == "chromium" || name == "chromium-browser" || name == "chrome" || StartsWith(name, "google-chrome")
        || name == "msedge" || StartsWith(name, "microsoft-edge") || name == "brave"
        || StartsWith(name, "brave-browser") || name == "vivaldi" || name == "vivaldi-bin"
        || StartsWith(name, "vivaldi-")) {
        return TBrowserFamily::Chromium;
    }
    if (name == "opera" || StartsWith(name, "opera-")) {
        return TBrowserFamily::Opera;
    }
    return TBrowserFamily::None;
}

} // namespace

TBrowserFamily BrowserFamilyGet(std::string_view windowClass, std::string_view exePath)
{
    const TBrowserFamily byClass = FamilyOfName(AsciiLowerCase(windowClass));
    if (byClass != TBrowserFamily::None) {
        return byClass;
    }
    if (StartsWith(exePath, "Error: ")) {
        return TBrowserFamily::None;
    }
    // Windows programs carry their ".exe" (chrome.exe, msedge.exe, firefox.exe).
    std::string fileName = AsciiLowerCase(PathFileName(exePath));
    if (EndsWith(fileName, ".exe")) {
        fileName.resize(fileName.size() - 4);
    }
    return FamilyOfName(fileName);
}
