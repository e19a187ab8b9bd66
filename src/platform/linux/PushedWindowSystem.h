#pragma once

#include "platform/WindowSystem.h"
#include "platform/linux/SessionBus.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;

// One window as a compositor's own component reports it.
template <typename TId> struct TPushedWindow
{
    TWindowHandle Handle = 0; // ours, so that a handle never names a window of an earlier compositor
    TId Id {}; // the compositor's name for it
    int64_t ProcessId = 0;
    std::string ClassName; // the Wayland app_id, or the X11 class of an XWayland window
    std::string Title;
};

// The window system of a compositor that runs a component of the program's own (KWin's script,
// GNOME Shell's extension) which pushes every window, the active one and each change over the
// session bus to a connection of this object's own, read on its bus thread: a sample reads what
// was pushed and costs no round trip. While the compositor is away from the bus (a restart) the
// window in front is unknown; the user is told once when it stays away, and the derived class
// brings its component back (ReloadTry) when it returns.
template <typename TId> class TPushedWindowSystem : public TWindowSystem
{
public:
    // Every call to the compositor waits at most this long.
    static constexpr int CallTimeoutMs = 1000;
    // How long the compositor may be away (a restart takes a second or two) before the user is told.
    static constexpr unsigned AbsenceNoticeDelayMs = 10000;

    TWindowHandle ForegroundWindowGet() override;
    std::vector<TWindowHandle> TopLevelWindowsGet() override;
    int64_t WindowProcessIdGet(TWindowHandle window) override;
    std::string WindowClassNameGet(TWindowHandle window) override;
    std::string WindowTextGet(TWindowHandle window) override;
    std::string ForegroundNoticeTake() override;

    std::string BusNameGet() const
    {
        return m_busName;
    }

protected:
    using TWindow = TPushedWindow<TId>;
    static constexpr unsigned ReloadIntervalMs = 500;

    // `compositor` names it in messages ("KWin").
    TPushedWindowSystem(std::string compositor, unsigned absenceNoticeDelayMs);
    ~TPushedWindowSystem() override = default;

    // Connects to the session bus at `busAddress` (empty: the session's own).
    void BusConnect(const std::string& busAddress);
    // Stops the bus thread and closes the connection; the derived class unsubscribes first.
    void BusClose();

    // With m_mutex held.
    const TWindow* WindowFind(TWindowHandle window) const;
    // Takes the full list, keeping the handles of the windows known already.
    void WindowsReplace(std::vector<TWindow> windows);
    // Takes a new or changed window.
    void WindowPut(TWindow window);
    void WindowRemove(const TId& id);
    // The compositor's unique name on the bus changed to `newOwner` (empty: it left). Forgets
    // what the old one reported, logs, and starts the absence or the reload timer; `backAction`
    // says what is done on its return. False when nothing changed.
    bool OwnerTake(const std::string& newOwner, const std::string& backAction);
    // After the last reload attempt failed: the user is told, once.
    void ReloadGivenUp(const std::string& logLine, const std::string& notice);

    // On the bus thread, every ReloadIntervalMs while the compositor is back and the component
    // not yet: tries once to bring it back, ending the timer (m_reloadTimer = 0) when done or
    // given up.
    virtual void ReloadTry() = 0;

    GDBusConnection* m_bus = nullptr;
    std::string m_busName;
    TBusThread m_busThread;

    mutable std::mutex m_mutex;
    // Everything below is guarded by m_mutex.
    std::string m_owner; // the compositor's unique name; empty while it is away
    std::vector<TWindow> m_windows; // in the compositor's order of the full list, then as added
    TId m_activeId {};
    unsigned m_reloadAttempts = 0;
    unsigned m_reloadTimer = 0;
    std::string m_pendingNotice; // for ForegroundNoticeTake

private:
    static int OnReloadTimer(void* self);
    static int OnAbsenceTimer(void* self);

    std::string m_compositor;
    TWindowHandle m_nextHandle = 1;
    unsigned m_absenceNoticeDelayMs;
    unsigned m_absenceTimer = 0;
};
