#pragma once

#include "platform/Accessibility.h"

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

// Browser addresses read through the desktop's accessibility bus (AT-SPI).
//
// The address is the one of the page the window shows: the showing web document's own address
// (attribute "DocURL" for Firefox, "URI" for the Chromium family), never the text in the address
// field, which is whatever the user is typing. The address field is read only when the browser
// exposes no page, and only when its text carries one of the address prefixes (Firefox: the
// entry with id "urlbar-input"; Chromium: the entry of class "OmniboxViewViews", which shows the
// scheme only in some modes).
//
// What a search found is kept per window (the browser's frame, its showing document) and checked
// on the next sample: the document must still be showing and the window's title unchanged since
// the search, else the search runs again. So a sample with a browser in front costs a few small
// calls; the list of accessible programs is read only for a window not seen before.
//
// Chromium builds the tree of its pages only when asked: the first samples of its window ask its
// frame for its attributes, which wakes it. A Chromium that started while the desktop's
// accessibility switch was off never joins the tree; the user is told once (log line and
// UserNoticeTake) to restart it.
//
// CanReadBrowserAddress and BrowserAddressGet are called from one thread only, the scan's (libatspi
// and the per-window state are not shared); UserNoticeTake may come from any thread.
class TAtspiAccessibility final : public TAccessibility
{
public:
    // Every call into a browser waits at most this long; a stopped browser would otherwise hold
    // the scan for the bus's default of 25 seconds. A sample starts no further call once half of
    // it has passed, so a sample of a browser that does not answer ends after about 1.5 of them.
    static constexpr int CallTimeoutMs = 1000;
    // How long a Chromium window may stay out of the tree before it counts as one that cannot
    // join (when it is not already known to have started before the switch was turned on).
    static constexpr int MissingChromiumSeconds = 20;

    // `windowSystem` gives the window titles that pick a browser's frame. `switchedOnAt` is the
    // moment (seconds of CLOCK_BOOTTIME) at which this program turned the desktop's accessibility
    // switch on, or 0 when it found it on: a Chromium process started before it cannot be read.
    explicit TAtspiAccessibility(TWindowSystem& windowSystem, double switchedOnAt = 0);
    ~TAtspiAccessibility() override;

    bool CanReadBrowserAddress() const override;
    // True when `text` begins with "http://", "https://", "ftp://" or "ftps://" (case-sensitive).
    static bool UrlPrefixHas(const std::string& text);
    std::string BrowserAddressGet(TWindowHandle window, int64_t processId, TBrowserFamily family) override;
    std::string UserNoticeTake() override;
    bool LastReadAnswered() const override;

    // Connects this process to the accessibility bus, once for every user of libatspi in it: the
    // first attempt's answer stands. (libatspi answers a second attempt after a failed first one
    // as if connected, and then ends the whole process on the first call.) Needs the session bus,
    // which carries the accessibility bus's address.
    static bool BusConnect();
    // The seconds of CLOCK_BOOTTIME now, the scale of `switchedOnAt`.
    static double BootSecondsNow();

    struct TWindowState;

private:
    bool Start() const;
    std::string AddressRead(TWindowHandle window, int64_t processId, TBrowserFamily family);
    void UnreadableTell(TWindowHandle window, int64_t processId);
    TWindowState& WindowStateGet(TWindowHandle window, int64_t processId);

    TWindowSystem& m_windowSystem;
    double m_switchedOnAt = 0;
    mutable int m_started = -1; // -1 not tried, 0 failed, 1 connected
    std::map<TWindowHandle, std::unique_ptr<TWindowState>> m_windows;
    std::set<int64_t> m_unreadableProcesses;
    std::set<std::string> m_toldPrograms;
    // Written by the thread that reads addresses, taken by the window's thread.
    std::mutex m_noticeMutex;
    std::string m_notice;
    bool m_lastAnswered = true;
};
