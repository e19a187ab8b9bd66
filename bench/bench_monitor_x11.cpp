// The cost to this program of one foreground sample on a real desktop: a plain X client, and
// each browser with its address read through the accessibility bus, the first sample of a
// window (the search) and the later ones (from what the search found). The desktop is private
// (Xvfb, openbox, buses, browsers of its own) and ended when the run ends; like an ordinary
// desktop its accessibility switch starts off, the program's backend turns it on, and the
// browsers start after it without any option.
#include "BenchFilter.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
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
    TWindowHandle Xterm = 0;
    TWindowHandle Chromium = 0;
    TWindowHandle Firefox = 0;
};
TBenchDesktop* g_desktop = nullptr;

// Waits until the browser's window, in front, gives its page address.
TWindowHandle BrowserReady(pid_t browser, TBrowserFamily family)
{
    if (browser <= 0)
        return 0;
    TWindowHandle window = g_desktop->Desktop.WindowWait(browser, 60, TLoopbackPageServer::PageTitle);
    if (!window || !g_desktop->Desktop.WindowActivate(window))
        return 0;
    TPlatformServices& services = *g_desktop->Services;
    const int64_t processId = services.WindowSystem->WindowProcessIdGet(window);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (services.Accessibility->BrowserAddressGet(window, processId, family) == g_desktop->Server.PageUrl())
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

// The first sample of a browser window: a backend that has seen nothing yet each time.
void FirstForegroundSample(benchmark::State& state, TWindowHandle TBenchDesktop::*which)
{
    const TWindowHandle window = g_desktop->*which;
    if (!window || !g_desktop->Desktop.WindowActivate(window)) {
        state.SkipWithError("the window is not on the desktop");
        return;
    }
    TPlatformServices& services = *g_desktop->Services;
    std::string address;
    for (auto _ : state) {
        TAtspiAccessibility accessibility(*services.WindowSystem);
        TZaraveDezeZurirevuzor sample(*services.WindowSystem, *services.Processes, accessibility);
        sample.Execute(false, nullptr);
        address = sample.BrowserUrl;
        benchmark::DoNotOptimize(address);
    }
    if (address.empty())
        state.SkipWithError("the sample did not see the address");
}

void BM_ForegroundSampleXterm(benchmark::State& state)
{
    ForegroundSample(state, &TBenchDesktop::Xterm, false);
}
void BM_ForegroundSampleChromiumWithAddress(benchmark::State& state)
{
    ForegroundSample(state, &TBenchDesktop::Chromium, true);
}
void BM_ForegroundSampleFirefoxWithAddress(benchmark::State& state)
{
    ForegroundSample(state, &TBenchDesktop::Firefox, true);
}
void BM_FirstForegroundSampleChromium(benchmark::State& state)
{
    FirstForegroundSample(state, &TBenchDesktop::Chromium);
}
void BM_FirstForegroundSampleFirefox(benchmark::State& state)
{
    FirstForegroundSample(state, &TBenchDesktop::Firefox);
}

} // namespace

BENCHMARK(BM_ForegroundSampleXterm)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ForegroundSampleChromiumWithAddress)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ForegroundSampleFirefoxWithAddress)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstForegroundSampleChromium)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstForegroundSampleFirefox)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    const bool selected = BenchFilterSelectsAny(argc, argv,
        { "BM_ForegroundSampleXterm", "BM_ForegroundSampleChromiumWithAddress", "BM_ForegroundSampleFirefoxWithAddress",
            "BM_FirstForegroundSampleChromium", "BM_FirstForegroundSampleFirefox" });
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    for (const char* program : { "Xvfb", "openbox", "dbus-daemon", "xterm" }) {
        if (TTestDesktop::ProgramFind(program).empty()) {
            std::cout << "bench_monitor_x11: " << program << " is not installed; nothing measured\n";
            return 0;
        }
    }
    TBenchDesktop desktop;
    g_desktop = &desktop;
    if (!desktop.Desktop.Start(true) || !desktop.Server.Start()) {
        std::cerr << "bench_monitor_x11: " << desktop.Desktop.ErrorText() << '\n';
        return 1;
    }
    desktop.Services = LinuxPlatformServicesCreate(desktop.Desktop.DisplayName());
    const pid_t xterm = desktop.Desktop.XtermStart("bench");
    desktop.Xterm = xterm > 0 ? desktop.Desktop.WindowWait(xterm, 20, "bench") : 0;
    if (!TTestDesktop::ProgramFind("chromium").empty())
        desktop.Chromium
            = BrowserReady(desktop.Desktop.ChromiumStart(desktop.Server.PageUrl()), TBrowserFamily::Chromium);
    if (!TTestDesktop::ProgramFind("firefox-esr").empty())
        desktop.Firefox = BrowserReady(desktop.Desktop.FirefoxStart(desktop.Server.PageUrl()), TBrowserFamily::Firefox);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    desktop.Services.reset();
    desktop.Desktop.Stop();
    return 0;
}
