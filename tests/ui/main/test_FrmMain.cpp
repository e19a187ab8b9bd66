#include "ui/main/FrmMain.h"

#include "MainWindowFixture.h"
#include "QtTestMain.h"

#include "ui/framework/ImageButton.h"
#include "ui/framework/ImagePanel.h"
#include "ui/framework/ListBoxItems.h"
#include "ui/main/FrmReports.h"
#include "ui/main/MainDisplay.h"
#include "ui/main/MainWindowDock.h"
#include "ui/main/Reminders.h"

#include "enforce/ScanPipeline.h"
#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/SQLiteDatabase.h"
#include "storage/WindowPreferences.h"
#include "support/ChildFind.h"
#include "support/TestSupport.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/FakeHotkeySource.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPaintEngine>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTimer>

#include <numeric>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

constexpr const char* kEditor = "/usr/bin/editor";

std::string Sep(const std::string& text)
{
    std::string result = text;
    for (char& ch : result) {
        if (ch == ':') {
            ch = TimeSeparator();
        }
    }
    return result;
}

// The list holds two applications and a reminder; deletes are confirmed and messages kept.
class MainWindow : public TMainWindowFixture
{
protected:
    void ListFill(TOptions& options) override
    {
        EntryAdd(kXterm, "XTerm");
        EntryAdd(kEditor, "Editor");
        options.ReminderTextSet(0, "Write the report");
    }

    TfrmMain& Window()
    {
        const bool made = m_window != nullptr;
        TfrmMain& window = WindowMake(nullptr);
        if (!made) {
            window.ListCommands().DeleteConfirm = [this](const QString& caption) {
                m_confirmed.push_back(caption.toStdString());
                return true;
            };
            window.MessageShow = [this](const QString& text, const QString& title) {
                m_messages.push_back(title.toStdString() + "|" + text.toStdString());
            };
        }
        return window;
    }

    // The time-limit list as the main page shows it.
    QListWidget* MainList()
    {
        return Child<QListWidget>(Window(), "lbxMain_Applications");
    }

    static std::string RowsText()
    {
        return TMainWindowFixture::RowsText("app_name, duration, origin");
    }

    static QStringList RowTexts(QListWidget* listBox)
    {
        QStringList texts;
        for (int i = 0; i < listBox->count(); ++i) {
            if (!listBox->item(i)->text().isEmpty()) {
                texts << listBox->item(i)->text();
            }
        }
        return texts;
    }

    std::vector<std::string> m_confirmed;
    std::vector<std::string> m_messages;
};

// A paint device that keeps the texts drawn on it and where, and draws nothing.
class TTextRecorder : public QPaintDevice
{
public:
    struct TText
    {
        QPointF Position;
        QString Text;
    };
    std::vector<TText> Texts() const
    {
        return m_engine.Texts;
    }
    QPaintEngine* paintEngine() const override
    {
        return &m_engine;
    }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
        case PdmHeight:
            return 1000;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(metric);
        }
    }

private:
    class TEngine : public QPaintEngine
    {
    public:
        TEngine()
            : QPaintEngine(AllFeatures)
        {
        }
        bool begin(QPaintDevice*) override
        {
            return true;
        }
        bool end() override
        {
            return true;
        }
        void updateState(const QPaintEngineState&) override
        {
        }
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override
        {
        }
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override
        {
        }
        void drawPath(const QPainterPath&) override
        {
        }
        void drawTextItem(const QPointF& position, const QTextItem& item) override
        {
            Texts.push_back({ position, item.text() });
        }
        Type type() const override
        {
            return User;
        }
        std::vector<TText> Texts;
    };
    mutable TEngine m_engine;
};

} // namespace

