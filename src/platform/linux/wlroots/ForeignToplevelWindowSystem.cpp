#include "platform/linux/wlroots/ForeignToplevelWindowSystem.h"

#include "model/Exceptions.h"
#include "model/ProgramLog.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"
#include <wayland-client.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace {

struct TToplevelState
{
    std::string Title;
    std::string AppId;
    bool Activated = false;
};

struct TToplevel
{
    zwlr_foreign_toplevel_handle_v1* Handle = nullptr;
    TToplevelState Pending; // what the compositor has said since its last "done"
    TToplevelState Current;
    bool Listed = false; // its first "done" came: its details are complete
    uint64_t ActivatedOrder = 0; // when it last became active, to tell the newest of two active ones
    int64_t ProcessId = 0; // found once, kept for the window's life
    // What the last search that found nothing went by: the same window, title and place give the
    // same answer, and a search may wait on a program that does not answer the accessibility bus.
    std::string FailedSearch;
};

} // namespace

struct TForeignToplevelWindowSystem::TState
{
    std::string DisplayName;
    wl_display* Display = nullptr;
    wl_registry* Registry = nullptr;
    zwlr_foreign_toplevel_manager_v1* Manager = nullptr;
    int StopEvent = -1;
    std::thread Thread;

    std::unique_ptr<TToplevelProcessSource> Source;
    std::unique_ptr<TToplevelProcessMatch> Match;

    mutable std::mutex Mutex;
    // Everything below is guarded by Mutex.
    std::map<TWindowHandle, TToplevel> Toplevels;
    TWindowHandle NextHandle = 1;
    uint64_t ActivationCount = 0;
    bool Lost = false;
    std::string PendingNotice;

    ~TState();
    // On the reading thread.
    void Run();
    void LostTell(const std::string& why);

    TToplevel* Find(zwlr_foreign_toplevel_handle_v1* handle, TWindowHandle* id = nullptr)
    {
        for (auto& [key, toplevel] : Toplevels) {
            if (toplevel.Handle == handle) {
                if (id)
                    *id = key;
                return &toplevel;
            }
        }
        return nullptr;
    }
    const TToplevel* Find(TWindowHandle window) const
    {
        const auto it = Toplevels.find(window);
        return it != Toplevels.end() && it->second.Listed ? &it->second : nullptr;
    }
    TWindowHandle Foreground() const
    {
        TWindowHandle found = 0;
        uint64_t order = 0;
        for (const auto& [key, toplevel] : Toplevels) {
            if (toplevel.Listed && toplevel.Current.Activated && (!found || toplevel.ActivatedOrder > order)) {
                found = key;
                order = toplevel.ActivatedOrder;
            }
        }
        return found;
    }
};

namespace {

using TState = TForeignToplevelWindowSystem::TState;

void OnTitle(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* title)
{
    auto* state = static_cast<TState*>(data);
    std::lock_guard lock(state->Mutex);
    if (TToplevel* toplevel = state->Find(handle))
        toplevel->Pending.Title = title ? title : "";
}

void OnAppId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId)
{
    auto* state = static_cast<TState*>(data);
    std::lock_guard lock(state->Mutex);
    if (TToplevel* toplevel = state->Find(handle))
        toplevel->Pending.AppId = appId ? appId : "";
}

void OnOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*)
{
}

void OnState(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* states)
{
    auto* state = static_cast<TState*>(data);
    bool activated = false;
    // The array holds 32-bit values; a compositor's malformed length is read no further than
    // its whole values.
    const auto* values = static_cast<const uint32_t*>(states->data);
    for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
        if (values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
            activated = true;
    }
    std::lock_guard lock(state->Mutex);
    if (TToplevel* toplevel = state->Find(handle))
        toplevel->Pending.Activated = activated;
}

void OnDone(void* data, zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* state = static_cast<TState*>(data);
    std::lock_guard lock(state->Mutex);
    TToplevel* toplevel = state->Find(handle);
    if (!toplevel)
        return;
    if (toplevel->Pending.Activated && (!toplevel->Current.Activated || !toplevel->Listed))
        toplevel->ActivatedOrder = ++state->ActivationCount;
    toplevel->Current = toplevel->Pending;
    toplevel->Listed = true;
}

void OnClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* state = static_cast<TState*>(data);
    std::lock_guard lock(state->Mutex);
    TWindowHandle id = 0;
    if (state->Find(handle, &id))
        state->Toplevels.erase(id);
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
}

std::string SearchKey(const std::string& appId, const std::string& title, bool inFront, uint64_t activatedOrder)
{
    // The activation's number, not only the place in front: the accessibility bus may know the
    // window when it comes to the front again.
    return appId + '\n' + title + '\n' + (inFront ? std::to_string(activatedOrder) : "behind");
}

void OnParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*)
{
}

const zwlr_foreign_toplevel_handle_v1_listener ToplevelListener
    = { OnTitle, OnAppId, OnOutput, OnOutput, OnState, OnDone, OnClosed, OnParent };

void OnToplevel(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* state = static_cast<TState*>(data);
    std::lock_guard lock(state->Mutex);
    TToplevel toplevel;
    toplevel.Handle = handle;
    state->Toplevels.emplace(state->NextHandle++, std::move(toplevel));
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &ToplevelListener, state);
}

void OnFinished(void* data, zwlr_foreign_toplevel_manager_v1*)
{
    static_cast<TState*>(data)->LostTell("the compositor stopped sending its window list");
}

const zwlr_foreign_toplevel_manager_v1_listener ManagerListener = { OnToplevel, OnFinished };

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* state = static_cast<TState*>(data);
    if (state->Manager || std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) != 0)
        return;
    const uint32_t bound = std::min<uint32_t>(version, TForeignToplevelWindowSystem::ManagerVersion);
    state->Manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface, bound));
    zwlr_foreign_toplevel_manager_v1_add_listener(state->Manager, &ManagerListener, state);
}

void OnGlobalRemove(void*, wl_registry*, uint32_t)
{
}

const wl_registry_listener RegistryListener = { OnGlobal, OnGlobalRemove };

} // namespace

void TForeignToplevelWindowSystem::TState::LostTell(const std::string& why)
{
    std::lock_guard lock(Mutex);
    if (Lost)
        return;
    Lost = true;
    // Called on the reading thread only (or before it starts), where the handles are destroyed.
    for (auto& [key, toplevel] : Toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(toplevel.Handle);
    Toplevels.clear();
    PendingNotice = "Tallyhour has lost the Wayland compositor's list of windows (" + DisplayName + ": " + why
        + "), so it no longer sees which window is in front and does not count the time spent on the "
          "applications and sites of your list until it is started again in a running session.";
    LogMessageWrite(PendingNotice);
}

void TForeignToplevelWindowSystem::TState::Run()
{
    const int fd = wl_display_get_fd(Display);
    for (;;) {
        while (wl_display_prepare_read(Display) != 0) {
            if (wl_display_dispatch_pending(Display) < 0) {
                LostTell(std::strerror(errno));
                return;
            }
        }
        // A full socket (EAGAIN) is flushed on the next turn; other failures show in the read.
        wl_display_flush(Display);
        pollfd fds[2] = { { fd, POLLIN, 0 }, { StopEvent, POLLIN, 0 } };
        if (poll(fds, 2, -1) < 0) {
            wl_display_cancel_read(Display);
            if (errno == EINTR)
                continue;
            LostTell(std::strerror(errno));
            return;
        }
        if (fds[1].revents) {
            wl_display_cancel_read(Display);
            return;
        }
        if (fds[0].revents & POLLIN) {
            if (wl_display_read_events(Display) < 0) {
                LostTell(errno == EPIPE || errno == ECONNRESET || errno == 0 ? "the connection was closed"
                                                                             : std::strerror(errno));
                return;
            }
        } else {
            wl_display_cancel_read(Display);
            if (fds[0].revents & (POLLHUP | POLLERR)) {
                LostTell("the connection was closed");
                return;
            }
        }
        if (wl_display_dispatch_pending(Display) < 0) {
            LostTell(std::strerror(errno));
            return;
        }
    }
}

TForeignToplevelWindowSystem::TForeignToplevelWindowSystem(
    const std::string& display, std::unique_ptr<TToplevelProcessSource> source)
    : m_state(std::make_unique<TState>())
{
    TState& state = *m_state;
    const char* named = std::getenv("WAYLAND_DISPLAY");
    state.DisplayName = !display.empty() ? display : (named && *named ? named : "wayland-0");
    state.Display = wl_display_connect(display.empty() ? nullptr : display.c_str());
    if (!state.Display)
        throw EOSError(
            "Cannot connect to the Wayland compositor at " + state.DisplayName + ": " + std::strerror(errno));
    state.Source = source ? std::move(source) : std::make_unique<TLinuxToplevelProcessSource>();
    state.Match = std::make_unique<TToplevelProcessMatch>(*state.Source);
    state.Registry = wl_display_get_registry(state.Display);
    wl_registry_add_listener(state.Registry, &RegistryListener, &state);
    // The first round trip lists the globals; the second, the windows the manager announces
    // with their details.
    if (wl_display_roundtrip(state.Display) < 0 || (state.Manager && wl_display_roundtrip(state.Display) < 0)) {
        const std::string text
            = "The Wayland compositor at " + state.DisplayName + " closed the connection: " + std::strerror(errno);
        m_state.reset();
        throw EOSError(text);
    }
    if (!state.Manager) {
        const std::string name = state.DisplayName;
        m_state.reset();
        throw EOSError("the compositor does not give other programs its list of windows (no "
            + std::string(zwlr_foreign_toplevel_manager_v1_interface.name) + " on " + name + ")");
    }
    state.StopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state.StopEvent < 0) {
        const std::string error = std::strerror(errno);
        m_state.reset();
        throw EOSError("Cannot make an event descriptor: " + error);
    }
    state.Thread = std::thread([&state] { state.Run(); });
}

