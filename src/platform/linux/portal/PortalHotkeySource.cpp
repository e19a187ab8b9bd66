#include "platform/linux/portal/PortalHotkeySource.h"

#include "model/ProgramLog.h"
#include "platform/linux/SessionBus.h"

#include <gio/gio.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";

std::string PortalErrorTake(GError*& error)
{
    std::string text = error ? error->message : "unknown error";
    if (error && g_dbus_error_is_remote_error(error)) {
        // The message alone; the remote error's name stays in the log only where it says more.
        g_dbus_error_strip_remote_error(error);
        text = error->message;
    }
    g_clear_error(&error);
    return text;
}

// The session bus's address, or empty: never one launched on the spot.
std::string PortalBusAddress()
{
    const char* named = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (named && *named)
        return named;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    if (runtime && *runtime && std::filesystem::exists(std::string(runtime) + "/bus", ignored))
        return "unix:path=" + std::string(runtime) + "/bus";
    return {};
}

// A string or an object path from `dictionary` (portals have given the session handle as either).
std::string PortalVardictText(GVariant* dictionary, const char* key)
{
    std::string text;
    if (!dictionary || !g_variant_is_of_type(dictionary, G_VARIANT_TYPE_VARDICT))
        return text;
    if (GVariant* value = g_variant_lookup_value(dictionary, key, nullptr)) {
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)
            || g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH))
            text = g_variant_get_string(value, nullptr);
        g_variant_unref(value);
    }
    return text;
}

// The trigger the desktop describes for the program's shortcut in a list of (id, properties);
// false when the list does not hold it.
bool PortalTriggerFind(GVariant* shortcuts, std::string& trigger)
{
    if (!shortcuts || !g_variant_is_of_type(shortcuts, G_VARIANT_TYPE("a(sa{sv})")))
        return false;
    GVariantIter iter;
    g_variant_iter_init(&iter, shortcuts);
    const char* id = nullptr;
    GVariant* properties = nullptr;
    bool found = false;
    while (g_variant_iter_next(&iter, "(&s@a{sv})", &id, &properties)) {
        if (!found && std::string(id) == TPortalHotkeySource::ShortcutId) {
            found = true;
            trigger = PortalVardictText(properties, "trigger_description");
        }
        g_variant_unref(properties);
    }
    return found;
}

} // namespace

TPortalHotkeySource::TPortalHotkeySource(const std::string& busAddress, const std::string& fallbackText)
    : m_fallbackText(fallbackText)
{
    std::string errorText;
    if (!PortalCheck(busAddress, errorText)) {
        Fail(errorText);
        Shutdown();
        return;
    }
    m_eventFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_busThread.Register([this] {
        m_signalSubscriptions[0]
            = g_dbus_connection_signal_subscribe(m_bus, m_portalOwner.c_str(), kShortcutsInterface, nullptr,
                kPortalPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &TPortalHotkeySource::OnPortalSignal, this, nullptr);
        m_signalSubscriptions[1] = g_dbus_connection_signal_subscribe(m_bus, m_portalOwner.c_str(), kSessionInterface,
            "Closed", nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &TPortalHotkeySource::OnPortalSignal, this, nullptr);
        m_signalSubscriptions[2] = g_dbus_connection_signal_subscribe(m_bus, "org.freedesktop.DBus",
            "org.freedesktop.DBus", "NameOwnerChanged", "/org/freedesktop/DBus", kPortalName, G_DBUS_SIGNAL_FLAGS_NONE,
            &TPortalHotkeySource::OnPortalGone, this, nullptr);
        g_main_context_invoke(
            m_busThread.Context(),
            [](void* self) {
                static_cast<TPortalHotkeySource*>(self)->SessionCreate();
                return G_SOURCE_REMOVE;
            },
            this);
    });
    m_busThread.Start();
}

TPortalHotkeySource::~TPortalHotkeySource()
{
    Shutdown();
}

