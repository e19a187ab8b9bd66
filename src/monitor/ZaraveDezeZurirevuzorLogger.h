#pragma once

#include "model/MonitoredObjects.h"
#include "model/ProgramClock.h"
#include "monitor/ZaraveDezeZurirevuzor.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TOptions;
class TIniFile;

// The start of the program's day for `now`: 04:00 of its date, or of the day before when `now`
// is earlier than that. Compared in whole milliseconds, so 04:00:00.000 itself starts a day.
TDateTime DayStartOf(TDateTime now);
TDateTime DayStart(); // of ProgramNow()

// The account of time spent on the time-limit list: today's seconds per listed entry, the day's
// total that the expiry check compares with the limit, and the seconds of a chosen period for
// the usage view. The activity database is the lasting record; every logger rebuilds its
// account from it, and nothing here is written back except one row per charge.
class TZaraveDezeZurirevuzorLogger
{
public:
    // Total 0, then today's entries loaded and summed into Total.
    TZaraveDezeZurirevuzorLogger();
    virtual ~TZaraveDezeZurirevuzorLogger();
    TZaraveDezeZurirevuzorLogger(const TZaraveDezeZurirevuzorLogger&) = delete;
    TZaraveDezeZurirevuzorLogger& operator=(const TZaraveDezeZurirevuzorLogger&) = delete;

    // Seconds spent on the list since the day start: the rows loaded at creation, then every
    // charge, whether its row was written or waits to be.
    int32_t Total = 0;

    // Created on first access; the logger owns them.
    TMonitoredList& TodayItems();
    TMonitoredList& UsageItems();

    // Charges `seconds` of a matched sample: the entry of TodayItems that matches it and Total
    // grow, and one row goes into the activity database. A row the database does not take (busy,
    // full, gone) waits in memory with those before it and is written, in order, before the next
    // charge or by ActivityChargesWaitingWrite; a failure that repeats is logged once a minute with its count, and the
    // user is told once (a user notice) when charges have waited for more than a minute. A sample that matches nothing
    // in TodayItems is not charged at all. A missing sample is an assertion.
    void Log(const TZaraveDezeZurirevuzor* sample, int32_t seconds);
    // Reloads TodayItems for the day start up to now; `sum` adds the loaded seconds to Total. A
    // load that fails leaves TodayItems and Total as they were and is tried again by the next Log.
    void TodayItemsLoad(bool sum);
    // Reloads UsageItems for from..to (both included); `sum` adds to Total (the usage view
    // passes false).
    void UsageItemsLoad(bool sum, TDateTime from, TDateTime to);
    // Runs one period query and adds an entry of `kind` per row to `list`; false when the query
    // failed, which is logged and leaves the list as it was. An entry whose seconds no 32-bit
    // counter holds is logged and keeps the counter's limit.
    bool MonitoredItemsLoad(TMonitoredList* list, const std::string& sql, bool sum, TMonitoredItemType kind);
    // Mirrors a removal from the time-limit list (the settings' MonitoredItemDelete answer):
    // mode 2 deletes the entry of the same Name, mode 1 makes it inactive (it keeps counting
    // until the daily reset removes it), mode 0 does nothing. `item` is read for its Name only,
    // so a copy of a removed entry will do.
    void MonitoredItemRemove(const TMonitoredItem* item, int mode);

private:
    // Replaces `list` by the sites, then the applications, of from..to; false (and `list` and
    // Total untouched) when either query failed.
    bool PeriodItemsLoad(TMonitoredList& list, bool sum, const std::string& sitesSql, const std::string& appsSql,
        TDateTime from, TDateTime to);
    // Fills an empty TodayItems from the settings' list, for a day that could not be loaded.
    void TodayItemsFromListTake();

    std::unique_ptr<TMonitoredList> m_usageItems;
    std::unique_ptr<TMonitoredList> m_todayItems;
    bool m_todayLoadPending = false;
    bool m_todayLoadSumPending = false;
};

// Charges whose rows the activity database has not taken yet. They outlive the logger (the daily
// reset makes a new one); at most `limit` wait, and beyond it the oldest are dropped and logged.
inline constexpr size_t kActivityChargesWaitingLimit = 20000; // some 17 hours of 3-second scans
size_t ActivityChargesWaitingCount();
// Writes the waiting charges in order, as far as the database takes them, with the logging and
// the notice of a charge; true when none waits any more. The owner calls it at every scan, so
// they are written as soon as the database answers, whatever window is in front.
bool ActivityChargesWaitingWrite();
// Forgets the waiting charges and the failures seen, and sets the limit (tests).
void ActivityChargesWaitingReset(size_t limit = kActivityChargesWaitingLimit);

// The accounting steps of the daily reset, in order: the next reset moment becomes 04:00 of the
// day after today's date; the settings apply their changes that wait for the reset; when users
// may change settings, the entries named in the preferences file's "Applications" and
// "WebSites" sections leave the time-limit list and the logger's TodayItems; inactive entries
// leave both lists; the settings are saved, and once the list is stored those sections are
// erased; the logger is freed (the owner creates a new one on its next use, which starts its
// Total from the database rows since the new day start). `logger` may be empty.
void DailyResetAccountingRun(
    TOptions& options, TIniFile& preferences, std::unique_ptr<TZaraveDezeZurirevuzorLogger>& logger);
