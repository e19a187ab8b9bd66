#pragma once

#include "platform/WindowSystem.h"
#include "platform/linux/wlroots/ToplevelProcessMatch.h"

#include <memory>
#include <string>

// The window system of Wayland compositors that hand their window list to any client through
// the wlr foreign-toplevel protocol (zwlr_foreign_toplevel_manager_v1: labwc, wayfire, Hyprland,
// river, sway and others built on wlroots). The compositor tells each window's title, app_id and
// whether it is active, and every change, on a connection of this object's own, read on its own
// thread; a sample reads what was told and asks the compositor nothing. A close request is the
// protocol's own, the one a task bar's close button sends.
//
// The protocol names no process: the window's process is looked for as TToplevelProcessMatch
// says, once per window. When the compositor goes away, the window in front is unknown from then
// on; the log and ForegroundNoticeTake say so once.
class TForeignToplevelWindowSystem final : public TWindowSystem
{
public:
    // The highest version of the protocol this class speaks.
    static constexpr unsigned ManagerVersion = 3;

    // Connects to the compositor at `display` (a socket name in XDG_RUNTIME_DIR or a path, as
    // WAYLAND_DISPLAY takes it; empty: WAYLAND_DISPLAY's) and reads its window list. `source`
    // (none: the system's own) is where the windows' processes are looked for. Raises EOSError,
    // saying why, when the compositor cannot be reached or does not offer the protocol.
    explicit TForeignToplevelWindowSystem(
        const std::string& display = "", std::unique_ptr<TToplevelProcessSource> source = nullptr);
    ~TForeignToplevelWindowSystem() override;
    TForeignToplevelWindowSystem(const TForeignToplevelWindowSystem&) = delete;
    TForeignToplevelWindowSystem& operator=(const TForeignToplevelWindowSystem&) = delete;

    TWindowHandle ForegroundWindowGet() override;
    std::vector<TWindowHandle> TopLevelWindowsGet() override;
    int64_t WindowProcessIdGet(TWindowHandle window) override;
    // The window's Wayland app_id (an XWayland window's X11 class, as compositors give it).
    std::string WindowClassNameGet(TWindowHandle window) override;
    std::string WindowTextGet(TWindowHandle window) override;
    bool WindowCloseRequest(TWindowHandle window) override;
    std::string ForegroundNoticeTake() override;

    // The display as connected to, for messages.
    const std::string& DisplayName() const;
    // False once the compositor has gone.
    bool Connected() const;

    struct TState;

private:
    std::unique_ptr<TState> m_state;
};
