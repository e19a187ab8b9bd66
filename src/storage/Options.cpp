#include "storage/Options.h"

#include "model/Assert.h"
#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/UserNotices.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/ActivityDatabase.h"
#include "storage/DatabaseSchema.h"
#include "storage/Md5Digest.h"
#include "storage/WindowPreferences.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>
#include <tuple>

namespace {

constexpr const char* kUnit = "Options";
constexpr const char* kSettingsExecText = "; TOptions.SettingsDBExecSQL:";
constexpr const char* kSettingsQueryText = "; TOptions.SettingsDBGetTable:";
constexpr const char* kLogExecText = "; TOptions.LogDBExecSQL: ";
constexpr const char* kLoadText = "; TOptions.OptionsLoad: ";
constexpr int kListBatchRows = 15;

const char* const kExpirationActionNames[] = { "Reminder Only", "Close Browser/App.", "Shutdown Computer" };
const char* const kReminderChangePeriodNames[] = { "never", "daily", "weekly", "fortnightly", "monthly" };
const char* const kReminderTypeNames[] = { "morning", "afternoon", "evening" };

// The hook and the store's holder are never destroyed: the store saves from the program's exit
// destructors, whose order between units is not ours to choose.
std::function<void(const std::string&)>& StatementHook()
{
    static auto& hook = *new std::function<void(const std::string&)>;
    return hook;
}

std::unique_ptr<TOptions>& Instance()
{
    static std::unique_ptr<TOptions> instance;
    return instance;
}

int& LoadWait()
{
    static int milliseconds = TOptions::kLoadWaitDefaultMs;
    return milliseconds;
}

TIniFile& Preferences()
{
    return WindowPreferences().File();
}

int32_t DecimalToInt(const std::string& text)
{
    const std::string trimmed = Trim(text);
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(trimmed.c_str(), &end, 10);
    if (trimmed.empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX) {
        throw EConvertError("'" + text + "' is not a valid integer value");
    }
    return int32_t(value);
}

TDateTime ProgramTextToDateTime(const std::string& text)
{
    double value = 0;
    if (!ProgramTextToFloat(text, value)) {
        throw EConvertError("'" + text + "' is not a valid floating point value");
    }
    return value;
}

// Runs the statements on one connection; more than one share a transaction, so a failure or a
// crash between a table's delete and its inserts leaves the table as it was.
void StatementsRunOnce(const std::string& fileName, TDatabaseKind kind, const std::vector<std::string>& statements)
{
    try {
        DatabaseSchemaEnsure(fileName, kind);
        TSQLiteDatabase database(fileName);
        if (statements.size() > 1) {
            database.TransactionBegin();
        }
        for (const auto& sql : statements) {
            if (StatementHook()) {
                StatementHook()(sql);
            }
            database.RunStatement(sql);
        }
        if (database.InTransaction()) {
            database.TransactionCommit();
        }
    } catch (...) {
        DatabaseSchemaRecheck(fileName);
        throw;
    }
}

void StatementsRun(const std::string& fileName, TDatabaseKind kind, const std::vector<std::string>& statements)
{
    DatabaseRunRecovering(fileName, kind, [&] { StatementsRunOnce(fileName, kind, statements); });
}

std::string RowsInsertSql(const std::string& head, const std::vector<std::string>& lines)
{
    std::string sql = head + "\r\n";
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            sql += "\r\nUNION ALL\r\n";
        }
        sql += lines[i];
    }
    return sql;
}

bool ActiveRead(const TSQLiteTable& table, int index)
{
    try {
        return table.Int64At(index) == 1;
    } catch (const std::exception&) {
        return Trim(table.TextAt(index)) == "1";
    }
}

// One stored list row as the copies are compared and written.
struct TListRow
{
    std::string Name;
    std::string Caption;
    bool Active = true;
    bool operator<(const TListRow& other) const
    {
        return std::tie(Name, Caption, Active) < std::tie(other.Name, other.Caption, other.Active);
    }
    bool operator==(const TListRow& other) const = default;
};

const char* ListTableName(TMonitoredItemType kind)
{
    return kind == mitApp ? "applications_list" : "websites_list";
}

