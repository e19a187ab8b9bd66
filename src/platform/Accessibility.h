#pragma once

#include "platform/WindowSystem.h"

#include <cstdint>
#include <string>
#include <string_view>

// Browser families as the sample stores them; values are the stored kinds of a sample.
enum class TBrowserFamily : uint8_t
{
    None = 0,
    InternetExplorer = 1,
    Firefox = 2,
    Chromium = 3,
    Opera = 4,
};

// Whether a text looks like an address: it begins, case-sensitively and at its first character,
// with "http://", "https://", "ftp://" or "ftps://". Backends accept only such texts.
inline bool UrlPrefixHas(std::string_view text)
{
    for (std::string_view prefix : { "http://", "https://", "ftp://", "ftps://" }) {
        if (text.substr(0, prefix.size()) == prefix) {
            return true;
        }
    }
    return false;
}

// Reads what a browser window shows through the desktop's accessibility service.
class TAccessibility
{
public:
    virtual ~TAccessibility() = default;

    // False when the service is not reachable at all; callers then skip addresses.
    virtual bool CanReadBrowserAddress() const = 0;
    // The address the top-level browser window `window` shows, or empty when it cannot be read
    // (no tree, time-out, nothing that looks like an address). Only texts for which UrlPrefixHas
    // is true are accepted; the first accepted one wins. `processId` is the window's owner as
    // TWindowSystem::WindowProcessIdGet gave it; `family` is never None (callers ask only for
    // browsers). Called on every scan while a browser is in front, so it must stay cheap and
    // never block for longer than a second. Never raises.
    virtual std::string BrowserAddressGet(TWindowHandle window, int64_t processId, TBrowserFamily family) = 0;
    // Whether the last BrowserAddressGet had the browser's answer within its bound. False: the
    // browser did not answer in time (busy, hung), and the empty address says nothing about the
    // page it shows.
    virtual bool LastReadAnswered() const
    {
        return true;
    }
    // A note for the user, in the program's own words, about a browser whose addresses cannot be
    // read and what to do about it (restart it, say); each browser program is told once. Taking
    // the note clears it; empty when there is nothing new. The same text has gone to the log.
    virtual std::string UserNoticeTake()
    {
        return {};
    }
};
