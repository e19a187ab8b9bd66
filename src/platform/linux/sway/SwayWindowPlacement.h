#pragma once

#include "platform/WindowPlacement.h"

class TSwayWindowSystem;

// sway places every floating window itself, in the middle of the screen, when it maps it and
// again whenever an X11 program asks to move or resize it; only sway's own command puts one
// elsewhere.
class TSwayWindowPlacement final : public TWindowPlacement
{
public:
    explicit TSwayWindowPlacement(TSwayWindowSystem& sway)
        : m_sway(sway)
    {
    }

    TResult WindowPlace(int64_t processId, const std::string& title, int x, int y) override;

private:
    TSwayWindowSystem& m_sway;
};
