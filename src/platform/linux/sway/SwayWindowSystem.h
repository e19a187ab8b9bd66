#pragma once

#include "platform/WindowSystem.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One window (a view) of sway's layout tree.
struct TSwayWindow
{
    TWindowHandle Id = 0; // the container id, as sway's criteria name it (con_id)
    int64_t ProcessId = 0;
    std::string ClassName; // the Wayland app_id, or the X11 class of an XWayland window
    std::string Title;
    bool Floating = false; // above the tiled windows, at its own size, instead of sharing the screen
};

// What one GET_TREE answer says about the windows.
struct TSwayTree
{
    std::vector<TSwayWindow> Windows; // in the tree's order, scratchpad and floating ones included
    TWindowHandle Focused = 0; // 0 when the focus is on no window (an empty workspace)
};

// Reads a GET_TREE answer. False (and an empty tree) when the text is not a tree.
bool SwayTreeParse(std::string_view json, TSwayTree& tree);

// The window system of sway (and other compositors that speak i3's IPC), through the socket the
// compositor names in SWAYSOCK. Its layout tree knows every window with its process, the Wayland
// ones and the XWayland ones alike; its "kill" command closes a window the way a close button
// does. Each call waits at most CallTimeoutMs for the compositor; a dead connection is made anew
// on the next call.
class TSwayWindowSystem final : public TWindowSystem
{
public:
    static constexpr int CallTimeoutMs = 1000;

    // Raises EOSError when the socket cannot be reached.
    explicit TSwayWindowSystem(std::string socketPath);
    ~TSwayWindowSystem() override;
    TSwayWindowSystem(const TSwayWindowSystem&) = delete;
    TSwayWindowSystem& operator=(const TSwayWindowSystem&) = delete;

    TWindowHandle ForegroundWindowGet() override;
    std::vector<TWindowHandle> TopLevelWindowsGet() override;
    int64_t WindowProcessIdGet(TWindowHandle window) override;
    std::string WindowClassNameGet(TWindowHandle window) override;
    std::string WindowTextGet(TWindowHandle window) override;
    bool WindowCloseRequest(TWindowHandle window) override;

    // Runs one sway command (as a key binding would); true when sway reports its success.
    bool CommandRun(const std::string& command);
    // Has sway float every window that `processId` opens from now on (a rule for this session).
    bool ProcessWindowsFloat(int64_t processId);
    // The window as the last tree read saw it (reading the tree anew when that is old); none when
    // it is not there.
    std::optional<TSwayWindow> WindowGet(TWindowHandle window);

    const std::string& SocketPath() const
    {
        return m_socketPath;
    }

private:
    bool Connect(std::string& errorText);
    void Disconnect();
    // One request and its answer. False on any failure (the connection is then dropped).
    bool Call(uint32_t type, std::string_view payload, std::string& answer);
    bool TreeRefresh();
    const TSwayWindow* WindowFind(TWindowHandle window);

    std::string m_socketPath;
    int m_socket = -1;
    bool m_failureLogged = false;
    TSwayTree m_tree;
    std::chrono::steady_clock::time_point m_treeTime {};
    bool m_treeValid = false;
    // The scan samples and closes on a thread of its own while the windows' thread places the main
    // window: one socket and one tree serve both, one request at a time (a command may run inside
    // another public call, hence recursive).
    std::recursive_mutex m_mutex;
};