std::vector<TListRow> ListRowsRead(TSQLiteTable& table)
{
    std::vector<TListRow> rows;
    for (table.First(); !table.AtEnd(); table.Next()) {
        rows.push_back(
            { table.TextByName("name"), table.TextByName("caption"), ActiveRead(table, table.ColumnIndex("active")) });
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The batched inserts of one list table, at most kListBatchRows rows a statement.
std::vector<std::string> ListInsertsSql(TMonitoredItemType kind, const std::vector<TListRow>& rows)
{
    std::vector<std::string> statements;
    const std::string head = std::string("INSERT INTO ") + ListTableName(kind) + "(name, caption, active)";
    std::vector<std::string> batch;
    for (const TListRow& row : rows) {
        batch.push_back(
            "SELECT " + QuotedStr(row.Name) + ", " + QuotedStr(row.Caption) + ", " + (row.Active ? "1" : "0"));
        if (int(batch.size()) == kListBatchRows) {
            statements.push_back(RowsInsertSql(head, batch));
            batch.clear();
        }
    }
    if (!batch.empty()) {
        statements.push_back(RowsInsertSql(head, batch));
    }
    return statements;
}

} // namespace

// The fields of the settings table, so that a run whose load failed can tell what it changed.
struct TOptions::TStoredSettings
{
    int32_t ScanPeriodSeconds = 0;
    int32_t TimeLimitSeconds = 0;
    uint8_t ExpirationAction = 0;
    std::string Password;
    TDateTime ResetDateTime = 0;
    bool AllowUserToChangeSettings = false;
    TDateTime ReminderChangedDateTime = 0;
    uint8_t ReminderChangePeriod = 0;
    TDateTime ReminderShowedDateTime = 0;
    bool IsNotFirstRun = false;
};

#define TH_STORED_SETTINGS_FIELDS(X)                                                                                   \
    X(ScanPeriodSeconds)                                                                                               \
    X(TimeLimitSeconds)                                                                                                \
    X(ExpirationAction)                                                                                                \
    X(Password)                                                                                                        \
    X(ResetDateTime)                                                                                                   \
    X(AllowUserToChangeSettings)                                                                                       \
    X(ReminderChangedDateTime)                                                                                         \
    X(ReminderChangePeriod)                                                                                            \
    X(ReminderShowedDateTime)                                                                                          \
    X(IsNotFirstRun)

std::string ExpirationActionNameGet(int action)
{
    return action >= 0 && action <= 2 ? kExpirationActionNames[action] : "";
}

int ExpirationActionFromName(const std::string& name)
{
    for (int i = 0; i < 3; ++i) {
        if (SameTextAscii(name, kExpirationActionNames[i])) {
            return i;
        }
    }
    return 0;
}

std::string ReminderChangePeriodNameGet(int period)
{
    return period >= 0 && period <= 4 ? kReminderChangePeriodNames[period] : "";
}

int ReminderChangePeriodFromName(const std::string& name)
{
    for (int i = 0; i < 5; ++i) {
        if (SameTextAscii(name, kReminderChangePeriodNames[i])) {
            return i;
        }
    }
    return 0;
}

std::string ReminderTypeNameGet(int index)
{
    return index >= 0 && index <= 2 ? kReminderTypeNames[index] : "";
}

std::string PasswordDigest(const std::string& text)
{
    TMd5 digest = {};
    if (!Md5Digest(text, digest)) {
        throw Exception("MD5 digest failed");
    }
    static const char kHex[] = "0123456789ABCDEF";
    std::string result;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        result += kHex[digest[i] >> 4];
        result += kHex[digest[i] & 0x0F];
    }
    return result;
}

TOptions::TOptions()
{
    OptionsLoad();
    ListTakeBackFromCopy();
    ListCopyReconcile();
}

TOptions::~TOptions()
{
    try {
        OptionsSave();
    } catch (const std::exception& error) {
        LogError(error, kSettingsExecText);
    }
    if (m_writeRefused) {
        LogMessageWrite("TOptions: the settings database still refused to be written at the end, so this run's "
                        "changes to the settings and the time-limit list are lost");
    }
}

void TOptions::WriteRefusalNote(const ESQLiteException& error)
{
    // A lock passes by itself and is no refusal; a folder or file that cannot be written, a full
    // disk or a failing one keeps refusing until the user does something.
    const int code = error.Code() & 0xFF;
    if (code != SQLITE_PERM && code != SQLITE_READONLY && code != SQLITE_IOERR && code != SQLITE_FULL
        && code != SQLITE_CANTOPEN) {
        return;
    }
    m_writeRefused = true;
    m_writeRetryAt = ProgramNow() + 30.0 / kSecondsPerDay;
    if (m_writeRefusalTold) {
        return;
    }
    m_writeRefusalTold = true;
    UserNoticePost(Format("Your changes could not be saved: \"%s\" cannot be written (%s). They stay in effect "
                          "and are saved as soon as it can be written again, at the latest when the program ends.",
        DataLocations().SettingsDbFileName.c_str(), SQLiteErrorText(code).c_str()));
}

