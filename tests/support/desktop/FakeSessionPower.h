#pragma once

#include "platform/SessionPower.h"

#include <string>
#include <utility>
#include <vector>

// Session and power news a test sends by hand, and the shutdown requests the program made
// (none of them reaches the system).
class TFakeSessionPower : public TSessionPower
{
public:
    void Lock();
    void Unlock();
    void SleepBegin();
    void SleepEnd();
    // From now on a shutdown request is refused with `message` (empty: accepted again).
    void ShutdownRefuseSet(const std::string& message)
    {
        m_refusal = message;
    }
    // Every request made, refused ones included, as (kind, timeout).
    const std::vector<std::pair<TShutdownKind, int>>& ShutdownRequestsGet() const
    {
        return m_requests;
    }

    void ListenerSet(TSessionPowerListener listener) override
    {
        m_listener = std::move(listener);
    }
    bool CanWatchSession() const override
    {
        return true;
    }
    bool CanWatchSleep() const override
    {
        return true;
    }
    void ShutdownRequest(TShutdownKind kind, int timeoutSeconds) override;

private:
    TSessionPowerListener m_listener;
    std::string m_refusal;
    std::vector<std::pair<TShutdownKind, int>> m_requests;
};
