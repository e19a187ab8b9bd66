// The main window's time-up, focus and session rules, offscreen on a scripted desktop.
#include "ui/main/FrmMain.h"

#include "MainWindowFixture.h"
#include "QtTestMain.h"

#include "ui/framework/ImageButton.h"
#include "ui/main/FrmReminder.h"

#include "enforce/ScanPipeline.h"
#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/ZaraveDezeZurirevuzorLogger.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/ChildFind.h"
#include "support/TestSupport.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/FakeHotkeySource.h"
#include "support/desktop/FakeSessionPower.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindowEnforcing : public TMainWindowFixture
{
protected:
    void ListFill(TOptions&) override
    {
        EntryAdd(kXterm, "XTerm");
    }

    TfrmMain& Window()
    {
        return WindowMake(&m_power);
    }

    static std::string RowsText()
    {
        return TMainWindowFixture::RowsText("app_name, duration");
    }

    TFakeSessionPower m_power;
};

} // namespace

TEST_F(MainWindowEnforcing, ARefusedShutdownIsToldClosesTheListedWindowsAndLeavesTheWindowEnabledAndTheScanRunning)
{
    OptionsInstance().TimeLimitSeconds = 5;
    OptionsInstance().ExpirationAction = 2;
    m_power.ShutdownRefuseSet("the system's login manager (logind) refused it (Interactive authentication required.)");
    TfrmMain& window = Window();
    std::vector<std::string> messages;
    window.MessageShow = [&messages](const QString& text, const QString& title) {
        messages.push_back(title.toStdString() + "|" + text.toStdString());
    };
    window.ApplicationRestore();
    XtermInFront();
    m_clock->Advance(5);
    ScanRun(); // charges the five seconds that reach the limit
    ASSERT_EQ(window.Logger().Total, 5);

    // The next tick comes from the timer, as in the program, so the refusal takes the program's road.
    bool disabledWhileOpen = false;
    QTimer::singleShot(50, [&] {
        TfrmReminder* reminder = nullptr;
        for (QWidget* shown : QApplication::topLevelWidgets()) {
            reminder = reminder ? reminder : qobject_cast<TfrmReminder*>(shown);
        }
        ASSERT_NE(reminder, nullptr);
        disabledWhileOpen = !window.isEnabled();
        reminder->btnOk->click();
    });
    m_clock->Advance(5);
    window.tmrScan->start(10);
    QElapsedTimer waited;
    waited.start();
    while (messages.empty() && TestErrorReporter().LastShown.empty() && waited.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    window.tmrScan->stop();
    EXPECT_TRUE(disabledWhileOpen);
    // Told in the program's words, not as an error of the program.
    EXPECT_EQ(TestErrorReporter().LastShown, "");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Please Note|The computer could not be shut down: the system's login manager "
                                "(logind) refused it (Interactive authentication required.).",
                  0),
        0u)
        << messages[0];
    EXPECT_NE(messages[0].find("have been closed instead"), std::string::npos) << messages[0];
    // The listed xterm was closed all the same.
    ASSERT_FALSE(m_desktop.CloseRequestsGet().empty());
    ASSERT_EQ(m_power.ShutdownRequestsGet().size(), 1u);
    EXPECT_EQ(m_power.ShutdownRequestsGet()[0], std::make_pair(skPowerOff, 60));
    EXPECT_TRUE(window.isEnabled());
    EXPECT_DOUBLE_EQ(window.Scan()->LastScanTime, ProgramNow());
    EXPECT_TRUE(window.tmrReminderOnly->isActive());
    window.tmrScan->setInterval(5000);
    m_clock->Advance(5);
    ScanRun(); // no time-up window again at once
    // The scan goes on after the refusal: the window's five seconds were charged at its answer,
    // and the next tick charges its own (this desktop leaves the closed xterm in front).
    EXPECT_EQ(window.Logger().Total, 15);
}

