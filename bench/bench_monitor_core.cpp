// One scan tick on the fake desktop with a time-limit list of 50 applications and 150 sites:
// the work the program does itself every few seconds, apart from the desktop's answers. The
// logger variant writes its row to a real activity database in a temporary data folder.
#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/ScanHostPlain.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/FakeSessionPower.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int kListedApps = 50;
constexpr int kListedSites = 150;

std::string AppName(int i)
{
    return "/usr/lib/program" + std::to_string(i) + "/bin/program" + std::to_string(i);
}

std::string SiteName(int i)
{
    return "site" + std::to_string(i) + ".example.com";
}

void ListFill(TMonitoredList& list)
{
    for (int i = 0; i < kListedApps; ++i) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = mitApp;
        item->Name = AppName(i);
        item->Caption = "Program " + std::to_string(i);
        list.Add("Program " + std::to_string(i), std::move(item));
    }
    for (int i = 0; i < kListedSites; ++i) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = mitWeb;
        item->Name = SiteName(i);
        item->Caption = "Site " + std::to_string(i);
        list.Add("Site " + std::to_string(i), std::move(item));
    }
}

// A data folder of its own, removed at the end, with the list saved into both databases.
class TBenchData
{
public:
    TBenchData()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tallyhour-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::abort();
        }
        m_folder = pattern;
        DataLocationsCompute(m_folder.string() + "/", "/opt/tallyhour/tallyhour");
        LogFileNameSet(m_folder.string() + "/bench.log");
        ListFill(OptionsInstance().MonitoredItems());
        OptionsInstance().ListSave();
    }
    ~TBenchData()
    {
        OptionsInstanceFree();
        WindowPreferencesFree();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

private:
    std::filesystem::path m_folder;
};

struct TBenchDesktop
{
    TBenchDesktop()
    {
        // A busy desktop: forty other windows, then the one in front.
        for (int i = 0; i < 40; ++i) {
            desktop.WindowShow({ 0, "/usr/bin/other" + std::to_string(i), "Other", "", "", true });
        }
    }
    TFakeDesktop desktop;
    TMonitoredList list;
};

// The scan on the fake desktop, one synchronous step per tick.
struct TBenchScan
{
    TBenchScan(TFakeDesktop& desktop, TScanHostPlain& host)
        : Scan({ desktop, desktop.Processes(), desktop, Power }, host, host, State, host,
            std::make_unique<TInlineTaskRunner>(), Owner)
    {
    }
    TFakeSessionPower Power;
    TEnforcementState State;
    TInlineTaskRunner Owner;
    TScanPipeline Scan;
};

void BM_ScanTickUnlistedProgram(benchmark::State& state)
{
    TBenchDesktop bench;
    ListFill(bench.list);
    bench.desktop.WindowShow({ 0, "/usr/bin/xterm", "XTerm", "", "", true });
    TScanHostPlain host(bench.list);
    TBenchScan scan(bench.desktop, host);
    for (auto _ : state) {
        scan.Scan.TickRun();
    }
    benchmark::DoNotOptimize(host.Charged);
}
BENCHMARK(BM_ScanTickUnlistedProgram);

void BM_ScanTickListedSiteInBrowser(benchmark::State& state)
{
    TBenchDesktop bench;
    ListFill(bench.list);
    bench.desktop.WindowShow({ 0, "/usr/lib/firefox-esr/firefox-esr", "firefox-esr", "",
        "https://www." + SiteName(kListedSites - 1) + "/some/page?q=1", true });
    TScanHostPlain host(bench.list);
    TBenchScan scan(bench.desktop, host);
    for (auto _ : state) {
        scan.Scan.LastScanTime = ProgramNow() - 3.0 / 86400.0;
        scan.Scan.TickRun();
    }
    benchmark::DoNotOptimize(host.Charged);
}
BENCHMARK(BM_ScanTickListedSiteInBrowser);

// The whole tick of a listed application, the logger writing its row to the activity database.
void BM_ScanTickListedWithLogger(benchmark::State& state)
{
    TBenchData data;
    TBenchDesktop bench;
    bench.desktop.WindowShow({ 0, AppName(7), "Program", "", "", true });
    TZaraveDezeZurirevuzorLogger logger;
    TScanHostPlain host(OptionsInstance().MonitoredItems(), &logger);
    TBenchScan scan(bench.desktop, host);
    for (auto _ : state) {
        scan.Scan.LastScanTime = ProgramNow() - 3.0 / 86400.0;
        scan.Scan.TickRun();
    }
    state.counters["Total"] = logger.Total;
}
BENCHMARK(BM_ScanTickListedWithLogger)->Unit(benchmark::kMicrosecond);

// Closing every listed window of a desktop of `range` windows, one in four of them listed.
void BM_CloseAllSweep(benchmark::State& state)
{
    TFakeDesktop desktop;
    TMonitoredList list;
    ListFill(list);
    for (int i = 0; i < state.range(0); ++i) {
        const bool listed = i % 4 == 0;
        desktop.WindowShow({ 0, listed ? AppName(i % kListedApps) : "/usr/bin/other" + std::to_string(i), "Other", "",
            "", i % 2 == 0 });
    }
    TZaraveDezeZurirevuzor sample(desktop, desktop.Processes(), desktop);
    for (auto _ : state) {
        sample.Execute(true, &list);
        desktop.CloseRequestsClear();
    }
}
BENCHMARK(BM_CloseAllSweep)->Arg(20)->Arg(100);

// A new logger: the two period queries of the day over a small database.
void BM_LoggerCreate(benchmark::State& state)
{
    TBenchData data;
    {
        TZaraveDezeZurirevuzorLogger seed;
        TFakeDesktop desktop;
        TZaraveDezeZurirevuzor sample(desktop, desktop.Processes(), desktop);
        for (int i = 0; i < 2000; ++i) {
            sample.ExeName = AppName(i % kListedApps);
            seed.Log(&sample, 3);
        }
    }
    for (auto _ : state) {
        TZaraveDezeZurirevuzorLogger logger;
        benchmark::DoNotOptimize(logger.Total);
    }
}
BENCHMARK(BM_LoggerCreate)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