void TOptions::UnsavedChangesRetry()
{
    if (!m_writeRefused || ProgramNow() < m_writeRetryAt) {
        return;
    }
    m_writeRefused = false;
    OptionsSave();
    if (!m_writeRefused) {
        m_writeRefusalTold = false;
        LogMessageWrite("TOptions: the settings database can be written again; this run's changes are saved");
    }
}

TMonitoredList& TOptions::MonitoredItems()
{
    if (!m_monitoredItems) {
        m_monitoredItems = std::make_unique<TMonitoredList>();
    }
    return *m_monitoredItems;
}

void TOptions::StatementHookSet(std::function<void(const std::string& sql)> hook)
{
    StatementHook() = std::move(hook);
}

bool TOptions::SettingsDBExecBatch(const std::vector<std::string>& statements)
{
    try {
        StatementsRun(DataLocations().SettingsDbFileName, TDatabaseKind::Settings, statements);
        return true;
    } catch (const ESQLiteException& error) {
        LogError(error, kSettingsExecText);
        WriteRefusalNote(error);
        return false;
    } catch (const std::exception& error) {
        LogError(error, kSettingsExecText);
        return false;
    }
}

bool TOptions::LogDBExecBatch(const std::vector<std::string>& statements)
{
    try {
        StatementsRun(DataLocations().ActivityDbFileName, TDatabaseKind::Activity, statements);
        return true;
    } catch (const std::exception& error) {
        LogError(error, kLogExecText);
        return false;
    }
}

bool TOptions::SettingsDBExecSQL(const std::string& sql)
{
    return SettingsDBExecBatch({ sql });
}

bool TOptions::LogDBExecSQL(const std::string& sql)
{
    return LogDBExecBatch({ sql });
}

std::unique_ptr<TSQLiteTable> TOptions::SettingsDBGetTable(const std::string& sql)
{
    const std::string fileName = DataLocations().SettingsDbFileName;
    try {
        return DatabaseRunRecovering(fileName, TDatabaseKind::Settings, [&] {
            try {
                DatabaseSchemaEnsure(fileName, TDatabaseKind::Settings);
                TSQLiteDatabase database(fileName);
                if (StatementHook()) {
                    StatementHook()(sql);
                }
                return database.RunQuery(sql);
            } catch (...) {
                DatabaseSchemaRecheck(fileName);
                throw;
            }
        });
    } catch (const std::exception& error) {
        DatabaseSchemaRecheck(fileName);
        const auto* database = dynamic_cast<const ESQLiteException*>(&error);
        m_readBusy = m_readBusy || (database && SQLiteCodeIsBusy(database->Code()));
        if (!m_readErrorsQuiet) {
            LogError(error, kSettingsQueryText);
        }
        return nullptr;
    }
}

void TOptions::OptionsLoad()
{
    TIniFile& preferences = Preferences();
    ExpirationActionChanged = preferences.ReadBool(kIniSectionCommon, "ExpirationActionChanged", false);
    TimeLimitSecondsChanged = preferences.ReadBool(kIniSectionCommon, "TimeLimitSecondsChanged", false);
    MonitoredItemDeleteActionProcessed
        = preferences.ReadBool(kIniSectionCommon, "MonitoredItemDeleteActionProcessed", true);
    m_readBusy = false;
    ListLoad();
    RemindersLoad();
    SettingsLoad();
    // Another program (a backup, a sync tool) may hold the file for a moment. Taken as unreadable,
    // the defaults would bring up the first-run wizard and an empty list would charge nothing
    // until the next save reads it again; so the start waits a while for the file.
    const auto allLoaded = [this] { return m_listLoaded && m_remindersLoaded && m_settingsLoaded; };
    if (allLoaded() || !m_readBusy || LoadWait() <= 0) {
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    const auto waited = [started] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count();
    };
    m_readErrorsQuiet = true;
    while (!allLoaded() && m_readBusy && waited() < LoadWait()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_readBusy = false;
        if (!m_listLoaded) {
            ListLoad();
        }
        if (!m_remindersLoaded) {
            RemindersLoad();
        }
        if (!m_settingsLoaded) {
            SettingsLoad();
        }
    }
    m_readErrorsQuiet = false;
    if (allLoaded()) {
        LogMessageWrite(Format("TOptions.OptionsLoad: the settings database was locked by another program; it was "
                               "read after %lld ms",
            static_cast<long long>(waited())));
    } else {
        LogMessageWrite(Format("TOptions.OptionsLoad: the settings database stayed locked for %lld ms; the program "
                               "starts without what it could not read and reads it when the database answers",
            static_cast<long long>(waited())));
    }
}

