#pragma once

#include "platform/HotkeySource.h"

// The keyboard and mouse of the whole desktop through low-level hooks that only look: every
// event is passed on unchanged (CallNextHookEx), so no key is taken from other programs. The
// hooks call the handler themselves on the thread that installed them, whose message loop
// (the program's event loop) must run; there is no descriptor to watch.
class TLowLevelHotkeySource final : public THotkeySource
{
public:
    TLowLevelHotkeySource();
    ~TLowLevelHotkeySource() override;
    TLowLevelHotkeySource(const TLowLevelHotkeySource&) = delete;
    TLowLevelHotkeySource& operator=(const TLowLevelHotkeySource&) = delete;

    bool CanWatchKeys() const override;
    int EventDescriptor() const override
    {
        return -1;
    }
    bool EventsDispatch() override
    {
        return CanWatchKeys();
    }
    void KeyEventHandlerSet(std::function<void(const TKeyEvent&)> handler) override;
    std::string HotkeyNameGet() const override;

    // What the keyboard hook makes of one key event (virtual-key code, released or pressed);
    // apart for tests, which cannot press keys.
    static TKeyEvent KeyEventFrom(uint32_t virtualKey, bool released);

private:
    void* m_keyboardHook = nullptr;
    void* m_mouseHook = nullptr;
};
