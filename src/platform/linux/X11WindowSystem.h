#pragma once

#include "platform/WindowSystem.h"

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <string>

// The window system of an X11 desktop, read through the window manager's EWMH properties.
// Every request is checked and its error swallowed: the windows asked about belong to other
// programs and vanish at any moment, so an error is an answer ("not available"), not a fault.
class TX11WindowSystem final : public TWindowSystem
{
public:
    // Opens `displayName` (empty: the DISPLAY of the environment). Raises EOSError when the
    // display cannot be opened.
    explicit TX11WindowSystem(const std::string& displayName = "");
    ~TX11WindowSystem() override;
    TX11WindowSystem(const TX11WindowSystem&) = delete;
    TX11WindowSystem& operator=(const TX11WindowSystem&) = delete;

    TWindowHandle ForegroundWindowGet() override;
    std::vector<TWindowHandle> TopLevelWindowsGet() override;
    int64_t WindowProcessIdGet(TWindowHandle window) override;
    std::string WindowClassNameGet(TWindowHandle window) override;
    std::string WindowTextGet(TWindowHandle window) override;
    bool WindowCloseRequest(TWindowHandle window) override;
    bool WindowTaskbarSkipSet(TWindowHandle window) override;

    // The display's name as opened, for messages.
    const std::string& DisplayName() const
    {
        return m_displayName;
    }

private:
    bool Connect();
    void Disconnect();
    // Drops queued events and errors (nothing here reads them; left alone they would pile up for
    // the whole session) and reconnects once a broken connection is noticed.
    bool Ready();
    bool WindowExists(xcb_window_t window);
    bool WindowIsClient(xcb_window_t window);
    xcb_window_t ClientWindowFind(xcb_window_t window, int depth);
    xcb_window_t FocusClientWindowGet();
    xcb_atom_t AtomGet(const char* name);

    std::string m_displayName;
    xcb_connection_t* m_connection = nullptr;
    xcb_ewmh_connection_t m_ewmh {};
    bool m_ewmhReady = false;
    int m_screenNumber = 0;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    bool m_resPresent = false;
    xcb_atom_t m_wmState = XCB_ATOM_NONE;
    xcb_atom_t m_wmProtocols = XCB_ATOM_NONE;
    xcb_atom_t m_wmDeleteWindow = XCB_ATOM_NONE;
};
