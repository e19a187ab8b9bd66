#pragma once

#include "model/MonitoredObjects.h"
#include "model/ProductEdition.h"
#include "model/ProgramClock.h"
#include "storage/SQLiteDatabase.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Value names as stored in the settings table and shown in the windows.
std::string ExpirationActionNameGet(int action); // 0 "Reminder Only", 1 "Close Browser/App.", 2 "Shutdown Computer"
int ExpirationActionFromName(const std::string& name); // case ignored; unknown gives 0
std::string ReminderChangePeriodNameGet(int period); // "never", "daily", "weekly", "fortnightly", "monthly"
int ReminderChangePeriodFromName(const std::string& name);
std::string ReminderTypeNameGet(int index); // "morning", "afternoon", "evening"

// MD5 of the text's bytes as 32 upper-case hexadecimal digits.
std::string PasswordDigest(const std::string& text);

// The program's one settings store: limits, action, scan period, password, reminders, the next
// reset moment and the time-limit list, loaded from settings.sqlite when created and saved when
// destroyed; the list is mirrored into actmondb.sqlite for the usage queries. Database failures
// never leave it: they are logged and the work goes on.
class TOptions
{
public:
    TOptions(); // OptionsLoad
    ~TOptions(); // OptionsSave
    TOptions(const TOptions&) = delete;
    TOptions& operator=(const TOptions&) = delete;

    bool AllowUserToChangeSettings = false;
    uint8_t ExpirationAction = 0;
    bool ExpirationActionChanged = false;
    bool AdminMode = false;
    bool IsNotFirstRun = false;
    bool MonitoredItemDeleteActionProcessed = true;
    std::string Password; // the digest, never the password
    TDateTime ReminderChangedDateTime = 0;
    uint8_t ReminderChangePeriod = 0;
    TDateTime ReminderShowedDateTime = 0;
    TDateTime ResetDateTime = 0;
    int32_t ScanPeriodSeconds = 3;
    int32_t TimeLimitSeconds = 28800;
    bool TimeLimitSecondsChanged = false;

    // The time-limit list, owned by the store.
    TMonitoredList& MonitoredItems();

    // Reads the list, reminders and settings. A table that another program holds locked is read
    // again for up to LoadWaitGet() milliseconds before the store goes on without it.
    void OptionsLoad();
    static void LoadWaitSet(int milliseconds);
    static int LoadWaitGet();
    static constexpr int kLoadWaitDefaultMs = 15000;
    // Whether the settings table could be read: until then the stored first-run flag is unknown.
    bool SettingsRead() const
    {
        return m_settingsLoaded;
    }
    // True when the settings and the list reached the settings database.
    bool OptionsSave();
    // True when the list reached the settings database (its copy may still lag, see below).
    bool ListSave();
    void ActivityPurge();
    // settings.sqlite holds the list that counts; when the activity database's copy differs from
    // it (a crash or a lock between the two writes of a save, a replaced or rebuilt file), the
    // copy is rewritten from it and that is logged. Runs at load; callers that are about to read
    // the copy run it again. A failure is logged and tried again on the next call.
    void ListCopyReconcile();
    // After the settings database refused a write (a folder that cannot be written, a full disk),
    // saves everything again, at most every 30 seconds, until a save goes through. The main
    // window calls it as it goes; cheap when nothing waits.
    void UnsavedChangesRetry();

    // The three database calls: each opens its own connection; errors are logged and swallowed.
    // The statements return whether they succeeded; the query returns none on failure.
    bool SettingsDBExecSQL(const std::string& sql);
    bool LogDBExecSQL(const std::string& sql);
    std::unique_ptr<TSQLiteTable> SettingsDBGetTable(const std::string& sql);

    std::string ExpirationActionName() const;
    TDateTime TimeLimitAsDateTime() const;
    const std::string& ReminderText(int index) const; // 0 morning, 1 afternoon, 2 evening
    void ReminderTextSet(int index, const std::string& text);

    int RightsLevel() const; // 2 administrator, 1 user allowed to change settings, 0 neither
    bool CheckPassword(const std::string& text);
    void SetPassword(const std::string& text);

    // The once-a-day rule for users without the password.
    void TimeLimitSecondsSet(int32_t seconds);
    void ExpirationActionSet(int index);
    // 2 removed now, 1 removed at the next reset (inactive until then), 0 not allowed.
    int MonitoredItemDelete(const TMonitoredItem* item);
    void DeleteActionProcessedSet(bool flag);
    // Takes over the limit and action parked in the preferences file, commits the settings, and
    // only then erases the file's "Common" section: a crash in between leaves the change parked
    // for the next reset instead of losing it. A commit that fails keeps the section.
    void PendingChangesApply();
    // What the windows show as the current limit (seconds) and action.
    std::pair<int32_t, int> ShownLimitAndAction();

    // Tests: called with every statement just before it runs.
    static void StatementHookSet(std::function<void(const std::string& sql)> hook);

    // The statement texts of a save, exposed so their form can be checked.
    std::string SettingsRowsSql() const;
    std::string RemindersRowsSql() const;
    std::vector<std::string> ListRowsSql(TMonitoredItemType kind) const;

    struct TStoredSettings;

private:
    bool SettingsDBExecBatch(const std::vector<std::string>& statements);
    bool LogDBExecBatch(const std::vector<std::string>& statements);
    bool ListRead(TMonitoredList& list);
    // A settings file found new or damaged at load holds no list the user kept: the activity
    // database's copy and what the damaged file still gave are put together into it.
    void ListTakeBackFromCopy();
    void ListLoad();
    void RemindersLoad();
    void SettingsDefaultsSet();
    void SettingsRowsApply(TSQLiteTable& table);
    void SettingsLoad();
    // Reads a table that could not be read at load again and lays this run's changes over what
    // it holds; true when the table may now be written.
    bool ListReread();
    bool RemindersReread();
    bool SettingsReread();

    std::unique_ptr<TMonitoredList> m_monitoredItems;
    std::string m_reminders[3];
    // Whether each table was read. One that could not be read (a database locked by another
    // program at that moment, say) is never written from memory, or the defaults would replace
    // the user's stored list, settings and password; it is read again before the next save.
    bool m_listLoaded = false;
    bool m_remindersLoaded = false;
    bool m_settingsLoaded = false;
    // The list of this run came from a settings file found new or damaged: it may lack entries
    // the user had, so no history is purged for their absence.
    bool m_listRenewed = false;
    bool m_listTakeBackUnsaved = false; // the file refused the whole list at start
    // A write the settings database refused: this run's changes wait in memory, the user was told.
    bool m_writeRefused = false;
    bool m_writeRefusalTold = false;
    TDateTime m_writeRetryAt = 0;
    void WriteRefusalNote(const ESQLiteException& error);
    // A read failed because another program held the file (so reading again may help), and
    // whether failed reads are logged (not while the load waits for the file).
    bool m_readBusy = false;
    bool m_readErrorsQuiet = false;
    // What the fields and reminders held after a load that failed, so a later read can tell
    // this run's changes from the defaults.
    std::unique_ptr<TStoredSettings> m_settingsBaseline;
    std::string m_remindersBaseline[3];
};

// The one store, created and loaded on first use.
TOptions& OptionsInstance();
bool OptionsInstanceExists();
// Destroys the store (which saves it); the next OptionsInstance() loads a new one. Program end
// and tests use it.
void OptionsInstanceFree();
