#include "monitor/ZaraveDezeZurirevuzorLogger.h"

#include "model/Assert.h"
#include "model/DataLocations.h"
#include "model/Exceptions.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/UserNotices.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"

#include <cmath>
#include <deque>
#include <limits>
#include <set>
#include <utility>

namespace {

constexpr const char* kUnitName = "ZaraveDezeZurirevuzorObjects";
constexpr const char* kLogMethodText = "; TZaraveDezeZurirevuzorLogger.Log: ";
constexpr const char* kLoadMethodText = "; TZaraveDezeZurirevuzorLogger.MonitoredItemsLoad: ";

// Sums of seconds stay within the 32-bit counters: a database holding absurd durations must not
// wrap the day total round to a small or negative figure.
int32_t SecondsAdd(int32_t a, int64_t b)
{
    const int64_t sum = static_cast<int64_t>(a) + b;
    if (sum > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (sum < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(sum);
}

// An entry's seconds of a period; many large rows together may pass what the counter holds, and
// then it stays at its limit rather than losing the entry's time.
int32_t RowSecondsGet(const TSQLiteTable& table, int column)
{
    const int64_t value = table.Int64At(column);
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
        LogMessageWrite(Format("TZaraveDezeZurirevuzorLogger.MonitoredItemsLoad: %lld seconds of one entry are more "
                               "than its counter holds; it shows its limit",
            static_cast<long long>(value)));
        return SecondsAdd(0, value);
    }
    return static_cast<int32_t>(value);
}

// The rows the period queries skip are reported once per run each, however often they reload.
void OddRowsReport(TDateTime from, TDateTime to)
{
    static auto& reported = *new std::set<std::pair<std::string, int64_t>>;
    const std::string fileName = DataLocations().ActivityDbFileName;
    auto table = ActivityDBGetTable(ActivityOddRowsSql(from, to));
    int shown = 0;
    int more = 0;
    for (table->First(); !table->AtEnd(); table->Next()) {
        if (!reported.insert({ fileName, table->Int64At(0) }).second) {
            continue;
        }
        if (shown == 10) {
            ++more;
            continue;
        }
        ++shown;
        LogMessageWrite("TZaraveDezeZurirevuzorLogger.MonitoredItemsLoad: an activity row with an impossible "
                        "duration is not counted: date_created "
            + table->TextAt(1) + ", app_name " + table->TextAt(2) + ", browser_url " + table->TextAt(3) + ", duration "
            + table->TextAt(4));
    }
    if (more > 0) {
        LogMessageWrite(Format(
            "TZaraveDezeZurirevuzorLogger.MonitoredItemsLoad: %d more rows with impossible durations are not counted",
            more));
    }
}

// A failure that comes back at every scan is logged when it begins and then once a minute with
// the count of its repeats, so a database that stays away cannot fill the log.
class TRepeatingFailureLog
{
public:
    explicit TRepeatingFailureLog(const char* methodText)
        : m_methodText(methodText)
    {
    }
    void Failed(const std::exception& error, const std::string& state)
    {
        const TDateTime now = ProgramNow();
        if (!m_failing) {
            m_failing = true;
            m_repeats = 0;
            m_loggedAt = now;
            LogError(error, m_methodText);
            return;
        }
        ++m_repeats;
        if ((now - m_loggedAt) * 86400.0 >= 60.0) {
            LogMessageWrite(ErrorEntryText(error, m_methodText)
                + Format(" (failed %d more times since the last line%s)", m_repeats, state.c_str()));
            m_repeats = 0;
            m_loggedAt = now;
        }
    }
    // True when this ends a run of failures.
    bool Succeeded()
    {
        const bool ended = m_failing;
        m_failing = false;
        m_repeats = 0;
        return ended;
    }

private:
    const char* m_methodText;
    bool m_failing = false;
    int m_repeats = 0;
    TDateTime m_loggedAt = 0;
};

struct TWaitingCharges
{
    // The moment each was charged and its insert, oldest first.
    std::deque<std::pair<TDateTime, std::string>> Rows;
    size_t Limit = kActivityChargesWaitingLimit;
    size_t Dropped = 0;
    bool NoticeGiven = false;
    TRepeatingFailureLog WriteFailures { kLogMethodText };
    TRepeatingFailureLog LoadFailures { kLoadMethodText };
};

// Never destroyed: a charge may come from the program's exit path.
TWaitingCharges& Waiting()
{
    static auto& waiting = *new TWaitingCharges;
    return waiting;
}

// Writes the waiting charges in order and stops at the first the database refuses; true when
// none waits any more.
bool ChargesWaitingWrite()
{
    TWaitingCharges& waiting = Waiting();
    const size_t count = waiting.Rows.size();
    const TDateTime oldest = count > 0 ? waiting.Rows.front().first : 0;
    while (!waiting.Rows.empty()) {
        try {
            ActivityDBExecSQL(waiting.Rows.front().second);
        } catch (const std::exception& error) {
            waiting.WriteFailures.Failed(error, Format("; %zu charges wait to be written", waiting.Rows.size()));
            if (!waiting.NoticeGiven && (ProgramNow() - waiting.Rows.front().first) * 86400.0 > 60.0) {
                waiting.NoticeGiven = true;
                const auto* database = dynamic_cast<const ESQLiteException*>(&error);
                UserNoticePost("Tallyhour cannot write the time spent to its activity database ("
                    + (database && database->Code() != 0 ? SQLiteErrorText(database->Code() & 0xFF)
                                                         : std::string(error.what()))
                    + "). The time is kept and written as soon as the database can be written again.");
            }
            return false;
        }
        waiting.Rows.pop_front();
    }
    if (waiting.WriteFailures.Succeeded() && count > 1) {
        LogMessageWrite(Format("TZaraveDezeZurirevuzorLogger.Log: the activity database answers again; %zu charges "
                               "that waited since %s were written",
            count, DateTimeToDbText(oldest).c_str()));
    }
    if (waiting.Dropped > 0) {
        LogMessageWrite(Format("TZaraveDezeZurirevuzorLogger.Log: %zu older charges were lost while more than %zu "
                               "waited for the activity database",
            waiting.Dropped, waiting.Limit));
        waiting.Dropped = 0;
    }
    return true;
}

} // namespace

size_t ActivityChargesWaitingCount()
{
    return Waiting().Rows.size();
}

bool ActivityChargesWaitingWrite()
{
    return Waiting().Rows.empty() || ChargesWaitingWrite();
}

void ActivityChargesWaitingReset(size_t limit)
{
    TWaitingCharges& waiting = Waiting();
    waiting.Rows.clear();
    waiting.Limit = limit > 0 ? limit : 1;
    waiting.Dropped = 0;
    waiting.NoticeGiven = false;
    waiting.WriteFailures.Succeeded();
    waiting.LoadFailures.Succeeded();
}

TDateTime DayStartOf(TDateTime now)
{
    const TDateTime at0400 = std::floor(now) + 1.0 / 6.0;
    if (std::llround((at0400 - now) * 86'400'000.0) > 0) {
        return at0400 - 1.0;
    }
    return at0400;
}

TDateTime DayStart()
{
    return DayStartOf(ProgramNow());
}

TZaraveDezeZurirevuzorLogger::TZaraveDezeZurirevuzorLogger()
{
    TodayItemsLoad(true);
}

TZaraveDezeZurirevuzorLogger::~TZaraveDezeZurirevuzorLogger()
{
    if (ActivityChargesWaitingCount() > 0 && !ChargesWaitingWrite()) {
        LogMessageWrite(Format("TZaraveDezeZurirevuzorLogger: %zu charges still wait for the activity database; "
                               "the next scan writes them, and they are lost if the program ends first",
            ActivityChargesWaitingCount()));
    }
}

TMonitoredList& TZaraveDezeZurirevuzorLogger::TodayItems()
{
    if (!m_todayItems) {
        m_todayItems = std::make_unique<TMonitoredList>();
    }
    return *m_todayItems;
}

TMonitoredList& TZaraveDezeZurirevuzorLogger::UsageItems()
{
    if (!m_usageItems) {
        m_usageItems = std::make_unique<TMonitoredList>();
    }
    return *m_usageItems;
}

void TZaraveDezeZurirevuzorLogger::Log(const TZaraveDezeZurirevuzor* sample, int32_t seconds)
{
    TH_ASSERT(sample != nullptr, kUnitName);
    if (m_todayLoadPending) {
        // The day's entries could not be read before; without them nothing would be charged.
        TodayItemsLoad(m_todayLoadSumPending);
    }
    TMonitoredList& list = TodayItems();
    const TActivityMatchResult match = list.ActivityMatch(sample->ExeName, sample->BrowserUrl);
    if (match.Index == -1) {
        if (ActivityChargesWaitingCount() > 0) {
            ChargesWaitingWrite();
        }
        return;
    }
    TMonitoredItem* item = list.Items(match.Index);
    item->Duration = SecondsAdd(item->Duration, seconds);
    // A program matched under another name than the listed one (a snap listed under an older
    // revision) is charged under the listed name: the day's account and the report find their
    // rows by it, and rows of unlisted names are purged.
    const bool otherName = match.Origin == moApplication && !SameTextAscii(item->Name, sample->ExeName);
    const TDateTime now = ProgramNow();
    TWaitingCharges& waiting = Waiting();
    waiting.Rows.emplace_back(now,
        ActivityInsertSql(DateTimeToDbText(now), otherName ? item->Name : sample->ExeName, sample->BrowserUrl,
            ApplicationTypeText(sample->AppType), seconds, match.Origin));
    // Written now or kept until the database answers: either way the time counts today.
    if (!ChargesWaitingWrite() && waiting.Rows.size() > waiting.Limit) {
        if (waiting.Dropped == 0) {
            LogMessageWrite(Format("TZaraveDezeZurirevuzorLogger.Log: more than %zu charges wait for the activity "
                                   "database; the oldest are dropped",
                waiting.Limit));
        }
        waiting.Rows.pop_front();
        ++waiting.Dropped;
    }
    Total = SecondsAdd(Total, seconds);
}

void TZaraveDezeZurirevuzorLogger::TodayItemsLoad(bool sum)
{
    // While loads keep failing (a database that stays away), the next one is tried only once
    // the database answers, so the failure is logged by the count of its repeats and not once a
    // charge by every step of the load.
    if (m_todayLoadPending) {
        try {
            ActivityDBGetTable("SELECT COUNT(*) FROM applications_list");
        } catch (const std::exception& error) {
            Waiting().LoadFailures.Failed(error, "");
            m_todayLoadSumPending = m_todayLoadSumPending || sum;
            TodayItemsFromListTake();
            return;
        }
    }
    // The entries come from the activity database's copy of the list; a copy left behind by a
    // failed or interrupted save would leave new entries uncharged.
    if (OptionsInstanceExists()) {
        OptionsInstance().ListCopyReconcile();
    }
    // The whole day, not up to now: rows stamped later than the clock reads (the hour repeated
    // when summer time ends, a clock set back) were charged today all the same.
    const TDateTime dayStart = DayStartOf(ProgramNow());
    const TDateTime dayEnd = dayStart + 1 - 1.0 / 86400;
    const int32_t before = Total;
    const bool loaded
        = PeriodItemsLoad(TodayItems(), sum, WebSitesDaySql(dayStart), ApplicationsDaySql(dayStart), dayStart, dayEnd);
    if (loaded && sum) {
        // The entries' own totals overlap (a site's counts every row whose address names it,
        // also those charged to the browser listed as a program): the day against the limit
        // counts each charge once, owned by the entry it was charged to, as the chart does.
        try {
            int32_t charged = before;
            for (const TUsageSplitRow& row : UsageSplitLoad(dayStart, dayEnd, TUsageBucket::Day)) {
                charged = SecondsAdd(charged, row.Seconds);
            }
            Total = charged;
        } catch (const std::exception& error) {
            LogError(error, kLoadMethodText);
        }
    }
    // A load that failed is tried again at the next charge; a day total still owed stays owed.
    m_todayLoadSumPending = loaded ? false : (m_todayLoadSumPending || sum);
    m_todayLoadPending = !loaded;
    if (!loaded) {
        TodayItemsFromListTake();
    }
}

void TZaraveDezeZurirevuzorLogger::TodayItemsFromListTake()
{
    // A day that could never be read (the database was held or gone from the start) would match
    // no charge, and the charges would be lost rather than kept for the database; the settings'
    // list stands in, without seconds, until the day loads.
    TMonitoredList& today = TodayItems();
    if (today.Count() > 0 || !OptionsInstanceExists()) {
        return;
    }
    const TMonitoredList& list = OptionsInstance().MonitoredItems();
    for (int i = 0; i < list.Count(); ++i) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemAssign(*list.Items(i));
        item->Duration = 0;
        today.Add(list.Keys(i), std::move(item));
    }
}

