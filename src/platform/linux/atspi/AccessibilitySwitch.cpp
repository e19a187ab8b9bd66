#include "platform/linux/atspi/AccessibilitySwitch.h"

#include "platform/linux/CHandles.h"

#include <gio/gio.h>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace {

struct TGVariantUnref
{
    void operator()(GVariant* value) const
    {
        if (value)
            g_variant_unref(value);
    }
};
using TVariant = std::unique_ptr<GVariant, TGVariantUnref>;

std::string SessionBusAddress()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return address;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return {};
    const std::string socket = std::string(runtime) + "/bus";
    struct stat status
    {
    };
    if (stat(socket.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode))
        return {};
    return "unix:path=" + socket;
}

// Takes the error's message and frees it.
std::string ErrorTake(GError*& error, const char* otherwise)
{
    std::string text = error ? error->message : otherwise;
    g_clear_error(&error);
    return text;
}

} // namespace

TAccessibilitySwitch AccessibilitySwitchOn(int timeoutMs)
{
    TAccessibilitySwitch result;
    const std::string address = SessionBusAddress();
    if (address.empty()) {
        result.ErrorText = "no session bus (DBUS_SESSION_BUS_ADDRESS is not set)";
        return result;
    }
    GError* error = nullptr;
    std::unique_ptr<GDBusConnection, TGObjectUnref> bus(g_dbus_connection_new_for_address_sync(address.c_str(),
        static_cast<GDBusConnectionFlags>(
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error));
    if (!bus) {
        result.ErrorText = ErrorTake(error, "the session bus cannot be reached");
        return result;
    }
    TVariant found(g_dbus_connection_call_sync(bus.get(), "org.a11y.Bus", "/org/a11y/bus",
        "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, &error));
    if (!found) {
        result.ErrorText = ErrorTake(error, "the accessibility bus launcher does not answer");
        return result;
    }
    result.Reached = true;
    GVariant* boxed = nullptr;
    g_variant_get(found.get(), "(v)", &boxed);
    TVariant value(boxed);
    result.WasOn
        = value && g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value.get());
    result.On = result.WasOn;
    if (result.WasOn)
        return result;
    TVariant set(
        g_dbus_connection_call_sync(bus.get(), "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties",
            "Set", g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)), nullptr,
            G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, &error));
    if (!set) {
        result.ErrorText = ErrorTake(error, "the accessibility bus launcher refused the change");
        return result;
    }
    result.On = true;
    return result;
}
