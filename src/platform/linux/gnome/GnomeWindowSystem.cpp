#include "platform/linux/gnome/GnomeWindowSystem.h"

#include "model/ProgramLog.h"
#include "platform/linux/SessionBus.h"

#include <gio/gio.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

namespace fs = std::filesystem;

namespace {

// The extension answers at once; a busy Shell, just after enabling it, may take longer than a call.
constexpr int ShellFirstStateTimeoutMs = 3000;
constexpr int ShellEnableTimeoutMs = 3000;
// A Shell that comes back takes some seconds to load its extensions: asked every ReloadIntervalMs so many times.
constexpr unsigned ShellReloadAttempts = 40;
constexpr int ShellOwnerWaitMs = 3000;

const char* const ShellPath = "/org/gnome/Shell";
const char* const ExtensionsInterface = "org.gnome.Shell.Extensions";

// The Shell's states of an extension (ExtensionState in its extensionUtils); 0 is our own
// "the Shell does not know it", -1 "the Shell did not answer".
enum : int
{
    StateUnanswered = -1,
    StateUnknown = 0,
    StateEnabled = 1,
    StateDisabled = 2,
    StateError = 3,
    StateOutOfDate = 4,
};

std::string ShellErrorTake(GError*& error)
{
    const std::string text = error ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

// What a user can do when the Shell cannot run the extension at all.
const char* const XorgAdvice = "Choose \"GNOME on Xorg\" at the login screen to have them counted.";

} // namespace

TGnomeWindowSystem::TGnomeWindowSystem(const std::string& busAddress, unsigned absenceNoticeDelayMs)
    : TPushedWindowSystem("GNOME Shell", absenceNoticeDelayMs)
{
    BusConnect(busAddress);
    // Started with the session, the program may look before the Shell has taken its name.
    const auto ownerDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ShellOwnerWaitMs);
    while ((m_owner = SessionBusOwnerGet(m_bus, ServiceName, CallTimeoutMs)).empty()) {
        if (std::chrono::steady_clock::now() > ownerDeadline) {
            Shutdown();
            throw EGnomeExtensionError(
                std::string("GNOME Shell is not on the session bus (no owner of ") + ServiceName + ")", XorgAdvice);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }

    m_busThread.Register([this] {
        m_subscriptions.push_back(g_dbus_connection_signal_subscribe(m_bus, ServiceName, ReportInterface, nullptr,
            ReportPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &TGnomeWindowSystem::OnSignal, this, nullptr));
        m_subscriptions.push_back(
            g_dbus_connection_signal_subscribe(m_bus, ServiceName, ExtensionsInterface, "ExtensionStateChanged",
                ShellPath, ExtensionUuid, G_DBUS_SIGNAL_FLAGS_NONE, &TGnomeWindowSystem::OnSignal, this, nullptr));
        m_subscriptions.push_back(g_dbus_connection_signal_subscribe(m_bus, "org.freedesktop.DBus",
            "org.freedesktop.DBus", "NameOwnerChanged", "/org/freedesktop/DBus", ServiceName, G_DBUS_SIGNAL_FLAGS_NONE,
            &TGnomeWindowSystem::OnSignal, this, nullptr));
    });
    m_busThread.Start();

    const auto started = std::chrono::steady_clock::now();
    for (;;) {
        try {
            ExtensionEnsure();
            break;
        } catch (const EGnomeExtensionError& error) {
            if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(error.MayPassWithinMs)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
                continue;
            }
            Shutdown();
            throw;
        } catch (...) {
            Shutdown();
            throw;
        }
    }
    StateRequest();
    std::unique_lock lock(m_mutex);
    if (!m_stateRead.wait_for(
            lock, std::chrono::milliseconds(ShellFirstStateTimeoutMs), [this] { return m_reporting; })) {
        lock.unlock();
        Shutdown();
        throw EGnomeExtensionError("GNOME Shell runs the extension but it did not tell the windows within "
                + std::to_string(ShellFirstStateTimeoutMs / 1000) + " seconds",
            "Restart Tallyhour to try again, or choose \"GNOME on Xorg\" at the login screen to have them counted.");
    }
}