void TOptions::LoadWaitSet(int milliseconds)
{
    LoadWait() = milliseconds;
}

int TOptions::LoadWaitGet()
{
    return LoadWait();
}

bool TOptions::ListRead(TMonitoredList& list)
{
    for (TMonitoredItemType kind : { mitApp, mitWeb }) {
        auto table = SettingsDBGetTable(std::string("SELECT * FROM ") + ListTableName(kind));
        if (!table) {
            return false;
        }
        // A row that cannot be read is logged and skipped: one odd row must not keep the
        // program from starting or cost the user the rest of the list.
        for (table->First(); !table->AtEnd(); table->Next()) {
            try {
                auto item = std::make_unique<TMonitoredItem>();
                item->Name = table->TextByName("name");
                item->Caption = table->TextByName("caption");
                item->ItemType = kind;
                item->Active = ActiveRead(*table, table->ColumnIndex("active"));
                const std::string key = item->Caption;
                list.Add(key, std::move(item));
            } catch (const std::exception& error) {
                LogError(error, kLoadText);
            }
        }
    }
    return true;
}

void TOptions::ListLoad()
{
    TMonitoredList& list = MonitoredItems();
    list.Clear();
    m_listLoaded = ListRead(list);
}

bool TOptions::ListReread()
{
    if (m_listLoaded) {
        return true;
    }
    TMonitoredList stored;
    if (!ListRead(stored)) {
        return false;
    }
    // The list in memory began empty, so whatever it holds now was added in this run; the stored
    // entries it lacks are put back beside them.
    TMonitoredList& list = MonitoredItems();
    int added = 0;
    for (int i = 0; i < stored.Count(); ++i) {
        const TMonitoredItem* item = stored.Items(i);
        bool present = false;
        for (int j = 0; j < list.Count() && !present; ++j) {
            present = list.Items(j)->ItemType == item->ItemType && list.Items(j)->Name == item->Name;
        }
        if (!present) {
            auto copy = std::make_unique<TMonitoredItem>();
            copy->ItemAssign(*item);
            list.Add(stored.Keys(i), std::move(copy));
            ++added;
        }
    }
    m_listLoaded = true;
    LogMessageWrite(Format("TOptions: the time-limit list, unreadable at start, was read again; %d stored entries "
                           "were kept beside %d of this run",
        added, list.Count() - added));
    return true;
}

void TOptions::RemindersLoad()
{
    auto table = SettingsDBGetTable("SELECT * FROM reminders");
    m_remindersLoaded = table != nullptr;
    if (!table) {
        for (int i = 0; i < 3; ++i) {
            m_remindersBaseline[i] = m_reminders[i];
        }
        return;
    }
    for (table->First(); !table->AtEnd(); table->Next()) {
        try {
            const std::string type = table->TextByName("reminder_type");
            int index = 0;
            for (int i = 0; i < 3; ++i) {
                if (type == kReminderTypeNames[i]) {
                    index = i;
                }
            }
            m_reminders[index] = table->TextByName("text");
        } catch (const std::exception& error) {
            LogError(error, kLoadText);
        }
    }
}

bool TOptions::RemindersReread()
{
    if (m_remindersLoaded) {
        return true;
    }
    std::string mine[3];
    std::string baseline[3];
    for (int i = 0; i < 3; ++i) {
        mine[i] = m_reminders[i];
        baseline[i] = m_remindersBaseline[i];
    }
    RemindersLoad(); // a failure takes a new baseline, which must stay the one of the first
    for (int i = 0; i < 3; ++i) {
        m_remindersBaseline[i] = baseline[i];
    }
    if (!m_remindersLoaded) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        if (mine[i] != m_remindersBaseline[i]) {
            m_reminders[i] = mine[i];
        }
    }
    LogMessageWrite("TOptions: the reminders, unreadable at start, were read again; this run's changes are kept");
    return true;
}

void TOptions::SettingsDefaultsSet()
{
    const TDateTime now = ProgramNow();
    ScanPeriodSeconds = 3;
    ReminderChangedDateTime = now;
    ResetDateTime = TodayAt0400();
    if (now >= ResetDateTime) {
        ResetDateTime += 1;
    }
    TimeLimitSeconds = 28800;
    ReminderShowedDateTime = now;
}

