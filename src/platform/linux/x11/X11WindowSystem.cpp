#include "platform/linux/x11/X11WindowSystem.h"

#include "platform/linux/CHandles.h"

#include "model/Exceptions.h"

#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

template <typename T> using TXcbReply = TMallocRef<T>;

// How far below a window manager's frame the client window is searched for (openbox puts it
// one level down; reparenting managers rarely go deeper than two).
constexpr int ClientSearchDepth = 3;
// A sample asks about the window in front right after finding it; later questions are answered
// afresh.
constexpr int FactsFreshMs = 500;

} // namespace

TX11WindowSystem::TX11WindowSystem(const std::string& displayName)
    : m_displayName(displayName)
{
    if (!Connect()) {
        const char* env = std::getenv("DISPLAY");
        const std::string shown = !displayName.empty() ? displayName : (env && *env ? env : "(DISPLAY is not set)");
        throw EOSError("Cannot open the X display " + shown);
    }
}

TX11WindowSystem::~TX11WindowSystem()
{
    Disconnect();
}

bool TX11WindowSystem::Connect()
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(m_displayName.empty() ? nullptr : m_displayName.c_str(), &screenNumber);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection)
            xcb_disconnect(connection);
        return false;
    }
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(connection);
        return false;
    }
    m_connection = connection;
    m_screenNumber = screenNumber;
    m_root = it.data->root;

    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(m_connection, &m_ewmh);
    xcb_generic_error_t* error = nullptr;
    m_ewmhReady = cookies && xcb_ewmh_init_atoms_replies(&m_ewmh, cookies, &error);
    std::free(error);

    m_wmState = AtomGet("WM_STATE");
    m_wmProtocols = AtomGet("WM_PROTOCOLS");
    m_wmDeleteWindow = AtomGet("WM_DELETE_WINDOW");

    const xcb_query_extension_reply_t* res = xcb_get_extension_data(m_connection, &xcb_res_id);
    m_resPresent = res && res->present;
    if (m_resPresent) {
        // Client ids need version 1.2 of the extension.
        TXcbReply<xcb_res_query_version_reply_t> version(
            xcb_res_query_version_reply(m_connection, xcb_res_query_version(m_connection, 1, 2), nullptr));
        m_resPresent = version && (version->server_major > 1 || version->server_minor >= 2);
    }
    return true;
}

void TX11WindowSystem::Disconnect()
{
    if (!m_connection)
        return;
    if (m_ewmhReady)
        xcb_ewmh_connection_wipe(&m_ewmh);
    m_ewmhReady = false;
    xcb_disconnect(m_connection);
    m_connection = nullptr;
}

bool TX11WindowSystem::Ready()
{
    if (m_connection && xcb_connection_has_error(m_connection))
        Disconnect();
    if (!m_connection && !Connect())
        return false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
        std::free(event);
    return true;
}

xcb_atom_t TX11WindowSystem::AtomGet(const char* name)
{
    xcb_intern_atom_cookie_t cookie = xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    TXcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, cookie, nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

bool TX11WindowSystem::WindowExists(xcb_window_t window)
{
    xcb_generic_error_t* error = nullptr;
    TXcbReply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), &error));
    std::free(error);
    return reply != nullptr;
}

bool TX11WindowSystem::WindowIsClient(xcb_window_t window)
{
    xcb_get_property_cookie_t cookie = xcb_get_property(m_connection, 0, window, m_wmState, XCB_ATOM_ANY, 0, 0);
    xcb_generic_error_t* error = nullptr;
    TXcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection, cookie, &error));
    std::free(error);
    return reply && reply->type != XCB_ATOM_NONE;
}

xcb_window_t TX11WindowSystem::ClientWindowFind(xcb_window_t window, int depth)
{
    if (WindowIsClient(window))
        return window;
    if (depth <= 0)
        return XCB_WINDOW_NONE;
    xcb_generic_error_t* error = nullptr;
    TXcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), &error));
    std::free(error);
    if (!tree)
        return XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    // The stacking order lists the topmost child last; the client is usually the only one.
    for (int i = count - 1; i >= 0; --i) {
        if (xcb_window_t client = ClientWindowFind(children[i], depth - 1))
            return client;
    }
    return XCB_WINDOW_NONE;
}

