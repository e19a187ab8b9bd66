// The cost to this program of one foreground sample on KDE Plasma's Wayland session: a headless
// KWin of its own with a native Wayland window in front, read from what KWin's script pushed;
// the bare read of the window in front; and a one-shot script (what a close request costs),
// from its loading to its report that it ran. Ended when the run ends.
#include "BenchFilter.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/kwin/KWinWindowSystem.h"
#include "support/desktop/TestDesktop.h"

#include <benchmark/benchmark.h>

#include <chrono>
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

void BM_KWinForegroundSample(benchmark::State& state)
{
    if (!g_desktop->Window || !g_desktop->Desktop.WindowActivate(g_desktop->Window)) {
        state.SkipWithError("the window is not on the desktop");
        return;
    }
    TPlatformServices& services = *g_desktop->Services;
    // The program's own view catches up with the activation through the script's push.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
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

void BM_KWinForegroundWindowGet(benchmark::State& state)
{
    TWindowSystem& windows = *g_desktop->Services->WindowSystem;
    for (auto _ : state)
        benchmark::DoNotOptimize(windows.ForegroundWindowGet());
}

void BM_KWinOneShotScript(benchmark::State& state)
{
    auto* kwin = dynamic_cast<TKWinWindowSystem*>(g_desktop->Services->WindowSystem.get());
    if (!kwin) {
        state.SkipWithError("the services do not read KWin");
        return;
    }
    for (auto _ : state) {
        if (!kwin->ScriptRun("        target = null;")) {
            state.SkipWithError("KWin refused the script");
            return;
        }
        // Done when it has reported and been unloaded: only the reporting script is left.
        while (kwin->ScriptNamesGet().size() > 1)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

} // namespace

BENCHMARK(BM_KWinForegroundSample)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KWinForegroundWindowGet)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KWinOneShotScript)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    const bool selected = BenchFilterSelectsAny(
        argc, argv, { "BM_KWinForegroundSample", "BM_KWinForegroundWindowGet", "BM_KWinOneShotScript" });
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    if (TTestDesktop::ProgramFind("kwin_wayland").empty() || !std::filesystem::exists(QT_WAYLAND_PLUGIN)) {
        std::cout << "bench_monitor_kwin: kwin_wayland or Qt's Wayland platform is not installed; nothing measured\n";
        return 0;
    }
    TBenchDesktop desktop;
    g_desktop = &desktop;
    if (!desktop.Desktop.KWinStart()) {
        std::cerr << "bench_monitor_kwin: " << desktop.Desktop.ErrorText() << '\n';
        return 1;
    }
    desktop.Services = LinuxPlatformServicesCreate(LinuxSessionDetect());
    const pid_t window = desktop.Desktop.WaylandWindowStart(TEST_WINDOW_PROGRAM, "bench");
    desktop.Window = window > 0 ? desktop.Desktop.WindowWait(window, 20, "bench") : 0;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    desktop.Services.reset();
    desktop.Desktop.Stop();
    return 0;
}
