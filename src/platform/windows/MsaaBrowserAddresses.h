#pragma once

#include "platform/Accessibility.h"

#include <chrono>
#include <map>
#include <string>

// Browser addresses through Microsoft Active Accessibility (IAccessible): the browser window's
// first editable text (breadth first), which in Chromium-family browsers and Firefox is the
// address bar, when its value is an address; the page's own fields, deeper, are never read. While the address bar has
// the keyboard focus its text may be what the user is typing, so the window's last address read (the page shown) stands
// for it. A walk visits a bounded number of objects and stops after a time limit.
class TMsaaBrowserAddresses final : public TAccessibility
{
public:
    explicit TMsaaBrowserAddresses(
        std::chrono::milliseconds timeLimit = std::chrono::milliseconds(800), int objectLimit = 3000);
    ~TMsaaBrowserAddresses() override;
    TMsaaBrowserAddresses(const TMsaaBrowserAddresses&) = delete;
    TMsaaBrowserAddresses& operator=(const TMsaaBrowserAddresses&) = delete;

    bool CanReadBrowserAddress() const override
    {
        return true;
    }
    std::string BrowserAddressGet(TWindowHandle window, int64_t processId, TBrowserFamily family) override;

private:
    std::chrono::milliseconds m_timeLimit;
    int m_objectLimit;
    bool m_comInitialized = false;
    // The page each browser window showed last; dropped with the window.
    std::map<TWindowHandle, std::string> m_shown;
};
