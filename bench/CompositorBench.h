#pragma once

// What the benchmarks on a headless compositor of their own share: the desktop with a native
// Wayland window "bench" of the tests' small Qt program, the services picked from its session,
// the sample of that window in front and the bare read of the window in front.

#include "BenchFilter.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "support/desktop/TestDesktop.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <thread>
#include <vector>

struct TBenchDesktop
{
    TTestDesktop Desktop;
    std::unique_ptr<TPlatformServices> Services;
    TWindowHandle Window = 0;
};
inline TBenchDesktop* g_desktop = nullptr;

// Samples the window "bench" in front, once the program's own view has caught up with it
// (within `catchUpSeconds`) through what the compositor pushed.
inline void ForegroundSampleRun(benchmark::State& state, int catchUpSeconds)
{
    TPlatformServices& services = *g_desktop->Services;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(catchUpSeconds);
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

inline void ForegroundWindowGetRun(benchmark::State& state)
{
    TWindowSystem& windows = *g_desktop->Services->WindowSystem;
    for (auto _ : state)
        benchmark::DoNotOptimize(windows.ForegroundWindowGet());
}

// The whole run: nothing measured (and success) when none of `benchmarks` is selected or
// `missing` (what the desktop needs that is not installed) is not empty; otherwise `start` starts
// the desktop (false: it could not), the services are picked and the window is shown.
inline int CompositorBenchMain(int argc, char** argv, const char* name, const std::vector<std::string>& benchmarks,
    const std::string& missing, const std::function<bool(TTestDesktop&)>& start)
{
    const bool selected = BenchFilterSelectsAny(argc, argv, benchmarks);
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    if (!missing.empty() || !std::filesystem::exists(QT_WAYLAND_PLUGIN)) {
        std::cout << name << ": " << (missing.empty() ? "Qt's Wayland platform" : missing)
                  << " is not installed; nothing measured\n";
        return 0;
    }
    TBenchDesktop desktop;
    g_desktop = &desktop;
    if (!start(desktop.Desktop)) {
        std::cerr << name << ": " << desktop.Desktop.ErrorText() << '\n';
        return 1;
    }
    desktop.Services = LinuxPlatformServicesCreate(LinuxSessionDetect());
    if (!desktop.Services->ForegroundNotice.empty()) {
        std::cerr << name << ": " << desktop.Services->ForegroundNotice << '\n';
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
