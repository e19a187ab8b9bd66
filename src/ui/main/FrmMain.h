#pragma once

#include "ui/framework/FrmBase.h"
#include "ui/main/MonitoredListCommands.h"

#include "enforce/EnforcementState.h"
#include "enforce/TimeUp.h"

#include "model/ProgramClock.h"

#include <QPointer>
#include <QRect>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class TAccessibility;
class TAppearanceMenu;
class TImageButton;
class TMainPage;
class TRemindersPage;
class TTimeLines;
class TUsagePage;
class THotkeySource;
class THotkeyWatch;
class TMainWindowDock;
class TMonitoredList;
class TProcesses;
class TReminderController;
class TScanPipeline;
class TScanSettings;
class TTaskRunner;
class TSessionPause;
class TSessionPower;
class TTrayIcon;
class TWindowSystem;
class TZaraveDezeZurirevuzor;
class TZaraveDezeZurirevuzorLogger;
class TfrmReports;

// The desktop the scan samples. Without all three the window runs without sampling (a session
// the program cannot watch); the rest of it works the same.
struct TMainWindowDesktop
{
    TWindowSystem* WindowSystem = nullptr;
    TProcesses* Processes = nullptr;
    TAccessibility* Accessibility = nullptr;
    // Locking, sleeping and shutting down; without it the program never pauses and cannot shut
    // the computer down.
    TSessionPower* SessionPower = nullptr;
    // The keyboard the hot key is watched on; none: no hot key.
    THotkeySource* HotkeySource = nullptr;
    // The scan asks the desktop on the caller's thread, one tick at a time, instead of on a
    // worker thread of its own: for a desktop held in memory that a test drives step by step.
    bool ScanOnCallerThread = false;
};

// The views the View menu offers: All and Lite show the main page (Lite only down to the end of
// its reminder), the other two a page of their own.
enum class TMainView
{
    All,
    Reminders,
    Usage,
    Lite,
};

