#pragma once

#include "platform/HotkeySource.h"
#include "platform/linux/SessionBus.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

// The hot key as a shortcut of the desktop's own, through the desktop portal's global shortcuts
// (org.freedesktop.portal.GlobalShortcuts). On Wayland no program may watch the keys typed into
// other programs' windows; the desktop itself may, and tells the program when the user pressed
// the shortcut bound for it. A double press of Alt cannot be bound there (a trigger is a key with
// modifiers), so the program offers Ctrl+Alt+H: Alt as in the double Alt, Ctrl so that no
// program's Alt+H menu is taken, and H (for hour), not one of the Ctrl+Alt keys desktops use
// (T for a terminal, L to lock, Delete to log out, the arrows for workspaces). The desktop may
// show it to the user to accept or change, and its settings change it later.
//
// The source asks the portal whether it has global shortcuts at once; the session and the
// binding follow on a thread of the source's own, because the desktop may wait for the user to
// accept. Each press reaches the handler as one Hotkey event from EventsDispatch, on the caller's
// thread. A portal that is absent, lacks global shortcuts, or refuses the session or the binding
// is logged in one line (with `fallbackText`, what the user has instead), and CanWatchKeys() is
// false from then on.
class TPortalHotkeySource final : public THotkeySource
{
public:
    static constexpr const char* ShortcutId = "toggle-window";
    static constexpr const char* ShortcutDescription = "Show or hide the Tallyhour window";
    static constexpr const char* PreferredTrigger = "CTRL+ALT+h";
    // The name the program's menu entry has (tallyhour.desktop), under which the desktop lists
    // the shortcut.
    static constexpr const char* ApplicationId = "tallyhour";
    // The portal may have to be started on the first call of the session.
    static constexpr int CallTimeoutMs = 5000;

    enum class TState
    {
        Binding, // asking the portal; the user may be choosing the trigger
        Bound, // the desktop reports presses of the shortcut
        Unavailable, // for good: ErrorText() says why
    };

    // Connects to the session bus at `busAddress` (empty: the session's own). Never raises.
    explicit TPortalHotkeySource(const std::string& busAddress = "", const std::string& fallbackText = "");
    ~TPortalHotkeySource() override;
    TPortalHotkeySource(const TPortalHotkeySource&) = delete;
    TPortalHotkeySource& operator=(const TPortalHotkeySource&) = delete;

    bool CanWatchKeys() const override;
    int EventDescriptor() const override;
    bool EventsDispatch() override;
    void KeyEventHandlerSet(std::function<void(const TKeyEvent&)> handler) override;
    std::string HotkeyNameGet() const override;

    TState StateGet() const;
    // Waits until the state is no longer Binding, at most `milliseconds`; gives the state then.
    TState StateWait(int milliseconds) const;
    // The trigger as the desktop describes it ("Ctrl+Alt+H"); empty before it is bound, or when
    // the user left the shortcut without a key.
    std::string TriggerGet() const;
    std::string ErrorText() const;

private:
    // Connects and asks the portal whether it has global shortcuts; false, with `errorText`, when
    // not.
    bool PortalCheck(const std::string& busAddress, std::string& errorText);
    void SessionCreate();
    void SessionCreated(uint32_t code, GVariant* results);
    void ShortcutsBind();
    void ShortcutsBound(uint32_t code, GVariant* results);
    void ShortcutsChanged(GVariant* shortcuts);
    std::string RequestTokenNew();
    std::string RequestPath(const std::string& token) const;
    // From now on takes the Response of the request at `path` for the current step.
    void ResponseAwait(const std::string& path);
    void ResponseTake(GVariant* parameters);
    void Fail(const std::string& reason);
    void Shutdown();

    static void OnResponse(GDBusConnection*, const char* sender, const char* path, const char* interface,
        const char* signal, GVariant* parameters, void* self);
    static void OnPortalSignal(GDBusConnection*, const char* sender, const char* path, const char* interface,
        const char* signal, GVariant* parameters, void* self);
    static void OnPortalGone(GDBusConnection*, const char* sender, const char* path, const char* interface,
        const char* signal, GVariant* parameters, void* self);

    GDBusConnection* m_bus = nullptr;
    TBusThread m_busThread;
    int m_eventFd = -1;
    std::string m_fallbackText;
    std::function<void(const TKeyEvent&)> m_handler;

    // On the bus thread only (and before it starts).
    std::string m_portalOwner;
    std::string m_sender; // our unique name as a request path's element
    std::string m_sessionHandle;
    unsigned m_tokenCount = 0;
    unsigned m_responseSubscription = 0;
    std::string m_responsePath;
    // The request whose Response is awaited.
    enum class TStep
    {
        None,
        SessionCreating,
        ShortcutsBinding
    };
    TStep m_step = TStep::None;
    // Activated and ShortcutsChanged, the session's Closed, the portal's leaving the bus.
    unsigned m_signalSubscriptions[3] = {};

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_stateChanged;
    // Guarded by m_mutex.
    TState m_state = TState::Binding;
    std::string m_trigger;
    std::string m_errorText;
};
