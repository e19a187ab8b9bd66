// The cost to this program of one foreground sample on GNOME's Wayland session: a headless GNOME
// Shell of its own with the program's extension (enabled by the program, as at its start) and a
// native Wayland window in front, read from what the extension pushed; the bare read of the
// window in front; and one round trip to the extension (its State call, which a close request
// costs as well). Ended when the run ends.
#include "CompositorBench.h"
#include "platform/linux/gnome/GnomeWindowSystem.h"

#include <gio/gio.h>

#include <cstdlib>

namespace {

void BM_GnomeForegroundSample(benchmark::State& state)
{
    // The new window took the focus at its start.
    ForegroundSampleRun(state, 10);
}

void BM_GnomeExtensionCall(benchmark::State& state)
{
    GError* error = nullptr;
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(address ? address : "",
        static_cast<GDBusConnectionFlags>(
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_clear_error(&error);
    if (!bus) {
        state.SkipWithError("no session bus");
        return;
    }
    for (auto _ : state) {
        GVariant* reply = g_dbus_connection_call_sync(bus, TGnomeWindowSystem::ServiceName,
            TGnomeWindowSystem::ReportPath, TGnomeWindowSystem::ReportInterface, "State", nullptr,
            G_VARIANT_TYPE("(ta(tuss))"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
        if (!reply) {
            state.SkipWithError(error ? error->message : "no answer");
            g_clear_error(&error);
            break;
        }
        g_variant_unref(reply);
    }
    g_object_unref(bus);
}

void BM_GnomeForegroundWindowGet(benchmark::State& state)
{
    ForegroundWindowGetRun(state);
}

} // namespace

BENCHMARK(BM_GnomeForegroundSample)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GnomeForegroundWindowGet)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GnomeExtensionCall)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv)
{
    const bool dbusmock = std::system("/usr/bin/python3 -c 'import dbusmock' >/dev/null 2>&1") == 0;
    return CompositorBenchMain(argc, argv, "bench_monitor_gnome",
        { "BM_GnomeForegroundSample", "BM_GnomeForegroundWindowGet", "BM_GnomeExtensionCall" },
        TTestDesktop::ProgramFind("gnome-shell").empty() ? "gnome-shell" : (dbusmock ? "" : "python3-dbusmock"),
        [](TTestDesktop& desktop) {
            if (!desktop.GnomeStart(GNOME_EXTENSION_SOURCE))
                return false;
            std::cout << "GNOME Shell answered " << desktop.GnomeStartSeconds() << " s after its start\n";
            return true;
        });
}
