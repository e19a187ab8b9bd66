#pragma once

#include <cstdint>
#include <functional>

// Days since 30 December 1899 00:00, the fraction being the time of day (0.25 is 06:00).
using TDateTime = double;

// A source of monotonic ticks; production uses the steady high-resolution clock, tests a
// counter they move by hand.
using TTickSource = std::function<int64_t()>;

// A nesting stopwatch: only the outermost Start/Stop pair measures, and the measured cost of
// starting and stopping one is taken off every segment.
class TStopwatch
{
public:
    void Start();
    void Stop();
    int64_t ElapsedTicks() const
    {
        return m_accumulated;
    }
    int32_t Nesting() const
    {
        return m_nesting;
    }

private:
    int32_t m_nesting = 0;
    int64_t m_startTick = 0;
    int64_t m_accumulated = 0;
};

// The program's clock: read from the system clock once, then advanced by the tick source, so
// that setting the system clock does not change how much time the program counts.
TDateTime ProgramNow();
TDateTime ProgramToday();
TDateTime ProgramTimeOfDay();
TDateTime TodayAt0400();
void ClockBaseAdjust(double days);

// The 30-minute re-alignment: a difference to the system clock under 5 minutes is taken over,
// one of 5 minutes or more never (a clock set by hand takes effect only at the next start).
// Returns whether the difference was taken over.
bool ClockResynchronize();
bool ClockResynchronizeTo(TDateTime systemNow);

// The system's local date and time, millisecond resolution. Only the clock start and the
// re-alignment read it; everything else asks ProgramNow().
TDateTime SystemNow();

// What the system's wall clock reads: seconds since 1 January 1970 UTC, and the offset of the
// local time zone from UTC at that moment.
struct TWallClockReading
{
    double UtcSeconds = 0;
    int32_t OffsetSeconds = 0;
};
using TWallClockSource = std::function<TWallClockReading()>;
// The real wall clock; a time zone chosen while the program runs is taken too.
TWallClockReading SystemWallClockRead();

// Makes the clock follow deliberate changes of the wall clock. At most once per second of the tick
// source a reading compares them: a change of the zone's offset (the end of summer time) or a
// step of the wall clock of 2 seconds or more against the tick source (the clock was set) makes
// ProgramNow the new local time at once, with a log line; slow drift is left to the
// re-alignment. An empty source stops following, and so does ClockTickSourceSet.
void ClockWallSourceSet(TWallClockSource source);
// The sum of the steps the clock took by following the wall clock, in days. A scan takes the
// steps between two ticks out of their interval, so a step is never charged as time.
double ClockStepsTotal();
// ProgramNow, and in `steps` ClockStepsTotal as of that reading: a step another thread's reading
// takes meanwhile cannot fall between the two.
TDateTime ProgramNowWithSteps(double& steps);

// Replaces the tick source (and restarts the clock at `base`), for tests and other platforms.
void ClockTickSourceSet(TTickSource source, int64_t frequency, TDateTime base);
int64_t ClockFrequency();
int64_t ClockOverhead();