xcb_window_t TX11WindowSystem::FocusClientWindowGet()
{
    xcb_generic_error_t* error = nullptr;
    TXcbReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), &error));
    std::free(error);
    if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus->focus == m_root)
        return XCB_WINDOW_NONE;
    // Up from the focused window to the first client window, or to the root's child (a frame)
    // and then down to the client inside it.
    xcb_window_t window = focus->focus;
    for (int guard = 0; guard < 64; ++guard) {
        if (WindowIsClient(window))
            return window;
        error = nullptr;
        TXcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), &error));
        std::free(error);
        if (!tree)
            return XCB_WINDOW_NONE;
        if (tree->parent == m_root || tree->parent == XCB_WINDOW_NONE)
            return ClientWindowFind(window, ClientSearchDepth);
        window = tree->parent;
    }
    return XCB_WINDOW_NONE;
}

TWindowHandle TX11WindowSystem::ForegroundWindowGet()
{
    std::lock_guard lock(m_mutex);
    m_facts = {};
    if (!Ready())
        return 0;
    if (m_ewmhReady) {
        xcb_window_t active = XCB_WINDOW_NONE;
        xcb_generic_error_t* error = nullptr;
        const bool known = xcb_ewmh_get_active_window_reply(
            &m_ewmh, xcb_ewmh_get_active_window(&m_ewmh, m_screenNumber), &active, &error);
        std::free(error);
        if (known && active != XCB_WINDOW_NONE) {
            // Whether the window still exists, and what a sample asks next about it, in one
            // round trip.
            const xcb_get_window_attributes_cookie_t exists = xcb_get_window_attributes(m_connection, active);
            const TFactsRequests requests = FactsRequest(active, true, true, true);
            error = nullptr;
            TXcbReply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(m_connection, exists, &error));
            std::free(error);
            m_facts.Window = active;
            m_facts.Taken = std::chrono::steady_clock::now();
            m_facts.ProcessId = ProcessIdReceive(requests);
            m_facts.ClassName = ClassNameReceive(requests);
            m_facts.Text = TextReceive(requests);
            m_facts.PidKept = m_facts.ClassKept = m_facts.TextKept = attributes != nullptr;
            // Some managers leave the property naming a window that is gone (openbox after the
            // last window closes); then the input focus is the better witness.
            if (attributes)
                return active;
            m_facts = {};
        }
    }
    return FocusClientWindowGet();
}

std::vector<TWindowHandle> TX11WindowSystem::TopLevelWindowsGet()
{
    std::lock_guard lock(m_mutex);
    std::vector<TWindowHandle> windows;
    if (!Ready())
        return windows;
    if (m_ewmhReady) {
        xcb_ewmh_get_windows_reply_t list {};
        xcb_generic_error_t* error = nullptr;
        const bool known
            = xcb_ewmh_get_client_list_reply(&m_ewmh, xcb_ewmh_get_client_list(&m_ewmh, m_screenNumber), &list, &error);
        std::free(error);
        if (known) {
            windows.assign(list.windows, list.windows + list.windows_len);
            xcb_ewmh_get_windows_reply_wipe(&list);
            return windows;
        }
    }
    // No EWMH manager: the root's children, each taken down to its client window.
    xcb_generic_error_t* error = nullptr;
    TXcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), &error));
    std::free(error);
    if (!tree)
        return windows;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
        if (xcb_window_t client = ClientWindowFind(children[i], ClientSearchDepth))
            windows.push_back(client);
    }
    return windows;
}

bool TX11WindowSystem::FactsFresh(TWindowHandle window) const
{
    return m_facts.Window == window
        && std::chrono::steady_clock::now() - m_facts.Taken < std::chrono::milliseconds(FactsFreshMs);
}

