#include "platform/windows/InterruptTimeClockSource.h"

#include <windows.h>

TInterruptTimeClockSource::TInterruptTimeClockSource()
{
    // Looked up rather than linked: the import would keep the program from starting on systems
    // (and Wine versions) that lack it.
    for (const wchar_t* module : { L"kernelbase.dll", L"kernel32.dll" }) {
        if (const HMODULE handle = ::GetModuleHandleW(module)) {
            m_precise = reinterpret_cast<TPreciseRead>(
                reinterpret_cast<void*>(::GetProcAddress(handle, "QueryInterruptTimePrecise")));
            if (m_precise) {
                break;
            }
        }
    }
}

int64_t TInterruptTimeClockSource::Ticks()
{
    if (m_precise) {
        unsigned long long time = 0;
        m_precise(&time);
        return static_cast<int64_t>(time);
    }
    return static_cast<int64_t>(::GetTickCount64()) * 10'000;
}
