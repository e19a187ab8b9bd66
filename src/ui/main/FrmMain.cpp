#include "ui/main/FrmMain.h"

#include "ui/main/AppearanceMenu.h"
#include "ui/main/DockSettings.h"
#include "ui/main/FrmFocusSettings.h"
#include "ui/main/FrmReminder.h"
#include "ui/main/FrmReminderSettings.h"
#include "ui/main/FrmReports.h"
#include "ui/main/HotkeyWatch.h"
#include "ui/main/MainDisplay.h"
#include "ui/main/MainPage.h"
#include "ui/main/MainPageParts.h"
#include "ui/main/MainWindowDock.h"
#include "ui/main/MainWindowSeams.h"
#include "ui/main/MonitoredListCommands.h"
#include "ui/main/Reminders.h"
#include "ui/main/RemindersPage.h"
#include "ui/main/TimeLines.h"
#include "ui/main/TrayIcon.h"
#include "ui/main/UsagePage.h"

#include "ui/framework/Appearance.h"
#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/ImagePanel.h"
#include "ui/framework/ListBoxItems.h"

#include "enforce/FocusMode.h"
#include "enforce/ScanPipeline.h"
#include "enforce/SessionPause.h"
#include "enforce/UninstallFlag.h"
#include "model/DataLocations.h"
#include "model/Exceptions.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/UserNotices.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

// Stands in when the desktop offers no session service: nothing pauses, and a shutdown is
// refused with a reason instead of being dropped.
class TSessionPowerMissing final : public TSessionPower
{
public:
    void ListenerSet(TSessionPowerListener) override
    {
    }
    bool CanWatchSession() const override
    {
        return false;
    }
    bool CanWatchSleep() const override
    {
        return false;
    }
    void ShutdownRequest(TShutdownKind, int) override
    {
        throw EOSError("this desktop offers no session service to ask");
    }
};

// Calls `ended` once when a modal window is hidden or destroyed, whichever comes first.
class TModalEndWatch : public QObject
{
public:
    TModalEndWatch(QWidget* modal, std::function<void()> ended)
        : QObject(modal)
        , m_ended(std::move(ended))
    {
        modal->installEventFilter(this);
    }
    ~TModalEndWatch() override
    {
        Fire();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide) {
            Fire();
        }
        return false;
    }

private:
    void Fire()
    {
        if (m_ended) {
            auto ended = std::move(m_ended);
            m_ended = nullptr;
            ended();
        }
    }
    std::function<void()> m_ended;
};

// The settings store as the scan reads it.
class TOptionsScanSettings final : public TScanSettings
{
public:
    const TMonitoredList& TimeLimitList() override
    {
        return OptionsInstance().MonitoredItems();
    }
    int32_t TimeLimitSeconds() override
    {
        return OptionsInstance().TimeLimitSeconds;
    }
    TDateTime ResetDateTime() override
    {
        return OptionsInstance().ResetDateTime;
    }
    int ExpirationAction() override
    {
        return static_cast<int>(OptionsInstance().ExpirationAction);
    }
};

// Brings the worker's results to the window's thread, in its event loop. The worker is joined
// before the window goes, so the window outlives every post.
class TWindowThreadRunner final : public TTaskRunner
{
public:
    explicit TWindowThreadRunner(QObject* window)
        : m_window(window)
    {
    }
    void Post(std::function<void()> job) override
    {
        QMetaObject::invokeMethod(m_window, std::move(job), Qt::QueuedConnection);
    }

private:
    QObject* m_window;
};

using MainPageParts::kWindowWidth;
constexpr int kPageTop = 88;
// Below this the pages are laid out as if the window were this tall, so the controls that Lite
// view cuts off keep a sane place.
constexpr int kLayoutMinHeight = 520;
constexpr int kPagingBarHeight = 40;

} // namespace

// The window's side of the scan: what the pipeline asks the window to show or do, and the day's
// account, which the daily reset renews.
class TfrmMain::TScanLink final : public TScanObserver, public TScanAccount
{
public:
    explicit TScanLink(TfrmMain& window)
        : m_window(window)
    {
    }

    void PartOfDayUpdate() override
    {
        m_window.PartOfDayUpdate();
    }
    void NormalTimeDisplayShow() override
    {
        m_window.NormalTimeDisplayShow();
    }
    void DailyResetRequest() override
    {
        m_window.DailyResetWhenFree();
    }
    bool DailyResetWaiting() override
    {
        return m_window.m_dailyResetWaiting;
    }
    void TimeUpShow(const TTimeUpRequest& request) override
    {
        // Opened from the event loop, after the tick has returned: the window's own loop never
        // runs inside a tick.
        QTimer::singleShot(0, &m_window, [window = &m_window, request] {
            TReminderAnswer answer;
            try {
                if (window->ReminderWindowRun) {
                    answer = window->ReminderWindowRun(request.InFocus, request.FiveMinuteOffer);
                }
            } catch (...) {
                // A window that failed is no answer; the scan must not wait for one for ever.
                if (window->m_scan) {
                    window->m_scan->TimeUpAnswer({ .Answered = false });
                }
                throw;
            }
            if (window->m_scan) {
                window->m_scan->TimeUpAnswer(answer);
            }
        });
    }
    void ReminderTimerEnabledSet(bool enabled) override
    {
        if (!enabled) {
            m_window.tmrReminderOnly->stop();
        } else if (!m_window.tmrReminderOnly->isActive()) {
            m_window.tmrReminderOnly->start();
        }
    }
    void TickEnded() override
    {
        m_window.AccessibilityNoticeShow();
        // What the stores and the charges could not keep, told once after the scan.
        m_window.StoredDataNoticeShow();
    }
    void ShutdownFailedShow(const std::string& reason) override
    {
        QTimer::singleShot(
            0, &m_window, [window = &m_window, text = QString::fromStdString(ShutdownFailedText(reason))] {
                if (window->MessageShow) {
                    window->MessageShow(text, QStringLiteral("Please Note"));
                }
            });
    }

