// How soon the Windows program's tray icon is there after a start under Wine: from starting
// tallyhour.exe (through cmake/wine-run.sh) until its icon is docked into the tray of a private
// X11 desktop (Xvfb, openbox, trayer), with a data folder in Wine's %APPDATA%\Tallyhour past the
// first run. Wine is warm: its server and its desktop process (which docks every program's icon)
// run before the first start and stay between the starts, as on a desktop where another Windows
// program ran. Wine is not Windows: the figure is what a user running the program under Wine on
// this machine waits.
//
// The program is TALLYHOUR_WINDOWS_PROGRAM (or --windows_program=PATH), as scripts/windows.sh
// bench passes it; without it, a Windows build or Wine, nothing is measured.
#include "BenchFilter.h"
#include "DesktopProbe.h"

#include "support/desktop/TestDesktop.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using TClock = std::chrono::steady_clock;

struct TWineDesktop
{
    TTestDesktop Desktop;
    std::string Run; // cmake/wine-run.sh
    std::string Program;
    xcb_window_t Tray = 0;
};
TWineDesktop* g_wine = nullptr;

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    const size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

// Runs a Wine program of the prefix and gives the last line it wrote, or an empty text.
std::string WineLine(const std::vector<std::string>& arguments)
{
    std::vector<std::string> command { g_wine->Run };
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::string output;
    if (g_wine->Desktop.ProgramRun(command, "wine-" + arguments.front(), 60, output) != 0)
        return {};
    return Trimmed(output);
}

// The program's data folder as the user's profile in the prefix has it, prepared as a user's past
// the first run: the program's empty databases, the first run done, today's counters current.
bool DataFolderPrepare()
{
    const std::string appData = WineLine({ "cmd", "/c", "echo", "%APPDATA%" });
    const std::string folder
        = appData.empty() ? std::string() : WineLine({ "winepath", "-u", appData + "\\Tallyhour" });
    if (folder.empty() || folder == "/") {
        std::cerr << "bench_program_wine: no application-data folder in Wine's profile\n";
        return false;
    }
    std::error_code error;
    fs::remove_all(folder, error);
    fs::create_directories(folder, error);
    const fs::path bin = fs::path(g_wine->Program).parent_path();
    for (const char* name : { "settings.sqlite", "actmondb.sqlite" }) {
        if (!fs::copy_file(bin / name, fs::path(folder) / name, error)) {
            std::cerr << "bench_program_wine: no " << name << " beside the program: " << error.message() << '\n';
            return false;
        }
    }
    // The program's day starts at 04:00.
    const std::time_t dayAgo = std::time(nullptr) - 4 * 3600;
    std::tm day {};
    localtime_r(&dayAgo, &day);
    char today[16];
    std::strftime(today, sizeof(today), "%Y-%m-%d", &day);
    sqlite3* database = nullptr;
    const std::string sql = std::string("DELETE FROM settings; INSERT INTO settings(name, value) VALUES ")
        + "('IsNotFirstRun', '1'), ('ResetDateTime', '" + today + "');";
    char* message = nullptr;
    const bool written = sqlite3_open((folder + "/settings.sqlite").c_str(), &database) == SQLITE_OK
        && sqlite3_exec(database, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!written)
        std::cerr << "bench_program_wine: the settings were not written: "
                  << (message ? message : sqlite3_errmsg(database)) << '\n';
    sqlite3_free(message);
    sqlite3_close(database);
    return written;
}

