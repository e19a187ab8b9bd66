#pragma once

#include "platform/HotkeySource.h"
#include "platform/linux/logind/LinuxSession.h"

#include <memory>
#include <string>
#include <vector>

// Several key watchers as one: each event of any of them reaches the one handler, so the hot
// key is recognised in one place whichever desktop service saw it. The caller watches one
// descriptor, readable when any of the watchers has events waiting.
class TJointHotkeySource final : public THotkeySource
{
public:
    explicit TJointHotkeySource(std::vector<std::unique_ptr<THotkeySource>> sources);
    ~TJointHotkeySource() override;
    TJointHotkeySource(const TJointHotkeySource&) = delete;
    TJointHotkeySource& operator=(const TJointHotkeySource&) = delete;

    bool CanWatchKeys() const override;
    int EventDescriptor() const override;
    bool EventsDispatch() override;
    void KeyEventHandlerSet(std::function<void(const TKeyEvent&)> handler) override;
    // The names of the watchers that work, joined by " or ".
    std::string HotkeyNameGet() const override;

    const std::vector<std::unique_ptr<THotkeySource>>& Sources() const
    {
        return m_sources;
    }

private:
    std::vector<std::unique_ptr<THotkeySource>> m_sources;
    std::vector<bool> m_stopped; // by source: stopped for good, no longer asked
    int m_epoll = -1;
};

// The hot key's watchers for the session, picked once at start: on X11 the X input extension's
// raw events alone. On Wayland the desktop portal's global shortcut where the desktop offers
// one, together with the raw events of XWayland's display where XWayland runs (they see the keys
// typed into X11 programs' windows only). `busAddress` names the session bus (empty: the
// session's own). Each watcher that cannot work says so once in the log.
std::unique_ptr<THotkeySource> LinuxHotkeySourceCreate(
    const TLinuxSession& session, const std::string& busAddress = "");
