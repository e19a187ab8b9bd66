#include "platform/linux/PushedWindowSystem.h"

#include "model/ProgramLog.h"

#include <gio/gio.h>

#include <algorithm>
#include <utility>

template <typename TId>
TPushedWindowSystem<TId>::TPushedWindowSystem(std::string compositor, unsigned absenceNoticeDelayMs)
    : m_compositor(std::move(compositor))
    , m_absenceNoticeDelayMs(absenceNoticeDelayMs)
{
}

template <typename TId> void TPushedWindowSystem<TId>::BusConnect(const std::string& busAddress)
{
    m_bus = SessionBusConnect(busAddress, m_compositor);
    m_busName = g_dbus_connection_get_unique_name(m_bus);
}

template <typename TId> void TPushedWindowSystem<TId>::BusClose()
{
    m_busThread.Stop();
    if (m_bus) {
        g_dbus_connection_close_sync(m_bus, nullptr, nullptr);
        g_object_unref(m_bus);
        m_bus = nullptr;
    }
}

template <typename TId> const TPushedWindow<TId>* TPushedWindowSystem<TId>::WindowFind(TWindowHandle window) const
{
    if (window == 0)
        return nullptr;
    const auto found = std::find_if(
        m_windows.begin(), m_windows.end(), [window](const TWindow& one) { return one.Handle == window; });
    return found != m_windows.end() ? &*found : nullptr;
}

template <typename TId> void TPushedWindowSystem<TId>::WindowsReplace(std::vector<TWindow> windows)
{
    for (TWindow& window : windows) {
        const auto known = std::find_if(
            m_windows.begin(), m_windows.end(), [&window](const TWindow& one) { return one.Id == window.Id; });
        window.Handle = known != m_windows.end() ? known->Handle : m_nextHandle++;
    }
    m_windows = std::move(windows);
}

template <typename TId> void TPushedWindowSystem<TId>::WindowPut(TWindow window)
{
    const auto known = std::find_if(
        m_windows.begin(), m_windows.end(), [&window](const TWindow& one) { return one.Id == window.Id; });
    if (known != m_windows.end()) {
        window.Handle = known->Handle;
        *known = std::move(window);
    } else {
        window.Handle = m_nextHandle++;
        m_windows.push_back(std::move(window));
    }
}

template <typename TId> void TPushedWindowSystem<TId>::WindowRemove(const TId& id)
{
    std::erase_if(m_windows, [&id](const TWindow& one) { return one.Id == id; });
    if (m_activeId == id)
        m_activeId = TId {};
}

template <typename TId>
bool TPushedWindowSystem<TId>::OwnerTake(const std::string& newOwner, const std::string& backAction)
{
    if (newOwner == m_owner)
        return false;
    const bool wasThere = !m_owner.empty();
    m_owner = newOwner;
    // Whatever the old one reported is gone with it.
    m_windows.clear();
    m_activeId = TId {};
    if (newOwner.empty()) {
        LogMessageWrite(m_compositor
            + " has left the session bus (it may be restarting); the window in front is not known until it is back");
        m_busThread.TimerStart(m_absenceTimer, m_absenceNoticeDelayMs, &TPushedWindowSystem::OnAbsenceTimer, this);
        return true;
    }
    LogMessageWrite(m_compositor + (wasThere ? " was replaced" : " is back") + " on the session bus; " + backAction);
    m_reloadAttempts = 0;
    m_busThread.TimerStart(m_reloadTimer, ReloadIntervalMs, &TPushedWindowSystem::OnReloadTimer, this);
    return true;
}

template <typename TId>
void TPushedWindowSystem<TId>::ReloadGivenUp(const std::string& logLine, const std::string& notice)
{
    m_reloadTimer = 0;
    LogMessageWrite(logLine + "; the window in front stays unknown until the program is restarted");
    m_pendingNotice = "Tallyhour cannot see which window is in front any more: " + notice;
}

template <typename TId> int TPushedWindowSystem<TId>::OnAbsenceTimer(void* self)
{
    auto* system = static_cast<TPushedWindowSystem*>(self);
    std::lock_guard lock(system->m_mutex);
    system->m_absenceTimer = 0;
    if (system->m_owner.empty()) {
        system->m_pendingNotice = "Tallyhour cannot see which window is in front any more: " + system->m_compositor
            + " has left the desktop session and has not come back, so the time spent on the applications and sites "
              "of your list is not counted until it does.";
        LogMessageWrite(system->m_compositor + " has been away for "
            + std::to_string(system->m_absenceNoticeDelayMs / 1000)
            + " seconds; the user is told that nothing is counted");
    }
    return G_SOURCE_REMOVE;
}

template <typename TId> int TPushedWindowSystem<TId>::OnReloadTimer(void* self)
{
    auto* system = static_cast<TPushedWindowSystem*>(self);
    system->ReloadTry();
    std::lock_guard lock(system->m_mutex);
    return system->m_reloadTimer != 0 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

template <typename TId> std::string TPushedWindowSystem<TId>::ForegroundNoticeTake()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_pendingNotice, std::string());
}

template <typename TId> TWindowHandle TPushedWindowSystem<TId>::ForegroundWindowGet()
{
    std::lock_guard lock(m_mutex);
    if (m_activeId == TId {})
        return 0;
    const auto found
        = std::find_if(m_windows.begin(), m_windows.end(), [this](const TWindow& one) { return one.Id == m_activeId; });
    return found != m_windows.end() ? found->Handle : 0;
}

template <typename TId> std::vector<TWindowHandle> TPushedWindowSystem<TId>::TopLevelWindowsGet()
{
    std::lock_guard lock(m_mutex);
    std::vector<TWindowHandle> windows;
    for (const TWindow& window : m_windows)
        windows.push_back(window.Handle);
    return windows;
}

template <typename TId> int64_t TPushedWindowSystem<TId>::WindowProcessIdGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    const TWindow* found = WindowFind(window);
    return found ? found->ProcessId : 0;
}

template <typename TId> std::string TPushedWindowSystem<TId>::WindowClassNameGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    const TWindow* found = WindowFind(window);
    return found ? found->ClassName : std::string();
}

template <typename TId> std::string TPushedWindowSystem<TId>::WindowTextGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    const TWindow* found = WindowFind(window);
    return found ? found->Title : std::string();
}

// KWin names its windows by UUIDs, Mutter by numbers.
template class TPushedWindowSystem<std::string>;
template class TPushedWindowSystem<uint64_t>;