void TZaraveDezeZurirevuzorLogger::UsageItemsLoad(bool sum, TDateTime from, TDateTime to)
{
    PeriodItemsLoad(UsageItems(), sum, WebSitesPeriodSql(from, to), ApplicationsPeriodSql(from, to), from, to);
}

bool TZaraveDezeZurirevuzorLogger::PeriodItemsLoad(TMonitoredList& list, bool sum, const std::string& sitesSql,
    const std::string& appsSql, TDateTime from, TDateTime to)
{
    // Loaded aside and taken over only whole: a query that fails leaves the list and Total as
    // they were, instead of an empty list that would take no charges.
    TMonitoredList loaded;
    const int32_t total = Total;
    if (!MonitoredItemsLoad(&loaded, sitesSql, sum, mitWeb) || !MonitoredItemsLoad(&loaded, appsSql, sum, mitApp)) {
        Total = total;
        return false;
    }
    list.Clear();
    list.CapacitySet(loaded.Count());
    while (loaded.Count() > 0) {
        const int last = loaded.Count() - 1;
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemAssign(*loaded.Items(last));
        list.Add(loaded.Keys(last), std::move(item));
        loaded.Delete(last);
    }
    try {
        OddRowsReport(from, to);
    } catch (const std::exception& error) {
        LogError(error, kLoadMethodText);
    }
    return true;
}

