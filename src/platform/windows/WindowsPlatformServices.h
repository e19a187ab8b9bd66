#pragma once

#include "platform/PlatformServices.h"

#include <memory>

// The Windows desktop's services: Win32 windows, processes from the image-name query and a
// Toolhelp snapshot, the interrupt-time clock, the low-level hooks for the hot key and browser
// addresses through IAccessible. ForegroundNotice stays empty: the window in front is seen.
std::unique_ptr<TPlatformServices> WindowsPlatformServicesCreate();

// No browser addresses, for tests that sample windows without any.
class TNoBrowserAddresses final : public TAccessibility
{
public:
    bool CanReadBrowserAddress() const override
    {
        return false;
    }
    std::string BrowserAddressGet(TWindowHandle, int64_t, TBrowserFamily) override
    {
        return {};
    }
};