TX11WindowSystem::TFactsRequests TX11WindowSystem::FactsRequest(
    xcb_window_t window, bool pid, bool className, bool text)
{
    TFactsRequests requests;
    requests.Window = window;
    requests.Res = pid && m_resPresent;
    requests.Ewmh = m_ewmhReady;
    if (requests.Res) {
        // The server knows which local client created the window, whatever the client claims.
        xcb_res_client_id_spec_t spec { window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID };
        requests.ResCookie = xcb_res_query_client_ids(m_connection, 1, &spec);
    }
    if (pid && requests.Ewmh)
        requests.PidCookie = xcb_ewmh_get_wm_pid(&m_ewmh, window);
    if (className)
        requests.ClassCookie = xcb_icccm_get_wm_class(m_connection, window);
    if (text) {
        if (requests.Ewmh)
            requests.EwmhNameCookie = xcb_ewmh_get_wm_name(&m_ewmh, window);
        requests.NameCookie = xcb_icccm_get_wm_name(m_connection, window);
    }
    return requests;
}

int64_t TX11WindowSystem::ProcessIdReceive(const TFactsRequests& requests)
{
    int64_t processId = 0;
    if (requests.Res) {
        xcb_generic_error_t* error = nullptr;
        TXcbReply<xcb_res_query_client_ids_reply_t> reply(
            xcb_res_query_client_ids_reply(m_connection, requests.ResCookie, &error));
        std::free(error);
        if (reply) {
            for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem && processId == 0;
                 xcb_res_client_id_value_next(&it)) {
                if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) && it.data->length >= 4)
                    processId = *xcb_res_client_id_value_value(it.data);
            }
        }
    }
    if (requests.Ewmh && requests.PidCookie.sequence) {
        uint32_t pid = 0;
        xcb_generic_error_t* error = nullptr;
        const bool known = xcb_ewmh_get_wm_pid_reply(&m_ewmh, requests.PidCookie, &pid, &error);
        std::free(error);
        if (processId == 0 && known)
            processId = pid;
    }
    return processId;
}

std::string TX11WindowSystem::ClassNameReceive(const TFactsRequests& requests)
{
    xcb_icccm_get_wm_class_reply_t wmClass {};
    xcb_generic_error_t* error = nullptr;
    const bool known = xcb_icccm_get_wm_class_reply(m_connection, requests.ClassCookie, &wmClass, &error);
    std::free(error);
    if (!known)
        return {};
    std::string className = wmClass.class_name ? wmClass.class_name : "";
    xcb_icccm_get_wm_class_reply_wipe(&wmClass);
    return className;
}

std::string TX11WindowSystem::TextReceive(const TFactsRequests& requests)
{
    // Both titles were asked for at once; the EWMH one (UTF-8) wins when the window has it.
    std::string text;
    bool found = false;
    if (requests.Ewmh) {
        xcb_ewmh_get_utf8_strings_reply_t name {};
        xcb_generic_error_t* error = nullptr;
        found = xcb_ewmh_get_wm_name_reply(&m_ewmh, requests.EwmhNameCookie, &name, &error);
        std::free(error);
        if (found) {
            text.assign(name.strings, name.strings_len);
            xcb_ewmh_get_utf8_strings_reply_wipe(&name);
        }
    }
    xcb_icccm_get_text_property_reply_t name {};
    xcb_generic_error_t* error = nullptr;
    const bool known = xcb_icccm_get_wm_name_reply(m_connection, requests.NameCookie, &name, &error);
    std::free(error);
    if (known) {
        if (!found)
            text.assign(name.name, name.name_len);
        xcb_icccm_get_text_property_reply_wipe(&name);
    }
    return text;
}