void TOptions::SettingsRowsApply(TSQLiteTable& table)
{
    for (table.First(); !table.AtEnd(); table.Next()) {
        // A value that does not convert is logged and its default kept, so a damaged row cannot
        // stop the program at every start.
        try {
            const std::string name = table.TextByName("name");
            const std::string value = table.TextByName("value");
            if (SameTextAscii(name, "ScanPeriodSeconds")) {
                ScanPeriodSeconds = DecimalToInt(value);
            } else if (SameTextAscii(name, "TimeLimitSeconds")) {
                TimeLimitSeconds = DecimalToInt(value);
            } else if (SameTextAscii(name, "ExpirationAction")) {
                ExpirationAction = uint8_t(ExpirationActionFromName(value));
            } else if (SameTextAscii(name, "Password")) {
                Password = value;
            } else if (SameTextAscii(name, "ResetDateTime")) {
                ResetDateTime = DbTextToDate(value) + 4.0 / 24.0;
            } else if (SameTextAscii(name, "AllowUserToChangeSettings")) {
                AllowUserToChangeSettings = value == "1";
            } else if (SameTextAscii(name, "ReminderChangedDateTime")) {
                ReminderChangedDateTime = ProgramTextToDateTime(value);
            } else if (SameTextAscii(name, "ReminderChangePeriod")) {
                ReminderChangePeriod = uint8_t(ReminderChangePeriodFromName(value));
            } else if (SameTextAscii(name, "ReminderShowedDateTime")) {
                ReminderShowedDateTime = ProgramTextToDateTime(value);
            } else if (SameTextAscii(name, "IsNotFirstRun")) {
                IsNotFirstRun = value == "1";
            }
        } catch (const std::exception& error) {
            LogError(error, kLoadText);
        }
    }
    if (ScanPeriodSeconds == 0) {
        ScanPeriodSeconds = 3;
    }
    if (ProductEdition == 2) {
        AllowUserToChangeSettings = true;
    }
}

void TOptions::SettingsLoad()
{
    SettingsDefaultsSet();
    auto table = SettingsDBGetTable("SELECT * FROM settings");
    m_settingsLoaded = table != nullptr;
    if (!table) {
        m_settingsBaseline = std::make_unique<TStoredSettings>();
#define TH_FIELD_KEEP(name) m_settingsBaseline->name = name;
        TH_STORED_SETTINGS_FIELDS(TH_FIELD_KEEP)
#undef TH_FIELD_KEEP
        return;
    }
    SettingsRowsApply(*table);
}

bool TOptions::SettingsReread()
{
    if (m_settingsLoaded) {
        return true;
    }
    auto table = SettingsDBGetTable("SELECT * FROM settings");
    if (!table) {
        return false;
    }
    TStoredSettings mine;
#define TH_FIELD_KEEP(name) mine.name = name;
    TH_STORED_SETTINGS_FIELDS(TH_FIELD_KEEP)
#undef TH_FIELD_KEEP
    SettingsRowsApply(*table);
    // A field this run changed keeps its new value; the others take the stored one.
    if (m_settingsBaseline) {
#define TH_FIELD_MERGE(name)                                                                                           \
    if (!(mine.name == m_settingsBaseline->name)) {                                                                    \
        name = mine.name;                                                                                              \
    }
        TH_STORED_SETTINGS_FIELDS(TH_FIELD_MERGE)
#undef TH_FIELD_MERGE
    }
    m_settingsLoaded = true;
    LogMessageWrite("TOptions: the settings, unreadable at start, were read again; this run's changes are kept");
    return true;
}

std::string TOptions::SettingsRowsSql() const
{
    const std::pair<const char*, std::string> rows[] = {
        { "ScanPeriodSeconds", std::to_string(ScanPeriodSeconds) },
        { "TimeLimitSeconds", std::to_string(TimeLimitSeconds) },
        { "ExpirationAction", ExpirationActionNameGet(ExpirationAction) },
        { "Password", Password },
        { "ResetDateTime", DateToDbText(ResetDateTime) },
        { "AllowUserToChangeSettings", AllowUserToChangeSettings ? "1" : "0" },
        { "ReminderChangedDateTime", FloatToProgramText(ReminderChangedDateTime) },
        { "ReminderChangePeriod", ReminderChangePeriodNameGet(ReminderChangePeriod) },
        { "ReminderShowedDateTime", FloatToProgramText(ReminderShowedDateTime) },
        { "IsNotFirstRun", IsNotFirstRun ? "1" : "0" },
    };
    std::vector<std::string> lines;
    for (const auto& [key, value] : rows) {
        lines.push_back("SELECT " + QuotedStr(key) + ", " + QuotedStr(value));
    }
    return RowsInsertSql("INSERT INTO settings(name, value)", lines);
}