bool TPortalHotkeySource::PortalCheck(const std::string& busAddress, std::string& errorText)
{
    const std::string address = busAddress.empty() ? PortalBusAddress() : busAddress;
    if (address.empty()) {
        errorText = "there is no session bus (DBUS_SESSION_BUS_ADDRESS is not set)";
        return false;
    }
    // A connection of its own: the portal's session lives as long as it, and its signals are
    // dispatched on this object's thread whatever the rest of the program does with the bus.
    GError* error = nullptr;
    m_bus = g_dbus_connection_new_for_address_sync(address.c_str(),
        static_cast<GDBusConnectionFlags>(
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (!m_bus) {
        errorText = "cannot connect to the session bus: " + PortalErrorTake(error);
        return false;
    }
    g_dbus_connection_set_exit_on_close(m_bus, FALSE);
    // A request's path is made of the caller's unique name without its colon, dots as
    // underscores, and the caller's token.
    std::string sender = g_dbus_connection_get_unique_name(m_bus);
    if (!sender.empty() && sender[0] == ':')
        sender.erase(0, 1);
    for (char& c : sender) {
        if (c == '.')
            c = '_';
    }
    m_sender = sender;

    // A portal that is not there, or does not answer, is told once, not asked again.
    const auto unreachable = [&errorText](GError*& callError) {
        if (g_error_matches(callError, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN)
            || g_error_matches(callError, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER))
            errorText = "there is no desktop portal (xdg-desktop-portal) on the session bus";
        else if (g_error_matches(callError, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY)
            || g_error_matches(callError, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT)
            || g_error_matches(callError, G_IO_ERROR, G_IO_ERROR_TIMED_OUT))
            errorText = "the desktop portal did not answer within " + std::to_string(CallTimeoutMs / 1000) + " seconds";
        else
            return false;
        g_clear_error(&callError);
        return true;
    };
    // A program started outside a sandbox is known to the portal by its menu entry only when
    // it says so, before any other call; portals before 1.19 lack the call, and the shortcut
    // works without it there.
    if (GVariant* registered = g_dbus_connection_call_sync(m_bus, kPortalName, kPortalPath,
            "org.freedesktop.host.portal.Registry", "Register", g_variant_new("(sa{sv})", ApplicationId, nullptr),
            nullptr, G_DBUS_CALL_FLAGS_NONE, CallTimeoutMs, nullptr, &error)) {
        g_variant_unref(registered);
    } else if (unreachable(error)) {
        return false;
    } else {
        g_clear_error(&error);
    }

    GVariant* version = g_dbus_connection_call_sync(m_bus, kPortalName, kPortalPath, "org.freedesktop.DBus.Properties",
        "Get", g_variant_new("(ss)", kShortcutsInterface, "version"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        CallTimeoutMs, nullptr, &error);
    if (!version) {
        if (!unreachable(error))
            errorText = "this desktop's portal has no global shortcuts (the desktop's own part of the portal "
                        "offers none, or xdg-desktop-portal is older than 1.16: "
                + PortalErrorTake(error) + ")";
        return false;
    }
    g_variant_unref(version);

    GVariant* owner = g_dbus_connection_call_sync(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", "GetNameOwner", g_variant_new("(s)", kPortalName), G_VARIANT_TYPE("(s)"),
        G_DBUS_CALL_FLAGS_NONE, CallTimeoutMs, nullptr, &error);
    if (!owner) {
        errorText = "the desktop portal left the session bus: " + PortalErrorTake(error);
        return false;
    }
    const char* ownerName = nullptr;
    g_variant_get(owner, "(&s)", &ownerName);
    // Signals are taken from the portal's own connection only: any program could send one
    // with the portal's interface.
    m_portalOwner = ownerName;
    g_variant_unref(owner);
    return true;
}

std::string TPortalHotkeySource::RequestTokenNew()
{
    return "tallyhour" + std::to_string(getpid()) + "_" + std::to_string(++m_tokenCount);
}

std::string TPortalHotkeySource::RequestPath(const std::string& token) const
{
    return std::string(kPortalPath) + "/request/" + m_sender + "/" + token;
}

void TPortalHotkeySource::ResponseAwait(const std::string& path)
{
    // Subscribed before the call, so that a Response sent at once is not missed.
    if (m_responseSubscription)
        g_dbus_connection_signal_unsubscribe(m_bus, m_responseSubscription);
    m_responsePath = path;
    m_responseSubscription = g_dbus_connection_signal_subscribe(m_bus, m_portalOwner.c_str(), kRequestInterface,
        "Response", path.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &TPortalHotkeySource::OnResponse, this, nullptr);
}

namespace {

// A call that starts a request, and what is done with its reply: the request's handle, which a
// portal older than the token convention may choose itself.
struct TPortalRequestCall
{
    std::function<void(const std::string& handle, const std::string& errorText)> Done;
};

void PortalRequestCallDone(GObject* bus, GAsyncResult* result, void* data)
{
    auto* call = static_cast<TPortalRequestCall*>(data);
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
    if (reply) {
        const char* handle = nullptr;
        g_variant_get(reply, "(&o)", &handle);
        call->Done(handle, {});
        g_variant_unref(reply);
    } else {
        call->Done({}, PortalErrorTake(error));
    }
    delete call;
}

void PortalRequestCall(GDBusConnection* bus, TPortalRequestCall* call, const char* method, GVariant* parameters)
{
    g_dbus_connection_call(bus, kPortalName, kPortalPath, kShortcutsInterface, method, parameters,
        G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, TPortalHotkeySource::CallTimeoutMs, nullptr,
        &PortalRequestCallDone, call);
}

} // namespace

void TPortalHotkeySource::SessionCreate()
{
    const std::string token = RequestTokenNew();
    ResponseAwait(RequestPath(token));
    m_step = TStep::SessionCreating;
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(token.c_str()));
    PortalRequestCall(m_bus, new TPortalRequestCall { [this](const std::string& handle, const std::string& errorText) {
        if (!errorText.empty())
            Fail("the desktop portal refused to open a session for it: " + errorText);
        else if (handle != m_responsePath && m_step == TStep::SessionCreating)
            ResponseAwait(handle);
    } },
        "CreateSession", g_variant_new("(a{sv})", &options));
}

void TPortalHotkeySource::SessionCreated(uint32_t code, GVariant* results)
{
    if (code != 0) {
        Fail(code == 1 ? "the desktop declined to open a session for it"
                       : "the desktop could not open a session for it");
        return;
    }
    m_sessionHandle = PortalVardictText(results, "session_handle");
    if (m_sessionHandle.empty() || !g_variant_is_object_path(m_sessionHandle.c_str())) {
        Fail("the desktop portal opened a session without naming it");
        return;
    }
    ShortcutsBind();
}

void TPortalHotkeySource::ShortcutsBind()
{
    const std::string token = RequestTokenNew();
    ResponseAwait(RequestPath(token));
    m_step = TStep::ShortcutsBinding;
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&properties, "{sv}", "description", g_variant_new_string(ShortcutDescription));
    g_variant_builder_add(&properties, "{sv}", "preferred_trigger", g_variant_new_string(PreferredTrigger));
    GVariantBuilder shortcuts;
    g_variant_builder_init(&shortcuts, G_VARIANT_TYPE("a(sa{sv})"));
    g_variant_builder_add(&shortcuts, "(sa{sv})", ShortcutId, &properties);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    // No parent window: the program's windows may be hidden, and the portal then centres its
    // dialog on the screen.
    PortalRequestCall(m_bus, new TPortalRequestCall { [this](const std::string& handle, const std::string& errorText) {
        if (!errorText.empty())
            Fail("the desktop portal refused the shortcut: " + errorText);
        else if (handle != m_responsePath && m_step == TStep::ShortcutsBinding)
            ResponseAwait(handle);
    } },
        "BindShortcuts", g_variant_new("(oa(sa{sv})sa{sv})", m_sessionHandle.c_str(), &shortcuts, "", &options));
}

void TPortalHotkeySource::ShortcutsBound(uint32_t code, GVariant* results)
{
    if (code != 0) {
        // 1: the user cancelled the desktop's dialog; 2: the desktop ended the request itself.
        Fail(code == 1 ? "the shortcut was declined in the desktop's dialog" : "the desktop refused the shortcut");
        return;
    }
    std::string trigger;
    GVariant* shortcuts = results ? g_variant_lookup_value(results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})")) : nullptr;
    PortalTriggerFind(shortcuts, trigger);
    if (shortcuts)
        g_variant_unref(shortcuts);
    std::unique_lock lock(m_mutex);
    if (m_state == TState::Unavailable)
        return;
    // Told before the state changes, so that whoever waits for the binding finds it said.
    if (trigger.empty())
        LogMessageWrite("The desktop took the hot key as one of its global shortcuts but gave it no key yet; choose "
                        "one in the desktop's settings (shortcuts, Tallyhour).");
    else
        LogMessageWrite("The hot key is " + trigger
            + ", a global shortcut of the desktop's; change it in the desktop's settings (shortcuts, Tallyhour).");
    m_state = TState::Bound;
    m_trigger = trigger;
    lock.unlock();
    m_stateChanged.notify_all();
}