TForeignToplevelWindowSystem::TState::~TState()
{
    if (Thread.joinable()) {
        const uint64_t one = 1;
        if (write(StopEvent, &one, sizeof(one)) != sizeof(one))
            LogMessageWrite("Cannot stop the thread reading the Wayland compositor's window list");
        Thread.join();
    }
    if (StopEvent >= 0)
        close(StopEvent);
    if (!Display)
        return;
    for (auto& [key, toplevel] : Toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(toplevel.Handle);
    Toplevels.clear();
    if (Manager)
        zwlr_foreign_toplevel_manager_v1_destroy(Manager);
    if (Registry)
        wl_registry_destroy(Registry);
    wl_display_disconnect(Display);
}

TForeignToplevelWindowSystem::~TForeignToplevelWindowSystem() = default;

TWindowHandle TForeignToplevelWindowSystem::ForegroundWindowGet()
{
    std::lock_guard lock(m_state->Mutex);
    return m_state->Foreground();
}

std::vector<TWindowHandle> TForeignToplevelWindowSystem::TopLevelWindowsGet()
{
    std::lock_guard lock(m_state->Mutex);
    std::vector<TWindowHandle> windows;
    for (const auto& [key, toplevel] : m_state->Toplevels) {
        if (toplevel.Listed)
            windows.push_back(key);
    }
    return windows;
}

int64_t TForeignToplevelWindowSystem::WindowProcessIdGet(TWindowHandle window)
{
    std::string appId;
    std::string title;
    bool inFront = false;
    {
        std::lock_guard lock(m_state->Mutex);
        const TToplevel* toplevel = m_state->Find(window);
        if (!toplevel)
            return 0;
        if (toplevel->ProcessId > 0)
            return toplevel->ProcessId;
        appId = toplevel->Current.AppId;
        title = toplevel->Current.Title;
        inFront = m_state->Foreground() == window;
        if (toplevel->FailedSearch == SearchKey(appId, title, inFront, toplevel->ActivatedOrder))
            return 0;
    }
    // Outside the lock: the search reads /proc and may ask the accessibility bus, while the
    // compositor's news keep coming in.
    const int64_t processId = m_state->Match->ProcessFind(appId, title, inFront);
    std::lock_guard lock(m_state->Mutex);
    if (auto it = m_state->Toplevels.find(window); it != m_state->Toplevels.end()) {
        it->second.ProcessId = processId;
        it->second.FailedSearch
            = processId > 0 ? std::string() : SearchKey(appId, title, inFront, it->second.ActivatedOrder);
    }
    return processId;
}

std::string TForeignToplevelWindowSystem::WindowClassNameGet(TWindowHandle window)
{
    std::lock_guard lock(m_state->Mutex);
    const TToplevel* toplevel = m_state->Find(window);
    return toplevel ? toplevel->Current.AppId : std::string();
}

std::string TForeignToplevelWindowSystem::WindowTextGet(TWindowHandle window)
{
    std::lock_guard lock(m_state->Mutex);
    const TToplevel* toplevel = m_state->Find(window);
    return toplevel ? toplevel->Current.Title : std::string();
}

bool TForeignToplevelWindowSystem::WindowCloseRequest(TWindowHandle window)
{
    std::lock_guard lock(m_state->Mutex);
    const TToplevel* toplevel = m_state->Find(window);
    if (!toplevel || m_state->Lost)
        return false;
    // Sent from this thread; libwayland serialises it with the reading thread's work, and the
    // lock keeps the handle from being destroyed meanwhile.
    zwlr_foreign_toplevel_handle_v1_close(toplevel->Handle);
    return wl_display_flush(m_state->Display) >= 0 || errno == EAGAIN;
}

std::string TForeignToplevelWindowSystem::ForegroundNoticeTake()
{
    std::lock_guard lock(m_state->Mutex);
    return std::exchange(m_state->PendingNotice, std::string());
}

const std::string& TForeignToplevelWindowSystem::DisplayName() const
{
    return m_state->DisplayName;
}

bool TForeignToplevelWindowSystem::Connected() const
{
    std::lock_guard lock(m_state->Mutex);
    return !m_state->Lost;
}
