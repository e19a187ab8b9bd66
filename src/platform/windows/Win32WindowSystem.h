#pragma once

#include "platform/WindowSystem.h"

// The window system of Windows: the foreground window, its thread's process, class and title,
// the top-level windows in Z order, and WM_CLOSE as the close request.
class TWin32WindowSystem final : public TWindowSystem
{
public:
    TWindowHandle ForegroundWindowGet() override;
    std::vector<TWindowHandle> TopLevelWindowsGet() override;
    int64_t WindowProcessIdGet(TWindowHandle window) override;
    std::string WindowClassNameGet(TWindowHandle window) override;
    std::string WindowTextGet(TWindowHandle window) override;
    bool WindowCloseRequest(TWindowHandle window) override;
    bool WindowTaskbarSkipSet(TWindowHandle window) override;
};
