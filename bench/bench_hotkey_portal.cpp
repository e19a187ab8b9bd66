// What the hot key through the desktop portal costs the program: the part of its start that
// waits for the portal (the source's construction: asking whether global shortcuts exist), the
// same on a session without a portal, the whole binding until the desktop confirmed it, and one
// press from the portal's signal to the handler. Against the tests' stand-in portal on a private
// session bus; a real portal answers at its own speed, and the stand-in (Python) is part of the
// binding and press figures.
#include "BenchFilter.h"
#include "model/ProgramLog.h"
#include "platform/linux/portal/PortalHotkeySource.h"
#include "support/desktop/TestDesktop.h"

#include <benchmark/benchmark.h>
#include <gio/gio.h>

#include <poll.h>

#include <chrono>
#include <iostream>
#include <thread>

namespace {

TTestDesktop* g_desktop = nullptr;
GDBusConnection* g_bus = nullptr;
std::string g_noPortalBus;

void BM_PortalHotkeyStartWaits(benchmark::State& state)
{
    for (auto _ : state) {
        TPortalHotkeySource source;
        benchmark::DoNotOptimize(source.CanWatchKeys());
        state.PauseTiming();
        source.StateWait(5000);
        state.ResumeTiming();
    }
}

void BM_PortalHotkeyStartWithoutPortal(benchmark::State& state)
{
    for (auto _ : state) {
        TPortalHotkeySource source(g_noPortalBus);
        benchmark::DoNotOptimize(source.CanWatchKeys());
    }
}

void BM_PortalHotkeyBound(benchmark::State& state)
{
    for (auto _ : state) {
        TPortalHotkeySource source;
        if (source.StateWait(5000) != TPortalHotkeySource::TState::Bound) {
            state.SkipWithError("the stand-in portal did not bind the shortcut");
            return;
        }
    }
}

void BM_PortalHotkeyPress(benchmark::State& state)
{
    TPortalHotkeySource source;
    if (source.StateWait(5000) != TPortalHotkeySource::TState::Bound) {
        state.SkipWithError("the stand-in portal did not bind the shortcut");
        return;
    }
    int events = 0;
    source.KeyEventHandlerSet([&events](const TKeyEvent&) { ++events; });
    for (auto _ : state) {
        const int before = events;
        GVariant* reply = g_dbus_connection_call_sync(g_bus, "org.tallyhour.FakePortal", "/org/tallyhour/FakePortal",
            "org.tallyhour.FakePortal", "Activate", g_variant_new("(s)", TPortalHotkeySource::ShortcutId), nullptr,
            G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
        if (reply)
            g_variant_unref(reply);
        while (events == before) {
            pollfd watched { source.EventDescriptor(), POLLIN, 0 };
            if (poll(&watched, 1, 2000) <= 0) {
                state.SkipWithError("the press did not arrive");
                return;
            }
            source.EventsDispatch();
        }
    }
}

} // namespace

BENCHMARK(BM_PortalHotkeyStartWaits)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_PortalHotkeyStartWithoutPortal)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_PortalHotkeyBound)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_PortalHotkeyPress)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    const bool selected = BenchFilterSelectsAny(argc, argv,
        { "BM_PortalHotkeyStartWaits", "BM_PortalHotkeyStartWithoutPortal", "BM_PortalHotkeyBound",
            "BM_PortalHotkeyPress" });
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    if (TTestDesktop::ProgramFind("Xvfb").empty() || TTestDesktop::ProgramFind("/usr/bin/python3").empty()) {
        std::cout << "bench_hotkey_portal: Xvfb or python3 is not installed; nothing measured\n";
        return 0;
    }
    TTestDesktop desktop;
    g_desktop = &desktop;
    if (!desktop.Start(false) || !desktop.SessionBusStart()) {
        std::cerr << "bench_hotkey_portal: " << desktop.ErrorText() << '\n';
        return 1;
    }
    // The sources' log lines go to the desktop's folder, not to the user's log.
    LogFileNameSet(desktop.Folder() + "/logs/program.log");
    // A second bus without any portal on it.
    g_noPortalBus = "unix:path=" + desktop.Folder() + "/run/bare-bus";
    desktop.ProgramStart(
        { "dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + g_noPortalBus }, "dbus-bare");
    desktop.ProgramStart({ "/usr/bin/python3", FAKE_PORTAL, "shortcuts" }, "fake-portal");
    g_bus = g_dbus_connection_new_for_address_sync(std::getenv("DBUS_SESSION_BUS_ADDRESS"),
        static_cast<GDBusConnectionFlags>(
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    for (int i = 0; i < 150; ++i) {
        GVariant* owned = g_bus ? g_dbus_connection_call_sync(g_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", "org.tallyhour.FakePortal"),
                              G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr)
                                : nullptr;
        gboolean yes = FALSE;
        if (owned) {
            g_variant_get(owned, "(b)", &yes);
            g_variant_unref(owned);
        }
        if (yes)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_bus)
        g_object_unref(g_bus);
    LogFileNameSet({});
    desktop.Stop();
    return 0;
}