bool TZaraveDezeZurirevuzorLogger::MonitoredItemsLoad(
    TMonitoredList* list, const std::string& sql, bool sum, TMonitoredItemType kind)
{
    TH_ASSERT(list != nullptr, kUnitName);
    std::unique_ptr<TSQLiteTable> table;
    int captionColumn = 0;
    int activeColumn = 0;
    int nameColumn = 0;
    int durationColumn = 0;
    try {
        table = ActivityDBGetTable(sql);
        if (table->RowCount() > 0) {
            captionColumn = table->ColumnIndex("caption");
            activeColumn = table->ColumnIndex("active");
            nameColumn = table->ColumnIndex("name");
            durationColumn = table->ColumnIndex("total_duration");
        }
    } catch (const std::exception& error) {
        Waiting().LoadFailures.Failed(error, "");
        return false;
    }
    Waiting().LoadFailures.Succeeded();
    list->CapacitySet(list->Capacity() + table->RowCount());
    for (bool more = table->First(); more && !table->AtEnd(); table->Next()) {
        auto item = std::make_unique<TMonitoredItem>();
        item->Caption = table->TextAt(captionColumn);
        item->Name = table->TextAt(nameColumn);
        item->ItemType = kind;
        item->Active = !table->IsNullAt(activeColumn) && table->TextAt(activeColumn) == "1";
        try {
            item->Duration = RowSecondsGet(*table, durationColumn);
        } catch (const std::exception& error) {
            // One unreadable figure must not cost the entry its place: without it the entry
            // would take no charges for the rest of the day.
            LogError(error, kLoadMethodText);
            item->Duration = 0;
        }
        if (sum) {
            Total = SecondsAdd(Total, item->Duration);
        }
        const std::string key = item->Caption;
        list->Add(key, std::move(item));
    }
    return true;
}

