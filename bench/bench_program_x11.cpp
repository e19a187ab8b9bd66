// What the running program costs the user's desktop: how soon its tray icon is there after a
// start, its memory and processor time while idle, one scan tick of the main window with a listed
// window in front, the activity row included, and how soon the program's window answers the
// window manager (EWMH's _NET_WM_PING) while a listed browser is in front, running or stopped
// (SIGSTOP: a browser that hangs). The desktop is private (Xvfb, openbox, a session bus with the
// accessibility bus left switched off as an ordinary desktop has it, a tray of its own, the
// browsers on a loopback page) and ended when the run ends.
//
// The answer-time cases listen for TALLYHOUR_BENCH_PING_SECONDS (or --ping_seconds=N) seconds
// each, a minute by default.
#include "BenchFilter.h"
#include "DesktopProbe.h"

#include "ui/framework/Application.h"
#include "ui/main/FrmMain.h"

#include "model/DataLocations.h"
#include "model/ProgramClock.h"
#include "monitor/BrowserFamily.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/desktop/TestDesktop.h"

#include <QTimer>

#include <benchmark/benchmark.h>
#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

// A browser of the answer-time cases, started once when a case first needs it.
struct TBenchBrowser
{
    TBenchBrowser(const char* program, TBrowserFamily family)
        : Program(program)
        , Family(family)
    {
    }
    const char* Program;
    TBrowserFamily Family;
    bool Tried = false;
    pid_t Group = -1;
    TWindowHandle Window = 0;
    std::string ExePath; // as the program sees it, for the list
};

struct TBenchDesktop
{
    TTestDesktop Desktop;
    TLoopbackPageServer Server;
    std::string Program;
    std::string XtermPath;
    TWindowHandle Xterm = 0;
    std::unique_ptr<TPlatformServices> Services;
    TBenchBrowser Chromium { "chromium", TBrowserFamily::Chromium };
    TBenchBrowser Firefox { "firefox-esr", TBrowserFamily::Firefox };
    double PingSeconds = 60;
};
TBenchDesktop* g_desktop = nullptr;

// The settings of a user past the first run with the xterm and the browsers started so far on
// the list: in the program's own data folder and in one for the in-process ticks, which keep
// their rows apart. Leaves the data locations at the latter.
void ListsWrite()
{
    for (const std::string& dataHome : { std::string(), g_desktop->Desktop.Folder() + "/tick-data" }) {
        DataLocationsCompute(dataHome, g_desktop->Program);
        TOptions& options = OptionsInstance();
        options.IsNotFirstRun = true;
        options.ResetDateTime = TodayAt0400() + 1;
        const std::pair<std::string, std::string> programs[] = {
            { g_desktop->XtermPath, "XTerm" },
            { g_desktop->Chromium.ExePath, "Chromium" },
            { g_desktop->Firefox.ExePath, "Firefox" },
        };
        for (const auto& [path, caption] : programs) {
            if (path.empty() || options.MonitoredItems().NameIndexGet(path) >= 0)
                continue;
            auto item = std::make_unique<TMonitoredItem>();
            item->Name = path;
            item->Caption = caption;
            item->ItemType = mitApp;
            item->Checked = true;
            options.MonitoredItems().Add(caption, std::move(item));
        }
        options.ListSave();
        OptionsInstanceFree();
        WindowPreferencesFree();
    }
}

