#include "model/MonitoredObjects.h"
#include "model/ProgramClock.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A list of 300 entries, half sites and half applications, as a heavy user might keep.
void ListFill(TMonitoredList& list)
{
    for (int i = 0; i < 300; ++i) {
        auto item = std::make_unique<TMonitoredItem>();
        if (i % 2 == 0) {
            item->ItemType = mitWeb;
            item->Name = "site" + std::to_string(i) + ".example.com";
        } else {
            item->ItemType = mitApp;
            item->Name = "/usr/lib/program" + std::to_string(i) + "/bin/program" + std::to_string(i);
        }
        item->Caption = "Entry " + std::to_string(i);
        const std::string key = item->Caption;
        list.Add(key, std::move(item));
    }
}

// An address of 2 kB whose host is not listed but whose query mentions many listed names.
std::string LongAddress()
{
    std::string address = "https://www.news.example.net/articles/today?ref=";
    for (int i = 0; address.size() < 2048; ++i) {
        address += "site" + std::to_string(i) + ".example.com&";
    }
    return address.substr(0, 2048);
}

void BM_ActivityMatch_300Entries_2kAddress_NoMatch(benchmark::State& state)
{
    TMonitoredList list;
    ListFill(list);
    const std::string address = LongAddress();
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.ActivityMatch("/usr/bin/firefox-esr", address));
    }
}
BENCHMARK(BM_ActivityMatch_300Entries_2kAddress_NoMatch);

void BM_ActivityMatch_300Entries_LastApplication(benchmark::State& state)
{
    TMonitoredList list;
    ListFill(list);
    const std::string exe = list.Items(list.Count() - 1)->Name;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.ActivityMatch(exe, ""));
    }
}
BENCHMARK(BM_ActivityMatch_300Entries_LastApplication);

void BM_MonitoredListAdd_300Entries(benchmark::State& state)
{
    for (auto _ : state) {
        TMonitoredList list;
        ListFill(list);
        benchmark::DoNotOptimize(list.Count());
    }
}
BENCHMARK(BM_MonitoredListAdd_300Entries);

// The clock is read several times in every scan and timer tick; following the wall clock adds a
// look at it once a second of readings at most.
void BM_ProgramNow(benchmark::State& state)
{
    ClockWallSourceSet(state.range(0) ? TWallClockSource(SystemWallClockRead) : TWallClockSource());
    for (auto _ : state) {
        benchmark::DoNotOptimize(ProgramNow());
    }
    ClockWallSourceSet(nullptr);
}
BENCHMARK(BM_ProgramNow)->Arg(0)->Arg(1);

void BM_SystemWallClockRead(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(SystemWallClockRead());
    }
}
BENCHMARK(BM_SystemWallClockRead);

} // namespace

BENCHMARK_MAIN();