    int32_t Total() override
    {
        return m_window.Logger().Total;
    }
    void Charge(const TZaraveDezeZurirevuzor& sample, int32_t seconds) override
    {
        m_window.Logger().Log(&sample, seconds);
    }

private:
    TfrmMain& m_window;
};

TfrmMain::TfrmMain(const TMainWindowDesktop& desktop, QWidget* parent)
    : TfrmBase(parent)
    , SettingsWizardRun(SettingsWizardExecute)
    , MessageShow(&TfrmBase::ShowMessage)
    , ReminderWindowRun(
          [this](bool inFocus, bool fiveMinuteOffer) { return TfrmReminder::Execute(this, inFocus, fiveMinuteOffer); })
    , FocusSettingsRun([this](TMonitoredList& result, TDateTime& duration) {
        return TfrmFocusSettings::Execute(
            result,
            [this](TMonitoredList& added) {
                if (m_listCommands->ChangeRightsCheck() && m_listCommands->AddWizardRun) {
                    m_listCommands->AddWizardRun(added);
                }
            },
            duration);
    })
    , ReminderSettingsRun(&TfrmReminderSettings::Execute)
{
    // The list commands release and show the main page's rows around each change of the list.
    m_listCommands = std::make_unique<TMonitoredListCommands>(
        TMonitoredListCommands::THooks { [this]() -> TZaraveDezeZurirevuzorLogger& { return Logger(); },
            [this] { m_mainPage->ListRelease(); }, [this] { MainListRefresh(); } });
    m_listCommands->MessageShow = [this](const QString& text, const QString& title) {
        if (MessageShow) {
            MessageShow(text, title);
        }
    };

    // The skinned window: a tool window without a task-bar entry (see showEvent), with its
    // controls, commands, menus and timers, and the companions that dock it, put it in the
    // tray and keep the reminders.
    m_windowSystem = desktop.WindowSystem;
    m_accessibility = desktop.Accessibility;
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Tallyhour"));
    setMinimumWidth(kWindowWidth);
    resize(kWindowWidth, 600);
    ControlsCreate();
    ActionsCreate();
    MenusCreate();
    TimersCreate();
    CompanionsCreate(desktop);

    // Locking the screen or sleeping pauses the timers (and hides the window); the end of a
    // pause restarts the scan's interval so the paused time is not charged.
    m_sessionPower = desktop.SessionPower;
    if (!m_sessionPower) {
        m_sessionPowerMissing = std::make_unique<TSessionPowerMissing>();
        m_sessionPower = m_sessionPowerMissing.get();
    }
    m_sessionPause = std::make_unique<TSessionPause>(State.SessionPaused, State.PowerPaused,
        TSessionPauseSteps { [this] { ApplicationMinimize(); },
            [this] {
                if (m_scan) {
                    m_scan->LastScanTime = ProgramNow();
                }
            } });
    m_sessionPower->ListenerSet(
        { [this](bool locked) { SessionLockedChanged(locked); }, [this](bool sleeping) { SleepingChanged(sleeping); },
            [this](bool final) {
                SessionEndSave();
                // The usual end, as far as the system lets it run; it also ends an open message
                // window's own loop.
                if (final) {
                    QApplication::exit(0);
                }
            } });
    // A new session starts unpaused, with both time-up windows armed and no grace period.
    State = TEnforcementState();

    // 4. The scan: its desktop calls on a worker thread of their own, the rest on this one.
    if (desktop.WindowSystem && desktop.Processes && desktop.Accessibility) {
        m_scanSettings = std::make_unique<TOptionsScanSettings>();
        m_scanLink = std::make_unique<TScanLink>(*this);
        std::unique_ptr<TTaskRunner> worker;
        if (desktop.ScanOnCallerThread) {
            m_windowThread = std::make_unique<TInlineTaskRunner>();
            worker = std::make_unique<TInlineTaskRunner>();
        } else {
            m_windowThread = std::make_unique<TWindowThreadRunner>(this);
            worker = std::make_unique<TThreadTaskRunner>();
        }
        m_scan = std::make_unique<TScanPipeline>(
            TScanDesktop { *desktop.WindowSystem, *desktop.Processes, *desktop.Accessibility, *m_sessionPower },
            *m_scanSettings, *m_scanLink, State, *m_scanLink, std::move(worker), *m_windowThread);
        m_scan->LastScanTime = ProgramNow();
    }

    // The tray icon, whose tip names the hot key when there is one; minimising and restoring
    // go through it (see changeEvent).
    TrayIconAdd(desktop.HotkeySource && desktop.HotkeySource->CanWatchKeys() ? desktop.HotkeySource->HotkeyNameGet()
                                                                             : std::string());

    // Both time lines start with their first format.
    TimeFormat = 0;
    FocusTimeFormat = 0;

    // The stored settings reach the window: the limit and action fields, the reminders, the
    // scan's period (a sane one), the time line, the day's list and the auto-hide choice.
    TOptions& options = OptionsInstance();
    ActionFieldsUpdate();
    RemindersLoad();
    if (m_scan) {
        m_scan->LastScanTime = ProgramNow();
    }
    int32_t scanSeconds = options.ScanPeriodSeconds;
    if (scanSeconds < 1) {
        // A zero or negative period would run the scan without pause and take a whole core.
        LogMessageWrite(
            Format("The scan period of %d seconds cannot be used; the scan runs every second", scanSeconds));
        scanSeconds = 1;
    }
    tmrScan->setInterval(std::min<int64_t>(int64_t(scanSeconds) * 1000, 24 * 3600 * 1000));
    if (m_scan) {
        m_scan->ScanPeriodSeconds = static_cast<int32_t>(tmrScan->interval() / 1000);
    }
    tmrTimeTimer();
    MainListRefresh();
    tmrReminderChangeTimer();
    actAutohide->setChecked(WindowPreferences().AutohideGet());

    // The program always starts in Lite view, docked at the stored edge.
    ViewSwitch(TMainView::Lite);
    Dock->Start();

    // The reminder prompt's timer runs from the start.
    tmrReminderChange->start();
    // The background and text colour commands; the picture dialog starts in the skins folder,
    // which also fills the skin menu.
    AppearanceMenu = new TAppearanceMenu(this,
        { miBackgroundColor, miSkin, miBackgroundImage, miClearBackgroundImage, miTransparency, miTextColor },
        SkinsFolder());
    AppearanceMenu->AdministratorModeLeave = [this] { m_listCommands->AdminModeLeave(); };
    // The list again, now that the docked height has given it its rows.
    MainListRefresh();
    // The reminder of the part of the day it is now.
    PartOfDayUpdate();
    // The hot key: Alt twice, as a click on the tray icon. No press is waiting for its pair
    // yet, so a single press right after the start does nothing.
    Hotkey = new THotkeyWatch(desktop.HotkeySource, this);
    connect(Hotkey, &THotkeyWatch::PairPressed, this, &TfrmMain::TrayIconClick);
    State.FiveMinuteOffer = WindowPreferences().Show5MinButtonGet();
    // Activity older than the stored span goes; what the stores could not keep is told once.
    options.ActivityPurge();
    StoredDataNoticeShow();
    // The window starts in the tray; without a tray it would be out of reach, so it shows.
    if (Tray->InTray()) {
        ApplicationMinimize();
    } else {
        ApplicationRestore();
    }
}

