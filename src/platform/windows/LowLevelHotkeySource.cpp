#include "platform/windows/LowLevelHotkeySource.h"

#include <windows.h>

namespace {

// The hooks' procedures have no context argument; one source at a time installs them.
std::function<void(const TKeyEvent&)> g_handler;

LRESULT CALLBACK KeyboardHook(int code, WPARAM message, LPARAM data)
{
    if (code == HC_ACTION && g_handler) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        const bool released = message == WM_KEYUP || message == WM_SYSKEYUP;
        // Repeats of a held key come as further key-downs, as on X11 with auto-repeat.
        g_handler(TLowLevelHotkeySource::KeyEventFrom(key->vkCode, released));
    }
    return ::CallNextHookEx(nullptr, code, message, data);
}

LRESULT CALLBACK MouseHook(int code, WPARAM message, LPARAM data)
{
    if (code == HC_ACTION && g_handler
        && (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN
            || message == WM_XBUTTONDOWN)) {
        g_handler(TKeyEvent { TKeyEventKind::ButtonDown, 0 });
    }
    return ::CallNextHookEx(nullptr, code, message, data);
}

} // namespace

TLowLevelHotkeySource::TLowLevelHotkeySource()
{
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    m_keyboardHook = ::SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHook, module, 0);
    m_mouseHook = ::SetWindowsHookExW(WH_MOUSE_LL, MouseHook, module, 0);
}

TLowLevelHotkeySource::~TLowLevelHotkeySource()
{
    if (m_keyboardHook) {
        ::UnhookWindowsHookEx(static_cast<HHOOK>(m_keyboardHook));
    }
    if (m_mouseHook) {
        ::UnhookWindowsHookEx(static_cast<HHOOK>(m_mouseHook));
    }
    g_handler = nullptr;
}

bool TLowLevelHotkeySource::CanWatchKeys() const
{
    return m_keyboardHook != nullptr;
}

void TLowLevelHotkeySource::KeyEventHandlerSet(std::function<void(const TKeyEvent&)> handler)
{
    g_handler = std::move(handler);
}

std::string TLowLevelHotkeySource::HotkeyNameGet() const
{
    return CanWatchKeys() ? "Alt pressed twice" : std::string();
}

TKeyEvent TLowLevelHotkeySource::KeyEventFrom(uint32_t virtualKey, bool released)
{
    // Left, right and the generic Alt alike; AltGr comes as right Alt (with a Ctrl before it,
    // which breaks the double press, as on X11).
    const bool alt = virtualKey == VK_MENU || virtualKey == VK_LMENU || virtualKey == VK_RMENU;
    if (alt) {
        return { released ? TKeyEventKind::AltUp : TKeyEventKind::AltDown, virtualKey };
    }
    return { released ? TKeyEventKind::OtherKeyUp : TKeyEventKind::OtherKeyDown, virtualKey };
}
