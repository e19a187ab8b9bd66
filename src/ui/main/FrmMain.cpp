#include "ui/main/FrmMain.h"

#include "ui/main/AppearanceMenu.h"
#include "ui/main/DockSettings.h"
#include "ui/main/FrmFocusSettings.h"
#include "ui/main/FrmReminder.h"
#include "ui/main/FrmReminderSettings.h"
#include "ui/main/FrmReports.h"
#include "ui/main/HotkeyWatch.h"
#include "ui/main/MainDisplay.h"
#include "ui/main/MainWindowDock.h"
#include "ui/main/MainWindowSeams.h"
#include "ui/main/MonitoredRowDelegate.h"
#include "ui/main/Reminders.h"
#include "ui/main/TrayIcon.h"

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
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QStackedWidget>
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
        throw EOSError("The computer cannot be shut down: no session service is available");
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

constexpr int kWindowWidth = 327;
constexpr int kPageTop = 88;
// Below this the pages are laid out as if the window were this tall, so the controls that Lite
// view cuts off keep a sane place.
constexpr int kLayoutMinHeight = 520;
constexpr int kPagingBarHeight = 40;

// Clicks on a label run an action, as the link labels of the time lines do.
class TLabelClick : public QObject
{
public:
    TLabelClick(QLabel* label, QAction* action)
        : QObject(label)
        , m_action(action)
    {
        label->installEventFilter(this);
        label->setCursor(Qt::PointingHandCursor);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease
            && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            m_action->trigger();
            return true;
        }
        return false;
    }

private:
    QAction* m_action;
};

QLabel* LabelMake(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setTextFormat(Qt::PlainText);
    LabelOnBackgroundSet(label);
    return label;
}

TImageButton* ButtonMake(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    auto* button = new TImageButton(parent);
    button->setObjectName(name);
    button->SkinSet(QStringLiteral("button"));
    button->SideWidthSet(6);
    button->SideHeightSet(6);
    button->setText(text);
    button->setGeometry(geometry);
    return button;
}

// A combo box with the skinned drop button in place of its own arrow.
QComboBox* ComboMake(
    QWidget* parent, const QString& name, const QRect& geometry, TImageButton*& dropButton, const QString& buttonName)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setGeometry(geometry);
    dropButton = new TImageButton(parent);
    dropButton->setObjectName(buttonName);
    dropButton->SkinSet(QStringLiteral("combo"));
    dropButton->SideWidthSet(6);
    dropButton->SideHeightSet(6);
    dropButton->setGeometry(geometry.right() - 25, geometry.top() + 1, 26, geometry.height() - 2);
    QObject::connect(dropButton, &TImageButton::clicked, combo, &QComboBox::showPopup);
    return combo;
}

QPlainTextEdit* MemoMake(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setGeometry(geometry);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes to the next control; a reminder is lines, not a table.
    memo->setTabChangesFocus(true);
    QFont font = memo->font();
    font.setBold(false);
    memo->setFont(font);
    return memo;
}

TImagePanel* HeaderPanelMake(QWidget* parent, const QString& name, const QRect& geometry, QLabel*& label,
    const QString& labelName, const QString& text)
{
    auto* panel = new TImagePanel(parent);
    panel->setObjectName(name);
    panel->TransparentSet(false);
    panel->ColorSet(QColor(0xE4, 0xE4, 0xE4));
    panel->setGeometry(geometry);
    label = new QLabel(text, panel);
    label->setObjectName(labelName);
    label->setGeometry(0, 0, geometry.width(), geometry.height());
    label->setAlignment(Qt::AlignCenter);
    return panel;
}

QListWidget* ListBoxMake(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* listBox = new QListWidget(parent);
    listBox->setObjectName(name);
    listBox->setGeometry(geometry);
    listBox->setFrameShape(QFrame::NoFrame);
    listBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listBox->setUniformItemSizes(true);
    QPalette listPalette = listBox->palette();
    listPalette.setColor(QPalette::Base, Qt::white);
    listPalette.setColor(QPalette::Text, QColor::fromRgb(kRowTextColor));
    listBox->setPalette(listPalette);
    QFont font = listBox->font();
    font.setPixelSize(11);
    font.setBold(false);
    listBox->setFont(font);
    return listBox;
}