TEST_F(MainWindow, TimersRunAtTheirIntervalsAndTheScanAtTheStoredPeriod)
{
    TfrmMain& window = Window();
    struct
    {
        QTimer* Timer;
        int Interval;
        bool Active;
    } expected[] = {
        { window.tmrScan, 5000, true },
        { Child<QTimer>(window, "tmrTime"), 1000, true },
        { Child<QTimer>(window, "tmrUsage"), 12001, true },
        { Child<QTimer>(window, "tmrSaveOptions"), 240025, true },
        { Child<QTimer>(window, "tmrReminderChange"), 100002, true },
        { window.tmrReminderOnly, 300000, false },
        { Child<QTimer>(window, "tmrAutohide"), 3000, false },
        { Child<QTimer>(window, "tmrAutohideSlide"), 10, false },
        { Child<QTimer>(window, "tmrDeactivation"), 1000, true },
        { Child<QTimer>(window, "tmrShutdown"), 900, true },
        { Child<QTimer>(window, "tmrTimeSynchronization"), 1800000, true },
    };
    for (const auto& timer : expected) {
        EXPECT_EQ(timer.Timer->interval(), timer.Interval) << timer.Timer->objectName().toStdString();
        EXPECT_EQ(timer.Timer->isActive(), timer.Active) << timer.Timer->objectName().toStdString();
    }
    EXPECT_EQ(window.windowTitle(), "Tallyhour");
    EXPECT_TRUE(window.windowFlags() & Qt::Tool) << "no task-bar entry";
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window.width(), 327);
}

TEST_F(MainWindow, AZeroScanPeriodIsNotASpinningTimer)
{
    OptionsInstance().ScanPeriodSeconds = 0;
    EXPECT_EQ(Window().tmrScan->interval(), 1000);
    EXPECT_NE(FileText(m_folder.Text() + "test.log").find("scan period of 0 seconds"), std::string::npos);
}

TEST_F(MainWindow, ListedWindowInFrontIsChargedFromTheWindowsCreation)
{
    TfrmMain& window = Window();
    ASSERT_NE(window.Scan(), nullptr);
    EXPECT_DOUBLE_EQ(window.Scan()->LastScanTime, ProgramNow());
    XtermInFront();
    m_clock->Advance(5);
    ScanRun();
    m_clock->Advance(5);
    ScanRun();
    EXPECT_EQ(RowsText(), std::string(kXterm) + ",5,1;" + kXterm + ",5,1;");
    EXPECT_EQ(window.Logger().Total, 10);
    EXPECT_TRUE(window.tmrScan->isActive()) << "enabled again after the tick";

    // The list shows the entry's time once it is refilled.
    for (int tick = 0; tick < 12; ++tick) {
        m_clock->Advance(5);
        ScanRun();
    }
    window.tmrUsageTimer();
    TMonitoredItem* first = ListBoxItemObject(MainList(), 0);
    TMonitoredItem* second = ListBoxItemObject(MainList(), 1);
    ASSERT_TRUE(first && second);
    const TMonitoredItem* xterm = first->Name == kXterm ? first : second;
    EXPECT_EQ(xterm->Duration, 70);
    window.tmrTimeTimer();
    EXPECT_EQ(Child<QLabel>(window, "lblMain_Time")->text().toStdString(), Sep("00:01"));

    // A clean end charges the seconds of the scan that was running.
    m_clock->AdvanceMs(1600);
    m_window.reset();
    const std::string rows = RowsText();
    const std::string last = std::string(kXterm) + ",2,1;";
    EXPECT_EQ(rows.substr(rows.size() - std::min(rows.size(), last.size())), last) << rows;
}

TEST_F(MainWindow, UnlistedWindowChargesNothingAndPausedTicksDoNothing)
{
    TfrmMain& window = Window();
    m_clock->Advance(5);
    ScanRun();
    EXPECT_EQ(RowsText(), "");
    XtermInFront();
    window.State.SessionPaused = true;
    const TDateTime before = window.Scan()->LastScanTime;
    m_clock->Advance(5);
    ScanRun();
    EXPECT_EQ(RowsText(), "");
    EXPECT_DOUBLE_EQ(window.Scan()->LastScanTime, before);
}

TEST_F(MainWindow, ChargesThatWaitForTheDatabaseOverAMinuteAreToldOnceAfterTheScan)
{
    TfrmMain& window = Window();
    XtermInFront();
    SQLiteBusyTimeoutSet(10);
    {
        // Another program holds the activity database for 22 scans, over a minute.
        TSQLiteDatabase locker(DataLocations().ActivityDbFileName);
        locker.TransactionBegin();
        for (int tick = 0; tick < 22; ++tick) {
            m_clock->Advance(3);
            ScanRun();
            QCoreApplication::processEvents();
        }
    }
    SQLiteBusyTimeoutSet(kSQLiteBusyTimeoutMs);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].rfind("Please Note|Tallyhour cannot write the time spent to its activity database", 0), 0u)
        << m_messages[0];
    EXPECT_EQ(window.Logger().Total, 66);
    // The database answers while an unlisted window is in front (the notice itself, say): every
    // waiting charge is written at the next scan, not only when a listed window comes back.
    m_desktop.WindowShow({ 0, "/usr/bin/unlisted", "Unlisted", "Please Note", "", true });
    m_clock->Advance(3);
    ScanRun();
    EXPECT_EQ(m_messages.size(), 1u) << "told once";
    EXPECT_EQ(ActivityDBGetTable("SELECT COUNT(*), SUM(duration) FROM applications")->TextAt(1), "66");
    XtermInFront();
    m_clock->Advance(3);
    ScanRun();
    EXPECT_EQ(ActivityDBGetTable("SELECT COUNT(*), SUM(duration) FROM applications")->TextAt(1), "69");
    ActivityChargesWaitingReset();
}