TGnomeWindowSystem::~TGnomeWindowSystem()
{
    Shutdown();
}

void TGnomeWindowSystem::Shutdown()
{
    if (m_bus) {
        for (unsigned id : m_subscriptions)
            g_dbus_connection_signal_unsubscribe(m_bus, id);
        m_subscriptions.clear();
    }
    // A state answer still queued is dropped with the bus thread's context, never dispatched to this object.
    BusClose();
}

std::string TGnomeWindowSystem::ExtensionFolderFind()
{
    std::vector<std::string> folders;
    const char* home = std::getenv("HOME");
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome)
        folders.emplace_back(dataHome);
    else if (home && *home)
        folders.push_back(std::string(home) + "/.local/share");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    const std::string dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    for (size_t start = 0; start <= dirs.size();) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        if (end > start)
            folders.push_back(dirs.substr(start, end - start));
        start = end + 1;
    }
    for (const std::string& folder : folders) {
        const std::string candidate = folder + "/gnome-shell/extensions/" + ExtensionUuid;
        std::error_code ignored;
        if (fs::exists(candidate + "/metadata.json", ignored))
            return candidate;
    }
    return {};
}

int TGnomeWindowSystem::ExtensionStateGet()
{
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(m_bus, ServiceName, ShellPath, ExtensionsInterface,
        "GetExtensionInfo", g_variant_new("(s)", ExtensionUuid), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE,
        ExtensionCallTimeoutMs, nullptr, &error);
    if (!reply) {
        g_clear_error(&error);
        return StateUnanswered;
    }
    GVariant* info = g_variant_get_child_value(reply, 0);
    double state = StateUnknown;
    // An extension the Shell does not know comes back as an empty dictionary.
    if (!g_variant_lookup(info, "state", "d", &state))
        state = StateUnknown;
    g_variant_unref(info);
    g_variant_unref(reply);
    return static_cast<int>(state);
}

void TGnomeWindowSystem::ExtensionFailureThrow(int state)
{
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(m_bus, ServiceName, ShellPath, ExtensionsInterface,
        "GetExtensionErrors", g_variant_new("(s)", ExtensionUuid), G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE,
        ExtensionCallTimeoutMs, nullptr, &error);
    g_clear_error(&error);
    std::string errors;
    if (reply) {
        GVariantIter* iter = nullptr;
        const char* line = nullptr;
        g_variant_get(reply, "(as)", &iter);
        while (g_variant_iter_next(iter, "&s", &line))
            errors += (errors.empty() ? "" : "; ") + std::string(line);
        g_variant_iter_free(iter);
        g_variant_unref(reply);
    }
    if (state == StateOutOfDate)
        throw EGnomeExtensionError("this GNOME Shell does not take its extension, made for other versions",
            std::string("A version of Tallyhour made for this GNOME will bring an extension that fits. ") + XorgAdvice);
    throw EGnomeExtensionError(
        "GNOME Shell could not run its extension" + (errors.empty() ? "" : ": " + errors), XorgAdvice);
}

