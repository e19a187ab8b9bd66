#pragma once

#include "platform/PlatformServices.h"

#include <memory>

// The Windows desktop's services: Win32 windows, processes from the image-name query and a
// Toolhelp snapshot, the interrupt-time clock and the low-level hooks for the hot key. Browser
// addresses are not read yet (no UI Automation client): browsers are charged as programs, and
// ForegroundNotice stays empty since the window in front is seen.
std::unique_ptr<TPlatformServices> WindowsPlatformServicesCreate();

// Browser addresses through UI Automation are not read on Windows yet; this says so once.
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
