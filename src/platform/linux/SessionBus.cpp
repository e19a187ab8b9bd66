#include "platform/linux/SessionBus.h"

#include "model/Exceptions.h"

#include <gio/gio.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

GDBusConnection* SessionBusConnect(const std::string& busAddress, const std::string& compositor)
{
    std::string address = busAddress;
    if (address.empty()) {
        const char* named = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        std::error_code ignored;
        if (named && *named)
            address = named;
        else if (runtime && *runtime && std::filesystem::exists(std::string(runtime) + "/bus", ignored))
            address = "unix:path=" + std::string(runtime) + "/bus";
        else
            throw EOSError(
                "There is no session bus to reach " + compositor + " on (DBUS_SESSION_BUS_ADDRESS is not set)");
    }
    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(address.c_str(),
        static_cast<GDBusConnectionFlags>(
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (!bus) {
        const std::string reason = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw EOSError("Cannot connect to the session bus: " + reason);
    }
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    return bus;
}

std::string SessionBusOwnerGet(GDBusConnection* bus, const char* name, int timeoutMs)
{
    GError* error = nullptr;
    GVariant* owner = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", "GetNameOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(s)"),
        G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, &error);
    g_clear_error(&error);
    if (!owner)
        return {};
    const char* ownerName = nullptr;
    g_variant_get(owner, "(&s)", &ownerName);
    std::string text = ownerName ? ownerName : "";
    g_variant_unref(owner);
    return text;
}

TBusThread::TBusThread()
    : m_context(g_main_context_new())
    , m_loop(g_main_loop_new(m_context, FALSE))
{
}

TBusThread::~TBusThread()
{
    Stop();
    g_main_loop_unref(m_loop);
    g_main_context_unref(m_context);
}

void TBusThread::Register(const std::function<void()>& registration)
{
    g_main_context_push_thread_default(m_context);
    registration();
    g_main_context_pop_thread_default(m_context);
}

void TBusThread::Start()
{
    m_thread = std::thread([this] {
        g_main_context_push_thread_default(m_context);
        g_main_loop_run(m_loop);
        g_main_context_pop_thread_default(m_context);
    });
}

void TBusThread::Stop()
{
    if (m_thread.joinable()) {
        Post(
            [](void* loop) {
                g_main_loop_quit(static_cast<GMainLoop*>(loop));
                return G_SOURCE_REMOVE;
            },
            m_loop);
        m_thread.join();
    }
    for (unsigned timerId : std::exchange(m_timers, {})) {
        if (GSource* timer = g_main_context_find_source_by_id(m_context, timerId))
            g_source_destroy(timer);
    }
}

void TBusThread::TimerStart(unsigned& timerId, unsigned milliseconds, int (*callback)(void*), void* data)
{
    if (timerId != 0)
        return;
    GSource* timer = g_timeout_source_new(milliseconds);
    g_source_set_callback(timer, callback, data, nullptr);
    timerId = g_source_attach(timer, m_context);
    g_source_unref(timer);
    m_timers.push_back(timerId);
}

void TBusThread::Post(int (*callback)(void*), void* data)
{
    GSource* idle = g_idle_source_new();
    g_source_set_callback(idle, callback, data, nullptr);
    g_source_attach(idle, m_context);
    g_source_unref(idle);
}
