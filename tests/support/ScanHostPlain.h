#pragma once

// The main window's side of the scan for tests and benchmarks that run the scan without the
// window: a time-limit list held elsewhere, the day's account in a logger or in memory, and a
// window that shows nothing and answers no time-up window.
#include "enforce/ScanPipeline.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"

class TScanHostPlain : public TScanSettings, public TScanAccount, public TScanObserver
{
public:
    // `logger`: where charges go; none: only Charged counts them.
    TScanHostPlain(const TMonitoredList& list, TZaraveDezeZurirevuzorLogger* logger = nullptr)
        : m_list(list)
        , m_logger(logger)
    {
    }

    int32_t LimitSeconds = 28800;
    TDateTime ResetAt = 1e9;
    int64_t Charged = 0;

    const TMonitoredList& TimeLimitList() override
    {
        return m_list;
    }
    int32_t TimeLimitSeconds() override
    {
        return LimitSeconds;
    }
    TDateTime ResetDateTime() override
    {
        return ResetAt;
    }
    int ExpirationAction() override
    {
        return 0;
    }
    int32_t Total() override
    {
        return m_logger ? m_logger->Total : static_cast<int32_t>(Charged);
    }
    void Charge(const TZaraveDezeZurirevuzor& sample, int32_t seconds) override
    {
        Charged += seconds;
        if (m_logger) {
            m_logger->Log(&sample, seconds);
        }
    }
    void DailyResetRequest() override
    {
    }
    void TimeUpShow(const TTimeUpRequest&) override
    {
    }
    void ReminderTimerEnabledSet(bool) override
    {
    }
    void ShutdownFailedShow(const std::string&) override
    {
    }

private:
    const TMonitoredList& m_list;
    TZaraveDezeZurirevuzorLogger* m_logger;
};