TEST_F(MainWindow, ABrowserThatCannotBeReadIsToldOnceAfterTheScan)
{
    TfrmMain& window = Window();
    m_desktop.UserNoticeSet("Close every Chromium window and start it again.");
    m_clock->Advance(5);
    window.tmrScanTimer();
    EXPECT_TRUE(m_messages.empty()) << "not from inside the scan";
    QCoreApplication::processEvents();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Please Note|Close every Chromium window and start it again.");
    m_clock->Advance(5);
    ScanRun();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_messages.size(), 1u) << "told once";
}

TEST_F(MainWindow, TimeLinkCyclesThroughTheThreeFormats)
{
    TfrmMain& window = Window();
    QLabel* title = Child<QLabel>(window, "lblMain_TimeTitle");
    QLabel* value = Child<QLabel>(window, "lblMain_Time");
    QLabel* link = Child<QLabel>(window, "lblMain_TimeLink");
    QAction* formatNext = Child<QAction>(window, "actChangeTimeFormat");
    EXPECT_EQ(title->text(), "Time on List:");
    EXPECT_EQ(link->text(), "Show Time to Limit");
    formatNext->trigger();
    EXPECT_EQ(title->text(), "Time to Limit:");
    EXPECT_EQ(value->text().toStdString(), Sep("01:00"));
    formatNext->trigger();
    EXPECT_EQ(title->text(), "Time Now:");
    EXPECT_EQ(value->text().toStdString(), Sep("10:00 AM"));
    formatNext->trigger();
    EXPECT_EQ(title->text(), "Time on List:");
    EXPECT_EQ(link->text(), "Show Time to Limit");
    // The panel fits title and value.
    EXPECT_EQ(value->x(), title->x() + title->width() + 6);
}

TEST_F(MainWindow, StartsInLiteViewAndPagesAround)
{
    TfrmMain& window = Window();
    TImageButton* back = Child<TImageButton>(window, "btnBack");
    TImageButton* next = Child<TImageButton>(window, "btnNext");
    EXPECT_EQ(window.View(), TMainView::Lite);
    EXPECT_TRUE(Child<QAction>(window, "actViewLite")->isChecked());
    QWidget* reminder = Child<QWidget>(window, "pnlReminder");
    const int reminderBottom = reminder->mapTo(&window, QPoint(0, reminder->height())).y();
    EXPECT_EQ(window.height(), reminderBottom + 10);
    EXPECT_TRUE(back->isHidden());
    EXPECT_EQ(Child<QPlainTextEdit>(window, "mmReminder")->toPlainText(), "Write the report") << "10:00 is morning";

    Child<QAction>(window, "actViewUsage")->trigger();
    EXPECT_EQ(window.View(), TMainView::Usage);
    EXPECT_EQ(window.height(), window.WorkArea().height());
    EXPECT_FALSE(back->isHidden());
    EXPECT_FALSE(next->isHidden());
    EXPECT_TRUE(Child<QListWidget>(window, "lbxUsage_Applications")->isVisibleTo(&window));
    EXPECT_FALSE(MainList()->isVisibleTo(&window)) << "one page at a time";

    next->click(); // the last page wraps to the first
    EXPECT_EQ(window.View(), TMainView::All);
    EXPECT_TRUE(back->isHidden());
    EXPECT_TRUE(next->isHidden());
    EXPECT_TRUE(Child<QAction>(window, "actViewMain")->isChecked());

    Child<QAction>(window, "actViewRemindersOnly")->trigger();
    EXPECT_EQ(Child<QPlainTextEdit>(window, "mmReminderMorning")->toPlainText(), "Write the report");
    back->click();
    EXPECT_EQ(window.View(), TMainView::All);
    back->click(); // the first page wraps to the last
    EXPECT_EQ(window.View(), TMainView::Usage);

    Child<QAction>(window, "actViewLite")->trigger();
    EXPECT_EQ(window.height(), reminderBottom + 10);

    // Switching back and forth leaves the list's filler rows at one screenful.
    Child<QAction>(window, "actViewMain")->trigger();
    QListWidget* list = MainList();
    const int rows = list->count();
    Child<QAction>(window, "actViewLite")->trigger();
    Child<QAction>(window, "actViewMain")->trigger();
    EXPECT_EQ(list->count(), rows);
    EXPECT_LE(rows * kMainRowHeight, list->height() + kMainRowHeight);
}