void TPortalHotkeySource::ShortcutsChanged(GVariant* shortcuts)
{
    std::string trigger;
    if (!PortalTriggerFind(shortcuts, trigger))
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_state != TState::Bound || trigger == m_trigger)
            return;
        m_trigger = trigger;
    }
    LogMessageWrite(trigger.empty() ? "The desktop's shortcut for the hot key has no key now."
                                    : "The hot key is " + trigger + " now, as set in the desktop's settings.");
}

void TPortalHotkeySource::ResponseTake(GVariant* parameters)
{
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})")))
        return;
    uint32_t code = 2;
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &code, &results);
    g_dbus_connection_signal_unsubscribe(m_bus, m_responseSubscription);
    m_responseSubscription = 0;
    const TStep step = m_step;
    m_step = TStep::None;
    if (step == TStep::SessionCreating)
        SessionCreated(code, results);
    else if (step == TStep::ShortcutsBinding)
        ShortcutsBound(code, results);
    g_variant_unref(results);
}

void TPortalHotkeySource::OnResponse(
    GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters, void* self)
{
    static_cast<TPortalHotkeySource*>(self)->ResponseTake(parameters);
}

void TPortalHotkeySource::OnPortalSignal(GDBusConnection*, const char*, const char* path, const char* interface,
    const char* signal, GVariant* parameters, void* self)
{
    auto* source = static_cast<TPortalHotkeySource*>(self);
    const std::string name = signal;
    if (std::string(interface) == kSessionInterface) {
        if (!source->m_sessionHandle.empty() && source->m_sessionHandle == path)
            source->Fail("the desktop closed the shortcut's session");
        return;
    }
    if (name == "Activated" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) {
        const char* session = nullptr;
        const char* id = nullptr;
        g_variant_get(parameters, "(&o&sta{sv})", &session, &id, nullptr, nullptr);
        // After a refusal the shortcut is not the program's hot key, whatever the portal sends.
        if (source->m_sessionHandle == session && std::string(id) == ShortcutId && source->CanWatchKeys()) {
            const uint64_t one = 1;
            if (write(source->m_eventFd, &one, sizeof one) != sizeof one)
                LogMessageWrite("A press of the hot key was lost: the program's own event queue is full.");
        }
    } else if (name == "ShortcutsChanged" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(oa(sa{sv}))"))) {
        const char* session = nullptr;
        GVariant* shortcuts = nullptr;
        g_variant_get(parameters, "(&o@a(sa{sv}))", &session, &shortcuts);
        if (source->m_sessionHandle == session)
            source->ShortcutsChanged(shortcuts);
        g_variant_unref(shortcuts);
    }
}

