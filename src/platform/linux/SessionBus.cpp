#include "platform/linux/SessionBus.h"

#include "model/Exceptions.h"

#include <gio/gio.h>

#include <cstdlib>
#include <filesystem>

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

void BusThreadEnd(GMainContext* context, GMainLoop* loop, std::thread& thread)
{
    GSource* quit = g_idle_source_new();
    g_source_set_callback(
        quit,
        [](void* target) {
            g_main_loop_quit(static_cast<GMainLoop*>(target));
            return G_SOURCE_REMOVE;
        },
        loop, nullptr);
    g_source_attach(quit, context);
    g_source_unref(quit);
    if (thread.joinable())
        thread.join();
}