TEST_F(MainWindow, UsagePeriodLoadsItsRange)
{
    ActivityDBExecSQL(ActivityInsertSql(
        DateTimeToDbText(EncodeDateTime(2024, 2, 20, 12, 0, 0)), kEditor, "", "Desktop Application", 600, 1));
    ActivityDBExecSQL(ActivityInsertSql(
        DateTimeToDbText(EncodeDateTime(2024, 3, 5, 9, 0, 0)), kEditor, "", "Desktop Application", 60, 1));
    TfrmMain& window = Window();
    Child<QAction>(window, "actViewUsage")->trigger();
    const auto editorSeconds = [&window] {
        for (int i = 0; i < Child<QListWidget>(window, "lbxUsage_Applications")->count(); ++i) {
            if (const TMonitoredItem* item = ListBoxItemObject(Child<QListWidget>(window, "lbxUsage_Applications"), i);
                item && item->Name == kEditor) {
                return item->Duration;
            }
        }
        return -1;
    };
    EXPECT_EQ(editorSeconds(), 60);
    Child<QComboBox>(window, "cbxUsage_Period")->setCurrentIndex(3); // the last 14 days
    EXPECT_EQ(editorSeconds(), 660);
    EXPECT_EQ(window.Logger().Total, 60) << "the usage view adds nothing to the day";

    // The chart of the same period, read from the database by day; a second click reuses it.
    emit Child<TImageButton>(window, "btnUsageChart")->clicked();
    const auto reports = [] {
        QList<TfrmReports*> found;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* each = qobject_cast<TfrmReports*>(top); each && each->isVisible()) {
                found << each;
            }
        }
        return found;
    };
    ASSERT_EQ(1, reports().size());
    const TUsageChart& chart = reports()[0]->Chart();
    EXPECT_EQ(15u, chart.Buckets.size());
    int64_t charted = 0;
    for (const auto& series : chart.Series) {
        charted += std::accumulate(series.Seconds.begin(), series.Seconds.end(), int64_t(0));
    }
    EXPECT_EQ(660, charted);
    emit Child<TImageButton>(window, "btnUsageChart")->clicked();
    EXPECT_EQ(1, reports().size());
}

TEST_F(MainWindow, DailyResetErasesPendingRemovalsButKeepsTheEntriesWhenUsersMayNotChange)
{
    OptionsInstance().AllowUserToChangeSettings = false;
    TIniFile& preferences = WindowPreferences().File();
    preferences.WriteString(kIniSectionApplications, kXterm, kXterm);
    preferences.WriteString(kIniSectionWebSites, "example.com", "example.com");
    TfrmMain& window = Window();
    window.State.LimitWindowArmed = false;
    window.State.FiveMinuteOffer = false;

    m_clock->Advance(20 * 3600.0); // 06:00 the next day
    ScanRun();

    EXPECT_TRUE(window.State.LimitWindowArmed);
    EXPECT_TRUE(window.State.FiveMinuteOffer);
    EXPECT_FALSE(preferences.SectionExists(kIniSectionApplications));
    EXPECT_FALSE(preferences.SectionExists(kIniSectionWebSites));
    EXPECT_EQ(OptionsInstance().MonitoredItems().Count(), 2);
    EXPECT_DOUBLE_EQ(OptionsInstance().ResetDateTime, EncodeDateTime(2024, 3, 7, 4, 0, 0));
    EXPECT_EQ(RowTexts(MainList()).size(), 2);
    EXPECT_EQ(ListBoxItemObject(MainList(), 0)->Duration, 0);
}