QLineEdit* FieldMake(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    edit->setReadOnly(true);
    return edit;
}

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
    void ErrorShow(std::exception_ptr error) override
    {
        std::rethrow_exception(error); // to the program's error report, from the event loop
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
    , AddWizardRun(AddWizardExecute)
    , AdminPasswordAsk(AdminPasswordAskExecute)
    , DeleteConfirm(&TfrmBase::ConfirmDelete)
    , MessageShow(&TfrmBase::ShowMessage)
    , ReminderWindowRun(
          [this](bool inFocus, bool fiveMinuteOffer) { return TfrmReminder::Execute(this, inFocus, fiveMinuteOffer); })
    , FocusSettingsRun([this](TMonitoredList& result, TDateTime& duration) {
        return TfrmFocusSettings::Execute(
            result,
            [this](TMonitoredList& added) {
                if (ChangeRightsCheck() && AddWizardRun) {
                    AddWizardRun(added);
                }
            },
            duration);
    })
    , ReminderSettingsRun(&TfrmReminderSettings::Execute)
{
    // 1. The skinned window: a tool window without a task-bar entry (see showEvent).
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

    // 2. The session's news of locking and sleeping.
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
    m_sessionPower->ListenerSet({ [this](bool locked) { SessionLockedChanged(locked); },
        [this](bool sleeping) { SleepingChanged(sleeping); } });
    // 3.
    State = TEnforcementState();
    ReminderChangeShowing = false;
    btnFocus->setText(QStringLiteral("Focus"));
    for (QWidget* control : { static_cast<QWidget*>(btnTimeEdit), static_cast<QWidget*>(lblAction),
             static_cast<QWidget*>(edtAction), pnlAction }) {
        control->setVisible(true);
    }

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
    // The skin list and its menu: step 12.

    // 5. Minimise and restore: see changeEvent. 6.
    TrayIconAdd(desktop.HotkeySource && desktop.HotkeySource->CanWatchKeys() ? desktop.HotkeySource->HotkeyNameGet()
                                                                             : std::string());

    // 7.
    TimeFormat = 0;
    FocusTimeFormat = 0;

    // 8.
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

    // 9. The program always starts in Lite view; 10. at the stored edge.
    ViewSwitch(tsMain, true);
    Dock->Start();

    // 11.
    tmrReminderChange->start();
    // 12. The picture dialog starts in the skins folder, which also fills the skin menu.
    AppearanceMenu = new TAppearanceMenu(this,
        { miBackgroundColor, miSkin, miBackgroundImage, miClearBackgroundImage, miTransparency, miTextColor },
        SkinsFolder());
    AppearanceMenu->AdministratorModeLeave = [this] { AdminModeLeave(); };
    // 13.
    MainListRefresh();
    // 14.
    LastPartOfDay = 255;
    PartOfDayUpdate();
    // 15.
    State.FocusEnd = ProgramNow();
    // 16. The hot key: Alt twice, as a click on the tray icon. No press is waiting for its pair
    // yet, so a single press right after the start does nothing.
    Hotkey = new THotkeyWatch(desktop.HotkeySource, this);
    connect(Hotkey, &THotkeyWatch::PairPressed, this, &TfrmMain::TrayIconClick);
    State.FiveMinuteOffer = WindowPreferences().Show5MinButtonGet();
    // 17.
    options.ActivityPurge();
    StoredDataNoticeShow();
    // 18. The window starts in the tray; without a tray it would be out of reach, so it shows.
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
    lbxMain_Applications->clear();
    lbxUsage_Applications->clear();
    // The worker ends first: a close it was asked for still goes out.
    m_scan.reset();
    m_logger.reset();
}

void TfrmMain::ControlsCreate()
{
    // Header buttons.
    btnView = ButtonMake(pnlHeader, QStringLiteral("btnView"), QStringLiteral("View"), QRect(199, 5, 46, 22));
    btnLinks = ButtonMake(pnlHeader, QStringLiteral("btnLinks"), QStringLiteral("Tools"), QRect(248, 5, 46, 22));
    btnMinimize = ButtonMake(pnlHeader, QStringLiteral("btnMinimize"), QStringLiteral("_"), QRect(297, 5, 24, 22));
    btnView->setToolTip(QStringLiteral("View Mode"));
    btnLinks->setToolTip(QStringLiteral("Tools"));
    btnMinimize->setToolTip(QStringLiteral("Minimize"));

    // The time lines share one place; the focus line replaces the other during a focus period.
    QFont valueFont = font();
    valueFont.setPixelSize(18);
    pnlMain_TimeOnline = new QWidget(this);
    pnlMain_TimeOnline->setObjectName(QStringLiteral("pnlMain_TimeOnline"));
    pnlMain_TimeOnline->setGeometry(8, 38, 200, 26);
    lblMain_TimeTitle
        = LabelMake(pnlMain_TimeOnline, QStringLiteral("lblMain_TimeTitle"), QString(), QRect(4, 4, 100, 20));
    // The value's larger font needs the panel's whole height.
    lblMain_Time = LabelMake(pnlMain_TimeOnline, QStringLiteral("lblMain_Time"), QString(), QRect(110, 0, 80, 26));
    lblMain_Time->setFont(valueFont);
    lblMain_TimeLink = LabelMake(this, QStringLiteral("lblMain_TimeLink"), QString(), QRect(12, 64, 200, 18));
    pnlMain_FocusTime = new QWidget(this);
    pnlMain_FocusTime->setObjectName(QStringLiteral("pnlMain_FocusTime"));
    pnlMain_FocusTime->setGeometry(8, 38, 200, 26);
    lblMain_FocusTimeTitle
        = LabelMake(pnlMain_FocusTime, QStringLiteral("lblMain_FocusTimeTitle"), QString(), QRect(4, 4, 110, 20));
    lblMain_FocusTime
        = LabelMake(pnlMain_FocusTime, QStringLiteral("lblMain_FocusTime"), QString(), QRect(120, 0, 80, 26));
    lblMain_FocusTime->setFont(valueFont);
    lblMain_FocusModeTimeLink
        = LabelMake(this, QStringLiteral("lblMain_FocusModeTimeLink"), QString(), QRect(12, 64, 200, 18));
    pnlMain_FocusTime->hide();
    lblMain_FocusModeTimeLink->hide();
    for (QLabel* link : { lblMain_TimeLink, lblMain_FocusModeTimeLink }) {
        QFont linkFont = link->font();
        linkFont.setUnderline(true);
        linkFont.setBold(false);
        linkFont.setPixelSize(11);
        link->setFont(linkFont);
    }
    btnFocus = ButtonMake(this, QStringLiteral("btnFocus"), QStringLiteral("Focus"), QRect(243, 40, 76, 26));

    pcMain = new QStackedWidget(this);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    pcMain->setGeometry(0, kPageTop, kWindowWidth, kLayoutMinHeight);
    pcMain->hide();
    tsMain = new QWidget(pcMain);
    tsMain->setObjectName(QStringLiteral("tsMain"));
    tsReminder = new QWidget(pcMain);
    tsReminder->setObjectName(QStringLiteral("tsReminder"));
    tsUsage = new QWidget(pcMain);
    tsUsage->setObjectName(QStringLiteral("tsUsage"));
    for (QWidget* page : { tsMain, tsReminder, tsUsage }) {
        pcMain->addWidget(page);
    }

    // tsMain: the reminder of the part of the day; what Lite view shows ends with it.
    pnlReminder = new QWidget(tsMain);
    pnlReminder->setObjectName(QStringLiteral("pnlReminder"));
    pnlReminder->setGeometry(0, 0, kWindowWidth, 118);
    lblReminder = LabelMake(
        pnlReminder, QStringLiteral("lblReminder"), QStringLiteral("Things to do this:"), QRect(10, 3, 140, 18));
    cbxReminder = ComboMake(pnlReminder, QStringLiteral("cbxReminder"), QRect(157, 0, 160, 22), btnReminderCombo,
        QStringLiteral("btnReminderCombo"));
    cbxReminder->addItems({ QStringLiteral("Morning"), QStringLiteral("Afternoon"), QStringLiteral("Evening") });
    ComboClip(cbxReminder);
    mmReminder = MemoMake(pnlReminder, QStringLiteral("mmReminder"), QRect(10, 28, 307, 88));

    lblApplications = LabelMake(tsMain, QStringLiteral("lblApplications"), QStringLiteral("Sites/Apps to time limit:"),
        QRect(10, 134, 220, 18));
    btnApp_Add = ButtonMake(tsMain, QStringLiteral("btnApp_Add"), QStringLiteral("+"), QRect(265, 132, 24, 20));
    btnApp_Delete = ButtonMake(tsMain, QStringLiteral("btnApp_Delete"), QStringLiteral("-"), QRect(293, 132, 24, 20));
    btnApp_Add->setToolTip(QStringLiteral("Add"));
    btnApp_Delete->setToolTip(QStringLiteral("Delete"));
    pnlApp_Name = HeaderPanelMake(tsMain, QStringLiteral("pnlApp_Name"), QRect(10, 156, 190, 18), lblApp_Name,
        QStringLiteral("lblApp_Name"), "Name");
    pnlApp_Type = HeaderPanelMake(tsMain, QStringLiteral("pnlApp_Type"), QRect(200, 156, 50, 18), lblApp_Type,
        QStringLiteral("lblApp_Type"), "Type");
    pnlApp_Time = HeaderPanelMake(tsMain, QStringLiteral("pnlApp_Time"), QRect(250, 156, 67, 18), lblApp_Time,
        QStringLiteral("lblApp_Time"), "Time");
    lbxMain_Applications = ListBoxMake(tsMain, QStringLiteral("lbxMain_Applications"), QRect(10, 174, 307, 200));
    lbxMain_Applications->setItemDelegate(
        new TMonitoredRowDelegate(pnlApp_Name, pnlApp_Type, kMainRowHeight, lbxMain_Applications));

    pnlAction = new QWidget(tsMain);
    pnlAction->setObjectName(QStringLiteral("pnlAction"));
    pnlAction->setGeometry(0, 380, kWindowWidth, 50);
    lblAction = LabelMake(pnlAction, QStringLiteral("lblAction"), QStringLiteral("Action when time limit is reached:"),
        QRect(10, 0, 300, 18));
    edtAction = FieldMake(pnlAction, QStringLiteral("edtAction"), QRect(10, 22, 225, 24));
    btnTimeEdit = ButtonMake(pnlAction, QStringLiteral("btnTimeEdit"), QStringLiteral("Edit"), QRect(243, 21, 74, 26));
    lblTimeLimit
        = LabelMake(tsMain, QStringLiteral("lblTimeLimit"), QStringLiteral("Time Limit:"), QRect(10, 438, 100, 18));
    edtTimeLimit = FieldMake(tsMain, QStringLiteral("edtTimeLimit"), QRect(10, 460, 90, 24));

    // tsReminder: the three reminders.
    lblReminderMorning = LabelMake(
        tsReminder, QStringLiteral("lblReminderMorning"), QStringLiteral("This Morning:"), QRect(10, 0, 200, 18));
    mmReminderMorning = MemoMake(tsReminder, QStringLiteral("mmReminderMorning"), QRect(10, 20, 307, 100));
    lblReminderAfternoon = LabelMake(
        tsReminder, QStringLiteral("lblReminderAfternoon"), QStringLiteral("This Afternoon:"), QRect(10, 126, 200, 18));
    mmReminderAfrernoon = MemoMake(tsReminder, QStringLiteral("mmReminderAfrernoon"), QRect(10, 146, 307, 100));
    lblReminderEvening = LabelMake(
        tsReminder, QStringLiteral("lblReminderEvening"), QStringLiteral("This Evening:"), QRect(10, 252, 200, 18));
    mmReminderEvening = MemoMake(tsReminder, QStringLiteral("mmReminderEvening"), QRect(10, 272, 307, 100));

    // tsUsage: the time spent over a chosen period.
    cbxUsage_Period = ComboMake(tsUsage, QStringLiteral("cbxUsage_Period"), QRect(10, 0, 227, 22), btnComboUsagePeriod,
        QStringLiteral("btnComboUsagePeriod"));
    btnUsageChart
        = ButtonMake(tsUsage, QStringLiteral("btnUsageChart"), QStringLiteral("Chart"), QRect(243, -2, 76, 26));
    for (int i = 0; i < kUsagePeriodCount; ++i) {
        cbxUsage_Period->addItem(QString::fromLatin1(UsagePeriodName(i)));
    }
    cbxUsage_Period->setCurrentIndex(0);
    lblUsage_Title = LabelMake(tsUsage, QStringLiteral("lblUsage_Title"),
        QStringLiteral("Time spent on these applications/websites:"), QRect(10, 30, 307, 18));
    pnlHeader_Name = HeaderPanelMake(tsUsage, QStringLiteral("pnlHeader_Name"), QRect(10, 52, 190, 18), lblHeader_Name,
        QStringLiteral("lblHeader_Name"), "Name");
    pnlHeader_Type = HeaderPanelMake(tsUsage, QStringLiteral("pnlHeader_Type"), QRect(200, 52, 50, 18), lblHeader_Type,
        QStringLiteral("lblHeader_Type"), "Type");
    pnlHeader_Time = HeaderPanelMake(tsUsage, QStringLiteral("pnlHeader_Time"), QRect(250, 52, 67, 18), lblHeader_Time,
        QStringLiteral("lblHeader_Time"), "Time");
    lbxUsage_Applications = ListBoxMake(tsUsage, QStringLiteral("lbxUsage_Applications"), QRect(10, 70, 307, 300));
    // The same drawing as the main list, columns and all.
    lbxUsage_Applications->setItemDelegate(
        new TMonitoredRowDelegate(pnlApp_Name, pnlApp_Type, kUsageRowHeight, lbxUsage_Applications));
    connect(cbxUsage_Period, &QComboBox::currentIndexChanged, this, [this] { UsageListRefresh(); });
    connect(btnUsageChart, &TImageButton::clicked, this, &TfrmMain::UsageChartShow);

    btnBack = ButtonMake(this, QStringLiteral("btnBack"), QStringLiteral("< Back"), QRect(10, 560, 90, 28));
    btnNext = ButtonMake(this, QStringLiteral("btnNext"), QStringLiteral("Next >"), QRect(227, 560, 90, 28));
    connect(btnBack, &TImageButton::clicked, this, &TfrmMain::PageBack);
    connect(btnNext, &TImageButton::clicked, this, &TfrmMain::PageNext);
    connect(btnApp_Add, &TImageButton::clicked, this, &TfrmMain::AppAdd);
    connect(btnApp_Delete, &TImageButton::clicked, this, &TfrmMain::AppDelete);
    connect(btnFocus, &TImageButton::clicked, this, &TfrmMain::FocusRun);
}

void TfrmMain::ActionsCreate()
{
    const auto make = [this](const QString& name, const QString& text) {
        auto* action = new QAction(text, this);
        action->setObjectName(name);
        return action;
    };
    actExit = make(QStringLiteral("actExit"), QStringLiteral("&Exit"));
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
    actView = make(QStringLiteral("actView"), QStringLiteral("View Mode"));
    connect(actView, &QAction::triggered, this,
        [this] { pmnView->popup(btnView->mapToGlobal(QPoint(0, btnView->height()))); });
    connect(btnView, &TImageButton::clicked, actView, &QAction::trigger);
    actTools = make(QStringLiteral("actTools"), QStringLiteral("Tools"));
    connect(actTools, &QAction::triggered, this,
        [this] { pmnAddons->popup(btnLinks->mapToGlobal(QPoint(0, btnLinks->height()))); });
    connect(btnLinks, &TImageButton::clicked, actTools, &QAction::trigger);

    m_viewGroup = new QActionGroup(this);
    m_viewGroup->setExclusive(true);
    actViewMain = make(QStringLiteral("actViewMain"), QStringLiteral("All"));
    actViewRemindersOnly = make(QStringLiteral("actViewRemindersOnly"), QStringLiteral("Reminders"));
    actViewUsage = make(QStringLiteral("actViewUsage"), QStringLiteral("Usage"));
    actViewLite = make(QStringLiteral("actViewLite"), QStringLiteral("Lite"));
    for (QAction* view : { actViewMain, actViewRemindersOnly, actViewUsage, actViewLite }) {
        view->setCheckable(true);
        m_viewGroup->addAction(view);
    }
    actViewLite->setChecked(true);
    connect(actViewMain, &QAction::triggered, this, [this] { ViewSwitch(tsMain, false); });
    connect(actViewRemindersOnly, &QAction::triggered, this, [this] { ViewSwitch(tsReminder, false); });
    connect(actViewUsage, &QAction::triggered, this, [this] { ViewSwitch(tsUsage, false); });
    connect(actViewLite, &QAction::triggered, this, [this] { ViewSwitch(tsMain, true); });

    actChangeTimeFormat = make(QStringLiteral("actChangeTimeFormat"), QString());
    connect(actChangeTimeFormat, &QAction::triggered, this, [this] {
        TimeFormat = (TimeFormat + 1) % 3;
        MainTimeUpdate();
    });
    new TLabelClick(lblMain_TimeLink, actChangeTimeFormat);
    actChangeFocusModeTimeFormat = make(QStringLiteral("actChangeFocusModeTimeFormat"), QString());
    connect(actChangeFocusModeTimeFormat, &QAction::triggered, this, [this] {
        FocusTimeFormat = (FocusTimeFormat + 1) % 3;
        const TTimeLineTexts texts
            = FocusTimeLineGet(FocusTimeFormat, State.FocusStart, State.FocusDuration, ProgramNow());
        lblMain_FocusTimeTitle->setText(QString::fromStdString(texts.Title));
        lblMain_FocusModeTimeLink->setText(QString::fromStdString(texts.Link));
        FocusTimeUpdate();
    });
    new TLabelClick(lblMain_FocusModeTimeLink, actChangeFocusModeTimeFormat);

    actTimeEdit = make(QStringLiteral("actTimeEdit"), QStringLiteral("Edit"));
    connect(btnTimeEdit, &TImageButton::clicked, actTimeEdit, &QAction::trigger);
    connect(actTimeEdit, &QAction::triggered, this, &TfrmMain::TimeEditRun);
    actReminderSave = make(QStringLiteral("actReminderSave"), QStringLiteral("Save"));
    actSettings = make(QStringLiteral("actSettings"), QStringLiteral("Settings"));
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
    pmnTray->addAction(actExit);

    pmnView = new QMenu(this);
    pmnView->setObjectName(QStringLiteral("pmnView"));
    pmnView->addAction(QStringLiteral("Choose View:"))->setEnabled(false);
    pmnView->addSeparator();
    for (QAction* view : { actViewMain, actViewRemindersOnly, actViewUsage, actViewLite }) {
        pmnView->addAction(view);
    }

    pmnAddons = new QMenu(this);
    pmnAddons->setObjectName(QStringLiteral("pmnAddons"));
    pmnAddons->addAction(actAutohide);
    pmnAddons->addAction(actSettings);
    miHelp = pmnAddons->addAction(QStringLiteral("Help"));
    miHelp->setObjectName(QStringLiteral("miHelp"));
    connect(miHelp, &QAction::triggered, this, [] { OpenWebPage(SitePageAddress(QStringLiteral("/help"))); });
    pmnAddons->addSeparator();
    QMenu* links = pmnAddons->addMenu(QStringLiteral("Useful Links"));
    miFAQs = links->addAction(QStringLiteral("Help"));
    miFAQs->setObjectName(QStringLiteral("miFAQs"));
    connect(miFAQs, &QAction::triggered, this, [] { OpenWebPage(SitePageAddress(QStringLiteral("/help"))); });
    miUpgrades = links->addAction(QStringLiteral("Updates"));
    miUpgrades->setObjectName(QStringLiteral("miUpgrades"));
    connect(miUpgrades, &QAction::triggered, this, [] { OpenWebPage(SitePageAddress(QStringLiteral("/download"))); });
    pmnAddons->addSeparator();
    // The appearance commands: TAppearanceMenu runs them (creation step 12).
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
    hooks.LiteHeightGet = [this] { return pnlReminder->mapTo(this, QPoint(0, pnlReminder->height())).y() + 10; };
    hooks.ApplicationMinimize = [this] { ApplicationMinimize(); };
    hooks.ApplicationRestore = [this] { ApplicationRestore(); };
    Dock = new TMainWindowDock(this, dockSettings, hooks, this);
    tmrAutohide = Dock->tmrAutohide;
    tmrAutohideSlide = Dock->tmrAutohideSlide;
    tmrDeactivation = Dock->tmrDeactivation;

    TReminderController::TControls controls { cbxReminder, mmReminder, mmReminderMorning, mmReminderAfrernoon,
        mmReminderEvening };
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

QWidget* TfrmMain::ActivePage() const
{
    return pcMain->currentWidget();
}

void TfrmMain::ViewSwitch(QWidget* page, bool lite)
{
    PageChange(page);
    if (page == tsUsage) {
        UsageListRefresh();
    }
    LiteView = lite;
    const int wanted = lite ? pnlReminder->mapTo(this, QPoint(0, pnlReminder->height())).y() + 10 : WorkArea().height();
    if (wanted != height()) {
        resize(width(), wanted);
        Reposition();
    }
    PagesLayout();
    btnBack->setVisible(page != tsMain);
    btnNext->setVisible(page != tsMain);
    QAction* checked = page == tsReminder ? actViewRemindersOnly
        : page == tsUsage                 ? actViewUsage
        : lite                            ? actViewLite
                                          : actViewMain;
    checked->setChecked(true);
}

void TfrmMain::PageNext()
{
    const int next = (pcMain->currentIndex() + 1) % pcMain->count();
    ViewSwitch(pcMain->widget(next), false);
}

void TfrmMain::PageBack()
{
    const int back = (pcMain->currentIndex() + pcMain->count() - 1) % pcMain->count();
    ViewSwitch(pcMain->widget(back), false);
}

void TfrmMain::Reposition()
{
    Dock->LiteViewSet(LiteView);
    Dock->Reposition();
    const TWorkArea& area = Dock->WorkAreaRemembered();
    m_workArea = QRect(area.Left, area.Top, area.Width(), area.Height());
}

bool TfrmMain::CanMoveTo(int left, int top)
{
    // The window is only ever placed by the docking rule; a drag may move it to the other edge.
    Dock->LiteViewSet(LiteView);
    return Dock->CanMoveTo(left, top);
}

void TfrmMain::PagePlace(QWidget* control, const QRect& pageRect)
{
    control->setGeometry(control->parentWidget() == this ? pageRect.translated(pcMain->pos()) : pageRect);
}

void TfrmMain::PagesLayout()
{
    const int pageHeight = std::max(height(), kLayoutMinHeight) - kPageTop;
    pcMain->resize(kWindowWidth, pageHeight);
    // tsMain: the list takes what the action and limit fields leave.
    const int limitTop = pageHeight - 56;
    const int actionTop = limitTop - 56;
    PagePlace(lblTimeLimit, QRect(10, limitTop, 100, 18));
    PagePlace(edtTimeLimit, QRect(10, limitTop + 22, 90, 24));
    PagePlace(pnlAction, QRect(0, actionTop, kWindowWidth, 50));
    PagePlace(lbxMain_Applications, QRect(10, 174, 307, std::max(32, actionTop - 8 - 174)));
    // tsReminder: three equal memos over the page, above the paging buttons.
    const int third = (pageHeight - kPagingBarHeight) / 3;
    const std::pair<QLabel*, QPlainTextEdit*> reminders[3] = { { lblReminderMorning, mmReminderMorning },
        { lblReminderAfternoon, mmReminderAfrernoon }, { lblReminderEvening, mmReminderEvening } };
    for (int i = 0; i < 3; ++i) {
        PagePlace(reminders[i].first, QRect(10, i * third, 200, 18));
        PagePlace(reminders[i].second, QRect(10, i * third + 20, 307, std::max(30, third - 26)));
    }
    // tsUsage
    PagePlace(lbxUsage_Applications, QRect(10, 70, 307, std::max(32, pageHeight - kPagingBarHeight - 70 - 6)));
    btnBack->move(10, height() - kPagingBarHeight + 4);
    btnNext->move(227, height() - kPagingBarHeight + 4);
    // Ruled rows down to the bottom of the lists' new height, not more: the filler rows of the
    // old height go first, or every resize would add a screenful.
    for (QListWidget* listBox : { lbxMain_Applications, lbxUsage_Applications }) {
        while (listBox->count() > 0 && listBox->item(listBox->count() - 1)->text().isEmpty()
            && !ListBoxItemObject(listBox, listBox->count() - 1)) {
            delete listBox->takeItem(listBox->count() - 1);
        }
        ListBoxRowsFill(listBox);
    }
}

void TfrmMain::TimeLineLayout()
{
    // The labels' own measure: a text's advance can be a pixel short of the ink it draws.
    const int titleWidth = lblMain_TimeTitle->sizeHint().width();
    const int valueWidth = lblMain_Time->sizeHint().width();
    lblMain_TimeTitle->resize(titleWidth, lblMain_TimeTitle->height());
    lblMain_Time->setGeometry(
        lblMain_TimeTitle->x() + titleWidth + 6, lblMain_Time->y(), valueWidth + 4, lblMain_Time->height());
    pnlMain_TimeOnline->resize(titleWidth + valueWidth + 34, pnlMain_TimeOnline->height());
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    TfrmBase::resizeEvent(event);
    if (pcMain && lbxUsage_Applications) {
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

void TfrmMain::ListBoxFillFrom(QListWidget* listBox, TMonitoredList& list)
{
    TListBoxItems sink(listBox);
    ListBoxFill(sink, list, mitAll);
    ListBoxRowsFill(listBox);
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
    ListBoxFillFrom(lbxMain_Applications, Logger().TodayItems());
}

void TfrmMain::UsageChartShow()
{
    if (!m_reports) {
        // A window of its own, not the main window's child, so docking and auto-hide leave it be.
        m_reports = new TfrmReports(cbxUsage_Period->currentIndex(), OptionsInstance().TimeLimitSeconds);
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
        m_reports->PeriodSet(cbxUsage_Period->currentIndex());
    }
    m_reports->show();
    m_reports->raise();
    m_reports->activateWindow();
}

void TfrmMain::UsageListRefresh()
{
    const TDateRange range = UsagePeriodRange(cbxUsage_Period->currentIndex(), ProgramNow());
    lbxUsage_Applications->clear();
    Logger().UsageItemsLoad(false, range.From, range.To);
    ListBoxFillFrom(lbxUsage_Applications, Logger().UsageItems());
}

void TfrmMain::MainTimeUpdate()
{
    const TTimeLineTexts texts
        = MainTimeLineGet(TimeFormat, Logger().Total, OptionsInstance().TimeLimitSeconds, ProgramNow());
    lblMain_TimeTitle->setText(QString::fromStdString(texts.Title));
    lblMain_TimeLink->setText(QString::fromStdString(texts.Link));
    lblMain_Time->setText(QString::fromStdString(texts.Value));
    TimeLineLayout();
}

void TfrmMain::FocusTimeUpdate()
{
    if (ProgramNow() > State.FocusEnd) {
        return;
    }
    const TTimeLineTexts texts = FocusTimeLineGet(FocusTimeFormat, State.FocusStart, State.FocusDuration, ProgramNow());
    lblMain_FocusTime->setText(QString::fromStdString(texts.Value));
}

void TfrmMain::NormalTimeDisplayShow()
{
    if (pnlMain_FocusTime->isHidden() && FocusTimeFormat == 0) {
        return;
    }
    pnlMain_FocusTime->hide();
    lblMain_FocusModeTimeLink->hide();
    pnlMain_TimeOnline->show();
    lblMain_TimeLink->show();
    btnFocus->show();
    FocusTimeFormat = 0;
    const TTimeLineTexts texts = FocusTimeLineGet(0, State.FocusStart, State.FocusDuration, ProgramNow());
    lblMain_FocusTimeTitle->setText(QString::fromStdString(texts.Title));
    lblMain_FocusModeTimeLink->setText(QString::fromStdString(texts.Link));
}

void TfrmMain::ActionFieldsUpdate()
{
    TOptions& options = OptionsInstance();
    edtTimeLimit->setText(QString::fromStdString(DurationText(static_cast<int64_t>(options.TimeLimitSeconds))));
    edtAction->setText(QString::fromStdString(options.ExpirationActionName()));
}

void TfrmMain::DailyReset()
{
    if (m_scan) {
        m_scan->TimeUp().DailyRearm();
    }
    // The rows point into the logger's lists, which the reset empties and frees: they go first,
    // so nothing can draw a row whose entry is gone, even when the reset fails half-way.
    lbxMain_Applications->clear();
    lbxUsage_Applications->clear();
    DailyResetAccountingRun(OptionsInstance(), WindowPreferences().File(), m_logger);
    ActionFieldsUpdate();
    ListBoxFillFrom(lbxMain_Applications, Logger().TodayItems());
    ListBoxFillFrom(lbxUsage_Applications, Logger().UsageItems());
    MainTimeUpdate();
}

bool TfrmMain::ChangeRightsCheck()
{
    const TOptions& options = OptionsInstance();
    if (ProductEdition > 1 || options.AllowUserToChangeSettings) {
        return true;
    }
    return AdminPasswordAsk && AdminPasswordAsk();
}

void TfrmMain::AdminModeLeave()
{
    OptionsInstance().AdminMode = false;
}

void TfrmMain::AppDelete()
{
    const int row = lbxMain_Applications->currentRow();
    if (row < 0 || lbxMain_Applications->item(row)->text().isEmpty()) {
        return;
    }
    const TMonitoredItem* entry = ListBoxItemObject(lbxMain_Applications, row);
    if (!entry) {
        return;
    }
    // A copy: the row's entry lives in the day's account, which the windows below let timers
    // refill or renew; the entry is named again by its copy when the user has answered.
    TMonitoredItem chosen;
    chosen.ItemAssign(*entry);
    const QString caption = lbxMain_Applications->item(row)->text();
    entry = nullptr;
    if (!ChangeRightsCheck()) {
        return;
    }
    if (!chosen.Active) {
        MessageShow(QString::fromStdString(
                        Format("\"%s\" will be removed from time-limit list after 4:00 AM", chosen.Caption.c_str())),
            QStringLiteral("Please Note"));
        return;
    }
    struct TAdminModeLeave
    {
        TfrmMain* Window;
        ~TAdminModeLeave()
        {
            Window->AdminModeLeave();
        }
    } leave { this };
    if (!DeleteConfirm(caption)) {
        return;
    }
    TOptions& options = OptionsInstance();
    lbxMain_Applications->clear();
    const int mode = options.MonitoredItemDelete(&chosen);
    Logger().MonitoredItemRemove(&chosen, mode);
    options.ListSave();
    MainListRefresh();
}

void TfrmMain::AppAdd()
{
    if (!ChangeRightsCheck()) {
        return;
    }
    struct TAdminModeLeave
    {
        TfrmMain* Window;
        ~TAdminModeLeave()
        {
            Window->AdminModeLeave();
        }
    } leave { this };
    TMonitoredList result;
    if (AddWizardRun) {
        AddWizardRun(result);
    }
    TOptions& options = OptionsInstance();
    // The merge may delete entries the rows point to.
    lbxMain_Applications->clear();
    AddResultMerge(result, options.MonitoredItems(), &Logger().TodayItems(), DataLocations().ProgramFileName);
    options.ListSave();
    MainListRefresh();
}

void TfrmMain::SettingsRun()
{
    tmrSaveOptions->stop();
    bool accepted = false;
    try {
        accepted = SettingsWizardRun && SettingsWizardRun(false);
    } catch (...) {
        tmrSaveOptions->start();
        AdminModeLeave();
        throw;
    }
    tmrSaveOptions->start();
    AdminModeLeave();
    if (!accepted) {
        return;
    }
    RemindersLoad();
    ReminderComboMarksUpdate();
    ActionFieldsUpdate();
    lbxMain_Applications->clear();
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
    LastPartOfDay = static_cast<uint8_t>(Reminders->LastPartOfDay());
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

void TfrmMain::FocusResultMerge(TMonitoredList& result)
{
    TOptions& options = OptionsInstance();
    // The merge may delete entries the rows point to.
    lbxMain_Applications->clear();
    AddResultMerge(result, options.MonitoredItems(), &Logger().TodayItems(), DataLocations().ProgramFileName);
    options.ListSave();
    MainListRefresh();
    AdminModeLeave();
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
        FocusResultMerge(result);
        throw;
    }
    FocusResultMerge(result);
    if (!started) {
        return;
    }
    FocusPeriodStart(ProgramNow(), duration, State.FocusStart, State.FocusDuration, State.FocusEnd);
    FocusDisplayOn();
}

void TfrmMain::FocusDisplayOn()
{
    const TTimeLineTexts texts = FocusTimeLineGet(FocusTimeFormat, State.FocusStart, State.FocusDuration, ProgramNow());
    lblMain_FocusTimeTitle->setText(QString::fromStdString(texts.Title));
    lblMain_FocusModeTimeLink->setText(QString::fromStdString(texts.Link));
    FocusTimeUpdate();
    pnlMain_TimeOnline->hide();
    lblMain_TimeLink->hide();
    btnFocus->hide();
    pnlMain_FocusTime->show();
    lblMain_FocusModeTimeLink->show();
}

void TfrmMain::TimeEditRun()
{
    if (!ChangeRightsCheck()) {
        return;
    }
    if (!ReminderSettingsRun || !ReminderSettingsRun()) {
        return;
    }
    OptionsInstance().OptionsSave();
    ActionFieldsUpdate();
}