void TZaraveDezeZurirevuzorLogger::MonitoredItemRemove(const TMonitoredItem* item, int mode)
{
    TH_ASSERT(item != nullptr, kUnitName);
    if (mode == 0) {
        return;
    }
    TMonitoredList& list = TodayItems();
    const int index = list.NameIndexGet(item->Name);
    if (index < 0) {
        return;
    }
    if (mode == 2) {
        list.Delete(index);
    } else if (mode == 1) {
        list.Items(index)->Active = false;
    }
}

void DailyResetAccountingRun(
    TOptions& options, TIniFile& preferences, std::unique_ptr<TZaraveDezeZurirevuzorLogger>& logger)
{
    // The first 04:00 after now: a reset that runs late, before 04:00 (a stale moment found at a
    // start in the night), must not skip this morning's reset and run the day on for 24 hours.
    options.ResetDateTime = DayStart() + 1.0;
    options.PendingChangesApply();
    TMonitoredList& list = options.MonitoredItems();
    if (options.AllowUserToChangeSettings) {
        for (const char* section : { kIniSectionApplications, kIniSectionWebSites }) {
            for (const auto& [name, value] : preferences.SectionValuesRead(section)) {
                const int index = list.NameIndexGet(name);
                if (index >= 0) {
                    list.Delete(index);
                }
                if (logger) {
                    const int todayIndex = logger->TodayItems().NameIndexGet(name);
                    if (todayIndex >= 0) {
                        logger->TodayItems().Delete(todayIndex);
                    }
                }
            }
        }
    }
    list.InactiveItemsDelete();
    if (logger) {
        logger->TodayItems().InactiveItemsDelete();
    }
    // The parked removals are erased only once the list without them is stored: a crash before
    // that leaves them parked for the next reset.
    if (options.OptionsSave()) {
        for (const char* section : { kIniSectionApplications, kIniSectionWebSites }) {
            if (preferences.SectionExists(section)) {
                preferences.EraseSection(section);
            }
        }
    }
    logger.reset();
}
