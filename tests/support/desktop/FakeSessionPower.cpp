#include "support/desktop/FakeSessionPower.h"

#include "model/Exceptions.h"

void TFakeSessionPower::Lock()
{
    if (m_listener.SessionLockedChanged) {
        m_listener.SessionLockedChanged(true);
    }
}

void TFakeSessionPower::Unlock()
{
    if (m_listener.SessionLockedChanged) {
        m_listener.SessionLockedChanged(false);
    }
}

void TFakeSessionPower::SleepBegin()
{
    if (m_listener.SleepingChanged) {
        m_listener.SleepingChanged(true);
    }
}

void TFakeSessionPower::SleepEnd()
{
    if (m_listener.SleepingChanged) {
        m_listener.SleepingChanged(false);
    }
}

void TFakeSessionPower::ShutdownRequest(TShutdownKind kind, int timeoutSeconds)
{
    m_requests.emplace_back(kind, timeoutSeconds);
    if (!m_refusal.empty()) {
        throw EOSError(m_refusal);
    }
}
