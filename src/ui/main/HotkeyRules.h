#pragma once

#include "model/ProgramClock.h"
#include "platform/HotkeySource.h"

#include <cstdint>
#include <set>

// Decides which keyboard activity counts as one press of the hot key: Alt pressed while no
// other key is held, and released with no other key or mouse button pressed in between. So
// Alt+Tab, Alt+F4, Ctrl+Alt+Del and an Alt+drag never count; Alt held until the keyboard repeats
// still counts once.
class TAltPressFilter
{
public:
    // True when `event` completes a counted press.
    bool KeyEvent(const TKeyEvent& event);

private:
    uint32_t m_altCode = 0; // the Alt key held down, 0 when none
    bool m_candidate = false;
    std::set<uint32_t> m_othersDown; // other keys held (a repeated press is one key)
};

// Pairs counted presses: the second press within half a second of an unpaired one is the hot
// key, and a pair is used up, so a third press starts a new pair.
class THotkeyPairing
{
public:
    static constexpr int64_t kPairMs = 500;

    // True when this press completes a pair.
    bool PressCount(TDateTime now);

    // The time of the last unpaired press; 0 after a pair (and before the first press).
    TDateTime HotkeyLastPress = 0;
};
