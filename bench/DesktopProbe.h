#pragma once

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <vector>

// The program's windows as another client of the X server sees them: its icon embedded in the
// tray (a mapped, icon-sized window of the process below another window than the root) and its
// main window, and the main window's answer to the window manager's ping.
class TDesktopProbe
{
public:
    using TClock = std::chrono::steady_clock;

    explicit TDesktopProbe(const std::string& display)
    {
        m_connection = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        m_pidAtom = AtomGet("_NET_WM_PID");
        m_protocolsAtom = AtomGet("WM_PROTOCOLS");
        m_pingAtom = AtomGet("_NET_WM_PING");
        // The answer to a ping goes to the root window, to the clients that listen there (Qt
        // sends it to those that listen for the root's own structure changes, as well as to the
        // window manager).
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
    }
    ~TDesktopProbe()
    {
        xcb_disconnect(m_connection);
    }
    TDesktopProbe(const TDesktopProbe&) = delete;
    TDesktopProbe& operator=(const TDesktopProbe&) = delete;

    xcb_window_t IconFind(pid_t pid)
    {
        return Search(m_root, pid, 0, true);
    }
    // The shown windows docked into the tray whose window is `tray`: those inside it that another
    // client made. A program whose icon another process of its own docks (Wine's, whose desktop
    // process docks every program's icon) is known only by the count going up.
    int TrayIconsCount(xcb_window_t tray)
    {
        const uint32_t mask = xcb_get_setup(m_connection)->resource_id_mask;
        return ForeignShownCount(tray, tray & ~mask, mask, 0);
    }
    // A shown window of the process, larger than an icon, that takes the window manager's pings.
    xcb_window_t MainWindowFind(pid_t pid)
    {
        return Search(m_root, pid, 0, false);
    }
    // Sends a _NET_WM_PING to `window` every `interval` seconds for `seconds`, whether or not
    // the earlier ones were answered, as a user's clicks and the window manager's pings come at
    // any moment, and gives each one's round trip in seconds: the answers a stalled window owes
    // count from when each was asked. Waits up to `patience` seconds past the end for the last
    // answers; a ping still unanswered then counts the whole wait.
    std::vector<double> PingEvery(xcb_window_t window, double seconds, double interval, double patience)
    {
        xcb_client_message_event_t ping {};
        ping.response_type = XCB_CLIENT_MESSAGE;
        ping.format = 32;
        ping.window = window;
        ping.type = m_protocolsAtom;
        ping.data.data32[0] = m_pingAtom;
        ping.data.data32[2] = window;
        std::map<uint32_t, TClock::time_point> asked; // by the serial sent as the time stamp
        std::vector<double> roundTrips;
        const auto start = TClock::now();
        const auto span = [](double value) {
            return std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(value));
        };
        const TClock::time_point end = start + span(seconds);
        const TClock::time_point giveUp = end + span(patience);
        const TClock::duration step = span(interval);
        auto next = start;
        while (!xcb_connection_has_error(m_connection)) {
            auto now = TClock::now();
            if (now >= giveUp)
                break;
            if (now < end && now >= next) {
                ping.data.data32[1] = ++m_serial;
                asked[m_serial] = now;
                xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ping));
                xcb_flush(m_connection);
                next += step;
            }
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                    const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                    const auto found = asked.find(message->data.data32[1]);
                    if (message->window == m_root && message->type == m_protocolsAtom
                        && message->data.data32[0] == m_pingAtom && found != asked.end()) {
                        roundTrips.push_back(std::chrono::duration<double>(TClock::now() - found->second).count());
                        asked.erase(found);
                    }
                }
                std::free(event);
            }
            now = TClock::now();
            if (now >= end && asked.empty())
                break;
            const auto wake = now < end ? std::min(next, end) : giveUp;
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
            if (wait > 0) {
                pollfd descriptor { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
                ::poll(&descriptor, 1, static_cast<int>(wait));
            }
        }
        const auto last = TClock::now();
        for (const auto& [serial, when] : asked)
            roundTrips.push_back(std::chrono::duration<double>(last - when).count());
        return roundTrips;
    }

private:
    xcb_atom_t AtomGet(const char* name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }
    xcb_window_t Search(xcb_window_t window, pid_t pid, int depth, bool icon)
    {
        xcb_query_tree_reply_t* tree
            = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
        if (!tree)
            return 0;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        const int count = xcb_query_tree_children_length(tree);
        xcb_window_t found = 0;
        for (int i = 0; i < count && !found; ++i) {
            if ((!icon || depth > 0) && Matches(children[i], pid, icon))
                found = children[i];
            else if (depth < 6)
                found = Search(children[i], pid, depth + 1, icon);
        }
        std::free(tree);
        return found;
    }
    int ForeignShownCount(xcb_window_t window, uint32_t ownerBase, uint32_t mask, int depth)
    {
        xcb_query_tree_reply_t* tree
            = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
        if (!tree)
            return 0;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        const int childCount = xcb_query_tree_children_length(tree);
        int count = 0;
        for (int i = 0; i < childCount; ++i) {
            if ((children[i] & ~mask) != ownerBase) {
                xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
                    m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr);
                count += attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE ? 1 : 0;
                std::free(attributes);
            } else if (depth < 6) {
                count += ForeignShownCount(children[i], ownerBase, mask, depth + 1);
            }
        }
        std::free(tree);
        return count;
    }
    bool Matches(xcb_window_t window, pid_t pid, bool icon)
    {
        xcb_get_property_reply_t* property = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        bool ours = property && xcb_get_property_value_length(property) == 4
            && *static_cast<uint32_t*>(xcb_get_property_value(property)) == static_cast<uint32_t>(pid);
        std::free(property);
        if (!ours)
            return false;
        xcb_get_window_attributes_reply_t* attributes
            = xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr);
        xcb_get_geometry_reply_t* geometry
            = xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr);
        const bool shown = attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        const bool small = geometry && geometry->width <= 64 && geometry->height <= 64;
        std::free(attributes);
        std::free(geometry);
        return shown && (icon ? small : !small && TakesPings(window));
    }
    bool TakesPings(xcb_window_t window)
    {
        xcb_get_property_reply_t* property = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, m_protocolsAtom, XCB_ATOM_ATOM, 0, 32), nullptr);
        bool pings = false;
        if (property) {
            const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(property));
            const int count = xcb_get_property_value_length(property) / 4;
            pings = std::find(atoms, atoms + count, m_pingAtom) != atoms + count;
        }
        std::free(property);
        return pings;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = XCB_ATOM_NONE;
    xcb_atom_t m_protocolsAtom = XCB_ATOM_NONE;
    xcb_atom_t m_pingAtom = XCB_ATOM_NONE;
    uint32_t m_serial = 0;
};