TEST_F(MainWindow, DailyResetRemovesPendingEntriesWhenUsersMayChange)
{
    OptionsInstance().AllowUserToChangeSettings = true;
    WindowPreferences().File().WriteString(kIniSectionApplications, kXterm, kXterm);
    Window();
    m_clock->Advance(20 * 3600.0);
    ScanRun();
    ASSERT_EQ(OptionsInstance().MonitoredItems().Count(), 1);
    EXPECT_EQ(OptionsInstance().MonitoredItems().Items(0)->Name, kEditor);
    EXPECT_EQ(RowTexts(MainList()), QStringList { "Editor" });
}

TEST_F(MainWindow, ClosingAndEscapeOnlyMinimise)
{
    TfrmMain& window = Window();
    window.ApplicationRestore();
    ASSERT_TRUE(window.isVisible());
    QCloseEvent close;
    QApplication::sendEvent(&window, &close);
    EXPECT_FALSE(close.isAccepted());
    EXPECT_FALSE(window.isVisible());

    window.ApplicationRestore();
    Child<QAction>(window, "actMinimize")->trigger();
    EXPECT_FALSE(window.isVisible());

    // While the time-up window has it disabled, neither the close nor the tray click hides it.
    window.ApplicationRestore();
    window.setEnabled(false);
    window.TrayIconClick();
    Child<QAction>(window, "actMinimize")->trigger();
    EXPECT_TRUE(window.isVisible());
    window.setEnabled(true);
    window.TrayIconClick();
    EXPECT_FALSE(window.isVisible());
    window.TrayIconClick();
    EXPECT_TRUE(window.isVisible());
}

TEST_F(MainWindow, DeletingAnInactiveEntryOnlySaysWhenItGoes)
{
    OptionsInstance().AllowUserToChangeSettings = true;
    TfrmMain& window = Window();
    MainList()->setCurrentRow(1); // XTerm, after Editor
    ASSERT_EQ(MainList()->currentItem()->text(), "XTerm");
    window.AppDelete(); // users may remove an entry only at the day's end: it goes inactive
    EXPECT_EQ(m_confirmed, std::vector<std::string> { "XTerm" });
    const TMonitoredList& stored = OptionsInstance().MonitoredItems();
    ASSERT_EQ(stored.Count(), 2);
    EXPECT_FALSE(stored.Items(stored.NameIndexGet(kXterm))->Active);
    EXPECT_EQ(WindowPreferences().File().ReadString(kIniSectionApplications, kXterm, ""), kXterm);
    EXPECT_FALSE(ListBoxItemObject(MainList(), 1)->Active);

    MainList()->setCurrentRow(1);
    window.AppDelete();
    EXPECT_EQ(m_confirmed.size(), 1u);
    EXPECT_EQ(m_messages,
        std::vector<std::string> { "Please Note|\"XTerm\" will be removed from time-limit list after 4:00 AM" });
    EXPECT_EQ(stored.Count(), 2);
}

TEST_F(MainWindow, DeletingWithAdministratorRightsRemovesAtOnceAndLeavesTheMode)
{
    OptionsInstance().AdminMode = true;
    TfrmMain& window = Window();
    MainList()->setCurrentRow(0);
    window.AppDelete();
    EXPECT_EQ(RowTexts(MainList()), QStringList { "XTerm" });
    EXPECT_EQ(OptionsInstance().MonitoredItems().Count(), 1);
    EXPECT_FALSE(OptionsInstance().AdminMode);
    // An empty row is no entry.
    MainList()->setCurrentRow(MainList()->count() - 1);
    window.AppDelete();
    EXPECT_EQ(m_confirmed.size(), 1u);
}

