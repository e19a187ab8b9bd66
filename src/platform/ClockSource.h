#pragma once

#include <cstdint>

// The monotonic high-resolution counter the program clock is advanced by.
class TClockSource
{
public:
    virtual ~TClockSource() = default;
    virtual int64_t Ticks() = 0;
    virtual int64_t Frequency() = 0; // ticks per second
};