void TPortalHotkeySource::OnPortalGone(
    GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters, void* self)
{
    const char* newOwner = "";
    g_variant_get(parameters, "(&s&s&s)", nullptr, nullptr, &newOwner);
    auto* source = static_cast<TPortalHotkeySource*>(self);
    // A portal that comes back has forgotten the session.
    if (source->m_portalOwner != newOwner)
        source->Fail("the desktop portal left the session bus");
}

void TPortalHotkeySource::Fail(const std::string& reason)
{
    std::unique_lock lock(m_mutex);
    if (m_state == TState::Unavailable)
        return;
    // Said before the state changes, so that whoever waits for the outcome finds it said; the
    // lock keeps a second failure from saying it again meanwhile.
    LogMessageWrite("The hot key through the desktop's global shortcuts is not available: " + reason
        + (m_fallbackText.empty() ? "." : "; " + m_fallbackText + "."));
    m_state = TState::Unavailable;
    m_errorText = reason;
    m_trigger.clear();
    lock.unlock();
    m_stateChanged.notify_all();
}

void TPortalHotkeySource::Shutdown()
{
    m_busThread.Stop();
    if (m_bus) {
        for (unsigned& subscription : m_signalSubscriptions) {
            if (subscription)
                g_dbus_connection_signal_unsubscribe(m_bus, subscription);
            subscription = 0;
        }
        if (m_responseSubscription)
            g_dbus_connection_signal_unsubscribe(m_bus, m_responseSubscription);
        m_responseSubscription = 0;
        // The portal closes the session with the connection.
        g_dbus_connection_close_sync(m_bus, nullptr, nullptr);
        g_object_unref(m_bus);
        m_bus = nullptr;
    }
    // Replies still queued are dropped with the bus thread's context, never dispatched to this object.
    if (m_eventFd >= 0) {
        close(m_eventFd);
        m_eventFd = -1;
    }
}