TEST_F(MainWindowEnforcing, LockingPausesAndHidesAndTheLockedHourIsNotCharged)
{
    TfrmMain& window = Window();
    window.ApplicationRestore();
    XtermInFront();
    m_clock->Advance(5);
    ScanRun();
    m_power.Lock();
    EXPECT_TRUE(window.State.SessionPaused);
    EXPECT_TRUE(window.Paused());
    EXPECT_FALSE(window.isVisible());
    m_clock->Advance(3600);
    ScanRun();
    m_power.Unlock();
    EXPECT_FALSE(window.Paused());
    m_clock->Advance(5);
    ScanRun();
    EXPECT_EQ(RowsText(), std::string(kXterm) + ",5;" + kXterm + ",5;");

    m_power.SleepBegin();
    EXPECT_TRUE(window.State.PowerPaused);
    m_clock->Advance(8 * 3600);
    m_power.SleepEnd();
    m_clock->Advance(5);
    ScanRun();
    EXPECT_EQ(window.Logger().Total, 15);
}

TEST_F(MainWindowEnforcing, FocusStartsFromTheBlockModeWindowAndEndsAtTheFirstScanAfterItsEnd)
{
    TfrmMain& window = Window();
    window.FocusSettingsRun = [](TMonitoredList& result, TDateTime& duration) {
        EntryAdd(result, "/usr/bin/editor", "Editor");
        duration = 1.0 / 1440.0;
        return true;
    };
    Child<TImageButton>(window, "btnFocus")->click();
    EXPECT_TRUE(Child<TImageButton>(window, "btnFocus")->isHidden());
    EXPECT_FALSE(Child<QWidget>(window, "pnlMain_FocusTime")->isHidden());
    EXPECT_TRUE(Child<QWidget>(window, "pnlMain_TimeOnline")->isHidden());
    EXPECT_NEAR((window.State.FocusEnd - ProgramNow()) * 86400.0, 60.0, 1e-3);
    EXPECT_NE(OptionsInstance().MonitoredItems().NameIndexGet("/usr/bin/editor"), -1);

    // A listed window in front during the period is closed (the window was shown once).
    window.State.FocusWindowArmed = false;
    XtermInFront();
    m_clock->Advance(30);
    ScanRun();
    EXPECT_EQ(m_desktop.CloseRequestsGet().size(), 1u);
    m_clock->Advance(30);
    ScanRun();
    EXPECT_TRUE(Child<TImageButton>(window, "btnFocus")->isHidden()) << "exactly at its end the period still runs";
    m_clock->Advance(1);
    ScanRun();
    EXPECT_FALSE(Child<TImageButton>(window, "btnFocus")->isHidden());
    EXPECT_TRUE(Child<QWidget>(window, "pnlMain_FocusTime")->isHidden());
    EXPECT_EQ(m_desktop.CloseRequestsGet().size(), 2u);
}

TEST_F(MainWindowEnforcing, CancelInBlockModeKeepsTheAddedEntriesAndStartsNothing)
{
    TfrmMain& window = Window();
    const TDateTime focusEnd = window.State.FocusEnd;
    window.FocusSettingsRun = [](TMonitoredList& result, TDateTime&) {
        EntryAdd(result, "/usr/bin/editor", "Editor");
        return false;
    };
    window.FocusRun();
    EXPECT_EQ(window.State.FocusEnd, focusEnd);
    EXPECT_FALSE(window.State.FocusStarted);
    EXPECT_FALSE(Child<TImageButton>(window, "btnFocus")->isHidden());
    EXPECT_NE(OptionsInstance().MonitoredItems().NameIndexGet("/usr/bin/editor"), -1);
    OptionsInstanceFree();
    EXPECT_NE(OptionsInstance().MonitoredItems().NameIndexGet("/usr/bin/editor"), -1) << "the list was saved";
}

TEST_F(MainWindowEnforcing, TimeUpSettingsTakeEffectAndAreShown)
{
    TfrmMain& window = Window();
    window.ReminderSettingsRun = [] {
        OptionsInstance().TimeLimitSecondsSet(1800);
        OptionsInstance().ExpirationActionSet(1);
        return true;
    };
    Child<QAction>(window, "actTimeEdit")->trigger();
    EXPECT_EQ(
        Child<QLineEdit>(window, "edtTimeLimit")->text().toStdString(), "00" + std::string(1, TimeSeparator()) + "30");
    EXPECT_EQ(Child<QLineEdit>(window, "edtAction")->text(), QStringLiteral("Close Browser/App."));
}