// "Confirm Delete" left open past 04:00: the scan timer fires inside its loop and the day's
// reset falls due. The reset waits for the window, the confirmed entry goes, then the reset runs.
TEST_F(MainWindow, ADeleteConfirmedAfterTheResetFellDueRemovesTheEntryAndTheResetRunsAfter)
{
    OptionsInstance().AdminMode = true;
    m_clock->Advance(17 * 3600.0 + 59 * 60.0 + 58.0); // 03:59:58 the next day
    TfrmMain& window = Window();
    window.ListCommands().DeleteConfirm = &TfrmBase::ConfirmDelete; // a real modal window
    MainList()->setCurrentRow(1);
    ASSERT_EQ(MainList()->currentItem()->text(), "XTerm");
    bool waitedForTheWindow = false;
    QTimer::singleShot(0, [&] {
        auto* confirm = qobject_cast<TfrmBase*>(QApplication::activeModalWidget());
        ASSERT_NE(confirm, nullptr);
        m_clock->Advance(5.0);
        ScanRun(); // the scan as its timer fires it meanwhile
        window.tmrUsageTimer();
        waitedForTheWindow = window.DailyResetWaiting();
        MainList()->grab(); // the rows are drawn meanwhile
        confirm->accept();
    });
    window.AppDelete();
    EXPECT_TRUE(waitedForTheWindow);
    const TMonitoredList& stored = OptionsInstance().MonitoredItems();
    EXPECT_LT(stored.NameIndexGet(kXterm), 0) << "the confirmed delete was lost";
    EXPECT_EQ(stored.Count(), 1);
    EXPECT_DOUBLE_EQ(OptionsInstance().ResetDateTime, EncodeDateTime(2024, 3, 6, 4, 0, 0));

    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.DailyResetWaiting());
    EXPECT_DOUBLE_EQ(OptionsInstance().ResetDateTime, EncodeDateTime(2024, 3, 7, 4, 0, 0));
    EXPECT_EQ(RowTexts(MainList()), QStringList { "Editor" });
}

TEST_F(MainWindow, AddedEntriesReachBothListsAndTheStoredList)
{
    TfrmMain& window = Window();
    window.ListCommands().AddWizardRun = [](TMonitoredList& result) {
        auto item = std::make_unique<TMonitoredItem>();
        item->Name = "/usr/bin/gimp";
        item->Caption = "GIMP";
        item->ItemType = mitApp;
        item->Checked = true;
        result.Add("GIMP", std::move(item));
        return true;
    };
    OptionsInstance().AdminMode = true;
    window.AppAdd();
    EXPECT_EQ(RowTexts(MainList()), (QStringList { "Editor", "GIMP", "XTerm" }));
    EXPECT_FALSE(OptionsInstance().AdminMode);
    OptionsInstanceFree(); // the list reached the database
    EXPECT_GE(OptionsInstance().MonitoredItems().NameIndexGet("/usr/bin/gimp"), 0);
}

TEST_F(MainWindow, CancelledSettingsWizardStillResumesTheSaveAndLeavesAdministratorMode)
{
    TfrmMain& window = Window();
    bool shown = false;
    window.SettingsWizardRun = [&](bool firstRun) {
        shown = !firstRun;
        EXPECT_FALSE(Child<QTimer>(window, "tmrSaveOptions")->isActive());
        OptionsInstance().AdminMode = true;
        return false;
    };
    Child<QAction>(window, "actSettings")->trigger();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(Child<QTimer>(window, "tmrSaveOptions")->isActive());
    EXPECT_FALSE(OptionsInstance().AdminMode);
}

TEST_F(MainWindow, SettingsWizardOkReloadsLimitActionAndReminders)
{
    TfrmMain& window = Window();
    window.SettingsWizardRun = [](bool) {
        OptionsInstance().TimeLimitSeconds = 2 * 3600 + 30 * 60;
        OptionsInstance().ExpirationAction = 1;
        OptionsInstance().ReminderTextSet(0, "Call the bank");
        return true;
    };
    Child<QAction>(window, "actSettings")->trigger();
    EXPECT_EQ(Child<QLineEdit>(window, "edtTimeLimit")->text().toStdString(), Sep("02:30"));
    EXPECT_EQ(Child<QLineEdit>(window, "edtAction")->text(), "Close Browser/App.");
    EXPECT_EQ(Child<QPlainTextEdit>(window, "mmReminder")->toPlainText(), "Call the bank");
    EXPECT_EQ(Child<QPlainTextEdit>(window, "mmReminderMorning")->toPlainText(), "Call the bank");
}

