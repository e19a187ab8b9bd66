#include "enforce/SessionPause.h"

TSessionPause::TSessionPause(bool& sessionPaused, bool& powerPaused, TSessionPauseSteps steps)
    : m_sessionPaused(sessionPaused)
    , m_powerPaused(powerPaused)
    , m_steps(std::move(steps))
{
}

void TSessionPause::SessionLockedChanged(bool locked)
{
    if (m_steps.Minimize) {
        m_steps.Minimize();
    }
    m_sessionPaused = locked;
    if (!locked && !m_powerPaused && m_steps.ScanBaseReset) {
        m_steps.ScanBaseReset();
    }
}

void TSessionPause::SleepingChanged(bool sleeping)
{
    if (sleeping) {
        m_powerPaused = true;
        if (m_steps.Minimize) {
            m_steps.Minimize();
        }
        return;
    }
    if (m_steps.Minimize) {
        m_steps.Minimize();
    }
    m_powerPaused = false;
    if (m_steps.ScanBaseReset) {
        m_steps.ScanBaseReset();
    }
}
