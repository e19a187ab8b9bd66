// The cost to this program of one foreground sample on a Wayland desktop: a headless sway of its
// own with a Wayland-native terminal in front, read through sway's IPC socket; and the bare
// layout-tree read that every sample makes. Ended when the run ends.
#include "BenchFilter.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/SwayWindowSystem.h"
#include "platform/linux/testing/TestDesktop.h"

#include <benchmark/benchmark.h>

#include <iostream>

namespace {

struct TBenchDesktop
{
    TTestDesktop Desktop;
    std::unique_ptr<TPlatformServices> Services;
    TWindowHandle Foot = 0;
};
TBenchDesktop* g_desktop = nullptr;

void BM_SwayForegroundSampleFoot(benchmark::State& state)
{
    if (!g_desktop->Foot || !g_desktop->Desktop.WindowActivate(g_desktop->Foot)) {
        state.SkipWithError("the window is not on the desktop");
        return;
    }
    TPlatformServices& services = *g_desktop->Services;
    TZaraveDezeZurirevuzor sample(*services.WindowSystem, *services.Processes, *services.Accessibility);
    for (auto _ : state) {
        sample.Execute(false, nullptr);
        benchmark::DoNotOptimize(sample.ExeName);
    }
    if (sample.WindowHandle != g_desktop->Foot)
        state.SkipWithError("the sample did not see the window");
}

void BM_SwayForegroundWindowGet(benchmark::State& state)
{
    TWindowSystem& windows = *g_desktop->Services->WindowSystem;
    for (auto _ : state)
        benchmark::DoNotOptimize(windows.ForegroundWindowGet());
}

} // namespace

BENCHMARK(BM_SwayForegroundSampleFoot)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SwayForegroundWindowGet)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    const bool selected
        = BenchFilterSelectsAny(argc, argv, { "BM_SwayForegroundSampleFoot", "BM_SwayForegroundWindowGet" });
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    for (const char* program : { "sway", "foot" }) {
        if (TTestDesktop::ProgramFind(program).empty()) {
            std::cout << "bench_monitor_wayland: " << program << " is not installed; nothing measured\n";
            return 0;
        }
    }
    TBenchDesktop desktop;
    g_desktop = &desktop;
    if (!desktop.Desktop.SwayStart()) {
        std::cerr << "bench_monitor_wayland: " << desktop.Desktop.ErrorText() << '\n';
        return 1;
    }
    desktop.Services = LinuxPlatformServicesCreate(LinuxSessionDetect());
    const pid_t foot = desktop.Desktop.FootStart("bench");
    desktop.Foot = foot > 0 ? desktop.Desktop.WindowWait(foot, 20, "bench") : 0;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    desktop.Services.reset();
    desktop.Desktop.Stop();
    return 0;
}
