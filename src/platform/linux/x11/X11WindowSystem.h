#pragma once

#include "platform/WindowSystem.h"

#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <chrono>
#include <mutex>
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
    // Requests for a window's owner, class and title, sent together so that their answers come
    // back in one round trip.
    struct TFactsRequests
    {
        xcb_window_t Window = XCB_WINDOW_NONE;
        bool Res = false;
        xcb_res_query_client_ids_cookie_t ResCookie {};
        bool Ewmh = false;
        xcb_get_property_cookie_t PidCookie {};
        xcb_get_property_cookie_t EwmhNameCookie {};
        xcb_get_property_cookie_t ClassCookie {};
        xcb_get_property_cookie_t NameCookie {};
    };
    // What one foreground query learnt about the window in front, each fact to be used once: the
    // sample that follows asks for it at once, and anyone asking later gets a fresh answer.
    struct TFacts
    {
        xcb_window_t Window = XCB_WINDOW_NONE;
        std::chrono::steady_clock::time_point Taken {};
        bool PidKept = false;
        int64_t ProcessId = 0;
        bool ClassKept = false;
        std::string ClassName;
        bool TextKept = false;
        std::string Text;
    };

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
    // The facts of the last foreground query about `window`, while they are fresh.
    bool FactsFresh(TWindowHandle window) const;
    TFactsRequests FactsRequest(xcb_window_t window, bool pid, bool className, bool text);
    int64_t ProcessIdReceive(const TFactsRequests& requests);
    std::string ClassNameReceive(const TFactsRequests& requests);
    std::string TextReceive(const TFactsRequests& requests);

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
    TFacts m_facts;
    // The scan samples on a thread of its own while the windows' thread keeps windows out of the task
    // bar: one connection (which a reconnect replaces) and one set of facts serve both, one call at a time.
    std::mutex m_mutex;
};
