#include "platform/linux/x11/XInputHotkeySource.h"

#include "platform/linux/CHandles.h"

#include "model/ProgramLog.h"

#include <xcb/xinput.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

constexpr uint32_t kKeysymAltL = 0xffe9;
constexpr uint32_t kKeysymAltR = 0xffea;

template <typename T> using TReply = TMallocRef<T>;

} // namespace

TXInputHotkeySource::TXInputHotkeySource(const std::string& displayName)
{
    if (!Connect(displayName)) {
        Disconnect();
        LogMessageWrite("The hot key is not available: " + m_errorText + ".");
    }
}

TXInputHotkeySource::~TXInputHotkeySource()
{
    Disconnect();
}

bool TXInputHotkeySource::Connect(const std::string& displayName)
{
    int screenNumber = 0;
    m_connection = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
    if (!m_connection || xcb_connection_has_error(m_connection)) {
        m_errorText = "the X display could not be opened";
        return false;
    }
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(m_connection, &xcb_input_id);
    if (!extension || !extension->present) {
        m_errorText = "the X server has no input extension (XInputExtension)";
        return false;
    }
    m_opcode = extension->major_opcode;
    // Raw events reach every program that selected them, whatever grabs others hold, from
    // version 2.1 on.
    TReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(m_connection, xcb_input_xi_query_version(m_connection, 2, 2), nullptr));
    if (!version || version->major_version < 2 || (version->major_version == 2 && version->minor_version < 1)) {
        m_errorText = "the X server's input extension is older than 2.1";
        return false;
    }

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i) {
        xcb_screen_next(&screens);
    }
    if (!screens.rem) {
        m_errorText = "the X display has no screen";
        return false;
    }
    struct
    {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } selection {};
    selection.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    selection.head.mask_len = 1;
    selection.mask = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE
        | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS;
    TReply<xcb_generic_error_t> error(xcb_request_check(
        m_connection, xcb_input_xi_select_events_checked(m_connection, screens.data->root, 1, &selection.head)));
    if (error) {
        m_errorText = "the X server refused to report raw key events (error " + std::to_string(error->error_code) + ")";
        return false;
    }
    KeyboardMappingLoad();
    return true;
}

void TXInputHotkeySource::KeyboardMappingLoad()
{
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    m_minKeyCode = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    m_altKeys.assign(std::max(count, 0), false);
    TReply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(m_connection,
        xcb_get_keyboard_mapping(m_connection, setup->min_keycode, static_cast<uint8_t>(count)), nullptr));
    if (!mapping || mapping->keysyms_per_keycode == 0) {
        return;
    }
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    for (int i = 0; i < length; ++i) {
        if (keysyms[i] == kKeysymAltL || keysyms[i] == kKeysymAltR) {
            const size_t index = static_cast<size_t>(i / mapping->keysyms_per_keycode);
            if (index < m_altKeys.size()) {
                m_altKeys[index] = true;
            }
        }
    }
}

bool TXInputHotkeySource::IsAltKey(uint32_t code) const
{
    return code >= m_minKeyCode && code - m_minKeyCode < m_altKeys.size() && m_altKeys[code - m_minKeyCode];
}

void TXInputHotkeySource::Disconnect()
{
    if (m_connection) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
    }
}

bool TXInputHotkeySource::CanWatchKeys() const
{
    return m_connection != nullptr;
}

int TXInputHotkeySource::EventDescriptor() const
{
    return m_connection ? xcb_get_file_descriptor(m_connection) : -1;
}

bool TXInputHotkeySource::EventsDispatch()
{
    if (!m_connection) {
        return false;
    }
    while (xcb_generic_event_t* raw = xcb_poll_for_event(m_connection)) {
        TReply<xcb_generic_event_t> event(raw);
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_MAPPING_NOTIFY) {
            KeyboardMappingLoad();
            continue;
        }
        if (type != XCB_GE_GENERIC) {
            continue;
        }
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
        if (generic->extension != m_opcode) {
            continue;
        }
        TKeyEvent keyEvent;
        if (generic->event_type == XCB_INPUT_RAW_KEY_PRESS || generic->event_type == XCB_INPUT_RAW_KEY_RELEASE) {
            const auto* key = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event.get());
            const bool down = generic->event_type == XCB_INPUT_RAW_KEY_PRESS;
            keyEvent.Code = key->detail;
            if (IsAltKey(key->detail)) {
                keyEvent.Kind = down ? TKeyEventKind::AltDown : TKeyEventKind::AltUp;
            } else {
                keyEvent.Kind = down ? TKeyEventKind::OtherKeyDown : TKeyEventKind::OtherKeyUp;
            }
        } else if (generic->event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
            keyEvent.Kind = TKeyEventKind::ButtonDown;
        } else {
            continue;
        }
        if (m_handler) {
            m_handler(keyEvent);
        }
    }
    if (xcb_connection_has_error(m_connection)) {
        m_errorText = "the connection to the X display broke";
        LogMessageWrite("The hot key stopped working: " + m_errorText + ".");
        Disconnect();
        return false;
    }
    return true;
}

void TXInputHotkeySource::KeyEventHandlerSet(std::function<void(const TKeyEvent&)> handler)
{
    m_handler = std::move(handler);
}

std::string TXInputHotkeySource::HotkeyNameGet() const
{
    return m_connection ? "Alt pressed twice" : "";
}