TfrmMain::~TfrmMain()
{
    delete m_reports;
    // The seconds of the scan that was running when the program ended.
    if (m_scan) {
        m_scan->EndCharge();
    }
    // The hot key is released by its owner (seam).
    m_sessionPower->ListenerSet({});
    TrayIconRemove();
    // The list boxes keep pointers into the logger's lists.
    m_mainPage->ListRelease();
    m_usagePage->ListRelease();
    // The worker ends first: a close it was asked for still goes out.
    m_scan.reset();
    m_logger.reset();
}

void TfrmMain::ControlsCreate()
{
    using MainPageParts::ButtonMake;
    // The header's buttons, on the right of the caption.
    btnView = ButtonMake(pnlHeader, QStringLiteral("btnView"), QStringLiteral("View"), 46, 22);
    btnLinks = ButtonMake(pnlHeader, QStringLiteral("btnLinks"), QStringLiteral("Tools"), 46, 22);
    btnMinimize = ButtonMake(pnlHeader, QStringLiteral("btnMinimize"), QStringLiteral("_"), 24, 22);
    btnView->setToolTip(QStringLiteral("View Mode"));
    btnLinks->setToolTip(QStringLiteral("Tools"));
    btnMinimize->setToolTip(QStringLiteral("Minimize"));
    int right = kWindowWidth - 6;
    for (TImageButton* button : { btnMinimize, btnLinks, btnView }) {
        right -= button->width();
        button->move(right, 5);
        right -= 3;
    }

    // The time lines and the Focus button, between the header and the pages.
    m_timeLines = new TTimeLines(this);
    m_timeLines->setGeometry(0, pnlHeader->height(), kWindowWidth, kPageTop - pnlHeader->height());
    m_timeLines->layout()->activate();
    connect(m_timeLines, &TTimeLines::FocusClicked, this, &TfrmMain::FocusRun);

    // The page area below the time lines; the view shows one page in it at a time.
    pcMain = new QWidget(this);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    pcMain->setGeometry(0, kPageTop, kWindowWidth, kLayoutMinHeight - kPageTop);
    m_mainPage = new TMainPage(pcMain);
    m_remindersPage = new TRemindersPage(kPagingBarHeight, pcMain);
    m_usagePage = new TUsagePage(kPagingBarHeight, pcMain);
    connect(m_usagePage, &TUsagePage::PeriodChanged, this, [this] { UsageListRefresh(); });
    connect(m_usagePage, &TUsagePage::ChartClicked, this, &TfrmMain::UsageChartShow);
    connect(m_mainPage, &TMainPage::AddClicked, this, &TfrmMain::AppAdd);
    connect(m_mainPage, &TMainPage::DeleteClicked, this, &TfrmMain::AppDelete);

    // The paging buttons of the All, Reminders and Usage views, over the pages' bottom.
    btnBack = ButtonMake(this, QStringLiteral("btnBack"), QStringLiteral("< Back"), 90, 28);
    btnNext = ButtonMake(this, QStringLiteral("btnNext"), QStringLiteral("Next >"), 90, 28);
    connect(btnBack, &TImageButton::clicked, this, &TfrmMain::PageBack);
    connect(btnNext, &TImageButton::clicked, this, &TfrmMain::PageNext);
}