TEST_F(MainWindow, RowsAreShadedRuledAndGreyWhenInactive)
{
    OptionsInstance().MonitoredItems().Items(1)->Active = false; // XTerm
    OptionsInstance().ListSave();
    TfrmMain& window = Window();
    Child<QAction>(window, "actViewMain")->trigger();
    QListWidget* list = MainList();
    list->clearSelection();
    list->setCurrentRow(-1);
    list->doItemsLayout(); // what the event loop does before the first paint
    QImage image(list->viewport()->size(), QImage::Format_RGB32);
    list->viewport()->render(&image);
    const QRect row0 = list->visualItemRect(list->item(0));
    const QRect row1 = list->visualItemRect(list->item(1));
    EXPECT_EQ(row0.height(), kMainRowHeight);
    const TRowDividers dividers = RowDividersGet(
        Child<QWidget>(window, "pnlApp_Name")->width(), Child<QWidget>(window, "pnlApp_Type")->width());
    EXPECT_EQ(image.pixel(dividers.X1 - 3, row0.top() + 1) & 0xFFFFFF, kRowEvenColor);
    EXPECT_EQ(image.pixel(dividers.X1 - 3, row1.top() + 1) & 0xFFFFFF, kRowOddColor);
    EXPECT_EQ(image.pixel(dividers.X1, row0.center().y()) & 0xFFFFFF, kRowDividerColor);
    EXPECT_EQ(image.pixel(dividers.X2, row1.center().y()) & 0xFFFFFF, kRowDividerColor);
    // The darkest pixel of a name is its text colour (text is smoothed at its edges only).
    const auto darkest = [&image](const QRect& row) {
        int value = 255;
        for (int y = row.top(); y <= row.bottom(); ++y) {
            for (int x = row.left() + 2; x < row.left() + 60; ++x) {
                value = std::min(value, qRed(image.pixel(x, y)));
            }
        }
        return value;
    };
    EXPECT_LT(darkest(row0), 0x50) << "Editor, active: 0x363636";
    EXPECT_GT(darkest(row1), 0x68) << "XTerm, inactive: 0x808080";
    EXPECT_LT(darkest(row1), 0x98) << "XTerm, inactive: 0x808080";
    const QRect last = list->visualItemRect(list->item(list->count() - 1));
    if (last.bottom() < image.height()) {
        EXPECT_EQ(image.pixel(last.center().x(), last.bottom()) & 0xFFFFFF, kRowDividerColor);
    }
}

TEST_F(MainWindow, TwoAltPressesHideAndShowTheWindowAsATrayClickDoes)
{
    TfrmMain& window = Window();
    ASSERT_TRUE(window.isVisible()); // offscreen has no tray, so it starts shown
    m_keys.AltPress();
    EXPECT_TRUE(window.isVisible());
    m_clock->Advance(0.3);
    m_keys.AltPress();
    EXPECT_FALSE(window.isVisible());
    m_clock->Advance(0.3);
    m_keys.AltPress(); // the first of a new pair
    EXPECT_FALSE(window.isVisible());
    m_clock->Advance(0.3);
    m_keys.AltPress();
    EXPECT_TRUE(window.isVisible());
}

TEST_F(MainWindow, TheDesktopsOwnShortcutTogglesAtOnceAndALonePressBeforeItDoesNotPairWithAnAltAfter)
{
    TfrmMain& window = Window();
    ASSERT_TRUE(window.isVisible());
    m_keys.KeyEventPush({ TKeyEventKind::Hotkey, 0 });
    EXPECT_FALSE(window.isVisible());
    m_keys.KeyEventPush({ TKeyEventKind::Hotkey, 0 });
    EXPECT_TRUE(window.isVisible());
    m_keys.AltPress();
    m_clock->Advance(0.1);
    m_keys.KeyEventPush({ TKeyEventKind::Hotkey, 0 });
    EXPECT_FALSE(window.isVisible());
    m_clock->Advance(0.1);
    m_keys.AltPress(); // the first of a new pair, not the second of the one before the shortcut
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindow, WithoutATrayTheStartLogNamesTheHotKeyOnlyWhenThereIsOne)
{
    m_keys.CanWatchKeysSet(false);
    Window();
    const std::string log = FileText(LogFileNameGet());
    const size_t line = log.find("has no system tray");
    ASSERT_NE(line, std::string::npos) << log;
    const std::string text = log.substr(line, log.find('\n', line) - line);
    EXPECT_EQ(text.find("hot key ("), std::string::npos) << text;
    EXPECT_NE(text.find("no hot key"), std::string::npos) << text;
}

TEST_F(MainWindow, WithoutATrayTheStartLogNamesTheHotKeyThereIs)
{
    Window();
    const std::string log = FileText(LogFileNameGet());
    EXPECT_NE(log.find("has no system tray: the main window stays on the screen, and the hot key (Alt pressed twice) "
                       "shows and hides it"),
        std::string::npos)
        << log;
}

