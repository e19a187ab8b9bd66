#pragma once

#include "platform/ClockSource.h"

// The system's interrupt time in 100 ns units, which keeps counting while the computer sleeps
// (as CLOCK_BOOTTIME does on Linux), so the program clock does not fall behind the wall clock
// after a resume. QueryInterruptTimePrecise where the system has it (Windows 10), else
// GetTickCount64, which also counts across sleep, at its coarser steps.
class TInterruptTimeClockSource final : public TClockSource
{
public:
    TInterruptTimeClockSource();
    int64_t Ticks() override;
    int64_t Frequency() override
    {
        return 10'000'000;
    }

private:
    using TPreciseRead = void(__stdcall*)(unsigned long long*);
    TPreciseRead m_precise = nullptr;
};
