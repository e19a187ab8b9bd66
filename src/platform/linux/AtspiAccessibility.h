#pragma once

#include "platform/Accessibility.h"

#include <string>

// Browser addresses read through the desktop's accessibility bus (AT-SPI).
//
// The browser's accessible application is the one whose process owns the window; of its frames
// the one titled like the window is taken (else the active one). The address field is found by
// a Collection query on its stable attributes, never by its caption, which is translated:
// - Firefox: the combo box or entry with the attribute id "urlbar-input"; its text keeps the
//   scheme.
// - Chromium family and Opera: the showing web document's own address (document attribute
//   "URI", or "DocURL"), because the address entry drops the scheme; when no document is
//   exposed, the entry (attribute class "OmniboxViewViews") is read as it stands.
// Only texts with one of the address prefixes count, and the first accepted one wins.
class TAtspiAccessibility final : public TAccessibility
{
public:
    // Every call into a browser waits at most this long; a stopped browser would otherwise hold
    // the scan for the bus's default of 25 seconds.
    static constexpr int CallTimeoutMs = 1000;

    // `windowSystem` gives the window titles that pick a browser's frame.
    explicit TAtspiAccessibility(TWindowSystem& windowSystem);

    bool CanReadBrowserAddress() const override;
    // True when `text` begins with "http://", "https://", "ftp://" or "ftps://" (case-sensitive).
    static bool UrlPrefixHas(const std::string& text);
    std::string BrowserAddressGet(TWindowHandle window, int64_t processId, TBrowserFamily family) override;

private:
    bool Start() const;

    TWindowSystem& m_windowSystem;
    mutable int m_started = -1; // -1 not tried, 0 failed, 1 connected
    bool m_chromiumHintLogged = false;
};
