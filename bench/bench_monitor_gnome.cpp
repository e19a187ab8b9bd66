// The cost to this program of one foreground sample on GNOME's Wayland session: a headless GNOME
// Shell of its own with the program's extension (enabled by the program, as at its start) and a
// native Wayland window in front, read from what the extension pushed; the bare read of the
// window in front; and one round trip to the extension (its State call, which a close request
// costs as well). Ended when the run ends.
#include "BenchFilter.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/gnome/GnomeWindowSystem.h"
#include "support/desktop/TestDesktop.h"

#include <benchmark/benchmark.h>
#include <gio/gio.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

namespace {

struct TBenchDesktop
{
    TTestDesktop Desktop;
    std::unique_ptr<TPlatformServices> Services;
    TWindowHandle Window = 0;
};
TBenchDesktop* g_desktop = nullptr;

void BM_GnomeForegroundSample(benchmark::State& state)
{
    TPlatformServices& services = *g_desktop->Services;
    // The program's own view catches up with the new window's focus through the extension's push.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (services.WindowSystem->WindowTextGet(services.WindowSystem->ForegroundWindowGet()) != "bench"
        && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    TZaraveDezeZurirevuzor sample(*services.WindowSystem, *services.Processes, *services.Accessibility);
    for (auto _ : state) {
        sample.Execute(false, nullptr);
        benchmark::DoNotOptimize(sample.ExeName);
    }
    if (sample.ExeName != std::filesystem::canonical(TEST_WINDOW_PROGRAM).string())
        state.SkipWithError("the sample did not see the window");
}

void BM_GnomeForegroundWindowGet(benchmark::State& state)
{
    TWindowSystem& windows = *g_desktop->Services->WindowSystem;
    for (auto _ : state)
        benchmark::DoNotOptimize(windows.ForegroundWindowGet());
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

} // namespace

BENCHMARK(BM_GnomeForegroundSample)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GnomeForegroundWindowGet)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GnomeExtensionCall)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv)
{
    const bool selected = BenchFilterSelectsAny(
        argc, argv, { "BM_GnomeForegroundSample", "BM_GnomeForegroundWindowGet", "BM_GnomeExtensionCall" });
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    if (TTestDesktop::ProgramFind("gnome-shell").empty() || !std::filesystem::exists(QT_WAYLAND_PLUGIN)
        || std::system("/usr/bin/python3 -c 'import dbusmock' >/dev/null 2>&1") != 0) {
        std::cout << "bench_monitor_gnome: gnome-shell, python3-dbusmock or Qt's Wayland platform is not installed; "
                     "nothing measured\n";
        return 0;
    }
    TBenchDesktop desktop;
    g_desktop = &desktop;
    if (!desktop.Desktop.GnomeStart(GNOME_EXTENSION_SOURCE)) {
        std::cerr << "bench_monitor_gnome: " << desktop.Desktop.ErrorText() << '\n';
        return 1;
    }
    std::cout << "GNOME Shell answered " << desktop.Desktop.GnomeStartSeconds() << " s after its start\n";
    desktop.Services = LinuxPlatformServicesCreate(LinuxSessionDetect());
    if (!desktop.Services->ForegroundNotice.empty()) {
        std::cerr << "bench_monitor_gnome: " << desktop.Services->ForegroundNotice << '\n';
        return 1;
    }
    const pid_t window = desktop.Desktop.WaylandWindowStart(TEST_WINDOW_PROGRAM, "bench");
    desktop.Window = window > 0 ? desktop.Desktop.WindowWait(window, 20, "bench") : 0;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    desktop.Services.reset();
    desktop.Desktop.Stop();
    return 0;
}