bool TPortalHotkeySource::CanWatchKeys() const
{
    std::lock_guard lock(m_mutex);
    return m_state != TState::Unavailable;
}

int TPortalHotkeySource::EventDescriptor() const
{
    return m_eventFd;
}

bool TPortalHotkeySource::EventsDispatch()
{
    uint64_t presses = 0;
    if (m_eventFd >= 0 && read(m_eventFd, &presses, sizeof presses) != sizeof presses)
        presses = 0;
    for (uint64_t i = 0; i < presses; ++i) {
        if (m_handler)
            m_handler(TKeyEvent { TKeyEventKind::Hotkey, 0 });
    }
    return CanWatchKeys();
}

void TPortalHotkeySource::KeyEventHandlerSet(std::function<void(const TKeyEvent&)> handler)
{
    m_handler = std::move(handler);
}

std::string TPortalHotkeySource::HotkeyNameGet() const
{
    std::lock_guard lock(m_mutex);
    if (m_state == TState::Unavailable)
        return {};
    return m_trigger.empty() ? "the desktop's shortcut for Tallyhour" : m_trigger;
}

TPortalHotkeySource::TState TPortalHotkeySource::StateGet() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

TPortalHotkeySource::TState TPortalHotkeySource::StateWait(int milliseconds) const
{
    std::unique_lock lock(m_mutex);
    m_stateChanged.wait_for(
        lock, std::chrono::milliseconds(milliseconds), [this] { return m_state != TState::Binding; });
    return m_state;
}

std::string TPortalHotkeySource::TriggerGet() const
{
    std::lock_guard lock(m_mutex);
    return m_trigger;
}

std::string TPortalHotkeySource::ErrorText() const
{
    std::lock_guard lock(m_mutex);
    return m_errorText;
}
