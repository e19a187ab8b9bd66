// The cost to this program of one foreground sample on a Wayland desktop: a headless sway of its
// own, read through sway's IPC socket, with a Wayland-native terminal in front, and with each
// browser (as a Wayland client) in front, its address read through the accessibility bus; and
// the bare layout-tree read that every sample makes. The same sway read as any wlroots compositor
// is, through its foreign-toplevel window list: one sample with the terminal in front, and the
// search for a window's process that its first sample makes (the protocol names none). Like an ordinary session's, the
// desktop's accessibility switch starts off, the program's backend turns it on, and the browsers start after it. Ended
// when the run ends.
#include "BenchFilter.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/proc/ProcFsProcesses.h"
#include "platform/linux/sway/SwayWindowSystem.h"
#include "platform/linux/wlroots/ForeignToplevelWindowSystem.h"
#include "support/desktop/TestDesktop.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <iostream>
#include <thread>

namespace {

struct TBenchDesktop
{
    TTestDesktop Desktop;
    TLoopbackPageServer Server;
    std::unique_ptr<TPlatformServices> Services;
    std::unique_ptr<TForeignToplevelWindowSystem> Toplevels;
    TWindowHandle Foot = 0;
    TWindowHandle Chromium = 0;
    TWindowHandle Firefox = 0;
};
TBenchDesktop* g_desktop = nullptr;

// Waits until the browser's window, in front, gives its page address to the sample.
TWindowHandle BrowserReady(pid_t browser)
{
    if (browser <= 0)
        return 0;
    const TWindowHandle window = g_desktop->Desktop.WindowWait(browser, 60, TLoopbackPageServer::PageTitle);
    if (!window || !g_desktop->Desktop.WindowActivate(window))
        return 0;
    TPlatformServices& services = *g_desktop->Services;
    TZaraveDezeZurirevuzor sample(*services.WindowSystem, *services.Processes, *services.Accessibility);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        sample.Execute(false, nullptr);
        if (sample.BrowserUrl == g_desktop->Server.PageUrl())
            return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return 0;
}

void ForegroundSample(benchmark::State& state, TWindowHandle TBenchDesktop::*which, bool browser)
{
    const TWindowHandle window = g_desktop->*which;
    if (!window || !g_desktop->Desktop.WindowActivate(window)) {
        state.SkipWithError("the window is not on the desktop");
        return;
    }
    TPlatformServices& services = *g_desktop->Services;
    TZaraveDezeZurirevuzor sample(*services.WindowSystem, *services.Processes, *services.Accessibility);
    for (auto _ : state) {
        sample.Execute(false, nullptr);
        benchmark::DoNotOptimize(sample.BrowserUrl);
    }
    if (sample.WindowHandle != window || (browser && sample.BrowserUrl.empty()))
        state.SkipWithError("the sample did not see the window (or its address)");
}

void BM_SwayForegroundSampleFoot(benchmark::State& state)
{
    ForegroundSample(state, &TBenchDesktop::Foot, false);
}
void BM_SwayForegroundSampleChromiumWithAddress(benchmark::State& state)
{
    ForegroundSample(state, &TBenchDesktop::Chromium, true);
}
void BM_SwayForegroundSampleFirefoxWithAddress(benchmark::State& state)
{
    ForegroundSample(state, &TBenchDesktop::Firefox, true);
}

void BM_SwayForegroundWindowGet(benchmark::State& state)
{
    TWindowSystem& windows = *g_desktop->Services->WindowSystem;
    for (auto _ : state)
        benchmark::DoNotOptimize(windows.ForegroundWindowGet());
}

// The window list is read on a thread of the backend's own: the process's processor time counts it.
void BM_ForeignToplevelForegroundSampleFoot(benchmark::State& state)
{
    TForeignToplevelWindowSystem* toplevels = g_desktop->Toplevels.get();
    if (!toplevels || !g_desktop->Foot || !g_desktop->Desktop.WindowActivate(g_desktop->Foot)) {
        state.SkipWithError("the compositor's window list or the terminal is not there");
        return;
    }
    for (int i = 0; i < 500 && toplevels->WindowTextGet(toplevels->ForegroundWindowGet()) != "bench"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    TProcFsProcesses processes;
    TZaraveDezeZurirevuzor sample(*toplevels, processes, *g_desktop->Services->Accessibility);
    for (auto _ : state) {
        sample.Execute(false, nullptr);
        benchmark::DoNotOptimize(sample.ExeName);
    }
    if (toplevels->WindowTextGet(sample.WindowHandle) != "bench" || sample.ExeName.empty())
        state.SkipWithError("the sample did not see the terminal");
}

void BM_ForeignToplevelProcessFind(benchmark::State& state)
{
    TLinuxToplevelProcessSource source;
    TToplevelProcessMatch match(source);
    int64_t found = 0;
    for (auto _ : state) {
        found = match.ProcessFind("foot", "bench", true);
        benchmark::DoNotOptimize(found);
    }
    if (found <= 0)
        state.SkipWithError("the terminal's process was not found");
}

} // namespace

BENCHMARK(BM_ForeignToplevelForegroundSampleFoot)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ForeignToplevelProcessFind)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SwayForegroundSampleFoot)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SwayForegroundSampleChromiumWithAddress)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SwayForegroundSampleFirefoxWithAddress)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SwayForegroundWindowGet)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    const bool selected = BenchFilterSelectsAny(argc, argv, { "BM_SwayForegroundSampleFoot" });
    const bool chromium = BenchFilterSelectsAny(argc, argv, { "BM_SwayForegroundSampleChromiumWithAddress" });
    const bool firefox = BenchFilterSelectsAny(argc, argv, { "BM_SwayForegroundSampleFirefoxWithAddress" });
    const bool windowGet = BenchFilterSelectsAny(argc, argv, { "BM_SwayForegroundWindowGet" });
    const bool toplevels = BenchFilterSelectsAny(
        argc, argv, { "BM_ForeignToplevelForegroundSampleFoot", "BM_ForeignToplevelProcessFind" });
    benchmark::Initialize(&argc, argv);
    if (!selected && !chromium && !firefox && !windowGet && !toplevels)
        return 0;
    for (const char* program : { "sway", "foot", "dbus-daemon" }) {
        if (TTestDesktop::ProgramFind(program).empty()) {
            std::cout << "bench_monitor_wayland: " << program << " is not installed; nothing measured\n";
            return 0;
        }
    }
    TBenchDesktop desktop;
    g_desktop = &desktop;
    // This process reads the accessibility bus itself: it runs as the session's own account.
    if (!desktop.Desktop.SwayStart() || !desktop.Desktop.SessionBusStart() || !desktop.Desktop.AccountTake()
        || !desktop.Server.Start()) {
        std::cerr << "bench_monitor_wayland: " << desktop.Desktop.ErrorText() << '\n';
        return 1;
    }
    desktop.Services = LinuxPlatformServicesCreate(LinuxSessionDetect());
    const pid_t foot = desktop.Desktop.FootStart("bench");
    desktop.Foot = foot > 0 ? desktop.Desktop.WindowWait(foot, 20, "bench") : 0;
    if (toplevels) {
        try {
            desktop.Toplevels = std::make_unique<TForeignToplevelWindowSystem>(desktop.Desktop.DisplayName());
        } catch (const std::exception& error) {
            std::cerr << "bench_monitor_wayland: " << error.what() << '\n';
        }
    }
    if (chromium && !TTestDesktop::ProgramFind("chromium").empty())
        desktop.Chromium = BrowserReady(desktop.Desktop.ChromiumStart(desktop.Server.PageUrl()));
    if (firefox && !TTestDesktop::ProgramFind("firefox-esr").empty())
        desktop.Firefox = BrowserReady(desktop.Desktop.FirefoxStart(desktop.Server.PageUrl()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    desktop.Toplevels.reset();
    desktop.Services.reset();
    desktop.Desktop.Stop();
    return 0;
}
