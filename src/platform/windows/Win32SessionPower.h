#pragma once

#include "platform/SessionPower.h"

#include <functional>

// Locking through WTSRegisterSessionNotification (WM_WTSSESSION_CHANGE), sleeping through
// WM_POWERBROADCAST and the end of the session through WM_QUERYENDSESSION and WM_ENDSESSION, all
// received by a hidden window of the thread that creates this object, whose message loop (the
// program's event loop) delivers them. Shutdown through ExitWindowsEx after enabling the
// shutdown privilege.
class TWin32SessionPower final : public TSessionPower
{
public:
    // The system call that ends the session, replaceable by tests (which must never shut the
    // computer down): it gets ExitWindowsEx's flags and returns whether the request was taken.
    using TExitRequest = std::function<bool(unsigned flags, unsigned long reason)>;

    explicit TWin32SessionPower(TExitRequest exitRequest = {});
    ~TWin32SessionPower() override;
    TWin32SessionPower(const TWin32SessionPower&) = delete;
    TWin32SessionPower& operator=(const TWin32SessionPower&) = delete;

    void ListenerSet(TSessionPowerListener listener) override;
    bool CanWatchSession() const override
    {
        return m_sessionWatched;
    }
    bool CanWatchSleep() const override
    {
        return m_window != nullptr;
    }
    void ShutdownRequest(TShutdownKind kind, int timeoutSeconds) override;

    // What the window does with one message; public for tests, which post the messages the
    // system would send.
    bool MessageHandle(unsigned message, uintptr_t wParam);
    void* Window() const
    {
        return m_window;
    }

private:
    TSessionPowerListener m_listener;
    TExitRequest m_exitRequest;
    void* m_window = nullptr;
    bool m_sessionWatched = false;
};