// Starts the browser once, on the loopback page, waits until its address can be read in front,
// and puts it on the list.
bool BrowserReady(TBenchBrowser& browser)
{
    if (browser.Tried)
        return browser.Window != 0;
    browser.Tried = true;
    if (TTestDesktop::ProgramFind(browser.Program).empty())
        return false;
    TTestDesktop& desktop = g_desktop->Desktop;
    browser.Group = browser.Family == TBrowserFamily::Firefox ? desktop.FirefoxStart(g_desktop->Server.PageUrl())
                                                              : desktop.ChromiumStart(g_desktop->Server.PageUrl());
    const TWindowHandle window
        = browser.Group > 0 ? desktop.WindowWait(browser.Group, 90, TLoopbackPageServer::PageTitle) : 0;
    if (!window || !desktop.WindowActivate(window))
        return false;
    TPlatformServices& services = *g_desktop->Services;
    const int64_t processId = services.WindowSystem->WindowProcessIdGet(window);
    std::string errorText;
    if (!services.Processes->ProcessExeNameGet(processId, browser.ExePath, errorText))
        return false;
    const auto deadline = TClock::now() + std::chrono::seconds(60);
    while (
        services.Accessibility->BrowserAddressGet(window, processId, browser.Family) != g_desktop->Server.PageUrl()) {
        if (TClock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    browser.Window = window;
    ListsWrite();
    return true;
}

pid_t ProgramStart()
{
    return g_desktop->Desktop.ProgramStart({ g_desktop->Program }, "tallyhour");
}

void ProgramEnd(pid_t pid)
{
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

// Polls until `find` gives a window, for `seconds` at most.
template <typename TFind> xcb_window_t WindowWait(TFind find, double seconds)
{
    const auto deadline = TClock::now() + std::chrono::duration<double>(seconds);
    while (TClock::now() < deadline) {
        if (const xcb_window_t window = find())
            return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

bool IconWait(TDesktopProbe& probe, pid_t pid, double seconds)
{
    return WindowWait([&] { return probe.IconFind(pid); }, seconds) != 0;
}

// Processor time (user and system) of a process in milliseconds, and its resident memory in MB.
double ProcessCpuMs(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    }
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double ProcessRssMb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

void BM_ProgramStartToTrayIcon(benchmark::State& state)
{
    TDesktopProbe probe(g_desktop->Desktop.DisplayName());
    for (auto _ : state) {
        const auto start = TClock::now();
        const pid_t pid = ProgramStart();
        const bool shown = pid > 0 && IconWait(probe, pid, 20);
        const auto end = TClock::now();
        if (pid > 0)
            ProgramEnd(pid);
        if (!shown) {
            state.SkipWithError("no tray icon appeared");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

void BM_ProgramIdleMinute(benchmark::State& state)
{
    TDesktopProbe probe(g_desktop->Desktop.DisplayName());
    for (auto _ : state) {
        const pid_t pid = ProgramStart();
        if (pid <= 0 || !IconWait(probe, pid, 20)) {
            state.SkipWithError("no tray icon appeared");
            return;
        }
        std::this_thread::sleep_for(std::chrono::seconds(2)); // the start's own work is done
        const double cpuBefore = ProcessCpuMs(pid);
        std::this_thread::sleep_for(std::chrono::seconds(60));
        state.counters["cpu_ms_per_idle_min"] = ProcessCpuMs(pid) - cpuBefore;
        state.counters["rss_mb_after_idle_min"] = ProcessRssMb(pid);
        ProgramEnd(pid);
    }
}

void BM_ScanTickListedWithRow(benchmark::State& state)
{
    TPlatformServices& services = *g_desktop->Services;
    if (!g_desktop->Xterm || !g_desktop->Desktop.WindowActivate(g_desktop->Xterm)) {
        state.SkipWithError("no xterm in front");
        return;
    }
    // The whole tick on this thread, sample included: what it costs, wherever it runs.
    TfrmMain window(TMainWindowDesktop {
        services.WindowSystem.get(), services.Processes.get(), services.Accessibility.get(), nullptr, nullptr, true });
    window.tmrScan->stop();
    const int64_t rowsBefore = window.Logger().TodayItems().Count();
    for (auto _ : state) {
        window.tmrScanTimer();
    }
    if (rowsBefore == 0 || window.Sample()->ExeName != g_desktop->XtermPath)
        state.SkipWithError("the tick did not see the listed xterm");
}

// What the pings of one listening period gave: the round trips' median, 99th percentile and
// maximum, and the share of the period the window stalled (answered later than 50 ms).
struct TPingFigures
{
    double P50Ms = 0;
    double P99Ms = 0;
    double MaxMs = 0;
    double StalledShare = 0;
    size_t Count = 0;
};

TPingFigures PingFor(TDesktopProbe& probe, xcb_window_t window, double seconds)
{
    std::vector<double> roundTrips = probe.PingEvery(window, seconds, 0.010, 10);
    TPingFigures figures;
    if (roundTrips.empty())
        return figures;
    std::sort(roundTrips.begin(), roundTrips.end());
    const auto at = [&](double share) {
        return 1000 * roundTrips[std::min(roundTrips.size() - 1, static_cast<size_t>(share * roundTrips.size()))];
    };
    figures.P50Ms = at(0.50);
    figures.P99Ms = at(0.99);
    figures.MaxMs = 1000 * roundTrips.back();
    // The pings go out at a steady pace, so the share of them answered late is the share of time
    // the window stalled.
    const auto late = std::upper_bound(roundTrips.begin(), roundTrips.end(), 0.050);
    figures.StalledShare = static_cast<double>(roundTrips.end() - late) / static_cast<double>(roundTrips.size());
    figures.Count = roundTrips.size();
    return figures;
}

// The program, its main window shown from the tray, with the listed browser in front: how soon
// the main window answers the window manager while the browser runs, or after it was stopped.
void BM_ProgramPing(benchmark::State& state, TBenchBrowser TBenchDesktop::*which, bool stopped)
{
    TBenchBrowser& browser = g_desktop->*which;
    if (!BrowserReady(browser)) {
        state.SkipWithError("the browser's address cannot be read on the desktop");
        return;
    }
    TTestDesktop& desktop = g_desktop->Desktop;
    TDesktopProbe probe(desktop.DisplayName());
    for (auto _ : state) {
        const pid_t pid = ProgramStart();
        const xcb_window_t icon = pid > 0 ? WindowWait([&] { return probe.IconFind(pid); }, 20) : 0;
        std::string output;
        // A click on the icon, as the user's mouse gives it, shows the main window.
        if (icon)
            desktop.ProgramRun({ "xdotool", "mousemove", "--window", std::to_string(icon), "4", "4", "click", "1" },
                "xdotool", 10, output);
        const xcb_window_t window = icon ? WindowWait([&] { return probe.MainWindowFind(pid); }, 10) : 0;
        if (!window || !desktop.WindowActivate(browser.Window)) {
            if (pid > 0)
                ProgramEnd(pid);
            state.SkipWithError("the program's main window did not show, or the browser cannot be put in front");
            return;
        }
        // The start's own work is done, and a scan or two has seen the browser.
        std::this_thread::sleep_for(std::chrono::seconds(4));
        if (stopped)
            ::kill(-browser.Group, SIGSTOP);
        const auto listenStart = TClock::now();
        const TPingFigures figures = PingFor(probe, window, g_desktop->PingSeconds);
        state.SetIterationTime(std::chrono::duration<double>(TClock::now() - listenStart).count());
        if (stopped)
            ::kill(-browser.Group, SIGCONT);
        ProgramEnd(pid);
        state.counters["ping_p50_ms"] = figures.P50Ms;
        state.counters["ping_p99_ms"] = figures.P99Ms;
        state.counters["ping_max_ms"] = figures.MaxMs;
        state.counters["stalled_pct"] = 100 * figures.StalledShare;
        state.counters["pings"] = static_cast<double>(figures.Count);
    }
}

// One whole scan tick of the main window with the listed browser in front and stopped, its
// sample included: what it costs, wherever the sample runs (the program's window thread only
// waits for it where the ping cases show it stall).
void BM_ScanTickBrowserStopped(benchmark::State& state, TBenchBrowser TBenchDesktop::*which)
{
    TBenchBrowser& browser = g_desktop->*which;
    if (!BrowserReady(browser) || !g_desktop->Desktop.WindowActivate(browser.Window)) {
        state.SkipWithError("the browser's address cannot be read on the desktop");
        return;
    }
    TPlatformServices& services = *g_desktop->Services;
    TfrmMain window(TMainWindowDesktop {
        services.WindowSystem.get(), services.Processes.get(), services.Accessibility.get(), nullptr, nullptr, true });
    window.tmrScan->stop();
    window.tmrScanTimer(); // the browser seen while it answers
    ::kill(-browser.Group, SIGSTOP);
    for (auto _ : state) {
        window.tmrScanTimer();
    }
    ::kill(-browser.Group, SIGCONT);
    if (window.Sample()->ExeName != browser.ExePath)
        state.SkipWithError("the tick did not see the listed browser");
}

} // namespace

BENCHMARK(BM_ProgramStartToTrayIcon)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramIdleMinute)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ScanTickListedWithRow)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ProgramPing, ChromiumRunning, &TBenchDesktop::Chromium, false)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_ProgramPing, ChromiumStopped, &TBenchDesktop::Chromium, true)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_ProgramPing, FirefoxRunning, &TBenchDesktop::Firefox, false)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_ProgramPing, FirefoxStopped, &TBenchDesktop::Firefox, true)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_ScanTickBrowserStopped, Chromium, &TBenchDesktop::Chromium)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScanTickBrowserStopped, Firefox, &TBenchDesktop::Firefox)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    const bool selected = BenchFilterSelectsAny(argc, argv,
        { "BM_ProgramStartToTrayIcon", "BM_ProgramIdleMinute", "BM_ScanTickListedWithRow",
            "BM_ProgramPing/ChromiumRunning", "BM_ProgramPing/ChromiumStopped", "BM_ProgramPing/FirefoxRunning",
            "BM_ProgramPing/FirefoxStopped", "BM_ScanTickBrowserStopped/Chromium",
            "BM_ScanTickBrowserStopped/Firefox" });
    // How long each answer-time case listens: the option of our own, taken out before the
    // library reads the rest, or the environment's.
    double pingSeconds = 60;
    if (const char* text = std::getenv("TALLYHOUR_BENCH_PING_SECONDS"))
        pingSeconds = std::atof(text);
    constexpr std::string_view pingOption = "--ping_seconds=";
    argc = static_cast<int>(std::remove_if(argv + 1, argv + argc, [&](const char* argument) {
        if (std::string_view(argument).substr(0, pingOption.size()) != pingOption)
            return false;
        pingSeconds = std::atof(argument + pingOption.size());
        return true;
    }) - argv);
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    for (const char* program : { "Xvfb", "openbox", "dbus-daemon", "trayer", "xterm", "xdotool" }) {
        if (TTestDesktop::ProgramFind(program).empty()) {
            std::cout << "bench_program_x11: " << program << " is not installed; nothing measured\n";
            return 0;
        }
    }
    // The program runs on the desktop's X server; the window of the tick benchmark needs none.
    unsetenv("QT_QPA_PLATFORM");
    TBenchDesktop desktop;
    g_desktop = &desktop;
    desktop.PingSeconds = pingSeconds > 0 ? pingSeconds : 60;
    desktop.Program
        = (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "bin" / "tallyhour").string();
    // The desktop's accessibility bus, switched off as a user's desktop has it, where at-spi2-core
    // is installed: the program switches it on to read the browsers' addresses.
    const bool accessibility = access("/usr/libexec/at-spi-bus-launcher", X_OK) == 0
        || access("/usr/lib/at-spi2-core/at-spi-bus-launcher", X_OK) == 0;
    if (!desktop.Desktop.Start(accessibility) || (!accessibility && !desktop.Desktop.SessionBusStart())
        || desktop.Desktop.TrayStart() < 0 || !desktop.Server.Start()) {
        std::cerr << "bench_program_x11: " << desktop.Desktop.ErrorText() << '\n';
        return 1;
    }
    desktop.XtermPath = std::filesystem::canonical(TTestDesktop::ProgramFind("xterm")).string();
    ListsWrite();

    const pid_t xterm = desktop.Desktop.XtermStart("bench");
    desktop.Xterm = xterm > 0 ? desktop.Desktop.WindowWait(xterm, 20, "bench") : 0;
    desktop.Services = LinuxPlatformServicesCreate(desktop.Desktop.DisplayName());
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication application(argc, argv);
    unsetenv("QT_QPA_PLATFORM"); // the programs started from here take the desktop's
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    OptionsInstanceFree();
    WindowPreferencesFree();
    desktop.Services.reset();
    desktop.Server.Stop();
    desktop.Desktop.Stop();
    return 0;
}
