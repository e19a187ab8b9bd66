#include "ui/main/HotkeyRules.h"

#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <cmath>

bool TAltPressFilter::KeyEvent(const TKeyEvent& event)
{
    switch (event.Kind) {
    case TKeyEventKind::AltDown:
        if (m_altCode == 0) {
            m_altCode = event.Code;
            m_candidate = m_othersDown.empty();
        } else if (event.Code != m_altCode) {
            // The other Alt key joins in: not a press of Alt alone.
            m_candidate = false;
        }
        // The keyboard's repeat of the held Alt key changes nothing.
        return false;
    case TKeyEventKind::AltUp: {
        if (event.Code != m_altCode) {
            return false;
        }
        const bool counted = m_candidate && m_othersDown.empty();
        m_altCode = 0;
        m_candidate = false;
        return counted;
    }
    case TKeyEventKind::OtherKeyDown:
        m_othersDown.insert(event.Code);
        m_candidate = false;
        return false;
    case TKeyEventKind::OtherKeyUp:
        m_othersDown.erase(event.Code);
        return false;
    case TKeyEventKind::ButtonDown:
        m_candidate = false;
        return false;
    case TKeyEventKind::Hotkey:
        // Not a key: the watch takes the desktop's whole hot key without this filter.
        return false;
    }
    return false;
}

bool THotkeyPairing::PressCount(TDateTime now)
{
    // Compared in whole milliseconds: day fractions cannot hold half a second exactly.
    if (HotkeyLastPress != 0 && std::llround(std::fabs(now - HotkeyLastPress) * kSecondsPerDay * 1000.0) <= kPairMs) {
        HotkeyLastPress = 0;
        return true;
    }
    HotkeyLastPress = now;
    return false;
}
