#include "model/ProgramClock.h"

#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace {

// Compared in whole milliseconds: day fractions of two nearby date-times carry rounding noise,
// and "exactly 5 minutes" must not slip under the limit because of it.
constexpr int64_t kResyncLimitMs = 5 * 60 * 1000;
// A wall clock that moved this much more or less than the tick source was set; NTP's slewing
// (at most half a millisecond per second) stays far below it.
constexpr double kWallStepLimitSeconds = 2.0;
constexpr double kWallDriftPerSecond = 0.001;
// 1 January 1970 as a day count.
constexpr TDateTime kUnixEpochDays = 25569.0;

struct TClockState
{
    std::mutex calibrationLock;
    // Readings move the running stopwatch and may move the base; the scan's worker thread and the
    // desktop's bus threads read the clock (for their log lines) beside the window's thread.
    // Recursive: following a wall-clock step writes a log line, which reads the clock again.
    std::recursive_mutex readLock;
    std::atomic<bool> started { false };
    bool calibrated = false;
    TTickSource source;
    int64_t frequency = 1;
    int64_t overhead = 0;
    TDateTime base = 0;
    TStopwatch global;
    // Following the wall clock: its source, its last reading and the tick seconds of it.
    TWallClockSource wall;
    TWallClockReading wallReading;
    double wallTickSeconds = 0;
    double steps = 0;
};

int64_t SteadyTicks()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Calibrate(TClockState& state, TTickSource source, int64_t frequency)
{
    state.source = std::move(source);
    state.frequency = frequency > 0 ? frequency : 1;
    state.calibrated = true;
    state.overhead = 0;
    int64_t smallest = INT64_MAX;
    for (int i = 0; i < 10; ++i) {
        TStopwatch probe;
        probe.Start();
        probe.Stop();
        smallest = std::min(smallest, probe.ElapsedTicks());
    }
    state.overhead = smallest;
}

TClockState& StateStarted();

TClockState& RawState()
{
    // Never destroyed: the settings store saves, and so reads the clock, from the program's exit
    // destructors, in whatever order they run.
    static auto& state = *new TClockState;
    return state;
}

TClockState& StateStarted()
{
    TClockState& state = RawState();
    if (!state.started.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> guard(state.calibrationLock);
        if (!state.started.load(std::memory_order_relaxed)) {
            state.base = SystemNow();
            // Back to back: the smallest of ten probes is the overhead, and a pause between them
            // only cost the start of the program its time.
            if (!state.calibrated) {
                Calibrate(state, SteadyTicks, 1'000'000'000);
            }
            state.global = TStopwatch();
            state.global.Start();
            state.started.store(true, std::memory_order_release);
        }
    }
    return state;
}

} // namespace

void TStopwatch::Start()
{
    TClockState& state = RawState();
    if (!state.calibrated) {
        StateStarted();
    }
    if (m_nesting == 0) {
        m_startTick = state.source();
    }
    ++m_nesting;
}

void TStopwatch::Stop()
{
    TClockState& state = RawState();
    --m_nesting;
    if (m_nesting == 0) {
        const int64_t elapsed = state.source() - m_startTick;
        if (elapsed >= state.overhead) {
            m_accumulated += elapsed - state.overhead;
        }
    }
}

