#pragma once

#include "platform/WindowSystem.h"

#include <cstdint>
#include <string>

// Browser families as the sample stores them; values are the stored kinds of a sample.
enum class TBrowserFamily : uint8_t
{
    None = 0,
    InternetExplorer = 1,
    Firefox = 2,
    Chromium = 3,
    Opera = 4,
};

// Reads what a browser window shows through the desktop's accessibility service.
class TAccessibility
{
public:
    virtual ~TAccessibility() = default;

    // False when the service is not reachable at all; callers then skip addresses.
    virtual bool CanReadBrowserAddress() const = 0;
    // The address the browser window shows, or empty when it cannot be read (no tree, time-out,
    // nothing that looks like an address). Only texts that begin with "http://", "https://",
    // "ftp://" or "ftps://" are accepted; the first accepted one wins. Never raises.
    virtual std::string BrowserAddressGet(TWindowHandle window, int64_t processId, TBrowserFamily family) = 0;
};