void TfrmMain::ActionsCreate()
{
    const auto make = [this](const QString& name, const QString& text) {
        auto* action = new QAction(text, this);
        action->setObjectName(name);
        return action;
    };
    QAction* actExit = make(QStringLiteral("actExit"), QStringLiteral("&Exit"));
    actExit->setVisible(false);
    // exit(), not quit(): quit asks every window to close first, and this one never agrees.
    connect(actExit, &QAction::triggered, qApp, [] { QApplication::exit(0); });
    actMinimize = make(QStringLiteral("actMinimize"), QStringLiteral("Minimize"));
    actMinimize->setToolTip(QStringLiteral("Minimize"));
    connect(actMinimize, &QAction::triggered, this, [this] {
        if (isEnabled()) {
            ApplicationMinimize();
        }
    });
    connect(btnMinimize, &TImageButton::clicked, actMinimize, &QAction::trigger);
    QAction* actView = make(QStringLiteral("actView"), QStringLiteral("View Mode"));
    connect(actView, &QAction::triggered, this,
        [this] { pmnView->popup(btnView->mapToGlobal(QPoint(0, btnView->height()))); });
    connect(btnView, &TImageButton::clicked, actView, &QAction::trigger);
    QAction* actTools = make(QStringLiteral("actTools"), QStringLiteral("Tools"));
    connect(actTools, &QAction::triggered, this,
        [this] { pmnAddons->popup(btnLinks->mapToGlobal(QPoint(0, btnLinks->height()))); });
    connect(btnLinks, &TImageButton::clicked, actTools, &QAction::trigger);

    m_viewGroup = new QActionGroup(this);
    m_viewGroup->setExclusive(true);
    const struct
    {
        TMainView View;
        const char* Name;
        const char* Text;
        QWidget* Page;
        bool Lite;
    } views[] = { { TMainView::All, "actViewMain", "All", m_mainPage, false },
        { TMainView::Reminders, "actViewRemindersOnly", "Reminders", m_remindersPage, false },
        { TMainView::Usage, "actViewUsage", "Usage", m_usagePage, false },
        { TMainView::Lite, "actViewLite", "Lite", m_mainPage, true } };
    for (const auto& view : views) {
        QAction* action = make(QString::fromLatin1(view.Name), QString::fromLatin1(view.Text));
        action->setCheckable(true);
        m_viewGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, shown = view.View] { ViewSwitch(shown); });
        m_views.push_back({ view.View, action, view.Page, view.Lite });
    }
    ViewEntry(TMainView::Lite).Action->setChecked(true);

    QAction* actChangeTimeFormat = make(QStringLiteral("actChangeTimeFormat"), QString());
    connect(actChangeTimeFormat, &QAction::triggered, this, [this] {
        TimeFormat = (TimeFormat + 1) % 3;
        MainTimeUpdate();
    });
    connect(m_timeLines, &TTimeLines::TimeLinkClicked, actChangeTimeFormat, &QAction::trigger);
    QAction* actChangeFocusModeTimeFormat = make(QStringLiteral("actChangeFocusModeTimeFormat"), QString());
    connect(actChangeFocusModeTimeFormat, &QAction::triggered, this, [this] {
        FocusTimeFormat = (FocusTimeFormat + 1) % 3;
        const TDateTime now = FocusClockRead(State);
        const TTimeLineTexts texts = FocusTimeLineGet(FocusTimeFormat, State.FocusStart, State.FocusDuration, now);
        m_timeLines->FocusLineSet(texts);
        FocusTimeUpdate();
    });
    connect(m_timeLines, &TTimeLines::FocusLinkClicked, actChangeFocusModeTimeFormat, &QAction::trigger);

    QAction* actTimeEdit = make(QStringLiteral("actTimeEdit"), QStringLiteral("Edit"));
    connect(m_mainPage, &TMainPage::TimeEditClicked, actTimeEdit, &QAction::trigger);
    connect(actTimeEdit, &QAction::triggered, this, &TfrmMain::TimeEditRun);
    make(QStringLiteral("actReminderSave"), QStringLiteral("Save"));
    QAction* actSettings = make(QStringLiteral("actSettings"), QStringLiteral("Settings"));
    connect(actSettings, &QAction::triggered, this, &TfrmMain::SettingsRun);
    // Auto-hide and its slide belong to the docking rules (seam); the choice is kept here.
    actAutohide = make(QStringLiteral("actAutohide"), QStringLiteral("Auto-hide"));
    actAutohide->setCheckable(true);
    connect(actAutohide, &QAction::triggered, this, [](bool checked) { WindowPreferences().AutohideSet(checked); });
}

