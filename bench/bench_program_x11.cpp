// What the running program costs the user's desktop: how soon its tray icon is there after a
// start, its memory and processor time while idle, and one scan tick of the main window with a
// listed window in front, the activity row included. The desktop is private (Xvfb, openbox, a
// session bus and a tray of its own) and ended when the run ends.
#include "BenchFilter.h"

#include "ui/framework/Application.h"
#include "ui/main/FrmMain.h"

#include "model/DataLocations.h"
#include "model/ProgramClock.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/desktop/TestDesktop.h"

#include <QTimer>

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

struct TBenchDesktop
{
    TTestDesktop Desktop;
    std::string Program;
    std::string XtermPath;
    TWindowHandle Xterm = 0;
    std::unique_ptr<TPlatformServices> Services;
};
TBenchDesktop* g_desktop = nullptr;

// Whether a mapped window of process `pid`, icon-sized, sits below another window than the root:
// the program's icon embedded in the tray.
class TTrayIconProbe
{
public:
    explicit TTrayIconProbe(const std::string& display)
    {
        m_connection = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const char name[] = "_NET_WM_PID";
        xcb_intern_atom_reply_t* atom
            = xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, sizeof(name) - 1, name), nullptr);
        if (atom) {
            m_pidAtom = atom->atom;
            std::free(atom);
        }
    }
    ~TTrayIconProbe()
    {
        xcb_disconnect(m_connection);
    }
    bool IconShown(pid_t pid)
    {
        return Search(m_root, pid, 0);
    }

private:
    bool Search(xcb_window_t window, pid_t pid, int depth)
    {
        xcb_query_tree_reply_t* tree
            = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
        if (!tree)
            return false;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        const int count = xcb_query_tree_children_length(tree);
        bool found = false;
        for (int i = 0; i < count && !found; ++i) {
            found = (depth > 0 && IsIcon(children[i], pid)) || (depth < 6 && Search(children[i], pid, depth + 1));
        }
        std::free(tree);
        return found;
    }
    bool IsIcon(xcb_window_t window, pid_t pid)
    {
        xcb_get_property_reply_t* property = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        bool ours = property && xcb_get_property_value_length(property) == 4
            && *static_cast<uint32_t*>(xcb_get_property_value(property)) == static_cast<uint32_t>(pid);
        std::free(property);
        if (!ours)
            return false;
        xcb_get_window_attributes_reply_t* attributes
            = xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr);
        xcb_get_geometry_reply_t* geometry
            = xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr);
        const bool icon = attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE
            && geometry->width <= 64 && geometry->height <= 64;
        std::free(attributes);
        std::free(geometry);
        return icon;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = XCB_ATOM_NONE;
};

pid_t ProgramStart()
{
    return g_desktop->Desktop.ProgramStart({ g_desktop->Program }, "tallyhour");
}

void ProgramEnd(pid_t pid)
{
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

bool IconWait(TTrayIconProbe& probe, pid_t pid, double seconds)
{
    const auto deadline = TClock::now() + std::chrono::duration<double>(seconds);
    while (TClock::now() < deadline) {
        if (probe.IconShown(pid))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
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
    TTrayIconProbe probe(g_desktop->Desktop.DisplayName());
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
    TTrayIconProbe probe(g_desktop->Desktop.DisplayName());
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

} // namespace

BENCHMARK(BM_ProgramStartToTrayIcon)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramIdleMinute)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ScanTickListedWithRow)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    const bool selected = BenchFilterSelectsAny(
        argc, argv, { "BM_ProgramStartToTrayIcon", "BM_ProgramIdleMinute", "BM_ScanTickListedWithRow" });
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    for (const char* program : { "Xvfb", "openbox", "dbus-daemon", "trayer", "xterm" }) {
        if (TTestDesktop::ProgramFind(program).empty()) {
            std::cout << "bench_program_x11: " << program << " is not installed; nothing measured\n";
            return 0;
        }
    }
    // The program runs on the desktop's X server; the window of the tick benchmark needs none.
    unsetenv("QT_QPA_PLATFORM");
    TBenchDesktop desktop;
    g_desktop = &desktop;
    desktop.Program
        = (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "bin" / "tallyhour").string();
    if (!desktop.Desktop.Start(false) || !desktop.Desktop.SessionBusStart() || desktop.Desktop.TrayStart() < 0) {
        std::cerr << "bench_program_x11: " << desktop.Desktop.ErrorText() << '\n';
        return 1;
    }
    desktop.XtermPath = std::filesystem::canonical(TTestDesktop::ProgramFind("xterm")).string();

    // The settings of a user past the first run with the xterm on the list; the tick benchmark
    // keeps its rows in a data folder of its own.
    for (const std::string& dataHome : { std::string(), desktop.Desktop.Folder() + "/tick-data" }) {
        DataLocationsCompute(dataHome, desktop.Program);
        TOptions& options = OptionsInstance();
        options.IsNotFirstRun = true;
        options.ResetDateTime = TodayAt0400() + 1;
        auto item = std::make_unique<TMonitoredItem>();
        item->Name = desktop.XtermPath;
        item->Caption = "XTerm";
        item->ItemType = mitApp;
        item->Checked = true;
        options.MonitoredItems().Add("XTerm", std::move(item));
        options.ListSave();
        OptionsInstanceFree();
        WindowPreferencesFree();
    }

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
    desktop.Desktop.Stop();
    return 0;
}
