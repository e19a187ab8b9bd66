#include "platform/linux/sway/SwayWindowPlacement.h"

#include "platform/linux/sway/SwayWindowSystem.h"

TWindowPlacement::TResult TSwayWindowPlacement::WindowPlace(int64_t processId, const std::string& title, int x, int y)
{
    TWindowHandle container = 0;
    for (TWindowHandle window : m_sway.TopLevelWindowsGet()) {
        if (m_sway.WindowProcessIdGet(window) == processId && m_sway.WindowTextGet(window) == title) {
            container = window;
            break;
        }
    }
    if (container == 0)
        return TResult::NotMapped;
    return m_sway.CommandRun("[con_id=" + std::to_string(container) + "] move absolute position " + std::to_string(x)
               + " " + std::to_string(y))
        ? TResult::Placed
        : TResult::Refused;
}