void TfrmMain::MenusCreate()
{
    pmnTray = new QMenu(this);
    pmnTray->setObjectName(QStringLiteral("pmnTray"));
    pmnTray->addAction(findChild<QAction*>(QStringLiteral("actExit")));

    pmnView = new QMenu(this);
    pmnView->setObjectName(QStringLiteral("pmnView"));
    pmnView->addAction(QStringLiteral("Choose View:"))->setEnabled(false);
    pmnView->addSeparator();
    for (const TViewEntry& view : m_views) {
        pmnView->addAction(view.Action);
    }

    pmnAddons = new QMenu(this);
    pmnAddons->setObjectName(QStringLiteral("pmnAddons"));
    pmnAddons->addAction(actAutohide);
    pmnAddons->addAction(findChild<QAction*>(QStringLiteral("actSettings")));
    QAction* miHelp = pmnAddons->addAction(QStringLiteral("Help"));
    miHelp->setObjectName(QStringLiteral("miHelp"));
    connect(miHelp, &QAction::triggered, this, [] { OpenWebPage(SitePageAddress(QStringLiteral("/help"))); });
    pmnAddons->addSeparator();
    QMenu* links = pmnAddons->addMenu(QStringLiteral("Useful Links"));
    QAction* miFAQs = links->addAction(QStringLiteral("Help"));
    miFAQs->setObjectName(QStringLiteral("miFAQs"));
    connect(miFAQs, &QAction::triggered, this, [] { OpenWebPage(SitePageAddress(QStringLiteral("/help"))); });
    QAction* miUpgrades = links->addAction(QStringLiteral("Updates"));
    miUpgrades->setObjectName(QStringLiteral("miUpgrades"));
    connect(miUpgrades, &QAction::triggered, this, [] { OpenWebPage(SitePageAddress(QStringLiteral("/download"))); });
    pmnAddons->addSeparator();
    // The appearance commands: TAppearanceMenu runs them (made once the window is built).
    QMenu* background = pmnAddons->addMenu(QStringLiteral("Background"));
    miBackgroundColor = background->addAction(QStringLiteral("Color..."));
    miBackgroundColor->setObjectName(QStringLiteral("miBackgroundColor"));
    miSkin = background->addMenu(QStringLiteral("Image"));
    miSkin->setObjectName(QStringLiteral("miSkin"));
    miBackgroundImage = miSkin->addAction(QStringLiteral("Browse..."));
    miBackgroundImage->setObjectName(QStringLiteral("miBackgroundImage"));
    miSkin->addSeparator();
    miClearBackgroundImage = miSkin->addAction(QStringLiteral("<No Image>"));
    miClearBackgroundImage->setObjectName(QStringLiteral("miClearBackgroundImage"));
    miTransparency = background->addAction(QStringLiteral("Transparency..."));
    miTransparency->setObjectName(QStringLiteral("miTransparency"));
    miTextColor = pmnAddons->addAction(QStringLiteral("Text Color..."));
    miTextColor->setObjectName(QStringLiteral("miTextColor"));

    // The window's own menu: only the hidden Minimize, reached through Esc.
    pmnGlobal = new QMenu(this);
    pmnGlobal->setObjectName(QStringLiteral("pmnGlobal"));
    actMinimize->setShortcut(QKeySequence(Qt::Key_Escape));
    actMinimize->setShortcutContext(Qt::WindowShortcut);
    pmnGlobal->addAction(actMinimize);
    addAction(actMinimize);
}

QTimer* TfrmMain::TimerMake(int interval, bool enabled, void (TfrmMain::*handler)())
{
    auto* timer = new QTimer(this);
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this, handler);
    if (enabled) {
        timer->start();
    }
    return timer;
}

void TfrmMain::TimersCreate()
{
    tmrScan = TimerMake(4000, true, &TfrmMain::tmrScanTimer);
    tmrTime = TimerMake(1000, true, &TfrmMain::tmrTimeTimer);
    tmrUsage = TimerMake(12001, true, &TfrmMain::tmrUsageTimer);
    tmrSaveOptions = TimerMake(240025, true, &TfrmMain::tmrSaveOptionsTimer);
    tmrReminderOnly = TimerMake(300000, false, &TfrmMain::tmrReminderOnlyTimer);
    tmrShutdown = TimerMake(900, true, &TfrmMain::tmrShutdownTimer);
    tmrTimeSynchronization = TimerMake(1800000, true, &TfrmMain::tmrTimeSynchronizationTimer);
    tmrScan->setObjectName(QStringLiteral("tmrScan"));
    tmrTime->setObjectName(QStringLiteral("tmrTime"));
    tmrUsage->setObjectName(QStringLiteral("tmrUsage"));
    tmrSaveOptions->setObjectName(QStringLiteral("tmrSaveOptions"));
    tmrReminderOnly->setObjectName(QStringLiteral("tmrReminderOnly"));
    tmrShutdown->setObjectName(QStringLiteral("tmrShutdown"));
    tmrTimeSynchronization->setObjectName(QStringLiteral("tmrTimeSynchronization"));
}

// The companions own the timers of docking, auto-hide and the reminder prompt.
void TfrmMain::CompanionsCreate(const TMainWindowDesktop&)
{
    // Stateless: every value goes to and comes from the preferences file.
    static TDockSettingsStored dockSettings;
    TMainWindowDock::THooks hooks;
    hooks.PausedGet = [this] { return Paused(); };
    hooks.LiteHeightGet = [this] { return m_mainPage->ReminderBottomIn(this) + 10; };
    hooks.ApplicationMinimize = [this] { ApplicationMinimize(); };
    hooks.ApplicationRestore = [this] { ApplicationRestore(); };
    Dock = new TMainWindowDock(this, dockSettings, hooks, this);

    TReminderController::TControls controls { m_mainPage->ReminderCombo(), m_mainPage->ReminderMemo(),
        m_remindersPage->MorningMemo(), m_remindersPage->AfternoonMemo(), m_remindersPage->EveningMemo() };
    Reminders = new TReminderController(
        controls, OptionsInstance(), [this] { return Paused(); }, this);
    tmrReminderChange = Reminders->tmrReminderChange;
}