TEST_F(MainWindow, DocksRightAndADragAcrossTheMiddleMovesItLeftAndIsStored)
{
    TfrmMain& window = Window();
    const QRect area = window.WorkArea();
    EXPECT_EQ(window.Dock->Place().right(), area.right());
    window.DragStart(QPoint(100, 10));
    window.DragStep(QPoint(area.left() + area.width() / 2 - 50, 40), Qt::LeftButton);
    EXPECT_EQ(window.Dock->Place().left(), area.left());
    EXPECT_EQ(WindowPreferences().AlignGet(), 2);
}

TEST_F(MainWindow, TheReminderComboMarksWrittenRemindersAndEditsAreStored)
{
    TfrmMain& window = Window();
    EXPECT_TRUE(Child<QComboBox>(window, "cbxReminder")->itemData(0, TReminderComboDelegate::kMarkedRole).toBool());
    EXPECT_FALSE(Child<QComboBox>(window, "cbxReminder")->itemData(2, TReminderComboDelegate::kMarkedRole).toBool());
    Child<QComboBox>(window, "cbxReminder")->setCurrentIndex(2);
    Child<QPlainTextEdit>(window, "mmReminder")->setPlainText(QStringLiteral("Read"));
    EXPECT_EQ(OptionsInstance().ReminderText(2), "Read");
    EXPECT_EQ(Child<QPlainTextEdit>(window, "mmReminderEvening")->toPlainText(), QStringLiteral("Read"));
    EXPECT_TRUE(Child<QComboBox>(window, "cbxReminder")->itemData(2, TReminderComboDelegate::kMarkedRole).toBool());
    // Tab leaves the memo for the next control; it types nothing.
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    QApplication::sendEvent(Child<QPlainTextEdit>(window, "mmReminder"), &tab);
    EXPECT_EQ(Child<QPlainTextEdit>(window, "mmReminder")->toPlainText(), QStringLiteral("Read"));

    // The list drops down below the combo, the evening's item chosen too, with rows roomy enough
    // for their text, and leaves the Focus button above it in view.
    auto* combo = Child<QComboBox>(window, "cbxReminder");
    combo->showPopup();
    QWidget* popup = combo->view()->window();
    ASSERT_TRUE(popup->isVisible());
    const QRect dropped(popup->mapToGlobal(QPoint(0, 0)), popup->size());
    const QRect focus(
        Child<QWidget>(window, "btnFocus")->mapToGlobal(QPoint(0, 0)), Child<QWidget>(window, "btnFocus")->size());
    EXPECT_GE(dropped.top(), combo->mapToGlobal(QPoint(0, combo->height())).y() - 1);
    EXPECT_FALSE(dropped.intersects(focus));
    EXPECT_GE(
        combo->view()->visualRect(combo->model()->index(0, 0)).height(), combo->view()->fontMetrics().height() + 6);
    combo->hidePopup();
}

// A caption longer than its column ends in "…" there; the type and time columns stay in the list.
TEST_F(MainWindow, ALongCaptionEndsInAnEllipsisAndTheOtherColumnsStayInView)
{
    QListWidget* list = MainList();
    TMonitoredItem* item = ListBoxItemObject(list, 0);
    ASSERT_NE(item, nullptr);
    item->Caption = "Solitaire Collection Deluxe Edition from the Games Menu, with every card game ever made";
    item->Duration = 754;
    list->doItemsLayout();
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.font = list->font();
    option.fontMetrics = QFontMetrics(list->font());
    option.rect = list->visualItemRect(list->item(0));
    EXPECT_LE(option.rect.right(), list->viewport()->rect().right());
    TTextRecorder recorder;
    {
        QPainter painter(&recorder);
        list->itemDelegate()->paint(&painter, option, list->model()->index(0, 0));
    }
    const std::vector<TTextRecorder::TText> texts = recorder.Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_TRUE(texts[0].Text.endsWith(QChar(0x2026))) << texts[0].Text.toStdString();
    EXPECT_TRUE(QString::fromStdString(item->Caption).startsWith(texts[0].Text.chopped(1)));
    EXPECT_EQ(texts[2].Text, QString::fromStdString(DurationText(int64_t(754))));
    EXPECT_LT(texts[2].Position.x(), list->viewport()->width());
}
