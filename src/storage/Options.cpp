#include "storage/Options.h"

#include "model/Assert.h"
#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/ActivityDatabase.h"
#include "storage/DatabaseSchema.h"
#include "storage/WindowPreferences.h"

#include <openssl/evp.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

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

std::function<void(const std::string&)>& StatementHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}

std::unique_ptr<TOptions>& Instance()
{
    static std::unique_ptr<TOptions> instance;
    return instance;
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
void StatementsRun(const std::string& fileName, TDatabaseKind kind, const std::vector<std::string>& statements)
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

} // namespace

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
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr) != 1) {
        throw Exception("MD5 digest failed");
    }
    static const char kHex[] = "0123456789ABCDEF";
    std::string result;
    for (unsigned int i = 0; i < size; ++i) {
        result += kHex[digest[i] >> 4];
        result += kHex[digest[i] & 0x0F];
    }
    return result;
}

TOptions::TOptions()
{
    OptionsLoad();
}

TOptions::~TOptions()
{
    try {
        OptionsSave();
    } catch (const std::exception& error) {
        LogError(error, kSettingsExecText);
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
        DatabaseSchemaEnsure(fileName, TDatabaseKind::Settings);
        TSQLiteDatabase database(fileName);
        if (StatementHook()) {
            StatementHook()(sql);
        }
        return database.RunQuery(sql);
    } catch (const std::exception& error) {
        DatabaseSchemaRecheck(fileName);
        LogError(error, kSettingsQueryText);
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
    ListLoad();
    RemindersLoad();
    SettingsLoad();
}

void TOptions::ListLoad()
{
    TMonitoredList& list = MonitoredItems();
    list.Clear();
    const std::pair<TMonitoredItemType, const char*> kinds[]
        = { { mitApp, "applications_list" }, { mitWeb, "websites_list" } };
    for (const auto& [kind, tableName] : kinds) {
        auto table = SettingsDBGetTable(std::string("SELECT * FROM ") + tableName);
        if (!table) {
            m_listLoaded = false;
            return;
        }
        m_listLoaded = true;
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
}

void TOptions::RemindersLoad()
{
    auto table = SettingsDBGetTable("SELECT * FROM reminders");
    m_remindersLoaded = table != nullptr;
    if (!table) {
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

void TOptions::SettingsLoad()
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

    auto table = SettingsDBGetTable("SELECT * FROM settings");
    m_settingsLoaded = table != nullptr;
    if (!table) {
        return;
    }
    for (table->First(); !table->AtEnd(); table->Next()) {
        // A value that does not convert is logged and its default kept, so a damaged row cannot
        // stop the program at every start.
        try {
            const std::string name = table->TextByName("name");
            const std::string value = table->TextByName("value");
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
    std::vector<std::string> statements;
    if (!m_monitoredItems) {
        return statements;
    }
    const std::string head = std::string("INSERT INTO ") + (kind == mitApp ? "applications_list" : "websites_list")
        + "(name, caption, active)";
    std::vector<std::string> batch;
    for (int i = 0; i < m_monitoredItems->Count(); ++i) {
        const TMonitoredItem* item = m_monitoredItems->Items(i);
        if (item->ItemType != kind) {
            continue;
        }
        batch.push_back(
            "SELECT " + QuotedStr(item->Name) + ", " + QuotedStr(item->Caption) + ", " + (item->Active ? "1" : "0"));
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

void TOptions::OptionsSave()
{
    const auto skipped = [](const char* what) {
        LogMessageWrite(std::string("TOptions.OptionsSave: the ") + what
            + " could not be read at start, so the stored ones are kept unchanged.");
    };
    if (m_settingsLoaded) {
        SettingsDBExecBatch({ "DELETE FROM settings;", SettingsRowsSql() });
    } else {
        skipped("settings");
    }
    if (m_listLoaded) {
        ListSave();
    } else {
        skipped("time-limit list");
    }
    if (m_remindersLoaded) {
        SettingsDBExecBatch({ "DELETE FROM reminders;", RemindersRowsSql() });
    } else {
        skipped("reminders");
    }
}

void TOptions::ListSave()
{
    // An explicit save of the list (after the user edited it) makes the list in memory the one
    // that counts, even when it could not be read at start.
    m_listLoaded = true;
    std::vector<std::string> statements = { kApplicationsListDeleteSql, kWebSitesListDeleteSql };
    for (TMonitoredItemType kind : { mitApp, mitWeb }) {
        for (auto& sql : ListRowsSql(kind)) {
            statements.push_back(std::move(sql));
        }
    }
    SettingsDBExecBatch(statements);
    LogDBExecBatch(statements);
}

void TOptions::ActivityPurge()
{
    LogDBExecSQL(ActivityPurgeOldSql(ProgramNow()));
    LogDBExecSQL(ActivityPurgeUnlistedSql());
    LogDBExecSQL(ActivityPurgeUnlistedNullSql());
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
    if (preferences.SectionExists(kIniSectionCommon)) {
        preferences.EraseSection(kIniSectionCommon);
    }
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