void TfrmMain::TrayIconAdd(const std::string& hotkeyName)
{
    QIcon icon;
    for (const char* size : { "16", "24", "48", "64" }) {
        icon.addFile(QStringLiteral(":/tallyhour/images/icon%1.png").arg(QLatin1String(size)));
    }
    Tray = new TTrayIcon(icon, QApplication::applicationDisplayName(), QString::fromStdString(hotkeyName), this);
    Tray->MenuSet(pmnTray);
    connect(Tray, &TTrayIcon::LeftButtonDown, this, &TfrmMain::TrayIconClick);
    connect(Tray, &TTrayIcon::RightButtonDown, this, [this] {
        if (isVisible()) {
            raise();
            activateWindow();
        }
    });
}

void TfrmMain::TrayIconRemove()
{
    delete Tray;
    Tray = nullptr;
}

QSystemTrayIcon* TfrmMain::TrayIcon() const
{
    return Tray && Tray->InTray() ? Tray->Icon() : nullptr;
}

void TfrmMain::TrayIconClick()
{
    Dock->TrayLeftButtonDown();
}

void TfrmMain::ApplicationMinimize()
{
    // Without a tray and without the hot key nothing could bring a hidden window back.
    if (!Tray->InTray() && !(Hotkey && Hotkey->Available())) {
        static bool told = false;
        if (!told) {
            told = true;
            LogMessageWrite("The main window stays on the screen: this desktop has no system tray and no hot key "
                            "to bring it back.");
        }
        return;
    }
    hide();
}

void TfrmMain::ApplicationRestore()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

bool TfrmMain::Paused() const
{
    return State.Paused();
}

TZaraveDezeZurirevuzor* TfrmMain::Sample()
{
    return m_scan ? &m_scan->Sample() : nullptr;
}

TZaraveDezeZurirevuzorLogger& TfrmMain::Logger()
{
    if (!m_logger) {
        m_logger = std::make_unique<TZaraveDezeZurirevuzorLogger>();
    }
    return *m_logger;
}

const TfrmMain::TViewEntry& TfrmMain::ViewEntry(TMainView view) const
{
    return *std::find_if(m_views.begin(), m_views.end(), [view](const TViewEntry& each) { return each.View == view; });
}

void TfrmMain::ViewSwitch(TMainView view)
{
    const TViewEntry& shown = ViewEntry(view);
    for (const TViewEntry& each : m_views) {
        each.Page->setVisible(each.Page == shown.Page);
    }
    m_view = view;
    if (shown.Page == m_usagePage) {
        UsageListRefresh();
    }
    const int wanted = shown.Lite ? m_mainPage->ReminderBottomIn(this) + 10 : WorkArea().height();
    if (wanted != height()) {
        resize(width(), wanted);
        Reposition();
    }
    PagesLayout();
    // The main page, where the program starts, is left through the View menu only.
    btnBack->setVisible(shown.Page != m_mainPage);
    btnNext->setVisible(shown.Page != m_mainPage);
    shown.Action->setChecked(true);
    TextFit();
}

void TfrmMain::PageStep(int step)
{
    std::vector<TMainView> paged;
    int current = 0;
    for (const TViewEntry& each : m_views) {
        if (!each.Lite) {
            if (each.Page == ViewEntry(m_view).Page) {
                current = static_cast<int>(paged.size());
            }
            paged.push_back(each.View);
        }
    }
    const int count = static_cast<int>(paged.size());
    ViewSwitch(paged[(current + step % count + count) % count]);
}

void TfrmMain::PageNext()
{
    PageStep(1);
}

void TfrmMain::PageBack()
{
    PageStep(-1);
}

void TfrmMain::Reposition()
{
    Dock->LiteViewSet(ViewEntry(m_view).Lite);
    Dock->Reposition();
    const TWorkArea& area = Dock->WorkAreaRemembered();
    m_workArea = QRect(area.Left, area.Top, area.Width(), area.Height());
}

bool TfrmMain::CanMoveTo(int left, int top)
{
    // The window is only ever placed by the docking rule; a drag may move it to the other edge.
    Dock->LiteViewSet(ViewEntry(m_view).Lite);
    return Dock->CanMoveTo(left, top);
}

void TfrmMain::PagesLayout()
{
    // Lite view cuts the pages, which keep the height of a short All view; the paging buttons
    // lie over the bottom of the page, which leaves them the room.
    const int pageHeight = std::max(height(), kLayoutMinHeight) - kPageTop;
    pcMain->resize(kWindowWidth, pageHeight);
    for (const TViewEntry& view : m_views) {
        view.Page->setGeometry(pcMain->rect());
    }
    // At once, also while the window is hidden: the lists' rows and the Lite height depend on it.
    m_mainPage->Arrange();
    m_remindersPage->Arrange();
    m_usagePage->Arrange();
    btnBack->move(10, height() - kPagingBarHeight + 4);
    btnNext->move(kWindowWidth - 10 - btnNext->width(), height() - kPagingBarHeight + 4);
    btnBack->raise();
    btnNext->raise();
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    TfrmBase::resizeEvent(event);
    if (m_usagePage) {
        PagesLayout();
    }
}

void TfrmMain::showEvent(QShowEvent* event)
{
    // The tool window's type keeps most task bars away; the state says it to all of them. It is
    // set on every show because window managers drop it whenever the window is hidden.
    if (m_windowSystem) {
        m_windowSystem->WindowTaskbarSkipSet(winId());
    }
    TfrmBase::showEvent(event);
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    // Closing never ends the program: the window goes to the tray instead.
    event->ignore();
    if (isEnabled()) {
        ApplicationMinimize();
    }
}

void TfrmMain::reject()
{
    actMinimize->trigger();
}