// Ends the program as the Windows session's end does, and waits until it and its icon are gone.
bool ProgramEnd(pid_t group, TDesktopProbe& probe, int iconsBefore)
{
    WineLine({ "wineboot", "--end-session" });
    const auto deadline = TClock::now() + std::chrono::seconds(30);
    while (::waitpid(group, nullptr, WNOHANG) != group || probe.TrayIconsCount(g_wine->Tray) > iconsBefore) {
        if (TClock::now() > deadline) {
            g_wine->Desktop.ProgramStop(group);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void BM_WineProgramStartToTrayIcon(benchmark::State& state)
{
    TDesktopProbe probe(g_wine->Desktop.DisplayName());
    double fastest = 0;
    double slowest = 0;
    for (auto _ : state) {
        const int iconsBefore = probe.TrayIconsCount(g_wine->Tray);
        const auto start = TClock::now();
        const pid_t group = g_wine->Desktop.ProgramStart({ g_wine->Run, g_wine->Program }, "tallyhour-exe");
        bool docked = false;
        const auto deadline = start + std::chrono::seconds(60);
        while (group > 0 && !docked && TClock::now() < deadline) {
            docked = probe.TrayIconsCount(g_wine->Tray) > iconsBefore;
            if (!docked)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const auto end = TClock::now();
        if (group > 0 && !ProgramEnd(group, probe, iconsBefore)) {
            state.SkipWithError("the program or its icon stayed after the end of the session");
            return;
        }
        if (!docked) {
            state.SkipWithError(("no tray icon appeared (see " + g_wine->Desktop.Folder() + "/logs)").c_str());
            return;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        fastest = fastest == 0 ? seconds : std::min(fastest, seconds);
        slowest = std::max(slowest, seconds);
    }
    state.counters["fastest_ms"] = 1000 * fastest;
    state.counters["slowest_ms"] = 1000 * slowest;
}

// The cache scripts/windows.sh fills (Qt's DLLs, the Wine prefix), as wine-run.sh finds it from
// this user's home: fixed for it before the desktop gives its programs a home of their own.
// Gives the prefix.
std::string WinePrefixFix()
{
    std::string cache;
    if (const char* folder = std::getenv("TALLYHOUR_WIN_CACHE")) {
        cache = folder;
    } else {
        const char* xdgCache = std::getenv("XDG_CACHE_HOME");
        const char* home = std::getenv("HOME");
        cache = (xdgCache ? std::string(xdgCache) : std::string(home ? home : "") + "/.cache") + "/tallyhour/windows";
        setenv("TALLYHOUR_WIN_CACHE", cache.c_str(), 1);
    }
    const char* prefix = std::getenv("WINEPREFIX");
    const std::string chosen = prefix ? std::string(prefix) : cache + "/wine";
    setenv("WINEPREFIX", chosen.c_str(), 1);
    return chosen;
}

} // namespace

BENCHMARK(BM_WineProgramStartToTrayIcon)->UseManualTime()->Iterations(4)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    const bool selected = BenchFilterSelectsAny(argc, argv, { "BM_WineProgramStartToTrayIcon" });
    std::string program;
    if (const char* path = std::getenv("TALLYHOUR_WINDOWS_PROGRAM"))
        program = path;
    constexpr std::string_view programOption = "--windows_program=";
    argc = static_cast<int>(std::remove_if(argv + 1, argv + argc, [&](const char* argument) {
        if (std::string_view(argument).substr(0, programOption.size()) != programOption)
            return false;
        program = argument + programOption.size();
        return true;
    }) - argv);
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    if (program.empty() || !fs::is_regular_file(program)) {
        std::cout << "bench_program_wine: no Windows build (TALLYHOUR_WINDOWS_PROGRAM names tallyhour.exe; "
                     "./scripts/windows.sh bench passes it); nothing measured\n";
        return 0;
    }
    for (const char* tool : { "wine", "Xvfb", "openbox", "trayer" }) {
        if (TTestDesktop::ProgramFind(tool).empty()) {
            std::cout << "bench_program_wine: " << tool << " is not installed; nothing measured\n";
            return 0;
        }
    }
    const std::string prefix = WinePrefixFix();
    if (!fs::exists(prefix + "/system.reg")) {
        std::cout << "bench_program_wine: no Wine prefix at " << prefix
                  << " (./scripts/windows.sh makes it); nothing measured\n";
        return 0;
    }
    benchmark::AddCustomContext(
        "note", "Wine is not Windows: a start under Wine on this machine, its server and desktop process running");
    TWineDesktop wine;
    g_wine = &wine;
    wine.Program = fs::absolute(program).string();
    wine.Run = TH_WINE_RUN;
    const pid_t tray = wine.Desktop.Start(false) ? wine.Desktop.TrayStart() : -1;
    wine.Tray = tray > 0 ? static_cast<xcb_window_t>(wine.Desktop.WindowWait(tray, 10)) : 0;
    if (!wine.Tray) {
        std::cerr << "bench_program_wine: " << wine.Desktop.ErrorText() << '\n';
        return 1;
    }
    // Every Wine program of the prefix shares one server, and its desktop process keeps the
    // display it started on: a fresh server, kept running, puts the icons into this desktop's tray.
    std::string output;
    wine.Desktop.ProgramRun({ wine.Run, "wineserver", "-k" }, "wineserver-end", 30, output);
    const pid_t server = wine.Desktop.ProgramStart({ wine.Run, "wineserver", "-f", "-p" }, "wineserver");
    const bool ready = server > 0 && DataFolderPrepare();
    if (ready)
        benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    wine.Desktop.ProgramRun({ wine.Run, "wineserver", "-k" }, "wineserver-end", 30, output);
    wine.Desktop.Stop();
    return ready ? 0 : 1;
}
