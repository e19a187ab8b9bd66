// The usage chart on the full-size activity database (BenchActivityDatabase.h): three months read
// and split by day, then drawn, as a click on the Chart button does; offscreen.
#include "BenchActivityDatabase.h"
#include "BenchFilter.h"
#include "storage/ActivityDatabase.h"
#include "ui/framework/Appearance.h"
#include "ui/framework/Application.h"
#include "ui/main/FrmReports.h"
#include "ui/main/MainDisplay.h"

#include <benchmark/benchmark.h>

#include <QPixmap>

#include <cstdlib>

namespace {

using namespace bench_activity;

TfrmReports& Window()
{
    static auto* window = [] {
        auto* made = new TfrmReports(
            kUsagePeriodCount - 1, 8 * 3600,
            [](TDateTime from, TDateTime to, TUsageBucket bucket) {
                return UsageSplitLoad(from, to, bucket, DatabaseFile());
            },
            [] { return kNow; });
        made->resize(760, 560);
        made->show();
        return made;
    }();
    return *window;
}

// The query, the chart's series and one paint of the whole window.
void BM_ChartThreeMonthsReadAndDrawn(benchmark::State& state)
{
    TfrmReports& window = Window();
    for (auto _ : state) {
        window.Reload();
        QPixmap shown = window.grab();
        benchmark::DoNotOptimize(shown);
    }
    state.counters["bars"] = double(window.Chart().Buckets.size());
}

void BM_ChartTodayReadAndDrawn(benchmark::State& state)
{
    TfrmReports& window = Window();
    window.PeriodSet(0);
    for (auto _ : state) {
        window.Reload();
        QPixmap shown = window.grab();
        benchmark::DoNotOptimize(shown);
    }
    window.PeriodSet(kUsagePeriodCount - 1);
}

// The drawing alone: the same three months, split once beforehand.
void BM_ChartThreeMonthsDrawnOnly(benchmark::State& state)
{
    const auto rows = UsageSplitLoad(kNow - 90, kNow, TUsageBucket::Day, DatabaseFile());
    TfrmReports window(
        kUsagePeriodCount - 1, 8 * 3600, [&](TDateTime, TDateTime, TUsageBucket) { return rows; }, [] { return kNow; });
    window.resize(760, 560);
    window.show();
    for (auto _ : state) {
        window.Reload();
        QPixmap shown = window.grab();
        benchmark::DoNotOptimize(shown);
    }
}

} // namespace

BENCHMARK(BM_ChartThreeMonthsDrawnOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartThreeMonthsReadAndDrawn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartTodayReadAndDrawn)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    const bool selected = BenchFilterSelectsAny(
        argc, argv, { "BM_ChartThreeMonthsDrawnOnly", "BM_ChartThreeMonthsReadAndDrawn", "BM_ChartTodayReadAndDrawn" });
    benchmark::Initialize(&argc, argv);
    if (!selected)
        return 0;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TAppearanceMemory appearance;
    AppearanceSourceSet(&appearance);
    TApplication app(argc, argv);
    DatabaseFile(); // built (or found) before any timing starts
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