void TfrmMain::changeEvent(QEvent* event)
{
    TfrmBase::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        // A window manager's minimise puts the window in the tray like the program's own.
        QTimer::singleShot(0, this, [this] {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            ApplicationMinimize();
        });
    }
}

void TfrmMain::tmrUsageTimer()
{
    if (Paused()) {
        return;
    }
    MainListRefresh();
}

void TfrmMain::MainListRefresh()
{
    m_mainPage->ListShow(Logger().TodayItems());
}

void TfrmMain::UsageChartShow()
{
    if (!m_reports) {
        // A window of its own, not the main window's child, so docking and auto-hide leave it be.
        m_reports = new TfrmReports(m_usagePage->PeriodIndex(), OptionsInstance().TimeLimitSeconds);
        // Beside this window, which stays on top, on whichever side has the room.
        const QRect area = screen()->availableGeometry();
        const QRect self = frameGeometry();
        const int room = std::max(self.left() - area.left(), area.right() - self.right()) - 20;
        m_reports->resize(std::clamp(room, m_reports->minimumWidth(), m_reports->width()),
            std::min(m_reports->height(), area.height() - 40));
        const bool left = self.left() - area.left() >= area.right() - self.right();
        const int x = left ? std::max(area.left(), self.left() - m_reports->width() - 10)
                           : std::min(area.right() - m_reports->width(), self.right() + 10);
        m_reports->move(x, area.top() + (area.height() - m_reports->height()) / 2);
    } else {
        m_reports->PeriodSet(m_usagePage->PeriodIndex());
    }
    m_reports->show();
    m_reports->raise();
    m_reports->activateWindow();
}

void TfrmMain::UsageListRefresh()
{
    const TDateRange range = UsagePeriodRange(m_usagePage->PeriodIndex(), ProgramNow());
    m_usagePage->ListRelease();
    Logger().UsageItemsLoad(false, range.From, range.To);
    m_usagePage->ListShow(Logger().UsageItems());
}

void TfrmMain::MainTimeUpdate()
{
    const TTimeLineTexts texts
        = MainTimeLineGet(TimeFormat, Logger().Total, OptionsInstance().TimeLimitSeconds, ProgramNow());
    m_timeLines->TimeLineSet(texts);
}

void TfrmMain::FocusTimeUpdate()
{
    const TDateTime now = FocusClockRead(State);
    if (!InFocus(State, now)) {
        return;
    }
    const TTimeLineTexts texts = FocusTimeLineGet(FocusTimeFormat, State.FocusStart, State.FocusDuration, now);
    m_timeLines->FocusValueSet(QString::fromStdString(texts.Value));
}

void TfrmMain::NormalTimeDisplayShow()
{
    if (!m_timeLines->FocusShown() && FocusTimeFormat == 0) {
        return;
    }
    m_timeLines->FocusShow(false);
    FocusTimeFormat = 0;
    const TDateTime now = FocusClockRead(State);
    m_timeLines->FocusLineSet(FocusTimeLineGet(0, State.FocusStart, State.FocusDuration, now));
}

void TfrmMain::ActionFieldsUpdate()
{
    TOptions& options = OptionsInstance();
    m_mainPage->ActionFieldsSet(QString::fromStdString(DurationText(static_cast<int64_t>(options.TimeLimitSeconds))),
        QString::fromStdString(options.ExpirationActionName()));
}

void TfrmMain::DailyReset()
{
    if (m_scan) {
        m_scan->TimeUp().DailyRearm();
    }
    // The rows point into the logger's lists, which the reset empties and frees: they go first,
    // so nothing can draw a row whose entry is gone, even when the reset fails half-way.
    m_mainPage->ListRelease();
    m_usagePage->ListRelease();
    DailyResetAccountingRun(OptionsInstance(), WindowPreferences().File(), m_logger);
    ActionFieldsUpdate();
    m_mainPage->ListShow(Logger().TodayItems());
    m_usagePage->ListShow(Logger().UsageItems());
    MainTimeUpdate();
}

void TfrmMain::AppDelete()
{
    QString caption;
    const TMonitoredItem* entry = m_mainPage->ChosenEntry(caption);
    if (!entry) {
        return;
    }
    // A copy: the row's entry lives in the day's account, which the windows the command opens
    // let timers refill or renew.
    TMonitoredItem chosen;
    chosen.ItemAssign(*entry);
    m_listCommands->Delete(chosen, caption);
}

void TfrmMain::AppAdd()
{
    m_listCommands->Add();
}

void TfrmMain::SettingsRun()
{
    tmrSaveOptions->stop();
    bool accepted = false;
    try {
        accepted = SettingsWizardRun && SettingsWizardRun(false);
    } catch (...) {
        tmrSaveOptions->start();
        m_listCommands->AdminModeLeave();
        throw;
    }
    tmrSaveOptions->start();
    m_listCommands->AdminModeLeave();
    if (!accepted) {
        return;
    }
    RemindersLoad();
    ReminderComboMarksUpdate();
    ActionFieldsUpdate();
    m_mainPage->ListRelease();
    Logger().TodayItemsLoad(false);
    MainListRefresh();
    ApplyTransparency(Appearance().TransparencyGet());
    ApplyColor(ColorFromNumber(Appearance().BackgroundColorGet()));
    ApplyTextColor(ColorFromNumber(Appearance().TextColorGet()));
    // The wizard may have chosen another picture.
    AppearanceMenu->SkinMenuBuild();
    update();
}

