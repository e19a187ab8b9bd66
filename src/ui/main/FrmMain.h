#pragma once

#include "ui/framework/FrmBase.h"

#include "enforce/EnforcementState.h"
#include "enforce/TimeUp.h"

#include "model/ProgramClock.h"

#include <QPointer>
#include <QRect>

#include <cstdint>
#include <functional>
#include <memory>

class QActionGroup;
class QMenu;
class QPlainTextEdit;
class QStackedWidget;
class QSystemTrayIcon;
class QTimer;
class TAccessibility;
class TAppearanceMenu;
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

// The program's one long-lived window: a narrow, always-on-top panel docked to a side of the
// work area. It owns every timer that drives the program, the activity sample and the day's
// account, and switches between four views (All, Lite, Reminders, Usage) over three pages.
//
// Companions hook in at the places marked "seam" below: each does nothing (or the least that
// keeps the program usable) until its window or rule exists.
class TfrmMain : public TfrmBase
{
    Q_OBJECT

public:
    explicit TfrmMain(const TMainWindowDesktop& desktop = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Above the pages.
    TImageButton* btnView = nullptr;
    TImageButton* btnLinks = nullptr;
    TImageButton* btnMinimize = nullptr;
    QWidget* pnlMain_TimeOnline = nullptr;
    QLabel* lblMain_TimeTitle = nullptr;
    QLabel* lblMain_Time = nullptr;
    QLabel* lblMain_TimeLink = nullptr;
    QWidget* pnlMain_FocusTime = nullptr;
    QLabel* lblMain_FocusTimeTitle = nullptr;
    QLabel* lblMain_FocusTime = nullptr;
    QLabel* lblMain_FocusModeTimeLink = nullptr;
    TImageButton* btnFocus = nullptr;
    TImageButton* btnBack = nullptr;
    TImageButton* btnNext = nullptr;

    // The page control, never shown itself.
    QStackedWidget* pcMain = nullptr;
    QWidget* tsMain = nullptr;
    QWidget* tsReminder = nullptr;
    QWidget* tsUsage = nullptr;

    // tsMain
    QWidget* pnlReminder = nullptr;
    QLabel* lblReminder = nullptr;
    QComboBox* cbxReminder = nullptr;
    TImageButton* btnReminderCombo = nullptr;
    QPlainTextEdit* mmReminder = nullptr;
    QLabel* lblApplications = nullptr;
    TImageButton* btnApp_Add = nullptr;
    TImageButton* btnApp_Delete = nullptr;
    TImagePanel* pnlApp_Name = nullptr;
    TImagePanel* pnlApp_Type = nullptr;
    TImagePanel* pnlApp_Time = nullptr;
    QLabel* lblApp_Name = nullptr;
    QLabel* lblApp_Type = nullptr;
    QLabel* lblApp_Time = nullptr;
    QListWidget* lbxMain_Applications = nullptr;
    QWidget* pnlAction = nullptr;
    QLabel* lblAction = nullptr;
    QLineEdit* edtAction = nullptr;
    TImageButton* btnTimeEdit = nullptr;
    QLabel* lblTimeLimit = nullptr;
    QLineEdit* edtTimeLimit = nullptr;

    // tsReminder
    QLabel* lblReminderMorning = nullptr;
    QLabel* lblReminderAfternoon = nullptr;
    QLabel* lblReminderEvening = nullptr;
    QPlainTextEdit* mmReminderMorning = nullptr;
    QPlainTextEdit* mmReminderAfrernoon = nullptr;
    QPlainTextEdit* mmReminderEvening = nullptr;

    // tsUsage
    QComboBox* cbxUsage_Period = nullptr;
    TImageButton* btnComboUsagePeriod = nullptr;
    QLabel* lblUsage_Title = nullptr;
    TImagePanel* pnlHeader_Name = nullptr;
    TImagePanel* pnlHeader_Type = nullptr;
    TImagePanel* pnlHeader_Time = nullptr;
    QLabel* lblHeader_Name = nullptr;
    QLabel* lblHeader_Type = nullptr;
    QLabel* lblHeader_Time = nullptr;
    QListWidget* lbxUsage_Applications = nullptr;
    TImageButton* btnUsageChart = nullptr;

    // The action list.
    QAction* actExit = nullptr;
    QAction* actMinimize = nullptr;
    QAction* actView = nullptr;
    QAction* actTools = nullptr;
    QAction* actViewMain = nullptr;
    QAction* actViewRemindersOnly = nullptr;
    QAction* actViewUsage = nullptr;
    QAction* actViewLite = nullptr;
    QAction* actChangeTimeFormat = nullptr;
    QAction* actChangeFocusModeTimeFormat = nullptr;
    QAction* actTimeEdit = nullptr;
    QAction* actReminderSave = nullptr;
    QAction* actSettings = nullptr;
    QAction* actAutohide = nullptr;

    // Menus. A menu item is its action here; the view items are the view actions themselves.
    QMenu* pmnTray = nullptr;
    QMenu* pmnView = nullptr;
    QMenu* pmnAddons = nullptr;
    QMenu* pmnGlobal = nullptr;
    QMenu* miSkin = nullptr;
    QAction* miHelp = nullptr;
    QAction* miFAQs = nullptr;
    QAction* miUpgrades = nullptr;
    QAction* miBackgroundColor = nullptr;
    QAction* miBackgroundImage = nullptr;
    QAction* miClearBackgroundImage = nullptr;
    QAction* miTransparency = nullptr;
    QAction* miTextColor = nullptr;
    // The Background and Text Color commands and the skin list; owned by the window.
    TAppearanceMenu* AppearanceMenu = nullptr;

    // Timers, all on this thread.
    QTimer* tmrScan = nullptr;
    QTimer* tmrTime = nullptr;
    QTimer* tmrUsage = nullptr;
    QTimer* tmrSaveOptions = nullptr;
    QTimer* tmrReminderChange = nullptr;
    QTimer* tmrReminderOnly = nullptr;
    QTimer* tmrAutohide = nullptr;
    QTimer* tmrAutohideSlide = nullptr;
    QTimer* tmrDeactivation = nullptr;
    QTimer* tmrShutdown = nullptr;
    QTimer* tmrTimeSynchronization = nullptr;

    // The pause, the time-up arming and grace, and the focus period, which the scan decides on.
    TEnforcementState State;
    bool ReminderChangeShowing = false;
    int TimeFormat = 0;
    int FocusTimeFormat = 0;
    bool LiteView = true;
    uint8_t LastPartOfDay = 255;

    // Seams for the configuration windows. Each defaults to the program's own; tests replace them.
    // The settings wizard; true when it ended with OK.
    std::function<bool(bool firstRun)> SettingsWizardRun;
    // The add wizard: fills `result` with the entries the user worked on; true on OK.
    std::function<bool(TMonitoredList& result)> AddWizardRun;
    // The administrator password prompt; true when the right password was given.
    std::function<bool()> AdminPasswordAsk;
    std::function<bool(const QString& caption)> DeleteConfirm;
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

    // The view switch: `page` becomes the shown page; Lite cuts the main page below the reminder.
    void ViewSwitch(QWidget* page, bool lite);
    QWidget* ActivePage() const;
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
    void UsageListRefresh(); // cbxUsage_Period change
    // btnUsageChart: the usage chart of the chosen period, in a window of its own (one at a time).
    void UsageChartShow();
    void MainTimeUpdate();
    void FocusTimeUpdate();
    void NormalTimeDisplayShow();
    void ActionFieldsUpdate(); // edtTimeLimit, edtAction
    void DailyReset();
    // The daily reset as the scan runs it: at once, or when the modal window open now has closed.
    void DailyResetWhenFree();
    bool DailyResetWaiting() const
    {
        return m_dailyResetWaiting;
    }

    void AppDelete(); // btnApp_Delete
    void AppAdd(); // btnApp_Add
    void FocusRun(); // btnFocus: the "Block Mode" window and the start of a focus period
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
    // Shows what the address reader has to tell the user (a browser it cannot read), once.
    void AccessibilityNoticeShow();
    void StoredDataNoticeShow();
    void PagesLayout();
    void TimeLineLayout();
    bool ChangeRightsCheck();
    // Puts the entries added for a focus period on the list, as the add button does.
    void FocusResultMerge(TMonitoredList& result);
    void AdminModeLeave();
    void ListBoxFillFrom(QListWidget* listBox, TMonitoredList& list);
    // A control placed in page coordinates, whether it sits on its page or on the window now.
    void PagePlace(QWidget* control, const QRect& pageRect);
    QTimer* TimerMake(int interval, bool enabled, void (TfrmMain::*handler)());

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
