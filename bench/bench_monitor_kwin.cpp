// The cost to this program of one foreground sample on KDE Plasma's Wayland session: a headless
// KWin of its own with a native Wayland window in front, read from what KWin's script pushed;
// the bare read of the window in front; and a one-shot script (what a close request costs),
// from its loading to its report that it ran. Ended when the run ends.
#include "CompositorBench.h"
#include "platform/linux/kwin/KWinWindowSystem.h"

namespace {

void BM_KWinForegroundSample(benchmark::State& state)
{
    if (!g_desktop->Window || !g_desktop->Desktop.WindowActivate(g_desktop->Window)) {
        state.SkipWithError("the window is not on the desktop");
        return;
    }
    ForegroundSampleRun(state, 5);
}

void BM_KWinOneShotScript(benchmark::State& state)
{
    auto* kwin = dynamic_cast<TKWinWindowSystem*>(g_desktop->Services->WindowSystem.get());
    if (!kwin) {
        state.SkipWithError("the services do not read KWin");
        return;
    }
    for (auto _ : state) {
        if (!kwin->ScriptRun("        target = null;")) {
            state.SkipWithError("KWin refused the script");
            return;
        }
        // Done when it has reported and been unloaded: only the reporting script is left.
        while (kwin->ScriptNamesGet().size() > 1)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

void BM_KWinForegroundWindowGet(benchmark::State& state)
{
    ForegroundWindowGetRun(state);
}

} // namespace

BENCHMARK(BM_KWinForegroundSample)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KWinForegroundWindowGet)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KWinOneShotScript)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    return CompositorBenchMain(argc, argv, "bench_monitor_kwin",
        { "BM_KWinForegroundSample", "BM_KWinForegroundWindowGet", "BM_KWinOneShotScript" },
        TTestDesktop::ProgramFind("kwin_wayland").empty() ? "kwin_wayland" : "",
        [](TTestDesktop& desktop) { return desktop.KWinStart(); });
}
