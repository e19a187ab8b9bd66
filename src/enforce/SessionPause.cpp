#include "enforce/SessionPause.h"

TSessionPause::TSessionPause(TSessionPauseSteps steps)
    : m_steps(std::move(steps))
{
}

void TSessionPause::SessionLockedChanged(bool locked)
{
    if (m_steps.Minimize) {
        m_steps.Minimize();
    }
    SessionPaused = locked;
    if (!locked && !PowerPaused && m_steps.ScanBaseReset) {
        m_steps.ScanBaseReset();
    }
}

void TSessionPause::SleepingChanged(bool sleeping)
{
    if (sleeping) {
        PowerPaused = true;
        if (m_steps.Minimize) {
            m_steps.Minimize();
        }
        return;
    }
    if (m_steps.Minimize) {
        m_steps.Minimize();
    }
    PowerPaused = false;
    if (m_steps.ScanBaseReset) {
        m_steps.ScanBaseReset();
    }
}