namespace {

double TickSecondsRead(TClockState& state)
{
    state.global.Stop();
    const double seconds = static_cast<double>(state.global.ElapsedTicks()) / static_cast<double>(state.frequency);
    state.global.Start();
    return seconds;
}

std::string OffsetText(int32_t seconds)
{
    const int32_t minutes = std::abs(seconds) / 60;
    return Format("%c%02d:%02d", seconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

void WallFollow(TClockState& state, double tickSeconds)
{
    const TWallClockReading reading = state.wall();
    const TWallClockReading before = state.wallReading;
    const double ticksPassed = tickSeconds - state.wallTickSeconds;
    const double step = (reading.UtcSeconds - before.UtcSeconds) - ticksPassed;
    state.wallReading = reading;
    state.wallTickSeconds = tickSeconds;
    const bool offsetChanged = reading.OffsetSeconds != before.OffsetSeconds;
    if (!offsetChanged && std::fabs(step) < kWallStepLimitSeconds + ticksPassed * kWallDriftPerSecond) {
        return;
    }
    const TDateTime was = state.base + tickSeconds / 86400.0;
    const TDateTime local = kUnixEpochDays + (reading.UtcSeconds + reading.OffsetSeconds) / 86400.0;
    state.base += local - was;
    state.steps += local - was;
    // The log line reads the clock again, less than a second of ticks later: no second look.
    const std::string cause = offsetChanged ? "The time zone's offset changed from " + OffsetText(before.OffsetSeconds)
            + " to " + OffsetText(reading.OffsetSeconds)
                                            : Format("The system clock was set by %+.0f seconds", step);
    LogMessageWrite(cause + "; the program's clock went from " + DateTimeToDbText(was) + " to "
        + DateTimeToDbText(local) + " with it, and the change is not charged as time");
}

} // namespace

TDateTime ProgramNow()
{
    TClockState& state = StateStarted();
    std::lock_guard guard(state.readLock);
    const double seconds = TickSecondsRead(state);
    if (state.wall && seconds - state.wallTickSeconds >= 1.0) {
        WallFollow(state, seconds);
    }
    return state.base + seconds / 86400.0;
}

TWallClockReading SystemWallClockRead()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    tzset();
    std::tm local {};
    const std::time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    // The offset from the broken-down local time itself: tm_gmtoff is a BSD field that not every
    // C library has.
    const TDateTime localDays = EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
        local.tm_min, std::min(local.tm_sec, 59), 0);
    const auto offset = std::llround((localDays - kUnixEpochDays) * 86400.0) - static_cast<long long>(seconds);
    return { static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9, static_cast<int32_t>(offset) };
}

void ClockWallSourceSet(TWallClockSource source)
{
    TClockState& state = StateStarted();
    std::lock_guard guard(state.readLock);
    state.wall = std::move(source);
    if (state.wall) {
        state.wallTickSeconds = TickSecondsRead(state);
        state.wallReading = state.wall();
    }
}

double ClockStepsTotal()
{
    TClockState& state = StateStarted();
    std::lock_guard guard(state.readLock);
    return state.steps;
}

TDateTime ProgramNowWithSteps(double& steps)
{
    TClockState& state = StateStarted();
    std::lock_guard guard(state.readLock);
    const TDateTime now = ProgramNow();
    steps = state.steps;
    return now;
}

TDateTime ProgramToday()
{
    return std::floor(ProgramNow());
}

TDateTime ProgramTimeOfDay()
{
    const TDateTime now = ProgramNow();
    return now - std::floor(now);
}

TDateTime TodayAt0400()
{
    return ProgramToday() + 1.0 / 6.0;
}

void ClockBaseAdjust(double days)
{
    TClockState& state = StateStarted();
    std::lock_guard guard(state.readLock);
    state.base += days;
}

bool ClockResynchronizeTo(TDateTime systemNow)
{
    const double difference = systemNow - ProgramNow();
    if (std::llround(std::fabs(difference) * 86'400'000.0) < kResyncLimitMs) {
        ClockBaseAdjust(difference);
        return true;
    }
    return false;
}

bool ClockResynchronize()
{
    return ClockResynchronizeTo(SystemNow());
}

TDateTime SystemNow()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local {};
    localtime_r(&seconds, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
        std::min(local.tm_sec, 59), static_cast<int>(ms % 1000));
}

void ClockTickSourceSet(TTickSource source, int64_t frequency, TDateTime base)
{
    // Replacing the source before the first reading spares the default calibration.
    TClockState& state = RawState();
    std::lock_guard<std::mutex> guard(state.calibrationLock);
    Calibrate(state, std::move(source), frequency);
    state.wall = nullptr;
    state.base = base;
    state.global = TStopwatch();
    state.global.Start();
    state.started.store(true, std::memory_order_release);
}

int64_t ClockFrequency()
{
    return StateStarted().frequency;
}

int64_t ClockOverhead()
{
    return StateStarted().overhead;
}
