#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A top-level window of the desktop; 0 is "no window".
using TWindowHandle = uint64_t;

// The window system as the monitor sees it. Every query answers for a window that has gone away
// with its "not available" value instead of failing, because windows close at any moment.
class TWindowSystem
{
public:
    virtual ~TWindowSystem() = default;

    // The window the user works in; 0 when there is none (or the one named has been destroyed).
    virtual TWindowHandle ForegroundWindowGet() = 0;
    // Every top-level window, visible or not, in the window manager's order; empty when unknown.
    virtual std::vector<TWindowHandle> TopLevelWindowsGet() = 0;
    // The id of the process that owns the window; 0 when unknown.
    virtual int64_t WindowProcessIdGet(TWindowHandle window) = 0;
    // The window's class (the class part of WM_CLASS on X11); empty when unknown.
    virtual std::string WindowClassNameGet(TWindowHandle window) = 0;
    // The window's title; empty when unknown. Never blocks longer than a second.
    virtual std::string WindowTextGet(TWindowHandle window) = 0;
    // Asks the window politely to close (the request a title-bar close button sends), without
    // waiting for it. False when the request could not be sent.
    virtual bool WindowCloseRequest(TWindowHandle window) = 0;
    // Keeps one of this program's own windows out of the task bar and the pager. Called while
    // the window is withdrawn (just before it is shown), because window managers drop such
    // states when a window is hidden. False where the desktop has no such notion.
    virtual bool WindowTaskbarSkipSet(TWindowHandle /*window*/)
    {
        return false;
    }
    // A sentence for the user, given once, when the window system has lost sight of the window
    // in front while the program runs (its compositor went away and did not come back, or
    // refused the program when it did); empty otherwise. Polled by the entry.
    virtual std::string ForegroundNoticeTake()
    {
        return {};
    }
};

// The window system of a desktop whose windows cannot be seen: every answer is "not
// available", so the sample finds no window and nothing is charged or closed.
class TUnseenWindowSystem final : public TWindowSystem
{
public:
    TWindowHandle ForegroundWindowGet() override
    {
        return 0;
    }
    std::vector<TWindowHandle> TopLevelWindowsGet() override
    {
        return {};
    }
    int64_t WindowProcessIdGet(TWindowHandle) override
    {
        return 0;
    }
    std::string WindowClassNameGet(TWindowHandle) override
    {
        return {};
    }
    std::string WindowTextGet(TWindowHandle) override
    {
        return {};
    }
    bool WindowCloseRequest(TWindowHandle) override
    {
        return false;
    }
};
