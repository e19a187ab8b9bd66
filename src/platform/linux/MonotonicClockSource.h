#pragma once

#include "platform/ClockSource.h"

#include <ctime>

// The kernel's monotonic clock in nanoseconds: it does not jump when the wall clock is set.
class TMonotonicClockSource final : public TClockSource
{
public:
    int64_t Ticks() override
    {
        timespec now {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
    int64_t Frequency() override
    {
        return 1000000000;
    }
};