void TGnomeWindowSystem::ExtensionEnsure()
{
    const int state = ExtensionStateGet();
    if (state == StateEnabled)
        return;
    if (state == StateUnanswered)
        throw EGnomeExtensionError(
            "GNOME Shell does not answer about its extensions (org.gnome.Shell.Extensions)", XorgAdvice, 15000);
    if (state == StateUnknown) {
        const std::string folder = ExtensionFolderFind();
        if (folder.empty())
            throw EGnomeExtensionError(std::string("its GNOME Shell extension ") + ExtensionUuid + " is not installed",
                std::string("Install Tallyhour's package again, which puts the extension in "
                            "/usr/share/gnome-shell/extensions/")
                    + ExtensionUuid + ", then log out and in again to have them counted.");
        throw EGnomeExtensionError(
            "GNOME Shell has not loaded its extension in " + folder + ", which was installed after the session started",
            "Log out and in again to have them counted: GNOME Shell takes up new extensions only when a session "
            "starts.",
            3000);
    }
    // The Shell reads the extension's code when it first enables it: a damaged one fails here or
    // right after it was enabled below.
    if (state == StateError || state == StateOutOfDate)
        ExtensionFailureThrow(state);

    // Installed and switched off (or not yet on): the program needs it, so it switches it on as
    // the Extensions app would. Unless the user has switched off extensions altogether, which
    // would take every other extension of theirs with it.
    GError* error = nullptr;
    GVariant* allowed = g_dbus_connection_call_sync(m_bus, ServiceName, ShellPath, "org.freedesktop.DBus.Properties",
        "Get", g_variant_new("(ss)", ExtensionsInterface, "UserExtensionsEnabled"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, ExtensionCallTimeoutMs, nullptr, &error);
    g_clear_error(&error);
    if (allowed) {
        GVariant* value = nullptr;
        g_variant_get(allowed, "(v)", &value);
        const bool off = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && !g_variant_get_boolean(value);
        g_variant_unref(value);
        g_variant_unref(allowed);
        if (off)
            throw EGnomeExtensionError("extensions are switched off in GNOME's Extensions app",
                "Switch on \"Use Extensions\" in GNOME's Extensions app (or run: gsettings set org.gnome.shell "
                "disable-user-extensions false), then restart Tallyhour to have them counted.");
    }
    GVariant* enabled = g_dbus_connection_call_sync(m_bus, ServiceName, ShellPath, ExtensionsInterface,
        "EnableExtension", g_variant_new("(s)", ExtensionUuid), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        ExtensionCallTimeoutMs, nullptr, &error);
    gboolean done = FALSE;
    std::string reason;
    if (enabled) {
        g_variant_get(enabled, "(b)", &done);
        g_variant_unref(enabled);
    } else {
        reason = " (" + ShellErrorTake(error) + ")";
    }
    if (!done)
        throw EGnomeExtensionError("GNOME Shell refused to enable its extension" + reason, XorgAdvice);
    LogMessageWrite(std::string("Enabled Tallyhour's GNOME Shell extension ") + ExtensionUuid
        + " through GNOME Shell (org.gnome.Shell.Extensions EnableExtension) so that the window in front can be "
          "seen; \"gnome-extensions disable "
        + ExtensionUuid + "\" undoes it until Tallyhour starts again");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ShellEnableTimeoutMs);
    for (int now = ExtensionStateGet(); now != StateEnabled; now = ExtensionStateGet()) {
        if (now == StateError || now == StateOutOfDate)
            ExtensionFailureThrow(now);
        if (std::chrono::steady_clock::now() > deadline)
            throw EGnomeExtensionError("GNOME Shell enabled its extension but did not start it", XorgAdvice);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void TGnomeWindowSystem::StateRequest()
{
    // Asked from the bus thread, so that the answer is dispatched there in order with the signals.
    m_busThread.Post(
        [](void* self) {
            auto* system = static_cast<TGnomeWindowSystem*>(self);
            unsigned generation = 0;
            {
                std::lock_guard lock(system->m_mutex);
                generation = ++system->m_stateGeneration;
            }
            g_dbus_connection_call(system->m_bus, ServiceName, ReportPath, ReportInterface, "State", nullptr,
                G_VARIANT_TYPE("(ta(tuss))"), G_DBUS_CALL_FLAGS_NONE, CallTimeoutMs, nullptr,
                &TGnomeWindowSystem::OnStateReply,
                // The generation rides along with the object: an older answer is not applied.
                new std::pair<TGnomeWindowSystem*, unsigned>(system, generation));
            return G_SOURCE_REMOVE;
        },
        this);
}

void TGnomeWindowSystem::OnStateReply(GObject* source, GAsyncResult* result, void* data)
{
    const auto [system, generation] = *static_cast<std::pair<TGnomeWindowSystem*, unsigned>*>(data);
    delete static_cast<std::pair<TGnomeWindowSystem*, unsigned>*>(data);
    GError* error = nullptr;
    GVariant* state = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    std::lock_guard lock(system->m_mutex);
    if (!state) {
        LogMessageWrite("Tallyhour's GNOME Shell extension did not tell the windows: " + ShellErrorTake(error));
        return;
    }
    if (generation == system->m_stateGeneration)
        system->StateApply(state);
    g_variant_unref(state);
}

void TGnomeWindowSystem::StateApply(GVariant* state)
{
    // Called with m_mutex held.
    guint64 focused = 0;
    GVariant* list = nullptr;
    g_variant_get(state, "(t@a(tuss))", &focused, &list);
    std::vector<TWindow> windows;
    const gsize count = g_variant_n_children(list);
    for (gsize i = 0; i < count; ++i) {
        GVariant* window = g_variant_get_child_value(list, i);
        guint64 id = 0;
        guint32 pid = 0;
        const char* className = nullptr;
        const char* title = nullptr;
        g_variant_get(window, "(tu&s&s)", &id, &pid, &className, &title);
        windows.push_back({ 0, id, pid, className, title });
        g_variant_unref(window);
    }
    g_variant_unref(list);
    WindowsReplace(std::move(windows));
    m_activeId = focused;
    const bool first = !m_reporting;
    m_reporting = true;
    m_everReported = true;
    if (first)
        m_stateRead.notify_all();
}

void TGnomeWindowSystem::OnSignal(GDBusConnection*, const char* sender, const char*, const char*, const char* signal,
    GVariant* parameters, void* self)
{
    static_cast<TGnomeWindowSystem*>(self)->SignalTake(sender ? sender : "", signal, parameters);
}

void TGnomeWindowSystem::SignalTake(const std::string& sender, const std::string& signal, GVariant* parameters)
{
    if (signal == "NameOwnerChanged") {
        const char* name = nullptr;
        const char* oldOwner = nullptr;
        const char* newOwner = nullptr;
        g_variant_get(parameters, "(&s&s&s)", &name, &oldOwner, &newOwner);
        OwnerChanged(newOwner ? newOwner : "");
        return;
    }
    std::lock_guard lock(m_mutex);
    // Any program of the session may send signals that look like the Shell's: only the Shell's
    // own word counts.
    if (m_owner.empty() || sender != m_owner) {
        if (m_foreignSignals++ == 0)
            LogMessageWrite("A report on the windows came from " + sender
                + ", which is not GNOME Shell; it is ignored, as are any later ones");
        return;
    }
    if (signal == "ExtensionStateChanged") {
        ExtensionStateChanged(parameters);
        return;
    }
    // Until the state is read, its answer covers what these signals tell.
    if (!m_reporting)
        return;
    if (signal == "FocusChanged" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(t)"))) {
        g_variant_get(parameters, "(t)", &m_activeId);
    } else if (signal == "WindowChanged" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("((tuss))"))) {
        guint64 id = 0;
        guint32 pid = 0;
        const char* className = nullptr;
        const char* title = nullptr;
        g_variant_get(parameters, "((tu&s&s))", &id, &pid, &className, &title);
        WindowPut({ 0, id, pid, className, title });
    } else if (signal == "WindowRemoved" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(t)"))) {
        guint64 id = 0;
        g_variant_get(parameters, "(t)", &id);
        WindowRemove(id);
    } else if (m_malformedSignals++ == 0) {
        // An extension of another version than the program's: one line says enough.
        LogMessageWrite("GNOME Shell's extension sent the signal " + signal.substr(0, 40) + " with "
            + g_variant_get_type_string(parameters)
            + ", which this program does not read; it is ignored, as are any later ones of the kind. Is the "
              "extension of the same version as the program?");
    }
}

void TGnomeWindowSystem::ExtensionStateChanged(GVariant* parameters)
{
    // Called with m_mutex held.
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv})")))
        return;
    const char* uuid = nullptr;
    GVariant* info = nullptr;
    g_variant_get(parameters, "(&s@a{sv})", &uuid, &info);
    double state = StateUnknown;
    const bool known = g_variant_lookup(info, "state", "d", &state);
    g_variant_unref(info);
    if (!uuid || std::strcmp(uuid, ExtensionUuid) != 0 || !known)
        return;
    if (static_cast<int>(state) == StateEnabled) {
        // At the start and after a restart of the Shell the state is asked for anyway.
        if (!m_reporting && m_everReported && m_reloadTimer == 0) {
            LogMessageWrite("Tallyhour's GNOME Shell extension is enabled again; the window in front is known again");
            StateRequest();
        }
        return;
    }
    if (!m_reporting)
        return;
    m_reporting = false;
    m_windows.clear();
    m_activeId = 0;
    LogMessageWrite(std::string("Tallyhour's GNOME Shell extension ") + ExtensionUuid
        + " was disabled; the window in front is not known until it is enabled again");
    m_pendingNotice = std::string("Tallyhour cannot see which window is in front any more: its GNOME Shell "
                                  "extension was switched off, so the time spent on the applications and sites of "
                                  "your list is not counted. Switch it on again in GNOME's Extensions app (or run: "
                                  "gnome-extensions enable ")
        + ExtensionUuid + "), or restart Tallyhour, which switches it on.";
}

