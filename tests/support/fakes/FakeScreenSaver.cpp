// A stand-in for a desktop's own screen saver: a compiled program, as the desktops' lockers are,
// that owns a screen saver's name on the session bus and sends its ActiveChanged when the test
// asks through the control interface. Arguments: the name (also the interface) and the object
// path. Ends at SIGTERM.
#include <gio/gio.h>
#include <glib-unix.h>

#include <csignal>
#include <cstdio>
#include <string>

namespace {

struct TSaver
{
    std::string Name;
    std::string Path;
    GDBusConnection* Bus = nullptr;
    bool Active = false;
};

void MethodCall(GDBusConnection*, const char*, const char*, const char* interfaceName, const char* method,
    GVariant* arguments, GDBusMethodInvocation* invocation, gpointer data)
{
    auto* saver = static_cast<TSaver*>(data);
    if (std::string(method) == "GetActive") {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", saver->Active));
        return;
    }
    if (std::string(interfaceName) == "org.tallyhour.FakeScreenSaver" && std::string(method) == "ActiveSet") {
        gboolean active = FALSE;
        g_variant_get(arguments, "(b)", &active);
        saver->Active = active;
        g_dbus_connection_emit_signal(saver->Bus, nullptr, saver->Path.c_str(), saver->Name.c_str(), "ActiveChanged",
            g_variant_new("(b)", active), nullptr);
        g_dbus_method_invocation_return_value(invocation, nullptr);
        return;
    }
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod", method);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s NAME PATH\n", argv[0]);
        return 2;
    }
    TSaver saver { argv[1], argv[2] };
    const std::string xml = "<node><interface name='" + saver.Name
        + "'><method name='GetActive'><arg type='b' direction='out'/></method>"
          "<signal name='ActiveChanged'><arg type='b'/></signal></interface>"
          "<interface name='org.tallyhour.FakeScreenSaver'><method name='ActiveSet'><arg type='b' "
          "direction='in'/></method></interface></node>";
    GError* error = nullptr;
    saver.Bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    GDBusNodeInfo* node = saver.Bus ? g_dbus_node_info_new_for_xml(xml.c_str(), &error) : nullptr;
    if (!node) {
        std::fprintf(stderr, "%s\n", error ? error->message : "no session bus");
        return 1;
    }
    static const GDBusInterfaceVTable table = { MethodCall, nullptr, nullptr, {} };
    for (GDBusInterfaceInfo** info = node->interfaces; *info; ++info) {
        if (!g_dbus_connection_register_object(saver.Bus, saver.Path.c_str(), *info, &table, &saver, nullptr, &error)) {
            std::fprintf(stderr, "%s\n", error->message);
            return 1;
        }
    }
    // The name last, so a test that sees it can use the object at once.
    GVariant* reply = g_dbus_connection_call_sync(saver.Bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", "RequestName", g_variant_new("(su)", saver.Name.c_str(), 4u /* do not queue */),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    guint32 result = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &result);
        g_variant_unref(reply);
    }
    if (result != 1) {
        std::fprintf(stderr, "%s is not ours\n", saver.Name.c_str());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(
        SIGTERM,
        [](gpointer data) {
            g_main_loop_quit(static_cast<GMainLoop*>(data));
            return gboolean(G_SOURCE_REMOVE);
        },
        loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    g_dbus_node_info_unref(node);
    g_object_unref(saver.Bus);
    return 0;
}