// The program's one long-lived window: a narrow, always-on-top panel docked to a side of the
// work area. It owns every timer that drives the program, the activity sample and the day's
// account, and switches between four views (All, Lite, Reminders, Usage) over three pages, each a
// class of its own (TMainPage, TRemindersPage, TUsagePage) below the time lines (TTimeLines); a
// TMonitoredListCommands changes the time-limit list. Its controls are private: tests and tools
// reach its actions and controls by their object names.
//
// Companions hook in at the places marked "seam" below: each does nothing (or the least that
// keeps the program usable) until its window or rule exists.
class TfrmMain : public TfrmBase
{
    Q_OBJECT

public:
    explicit TfrmMain(const TMainWindowDesktop& desktop = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The Background and Text Color commands and the skin list; owned by the window.
    TAppearanceMenu* AppearanceMenu = nullptr;

    // The timers of the scan and of the reminder-only prompt; the others are private (each
    // timer is found by its object name, such as "tmrTime").
    QTimer* tmrScan = nullptr;
    QTimer* tmrReminderOnly = nullptr;

    // The pause, the time-up arming and grace, and the focus period, which the scan decides on.
    TEnforcementState State;

    // Seams for the configuration windows. Each defaults to the program's own; tests replace them.
    // The settings wizard; true when it ended with OK.
    std::function<bool(bool firstRun)> SettingsWizardRun;
    // Every "Please Note" the window shows, its list commands' included.
    std::function<void(const QString& text, const QString& title)> MessageShow;
    // The time-up window; answers how the user left it.
    std::function<TReminderAnswer(bool inFocus, bool fiveMinuteOffer)> ReminderWindowRun;
    // The "Block Mode" window: true with the entered length on OK; `result` collects the entries
    // added through its link either way.
    std::function<bool(TMonitoredList& result, TDateTime& duration)> FocusSettingsRun;
    // The "Time-Up Settings" window: true when it ended with OK (the settings took the values).
    std::function<bool()> ReminderSettingsRun;

    // True while the session is locked or the computer sleeps: the timers then do nothing.
    bool Paused() const;
    // Saves what the end of the program would (the seconds since the last tick, the settings)
    // without ending: the desktop session is ending and may not let the loop return.
    void SessionEndSave();
    // The sample of the scan; null when the window runs without a desktop to sample.
    TZaraveDezeZurirevuzor* Sample();
    // The scan; null when the window runs without a desktop to sample.
    TScanPipeline* Scan()
    {
        return m_scan.get();
    }
    // The day's account, created on first use (again after the daily reset freed it).
    TZaraveDezeZurirevuzorLogger& Logger();
    bool LoggerExists() const
    {
        return static_cast<bool>(m_logger);
    }

    // The add, delete and merge commands of the time-limit list, with their seams (the add
    // wizard, the password prompt, the delete confirmation).
    TMonitoredListCommands& ListCommands()
    {
        return *m_listCommands;
    }

    // The view switch, as the View menu's actions run it.
    void ViewSwitch(TMainView view);
    TMainView View() const
    {
        return m_view;
    }
    void PageNext();
    void PageBack();
    // Places the window at the docking edge of the work area (and sizes it for the view).
    void Reposition();
    // Minimising hides the window to the tray; restoring shows it in front.
    void ApplicationMinimize();
    void ApplicationRestore();
    // The tray icon's left button: shows or hides the window.
    void TrayIconClick();

    void MainListRefresh();
    void UsageListRefresh(); // the usage period's change
    // The Chart button: the usage chart of the chosen period, in a window of its own (one at a time).
    void UsageChartShow();
    void MainTimeUpdate();
    void FocusTimeUpdate();
    void NormalTimeDisplayShow();
    void ActionFieldsUpdate(); // the limit and the action of the main page
    void DailyReset();
    // The daily reset as the scan runs it: at once, or when the modal window open now has closed.
    void DailyResetWhenFree();
    bool DailyResetWaiting() const
    {
        return m_dailyResetWaiting;
    }

    // The main page's "-" and "+": the chosen entry leaves the list, the add wizard adds.
    void AppDelete();
    void AppAdd();
    void FocusRun(); // the Focus button: the "Block Mode" window and the start of a focus period
    void FocusDisplayOn();
    void TimeEditRun(); // actTimeEdit
    // The session's news: the screen locked or unlocked, the computer going to sleep or woken.
    void SessionLockedChanged(bool locked);
    void SleepingChanged(bool sleeping);
    void SettingsRun(); // actSettings

    // Timer handlers.
    void tmrScanTimer();
    void tmrTimeTimer();
    void tmrUsageTimer();
    void tmrSaveOptionsTimer();
    void tmrReminderChangeTimer();
    void tmrReminderOnlyTimer();
    void tmrShutdownTimer();
    void tmrTimeSynchronizationTimer();

    // Seams of the reminder rules: the part of the day, the memos and the combo.
    void PartOfDayUpdate();
    void RemindersLoad();
    void ReminderComboMarksUpdate();
    // What the address reader has to tell the user (a browser it cannot read), once.
    void AccessibilityNoticeShow();
    // What the stores could not keep as the user left it, once.
    void StoredDataNoticeShow();

    // The work area at the last repositioning.
    QRect RememberedWorkArea() const
    {
        return m_workArea;
    }
    QSystemTrayIcon* TrayIcon() const;

    // The companions: docking and auto-hide, the tray icon, the hot key, the reminders.
    TMainWindowDock* Dock = nullptr;
    TTrayIcon* Tray = nullptr;
    THotkeyWatch* Hotkey = nullptr;
    TReminderController* Reminders = nullptr;

protected:
    bool CanMoveTo(int left, int top) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class TScanLink;

    void ControlsCreate();
    void ActionsCreate();
    void MenusCreate();
    void TimersCreate();
    void CompanionsCreate(const TMainWindowDesktop& desktop);
    // `hotkeyName`: what the user presses for the hot key, empty when there is none.
    void TrayIconAdd(const std::string& hotkeyName);
    void TrayIconRemove();
    // Sizes the pages to the window (at least as tall as the lowest the pages are designed for).
    void PagesLayout();
    // A view: its action in the View menu, the page it shows and whether it cuts the page below
    // the reminder. Paging runs through the views that show their page whole, in this order.
    struct TViewEntry
    {
        TMainView View;
        QAction* Action;
        QWidget* Page;
        bool Lite;
    };
    const TViewEntry& ViewEntry(TMainView view) const;
    void PageStep(int step);
    QTimer* TimerMake(int interval, bool enabled, void (TfrmMain::*handler)());

    // Above the pages: the header's buttons, the time lines and the Focus button.
    TImageButton* btnView = nullptr;
    TImageButton* btnLinks = nullptr;
    TImageButton* btnMinimize = nullptr;
    TTimeLines* m_timeLines = nullptr;
    // The pages, one shown at a time in the page area; the paging buttons below them.
    QWidget* pcMain = nullptr;
    TMainPage* m_mainPage = nullptr;
    TRemindersPage* m_remindersPage = nullptr;
    TUsagePage* m_usagePage = nullptr;
    TImageButton* btnBack = nullptr;
    TImageButton* btnNext = nullptr;

    std::vector<TViewEntry> m_views;
    QAction* actMinimize = nullptr;
    QAction* actAutohide = nullptr;
    QMenu* pmnTray = nullptr;
    QMenu* pmnView = nullptr;
    QMenu* pmnAddons = nullptr;
    QMenu* pmnGlobal = nullptr;
    // The appearance commands' items, handed to TAppearanceMenu.
    QMenu* miSkin = nullptr;
    QAction* miBackgroundColor = nullptr;
    QAction* miBackgroundImage = nullptr;
    QAction* miClearBackgroundImage = nullptr;
    QAction* miTransparency = nullptr;
    QAction* miTextColor = nullptr;

    QTimer* tmrTime = nullptr;
    QTimer* tmrUsage = nullptr;
    QTimer* tmrSaveOptions = nullptr;
    QTimer* tmrReminderChange = nullptr;
    QTimer* tmrShutdown = nullptr;
    QTimer* tmrTimeSynchronization = nullptr;

    // The time line's and the focus line's formats, each cycled by a click on its link.
    int TimeFormat = 0;
    int FocusTimeFormat = 0;
    TMainView m_view = TMainView::Lite;
    std::unique_ptr<TMonitoredListCommands> m_listCommands;

    TWindowSystem* m_windowSystem = nullptr;
    TAccessibility* m_accessibility = nullptr;
    std::unique_ptr<TZaraveDezeZurirevuzorLogger> m_logger;
    TSessionPower* m_sessionPower = nullptr;
    std::unique_ptr<TSessionPower> m_sessionPowerMissing;
    std::unique_ptr<TSessionPause> m_sessionPause;
    std::unique_ptr<TScanSettings> m_scanSettings;
    std::unique_ptr<TScanLink> m_scanLink;
    std::unique_ptr<TTaskRunner> m_windowThread;
    // After what it uses: it ends (its worker joined) before them.
    std::unique_ptr<TScanPipeline> m_scan;
    QActionGroup* m_viewGroup = nullptr;
    QRect m_workArea;
    bool m_dailyResetWaiting = false;
    QPointer<TfrmReports> m_reports;
};
