#pragma once

#include "platform/HotkeySource.h"

// A key watcher a test types on by hand: each pushed event reaches the handler at once.
class TFakeHotkeySource final : public THotkeySource
{
public:
    // Passes the event on, as if the user had pressed or released that key.
    void KeyEventPush(const TKeyEvent& event);
    // A press of Alt alone, down and up.
    void AltPress(uint32_t code = 64);
    void CanWatchKeysSet(bool value)
    {
        m_canWatch = value;
    }

    bool CanWatchKeys() const override
    {
        return m_canWatch;
    }
    int EventDescriptor() const override
    {
        return -1;
    }
    bool EventsDispatch() override
    {
        return m_canWatch;
    }
    void KeyEventHandlerSet(std::function<void(const TKeyEvent&)> handler) override
    {
        m_handler = std::move(handler);
    }
    std::string HotkeyNameGet() const override
    {
        return m_canWatch ? "Alt pressed twice" : "";
    }

private:
    std::function<void(const TKeyEvent&)> m_handler;
    bool m_canWatch = true;
};
