#pragma once

#include <QString>

#include <functional>

class TMonitoredItem;
class TMonitoredList;
class TZaraveDezeZurirevuzorLogger;

// The commands that change the time-limit list from the main window: add through the add
// wizard, delete a chosen entry, keep what a focus period's window added, each behind the check
// of the right to change the settings. It owns no window: the windows it needs are the seams
// below, and the list shown in the window is released before a change and shown again after.
class TMonitoredListCommands
{
public:
    struct THooks
    {
        // The day's account, whose list mirrors the stored one.
        std::function<TZaraveDezeZurirevuzorLogger&()> LoggerGet;
        // The shown rows point into the lists a change may free: they go before it...
        std::function<void()> RowsRelease;
        // ...and come back after it.
        std::function<void()> ListShow;
    };
    explicit TMonitoredListCommands(THooks hooks);

    // Seams; each defaults to the program's own window, tests replace them.
    // The add wizard: fills `result` with the entries the user worked on; true on OK.
    std::function<bool(TMonitoredList& result)> AddWizardRun;
    // The administrator password prompt; true when the right password was given.
    std::function<bool()> AdminPasswordAsk;
    std::function<bool(const QString& caption)> DeleteConfirm;
    std::function<void(const QString& text, const QString& title)> MessageShow;

    // True when the user may change the list: the edition or the settings allow it, or the
    // administrator password was given (which leaves the administrator mode on until AdminModeLeave).
    bool ChangeRightsCheck();
    void AdminModeLeave();

    void Add();
    // `chosen` is a copy of the entry the user picked, shown as `caption`: the windows this opens
    // let timers renew the day's lists, so no pointer into them is held across.
    void Delete(const TMonitoredItem& chosen, const QString& caption);
    // Puts the entries added for a focus period on the list, as Add does.
    void FocusResultMerge(TMonitoredList& result);

private:
    void ResultMerge(TMonitoredList& result);

    THooks m_hooks;
};
