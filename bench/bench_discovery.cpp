// The add wizard's two scans on this machine: the desktop's menu entries (fast) and the walk of
// the application folders (complete), with the number of folders walked and lines found; and the
// running programs' paths, each named by the packages' rule, as the wizard and the sample read them.
#include "ui/config/ApplicationDiscovery.h"

#include "platform/linux/proc/ProcFsProcesses.h"
#include "platform/linux/xdg/XdgInstalledApplications.h"

#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

void BM_FastScan(benchmark::State& state)
{
    size_t lines = 0;
    for (auto _ : state) {
        TXdgInstalledApplications installed;
        TApplicationDiscovery discovery(installed);
        std::vector<std::string> found;
        discovery.FastScan(found);
        lines = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["lines"] = double(lines);
}
BENCHMARK(BM_FastScan)->Unit(benchmark::kMillisecond);

void BM_CompleteScan(benchmark::State& state)
{
    size_t lines = 0;
    int folders = 0;
    size_t roots = 0;
    for (auto _ : state) {
        TXdgInstalledApplications installed;
        TApplicationDiscovery discovery(installed);
        roots = discovery.RootsGet().size();
        folders = discovery.CountFolders([] { return true; });
        std::vector<std::string> found;
        discovery.CompleteScan(found, [] { return true; });
        lines = found.size();
    }
    state.counters["roots"] = double(roots);
    state.counters["folders"] = double(folders);
    state.counters["lines"] = double(lines);
}
BENCHMARK(BM_CompleteScan)->Unit(benchmark::kMillisecond);

// The counting pass alone, which the gauge waits for before the walk.
void BM_CompleteScanCountOnly(benchmark::State& state)
{
    int folders = 0;
    for (auto _ : state) {
        TXdgInstalledApplications installed;
        TApplicationDiscovery discovery(installed);
        folders = discovery.CountFolders([] { return true; });
    }
    state.counters["folders"] = double(folders);
}
BENCHMARK(BM_CompleteScanCountOnly)->Unit(benchmark::kMillisecond);

// What the sample pays at every tick for the path of the window's process.
void BM_ProcessExeName(benchmark::State& state)
{
    TProcFsProcesses processes;
    std::string path;
    std::string errorText;
    for (auto _ : state) {
        processes.ProcessExeNameGet(getpid(), path, errorText);
        benchmark::DoNotOptimize(path.data());
    }
}
BENCHMARK(BM_ProcessExeName)->Unit(benchmark::kMicrosecond);

void BM_RunningProgramPaths(benchmark::State& state)
{
    size_t paths = 0;
    for (auto _ : state) {
        TProcFsProcesses processes;
        paths = processes.RunningProgramPathsGet().size();
    }
    state.counters["paths"] = double(paths);
}
BENCHMARK(BM_RunningProgramPaths)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