std::string TOptions::RemindersRowsSql() const
{
    std::vector<std::string> lines;
    for (int i = 0; i < 3; ++i) {
        lines.push_back("SELECT " + QuotedStr(m_reminders[i]) + ", " + QuotedStr(kReminderTypeNames[i]));
    }
    return RowsInsertSql("INSERT INTO reminders(text, reminder_type)", lines);
}

std::vector<std::string> TOptions::ListRowsSql(TMonitoredItemType kind) const
{
    std::vector<TListRow> rows;
    if (m_monitoredItems) {
        for (int i = 0; i < m_monitoredItems->Count(); ++i) {
            const TMonitoredItem* item = m_monitoredItems->Items(i);
            if (item->ItemType == kind) {
                rows.push_back({ item->Name, item->Caption, item->Active });
            }
        }
    }
    return ListInsertsSql(kind, rows);
}

bool TOptions::OptionsSave()
{
    const auto skipped = [](const char* what) {
        LogMessageWrite(std::string("TOptions.OptionsSave: the ") + what
            + " could not be read, so the stored ones are kept unchanged.");
    };
    bool saved = false;
    if (SettingsReread()) {
        saved = SettingsDBExecBatch({ "DELETE FROM settings;", SettingsRowsSql() });
    } else {
        skipped("settings");
    }
    saved = ListSave() && saved;
    if (RemindersReread()) {
        SettingsDBExecBatch({ "DELETE FROM reminders;", RemindersRowsSql() });
    } else {
        skipped("reminders");
    }
    return saved;
}

bool TOptions::ListSave()
{
    // A list that could not be read is read again first: written as it is, the entries of this
    // run alone would replace the user's stored list.
    if (!ListReread()) {
        LogMessageWrite("TOptions.ListSave: the time-limit list could not be read, so the stored one is kept "
                        "unchanged; it is saved when the database answers.");
        return false;
    }
    std::vector<std::string> statements = { kApplicationsListDeleteSql, kWebSitesListDeleteSql };
    for (TMonitoredItemType kind : { mitApp, mitWeb }) {
        for (auto& sql : ListRowsSql(kind)) {
            statements.push_back(std::move(sql));
        }
    }
    // The activity database's copy follows the settings database, never leads it.
    if (!SettingsDBExecBatch(statements)) {
        return false;
    }
    m_listTakeBackUnsaved = false;
    if (!LogDBExecBatch(statements)) {
        ListCopyReconcile();
    }
    return true;
}

namespace {

// The list as the settings database holds it and as the activity database's copy holds it,
// applications then sites; false when either cannot be read (a failed query is logged).
bool ListCopiesRead(TOptions& options, std::vector<TListRow> (&stored)[2], std::vector<TListRow> (&copy)[2])
{
    const TMonitoredItemType kinds[2] = { mitApp, mitWeb };
    for (int k = 0; k < 2; ++k) {
        const std::string sql = std::string("SELECT name, caption, active FROM ") + ListTableName(kinds[k]);
        auto table = options.SettingsDBGetTable(sql);
        if (!table) {
            return false;
        }
        try {
            stored[k] = ListRowsRead(*table);
            copy[k] = ListRowsRead(*ActivityDBGetTable(sql));
        } catch (const std::exception& error) {
            LogError(error, kLogExecText);
            return false;
        }
    }
    return true;
}

} // namespace

void TOptions::ListCopyReconcile()
{
    if (m_listTakeBackUnsaved) {
        return; // the file's list is shorter than the copy until the next save
    }
    std::vector<TListRow> stored[2];
    std::vector<TListRow> copy[2];
    const TMonitoredItemType kinds[2] = { mitApp, mitWeb };
    if (!ListCopiesRead(*this, stored, copy)) {
        return;
    }
    if (stored[0] == copy[0] && stored[1] == copy[1]) {
        return;
    }
    std::vector<std::string> statements = { kApplicationsListDeleteSql, kWebSitesListDeleteSql };
    for (int k = 0; k < 2; ++k) {
        for (auto& sql : ListInsertsSql(kinds[k], stored[k])) {
            statements.push_back(std::move(sql));
        }
    }
    if (LogDBExecBatch(statements)) {
        LogMessageWrite(Format("TOptions: the activity database's copy of the time-limit list (%zu entries) differed "
                               "from the settings database's (%zu entries) and was rewritten from it",
            copy[0].size() + copy[1].size(), stored[0].size() + stored[1].size()));
    }
}