void TfrmMain::tmrScanTimer()
{
    OptionsInstance().UnsavedChangesRetry();
    // Charges that wait for the activity database go in before the tick's own, also when no
    // listed window comes to the front again (the notice that they wait may be in front).
    ActivityChargesWaitingWrite();
    if (m_scan) {
        m_scan->TickRun(); // the notices follow when the tick has ended
        return;
    }
    StoredDataNoticeShow();
    // Nothing to sample on this desktop; the day still turns over.
    if (Paused()) {
        return;
    }
    PartOfDayUpdate();
    if (ProgramNow() > OptionsInstance().ResetDateTime) {
        DailyResetWhenFree();
    }
}

void TfrmMain::DailyResetWhenFree()
{
    // A modal window's loop runs the timers, and the code that opened the window may hold
    // entries the reset frees (the row a delete confirms, the list a wizard works on). The
    // reset therefore waits until every modal window has closed and that code has finished.
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
        m_dailyResetWaiting = false;
        DailyReset();
        return;
    }
    if (m_dailyResetWaiting) {
        return;
    }
    m_dailyResetWaiting = true;
    // The watch belongs to the modal window, which may outlive this one at the program's end.
    new TModalEndWatch(modal, [window = QPointer<TfrmMain>(this)] {
        if (!window) {
            return;
        }
        // Queued: it runs after the code around the closed window's loop has returned.
        QTimer::singleShot(0, window, [window] {
            window->m_dailyResetWaiting = false;
            if (!window->Paused() && ProgramNow() > OptionsInstance().ResetDateTime) {
                window->DailyResetWhenFree();
            }
        });
    });
}

void TfrmMain::AccessibilityNoticeShow()
{
    // A browser whose pages cannot be read is told once, after the scan, so the message's own
    // loop never runs inside the scan and the scan timer goes on meanwhile.
    const std::string notice = m_accessibility ? m_accessibility->UserNoticeTake() : std::string();
    if (!notice.empty()) {
        QTimer::singleShot(0, this,
            [this, text = QString::fromStdString(notice)] { MessageShow(text, QStringLiteral("Please Note")); });
    }
}

void TfrmMain::StoredDataNoticeShow()
{
    // What the stores could not keep as the user left it (a damaged file set aside, changes that
    // cannot be written) is told once, in one message, after the current step.
    const std::string notice = UserNoticesTake();
    if (!notice.empty()) {
        QTimer::singleShot(0, this,
            [this, text = QString::fromStdString(notice)] { MessageShow(text, QStringLiteral("Please Note")); });
    }
}

void TfrmMain::tmrTimeTimer()
{
    if (Paused()) {
        return;
    }
    MainTimeUpdate();
    FocusTimeUpdate();
}

void TfrmMain::SessionEndSave()
{
    if (m_scan) {
        m_scan->EndCharge();
    }
    OptionsInstance().OptionsSave();
}

void TfrmMain::tmrSaveOptionsTimer()
{
    if (Paused()) {
        return;
    }
    OptionsInstance().OptionsSave();
}

void TfrmMain::tmrReminderChangeTimer()
{
    Reminders->tmrReminderChangeTimer();
}

void TfrmMain::tmrReminderOnlyTimer()
{
    if (Paused()) {
        return;
    }
    if (m_scan) {
        m_scan->TimeUp().ReminderOnlyTimerRun(Paused());
    }
}

void TfrmMain::tmrShutdownTimer()
{
    // Keeps working while paused. The program ends the normal way, saving the settings.
    tmrShutdown->stop();
    const bool found = UninstallFlagExists(DataLocations().ProgramFolder);
    tmrShutdown->start();
    if (found) {
        LogMessageWrite("The uninstall flag was found; the program ends");
        // exit(), as for actExit: quit() first asks the windows to close, and this one refuses.
        QApplication::exit(0);
    }
}

void TfrmMain::tmrTimeSynchronizationTimer()
{
    // Keeps working while paused: the clock must stay right through a locked session.
    ClockResynchronize();
}

void TfrmMain::PartOfDayUpdate()
{
    Reminders->PartOfDayUpdate();
}

void TfrmMain::RemindersLoad()
{
    Reminders->RemindersLoad();
}

void TfrmMain::ReminderComboMarksUpdate()
{
    Reminders->ComboMarksUpdate();
}

void TfrmMain::SessionLockedChanged(bool locked)
{
    m_sessionPause->SessionLockedChanged(locked);
}

void TfrmMain::SleepingChanged(bool sleeping)
{
    m_sessionPause->SleepingChanged(sleeping);
}

void TfrmMain::FocusRun()
{
    TMonitoredList result;
    TDateTime duration = 0;
    bool started = false;
    // What the user added is kept however the window ends.
    try {
        started = FocusSettingsRun && FocusSettingsRun(result, duration);
    } catch (...) {
        m_listCommands->FocusResultMerge(result);
        throw;
    }
    m_listCommands->FocusResultMerge(result);
    if (!started) {
        return;
    }
    FocusPeriodStart(State, duration);
    FocusDisplayOn();
}

void TfrmMain::FocusDisplayOn()
{
    const TDateTime now = FocusClockRead(State);
    const TTimeLineTexts texts = FocusTimeLineGet(FocusTimeFormat, State.FocusStart, State.FocusDuration, now);
    m_timeLines->FocusLineSet(texts);
    FocusTimeUpdate();
    m_timeLines->FocusShow(true);
}

void TfrmMain::TimeEditRun()
{
    if (!m_listCommands->ChangeRightsCheck()) {
        return;
    }
    if (!ReminderSettingsRun || !ReminderSettingsRun()) {
        return;
    }
    OptionsInstance().OptionsSave();
    ActionFieldsUpdate();
}