bool TX11WindowSystem::WindowTaskbarSkipSet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    if (window == 0 || window > UINT32_MAX || !Ready() || !m_ewmhReady)
        return false;
    const auto xWindow = static_cast<xcb_window_t>(window);
    // Added to what the window's toolkit put there, which it merges in turn when it maps.
    std::vector<xcb_atom_t> states;
    xcb_ewmh_get_atoms_reply_t present {};
    xcb_generic_error_t* error = nullptr;
    if (xcb_ewmh_get_wm_state_reply(&m_ewmh, xcb_ewmh_get_wm_state(&m_ewmh, xWindow), &present, &error)) {
        states.assign(present.atoms, present.atoms + present.atoms_len);
        xcb_ewmh_get_atoms_reply_wipe(&present);
    }
    std::free(error);
    for (xcb_atom_t wanted : { m_ewmh._NET_WM_STATE_SKIP_TASKBAR, m_ewmh._NET_WM_STATE_SKIP_PAGER }) {
        if (std::find(states.begin(), states.end(), wanted) == states.end())
            states.push_back(wanted);
    }
    const xcb_void_cookie_t cookie
        = xcb_ewmh_set_wm_state_checked(&m_ewmh, xWindow, static_cast<uint32_t>(states.size()), states.data());
    error = xcb_request_check(m_connection, cookie);
    const bool done = error == nullptr;
    std::free(error);
    return done;
}

int64_t TX11WindowSystem::WindowProcessIdGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    if (window == 0 || window > UINT32_MAX)
        return 0;
    if (m_facts.PidKept && FactsFresh(window)) {
        m_facts.PidKept = false;
        return m_facts.ProcessId;
    }
    if (!Ready())
        return 0;
    return ProcessIdReceive(FactsRequest(static_cast<xcb_window_t>(window), true, false, false));
}

std::string TX11WindowSystem::WindowClassNameGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    if (window == 0 || window > UINT32_MAX)
        return {};
    if (m_facts.ClassKept && FactsFresh(window)) {
        m_facts.ClassKept = false;
        return std::move(m_facts.ClassName);
    }
    if (!Ready())
        return {};
    return ClassNameReceive(FactsRequest(static_cast<xcb_window_t>(window), false, true, false));
}

std::string TX11WindowSystem::WindowTextGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    if (window == 0 || window > UINT32_MAX)
        return {};
    if (m_facts.TextKept && FactsFresh(window)) {
        m_facts.TextKept = false;
        return std::move(m_facts.Text);
    }
    if (!Ready())
        return {};
    return TextReceive(FactsRequest(static_cast<xcb_window_t>(window), false, false, true));
}

bool TX11WindowSystem::WindowCloseRequest(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    if (window == 0 || window > UINT32_MAX || !Ready())
        return false;
    const auto xWindow = static_cast<xcb_window_t>(window);

    xcb_icccm_get_wm_protocols_reply_t protocols {};
    xcb_generic_error_t* error = nullptr;
    bool deleteWindow = false;
    if (xcb_icccm_get_wm_protocols_reply(
            m_connection, xcb_icccm_get_wm_protocols(m_connection, xWindow, m_wmProtocols), &protocols, &error)) {
        deleteWindow = std::find(protocols.atoms, protocols.atoms + protocols.atoms_len, m_wmDeleteWindow)
            != protocols.atoms + protocols.atoms_len;
        xcb_icccm_get_wm_protocols_reply_wipe(&protocols);
    } else if (error) {
        // The window is gone.
        std::free(error);
        return false;
    }

    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    if (deleteWindow) {
        message.window = xWindow;
        message.type = m_wmProtocols;
        message.data.data32[0] = m_wmDeleteWindow;
        message.data.data32[1] = XCB_CURRENT_TIME;
    } else if (m_ewmhReady) {
        // A window that does not take the polite request is closed the way its title-bar button
        // would: by asking the window manager.
        message.window = xWindow;
        message.type = m_ewmh._NET_CLOSE_WINDOW;
        message.data.data32[0] = XCB_CURRENT_TIME;
        message.data.data32[1] = XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER;
    } else {
        return false;
    }
    const xcb_window_t destination = deleteWindow ? xWindow : m_root;
    const uint32_t mask = deleteWindow ? XCB_EVENT_MASK_NO_EVENT
                                       : XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
    xcb_void_cookie_t cookie
        = xcb_send_event_checked(m_connection, 0, destination, mask, reinterpret_cast<const char*>(&message));
    error = xcb_request_check(m_connection, cookie);
    const bool sent = error == nullptr;
    std::free(error);
    return sent;
}
