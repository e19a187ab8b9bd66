#pragma once

#include "platform/HotkeySource.h"

#include <xcb/xcb.h>

#include <string>
#include <vector>

// Watches the keyboard through the X input extension's raw events on the root window. Nothing
// is grabbed: the events are copies the server sends to every program that asked, so Alt goes
// on working in every other program (menus, Alt+Tab, Alt+drag). A connection of its own keeps
// these events apart from the window system's queries.
class TXInputHotkeySource final : public THotkeySource
{
public:
    // Opens `displayName` (empty: the DISPLAY of the environment). Never raises: a display
    // without the extension (or none at all) gives a source that cannot watch keys, and
    // ErrorText() says why.
    explicit TXInputHotkeySource(const std::string& displayName = "");
    ~TXInputHotkeySource() override;
    TXInputHotkeySource(const TXInputHotkeySource&) = delete;
    TXInputHotkeySource& operator=(const TXInputHotkeySource&) = delete;

    bool CanWatchKeys() const override;
    int EventDescriptor() const override;
    bool EventsDispatch() override;
    void KeyEventHandlerSet(std::function<void(const TKeyEvent&)> handler) override;
    std::string HotkeyNameGet() const override;

    const std::string& ErrorText() const
    {
        return m_errorText;
    }

private:
    bool Connect(const std::string& displayName);
    void KeyboardMappingLoad();
    bool IsAltKey(uint32_t code) const;
    void Disconnect();

    xcb_connection_t* m_connection = nullptr;
    uint8_t m_opcode = 0;
    uint32_t m_minKeyCode = 0;
    std::vector<bool> m_altKeys; // by key code - m_minKeyCode
    std::function<void(const TKeyEvent&)> m_handler;
    std::string m_errorText;
};