void TOptions::ListTakeBackFromCopy()
{
    const std::string fileName = DataLocations().SettingsDbFileName;
    const std::optional<TDatabaseRenewal> renewal = DatabaseRenewalTake(fileName);
    if (!renewal) {
        return;
    }
    m_listRenewed = true;
    std::vector<TListRow> stored[2];
    std::vector<TListRow> copy[2];
    const TMonitoredItemType kinds[2] = { mitApp, mitWeb };
    if (!ListCopiesRead(*this, stored, copy)) {
        return;
    }
    // An entry the damaged file still gave keeps its caption and state; the copy adds the rest.
    std::vector<TListRow> merged[2];
    size_t added = 0;
    for (int k = 0; k < 2; ++k) {
        merged[k] = stored[k];
        for (const TListRow& row : copy[k]) {
            const bool present = std::any_of(
                stored[k].begin(), stored[k].end(), [&](const TListRow& kept) { return kept.Name == row.Name; });
            if (!present) {
                merged[k].push_back(row);
                ++added;
            }
        }
        std::sort(merged[k].begin(), merged[k].end());
    }
    const size_t total = merged[0].size() + merged[1].size();
    if (added == 0 && !renewal->Recovered) {
        return; // a first start: nothing to take back
    }
    if (added > 0) {
        std::vector<std::string> statements = { kApplicationsListDeleteSql, kWebSitesListDeleteSql };
        for (int k = 0; k < 2; ++k) {
            for (auto& sql : ListInsertsSql(kinds[k], merged[k])) {
                statements.push_back(std::move(sql));
            }
        }
        // Whether or not the file takes it now, the list in memory is the whole one, so the next
        // save writes it; until then the copy is not rewritten from the file's shorter list.
        m_listTakeBackUnsaved = !SettingsDBExecBatch(statements);
        TMonitoredList& list = MonitoredItems();
        list.Clear();
        for (int k = 0; k < 2; ++k) {
            for (const TListRow& row : merged[k]) {
                auto item = std::make_unique<TMonitoredItem>();
                item->Name = row.Name;
                item->Caption = row.Caption;
                item->ItemType = kinds[k];
                item->Active = row.Active;
                list.Add(row.Caption, std::move(item));
            }
        }
        m_listLoaded = true;
    }
    LogMessageWrite(Format("TOptions: the settings database \"%s\" was %s; its time-limit list (%zu entries) "
                           "was completed from the activity database's copy (%zu entries) to %zu entries, and "
                           "no usage is purged in this run for want of an entry",
        fileName.c_str(), renewal->Recovered ? "damaged" : "new or empty", total - added,
        copy[0].size() + copy[1].size(), total));
    if (renewal->Recovered) {
        UserNoticePost(Format("The time-limit list (%zu entries) was kept, %zu of them taken from the activity "
                              "database; settings that could not be read are back at their defaults. Please check "
                              "them.",
            total, added));
    } else if (added > 0) {
        UserNoticePost(Format("The settings file \"%s\" was empty or missing. The time-limit list (%zu entries) "
                              "was taken from the activity database; the other settings are back at their "
                              "defaults. Please check them.",
            fileName.c_str(), total));
    }
}

void TOptions::ActivityPurge()
{
    try {
        ActivityTotalsVerify();
    } catch (const std::exception& error) {
        LogError(error, kLogExecText);
    }
    LogDBExecSQL(ActivityPurgeOldSql(ProgramNow()));
    if (m_listRenewed) {
        LogMessageWrite("TOptions.ActivityPurge: the usage of programs missing from the time-limit list is kept in "
                        "this run: the list comes from a settings file found new or damaged");
        return;
    }
    LogDBExecSQL(ActivityPurgeUnlistedSql());
}

std::string TOptions::ExpirationActionName() const
{
    return ExpirationActionNameGet(ExpirationAction);
}

TDateTime TOptions::TimeLimitAsDateTime() const
{
    return TimeLimitSeconds / kSecondsPerDay;
}

const std::string& TOptions::ReminderText(int index) const
{
    TH_ASSERT(index >= 0 && index <= 2, kUnit);
    return m_reminders[index];
}

void TOptions::ReminderTextSet(int index, const std::string& text)
{
    TH_ASSERT(index >= 0 && index <= 2, kUnit);
    if (m_reminders[index] == text) {
        return;
    }
    m_reminders[index] = text;
    ReminderChangedDateTime = ProgramNow();
}

int TOptions::RightsLevel() const
{
    if (AdminMode) {
        return 2;
    }
    return AllowUserToChangeSettings ? 1 : 0;
}

bool TOptions::CheckPassword(const std::string& text)
{
    AdminMode = SameTextAscii(PasswordDigest(text), Password);
    return AdminMode;
}

void TOptions::SetPassword(const std::string& text)
{
    Password = PasswordDigest(text);
    AdminMode = true;
}

