// What one scan's sample costs through the Windows backend: the window in front, its process's
// executable path and the kind, with notepad in front (started here and put in front), and the
// close-all walk over every top-level window of the desktop with nothing listed to close. Run
// under Wine by scripts/windows.sh bench; Wine is not Windows, so the figures say what Wine's
// emulation of these calls costs on the machine, and the output says so.
#include "model/MonitoredObjects.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/windows/WindowsPlatformServices.h"

#include <benchmark/benchmark.h>
#include <windows.h>

#include <cctype>
#include <chrono>
#include <iostream>
#include <string>
#include <thread>

namespace {

struct TNotepad
{
    PROCESS_INFORMATION Process {};
    HWND Window = nullptr;
};

std::unique_ptr<TPlatformServices> g_services;
TNotepad g_notepad;

struct TWindowSearch
{
    DWORD ProcessId = 0;
    HWND Found = nullptr;
};

BOOL CALLBACK ShownWindowOfProcess(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<TWindowSearch*>(parameter);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId != search->ProcessId || !::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER))
        return TRUE;
    search->Found = window;
    return FALSE;
}

// Starts notepad and waits, 60 s at most, until its window is the foreground one; asks for the
// foreground itself where the desktop did not give it.
bool NotepadInFront(TNotepad& notepad)
{
    wchar_t folder[MAX_PATH] {};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(folder) + L"\\notepad.exe\"";
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    if (!::CreateProcessW(
            nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &notepad.Process)) {
        std::cerr << "bench_windows_sample: notepad did not start (error " << ::GetLastError() << ")\n";
        return false;
    }
    ::WaitForInputIdle(notepad.Process.hProcess, 30000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!notepad.Window) {
            TWindowSearch search { notepad.Process.dwProcessId, nullptr };
            ::EnumWindows(ShownWindowOfProcess, reinterpret_cast<LPARAM>(&search));
            notepad.Window = search.Found;
        }
        if (notepad.Window) {
            if (::GetForegroundWindow() == notepad.Window)
                return true;
            ::SetForegroundWindow(notepad.Window);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::cerr << "bench_windows_sample: notepad's window never came in front\n";
    return false;
}

void NotepadEnd(TNotepad& notepad)
{
    if (!notepad.Process.hProcess)
        return;
    ::TerminateProcess(notepad.Process.hProcess, 0);
    ::WaitForSingleObject(notepad.Process.hProcess, 10000);
    ::CloseHandle(notepad.Process.hThread);
    ::CloseHandle(notepad.Process.hProcess);
    notepad = {};
}

bool EndsWithNotepad(const std::string& path)
{
    constexpr std::string_view name = "\\notepad.exe";
    if (path.size() < name.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(path[path.size() - name.size() + i])) != name[i])
            return false;
    }
    return true;
}

void BM_ForegroundSampleNotepad(benchmark::State& state)
{
    TZaraveDezeZurirevuzor sample(*g_services->WindowSystem, *g_services->Processes, *g_services->Accessibility);
    for (auto _ : state) {
        sample.Execute(false, nullptr);
    }
    // A sample of another window (the foreground taken away meanwhile) would time something else.
    if (sample.WindowHandle != reinterpret_cast<TWindowHandle>(g_notepad.Window) || !EndsWithNotepad(sample.ExeName)
        || sample.AppType != atDesktop)
        state.SkipWithError(("the sample did not see notepad in front: " + sample.ExeName).c_str());
}

// The sample's two halves apart: the window in front with its process, and that process's path.
void BM_ForegroundWindowAndProcess(benchmark::State& state)
{
    TWindowSystem& windows = *g_services->WindowSystem;
    int64_t processId = 0;
    for (auto _ : state) {
        processId = windows.WindowProcessIdGet(windows.ForegroundWindowGet());
        benchmark::DoNotOptimize(processId);
    }
    if (processId != static_cast<int64_t>(g_notepad.Process.dwProcessId))
        state.SkipWithError("notepad was not in front");
}

void BM_ProcessExeNameNotepad(benchmark::State& state)
{
    std::string path;
    std::string errorText;
    for (auto _ : state) {
        g_services->Processes->ProcessExeNameGet(g_notepad.Process.dwProcessId, path, errorText);
    }
    if (!EndsWithNotepad(path))
        state.SkipWithError(("notepad's path was not read: " + errorText).c_str());
}

void BM_CloseAllWalkNothingListed(benchmark::State& state)
{
    TZaraveDezeZurirevuzor sample(*g_services->WindowSystem, *g_services->Processes, *g_services->Accessibility);
    const TMonitoredList nothing;
    for (auto _ : state) {
        sample.Execute(true, &nothing);
    }
    state.counters["windows"] = static_cast<double>(g_services->WindowSystem->TopLevelWindowsGet().size());
    if (!::IsWindow(g_notepad.Window))
        state.SkipWithError("notepad's window was closed by a walk that had nothing to close");
}

} // namespace

BENCHMARK(BM_ForegroundSampleNotepad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ForegroundWindowAndProcess)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessExeNameNotepad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CloseAllWalkNothingListed)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    using TWineVersion = const char* (*)();
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto wineVersion = ntdll
        ? reinterpret_cast<TWineVersion>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version")))
        : nullptr;
    if (wineVersion) {
        benchmark::AddCustomContext("wine", wineVersion());
        benchmark::AddCustomContext("note", "Wine is not Windows: these are Wine's costs on this machine");
    }
    g_services = WindowsPlatformServicesCreate();
    const bool ready = NotepadInFront(g_notepad);
    if (ready)
        benchmark::RunSpecifiedBenchmarks();
    NotepadEnd(g_notepad);
    benchmark::Shutdown();
    g_services.reset();
    return ready ? 0 : 1;
}
