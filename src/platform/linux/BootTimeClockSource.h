#pragma once

#include "platform/ClockSource.h"

#include <ctime>

// The kernel's boot-time clock in nanoseconds: it does not jump when the wall clock is set, and
// unlike the monotonic clock it keeps counting while the computer is suspended, so the program's
// "now" stays the real time after a night asleep.
class TBootTimeClockSource final : public TClockSource
{
public:
    int64_t Ticks() override
    {
        timespec now {};
        clock_gettime(CLOCK_BOOTTIME, &now);
        return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
    int64_t Frequency() override
    {
        return 1000000000;
    }
};