void TOptions::TimeLimitSecondsSet(int32_t seconds)
{
    TIniFile& preferences = Preferences();
    if (AdminMode) {
        preferences.DeleteKey(kIniSectionCommon, "TimeLimitSeconds");
        TimeLimitSeconds = seconds;
    } else if (!TimeLimitSecondsChanged) {
        if (seconds > TimeLimitSeconds) {
            TimeLimitSecondsChanged = true;
        }
        preferences.DeleteKey(kIniSectionCommon, "TimeLimitSeconds");
        TimeLimitSeconds = seconds;
        preferences.WriteBool(kIniSectionCommon, "TimeLimitSecondsChanged", TimeLimitSecondsChanged);
    } else if (AllowUserToChangeSettings) {
        if (seconds < TimeLimitSeconds) {
            preferences.DeleteKey(kIniSectionCommon, "TimeLimitSeconds");
            TimeLimitSeconds = seconds;
        } else {
            preferences.WriteInteger(kIniSectionCommon, "TimeLimitSeconds", seconds);
        }
    }
}

void TOptions::ExpirationActionSet(int index)
{
    TIniFile& preferences = Preferences();
    if (AdminMode) {
        ExpirationAction = uint8_t(index);
        preferences.DeleteKey(kIniSectionCommon, "ExpirationAction");
    } else if (!ExpirationActionChanged) {
        ExpirationAction = uint8_t(index);
        preferences.DeleteKey(kIniSectionCommon, "ExpirationAction");
        ExpirationActionChanged = true;
        preferences.WriteBool(kIniSectionCommon, "ExpirationActionChanged", true);
    } else if (AllowUserToChangeSettings) {
        preferences.WriteInteger(kIniSectionCommon, "ExpirationAction", index);
    }
}

int TOptions::MonitoredItemDelete(const TMonitoredItem* item)
{
    TH_ASSERT(item != nullptr, kUnit);
    int result = RightsLevel();
    TMonitoredList& list = MonitoredItems();
    const int index = list.NameIndexGet(*item);
    if (result == 0 || index < 0) {
        return result;
    }
    if (result == 2) {
        list.Delete(index);
    } else if (!MonitoredItemDeleteActionProcessed) {
        MonitoredItemDeleteActionProcessed = true;
        list.Delete(index);
        result = 2;
    } else {
        TMonitoredItem* entry = list.Items(index);
        entry->Active = false;
        const std::string name = item->Name;
        Preferences().WriteString(
            entry->ItemType == mitWeb ? kIniSectionWebSites : kIniSectionApplications, name, name);
    }
    return result;
}

void TOptions::DeleteActionProcessedSet(bool flag)
{
    MonitoredItemDeleteActionProcessed = flag;
    Preferences().WriteBool(kIniSectionCommon, "MonitoredItemDeleteActionProcessed", flag);
}

void TOptions::PendingChangesApply()
{
    TIniFile& preferences = Preferences();
    if (AllowUserToChangeSettings) {
        const int32_t seconds = preferences.ReadInteger(kIniSectionCommon, "TimeLimitSeconds", -1);
        if (seconds > 0) {
            TimeLimitSeconds = seconds;
        }
        const int32_t action = preferences.ReadInteger(kIniSectionCommon, "ExpirationAction", -1);
        if (action >= 0 && action <= 2) {
            ExpirationAction = uint8_t(action);
        }
    }
    if (!preferences.SectionExists(kIniSectionCommon)) {
        return;
    }
    if (!SettingsReread() || !SettingsDBExecBatch({ "DELETE FROM settings;", SettingsRowsSql() })) {
        LogMessageWrite("TOptions.PendingChangesApply: the settings could not be saved, so the changes waiting in the "
                        "preferences file are kept for the next reset");
        return;
    }
    preferences.EraseSection(kIniSectionCommon);
}

std::pair<int32_t, int> TOptions::ShownLimitAndAction()
{
    if (AdminMode) {
        return { TimeLimitSeconds, ExpirationAction };
    }
    TIniFile& preferences = Preferences();
    return { preferences.ReadInteger(kIniSectionCommon, "TimeLimitSeconds", TimeLimitSeconds),
        preferences.ReadInteger(kIniSectionCommon, "ExpirationAction", ExpirationAction) };
}

TOptions& OptionsInstance()
{
    if (!Instance()) {
        Instance() = std::make_unique<TOptions>();
    }
    return *Instance();
}

bool OptionsInstanceExists()
{
    return Instance() != nullptr;
}

void OptionsInstanceFree()
{
    Instance().reset();
}