void TGnomeWindowSystem::OwnerChanged(const std::string& newOwner)
{
    std::lock_guard lock(m_mutex);
    if (!OwnerTake(newOwner, "waiting for it to run Tallyhour's extension again"))
        return;
    m_reporting = false;
    ++m_stateGeneration;
}

void TGnomeWindowSystem::ReloadTry()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_owner.empty() || m_reporting) {
            m_reloadTimer = 0;
            return;
        }
        ++m_reloadAttempts;
    }
    // Blocking calls on the bus thread: the signals wait in the queue meanwhile.
    std::string failure;
    std::string advice;
    try {
        ExtensionEnsure();
    } catch (const EGnomeExtensionError& error) {
        failure = error.what();
        advice = error.Advice;
    }
    std::lock_guard lock(m_mutex);
    if (failure.empty()) {
        m_reloadTimer = 0;
        LogMessageWrite("GNOME Shell runs Tallyhour's extension again; reading its windows");
        StateRequest();
        return;
    }
    if (m_reloadAttempts >= ShellReloadAttempts) {
        ReloadGivenUp("GNOME Shell came back but " + failure,
            "GNOME Shell restarted and " + failure
                + ", so the time spent on the applications and sites of your list is not counted. " + advice);
    }
}

bool TGnomeWindowSystem::Reporting()
{
    std::lock_guard lock(m_mutex);
    return m_reporting;
}

uint64_t TGnomeWindowSystem::WindowIdGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    const TWindow* found = WindowFind(window);
    return found ? found->Id : 0;
}

bool TGnomeWindowSystem::WindowCloseRequest(TWindowHandle window)
{
    const uint64_t id = WindowIdGet(window);
    if (id == 0 || !Reporting())
        return false;
    // The extension answers at once (it only hands the request to the window), so the caller learns
    // whether it was sent.
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(m_bus, ServiceName, ReportPath, ReportInterface, "Close",
        g_variant_new("(t)", static_cast<guint64>(id)), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, CallTimeoutMs,
        nullptr, &error);
    if (!reply) {
        LogMessageWrite("Tallyhour's GNOME Shell extension did not take a close request: " + ShellErrorTake(error));
        return false;
    }
    gboolean sent = FALSE;
    g_variant_get(reply, "(b)", &sent);
    g_variant_unref(reply);
    return sent != FALSE;
}
