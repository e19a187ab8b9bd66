#include "QtTestMain.h"

#include "ui/framework/FrmBase.h"
#include "ui/framework/ImagePanel.h"
#include "ui/main/DockSettings.h"
#include "ui/main/HotkeyWatch.h"
#include "ui/main/MainWindowDock.h"
#include "ui/main/TrayIcon.h"

#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "support/TestSupport.h"
#include "support/desktop/FakeHotkeySource.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

#include <memory>

namespace {

const TWorkArea kScreen { 0, 0, 1280, 1024 };

// Fires a timer's handler now, as the event loop would when its interval ran out.
void TimerFire(QTimer* timer)
{
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
}

// A skinned window docked as the main window is; the dock answers its drag hook.
class TDockedWindow : public TfrmBase
{
public:
    TMainWindowDock* Dock = nullptr;
    bool CanMoveTo(int left, int top) override
    {
        return Dock->CanMoveTo(left, top);
    }
};

class DockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestAppearanceReset();
        m_window = new TDockedWindow();
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
        m_window->resize(327, 180);
        TMainWindowDock::THooks hooks;
        hooks.PausedGet = [this] { return m_paused; };
        hooks.LiteHeightGet = [] { return 180; };
        hooks.ApplicationMinimize = [this] {
            ++m_minimized;
            m_window->hide();
        };
        hooks.ApplicationRestore = [this] {
            ++m_restored;
            m_window->show();
        };
        m_dock = new TMainWindowDock(m_window, m_settings, hooks, m_window);
        m_dock->WorkAreaSource = [this] { return m_area; };
        m_window->Dock = m_dock;
        m_dock->LiteViewSet(true);
        // Another window has the user's attention and the mouse is far from the dock.
        m_other = std::make_unique<QWidget>();
        m_other->setGeometry(400, 300, 200, 200);
        QCursor::setPos(500, 400);
    }
    void TearDown() override
    {
        delete m_window;
    }
    void Show()
    {
        m_window->show();
        m_other->show();
        m_other->activateWindow();
        QApplication::processEvents();
    }
    // Drags the header: pressed at (100, 10) of the window, the mouse moved to `screen`.
    void Drag(QPoint screen)
    {
        m_window->DragStart(QPoint(100, 10));
        m_window->DragStep(screen, Qt::LeftButton);
    }
    // Runs the slide to its end; returns the left edges it passed.
    std::vector<int> SlideRun()
    {
        std::vector<int> lefts;
        for (int tick = 0; tick < 100 && m_dock->tmrAutohideSlide->isActive(); ++tick) {
            TimerFire(m_dock->tmrAutohideSlide);
            lefts.push_back(m_window->x());
        }
        return lefts;
    }

    TDockSettingsMemory m_settings;
    TWorkArea m_area = kScreen;
    TDockedWindow* m_window = nullptr;
    TMainWindowDock* m_dock = nullptr;
    std::unique_ptr<QWidget> m_other;
    bool m_paused = false;
    int m_minimized = 0;
    int m_restored = 0;
};

} // namespace

TEST_F(DockTest, DocksRightByDefaultAndJumpsLeftOnlyOnceADragCrossesTheMiddle)
{
    m_dock->Start();
    Show();
    EXPECT_EQ(m_window->geometry(), QRect(1280 - 327, 0, 327, 180));
    EXPECT_EQ(m_settings.Writes, 1); // AlignVertical 0 -> 0 is no change; Align 1 stored again

    // Left of its place but not past the middle: the window stays where it is.
    Drag(QPoint(800, 40));
    EXPECT_EQ(m_window->pos(), QPoint(953, 0));
    EXPECT_EQ(m_settings.Align, kAlignRight);

    Drag(QPoint(600, 40)); // proposed left 500 < 640
    EXPECT_EQ(m_window->pos(), QPoint(0, 0));
    EXPECT_EQ(m_settings.Align, kAlignLeft);

    // Lite view: the lower half docks at the bottom.
    Drag(QPoint(300, 800));
    EXPECT_EQ(m_window->pos(), QPoint(0, 1024 - 180));
    EXPECT_EQ(m_settings.AlignVertical, kAlignVerticalBottom);

    Drag(QPoint(1000, 100));
    EXPECT_EQ(m_window->pos(), QPoint(953, 0));
    EXPECT_EQ(m_settings.Align, kAlignRight);
    EXPECT_EQ(m_settings.AlignVertical, kAlignVerticalTop);
}

TEST_F(DockTest, OutsideLiteViewItTakesTheWorkAreasHeightAndIgnoresTheVerticalHalf)
{
    m_settings.AlignVertical = kAlignVerticalBottom;
    m_dock->LiteViewSet(false);
    m_area = TWorkArea { 0, 24, 1280, 1000 };
    m_dock->Start();
    EXPECT_EQ(m_window->geometry(), QRect(953, 24, 327, 976));
    Drag(QPoint(300, 900));
    EXPECT_EQ(m_window->geometry(), QRect(0, 24, 327, 976));
    EXPECT_EQ(m_settings.AlignVertical, kAlignVerticalBottom);
}

TEST_F(DockTest, AutohideSlidesOutAfterTheUserLeftAndBackWhenTheMouseComes)
{
    m_settings.Autohide = true;
    m_dock->Start();
    Show();
    ASSERT_FALSE(m_dock->ApplicationInFocus());

    TimerFire(m_dock->tmrDeactivation);
    ASSERT_TRUE(m_dock->tmrAutohide->isActive());
    TimerFire(m_dock->tmrAutohide);
    EXPECT_FALSE(m_dock->tmrAutohide->isActive());
    ASSERT_TRUE(m_dock->tmrAutohideSlide->isActive());

    const std::vector<int> out = SlideRun();
    ASSERT_EQ(out.size(), 11u);
    EXPECT_EQ(out.front(), 953 + 32);
    EXPECT_EQ(out.back(), 1278);
    EXPECT_EQ(m_window->AutohideState, kAutohideHidden);
    EXPECT_EQ(m_window->y(), 0);

    // While hidden a drag does nothing at all.
    Drag(QPoint(100, 100));
    EXPECT_EQ(m_window->x(), 1278);
    EXPECT_EQ(m_settings.Align, kAlignRight);

    // The mouse comes onto the strip where the header lies over the body: the window comes back
    // as it does from the body.
    ASSERT_EQ(m_window->childAt(1, 10), m_window->pnlHeader);
    QMouseEvent move(QEvent::MouseMove, QPointF(1, 10), QPointF(1279, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(m_window->windowHandle(), &move);
    ASSERT_TRUE(m_dock->tmrAutohideSlide->isActive());
    const std::vector<int> in = SlideRun();
    EXPECT_EQ(in.back(), 953);
    EXPECT_EQ(m_window->AutohideState, kAutohideShown);
    EXPECT_TRUE(m_dock->tmrAutohide->isActive()); // armed again, auto-hide is on
}

TEST_F(DockTest, NoSlideWhilePausedWithTheUserOrWithAutohideOff)
{
    m_dock->Start();
    Show();
    TimerFire(m_dock->tmrDeactivation);
    EXPECT_FALSE(m_dock->tmrAutohide->isActive()); // auto-hide off

    m_settings.Autohide = true;
    m_paused = true;
    TimerFire(m_dock->tmrDeactivation);
    EXPECT_FALSE(m_dock->tmrAutohide->isActive());
    m_paused = false;

    QCursor::setPos(1000, 50); // over the window
    EXPECT_TRUE(m_dock->ApplicationInFocus());
    TimerFire(m_dock->tmrDeactivation);
    EXPECT_FALSE(m_dock->tmrAutohide->isActive());

    QCursor::setPos(500, 400);
    TimerFire(m_dock->tmrDeactivation);
    ASSERT_TRUE(m_dock->tmrAutohide->isActive());
    QCursor::setPos(1000, 50); // the user came back before it fired: it waits
    TimerFire(m_dock->tmrAutohide);
    EXPECT_TRUE(m_dock->tmrAutohide->isActive());
    EXPECT_FALSE(m_dock->tmrAutohideSlide->isActive());

    // Minimised to the tray there is nothing to slide.
    QCursor::setPos(500, 400);
    m_window->hide();
    TimerFire(m_dock->tmrAutohide);
    EXPECT_FALSE(m_dock->tmrAutohideSlide->isActive());
}

TEST_F(DockTest, AWorkAreaChangeRedocksAndShowsAHiddenWindow)
{
    m_settings.Autohide = true;
    m_settings.Align = 0; // a stored 0 docks left, and slides at the left edge
    m_dock->Start();
    Show();
    EXPECT_EQ(m_window->x(), 0);
    TimerFire(m_dock->tmrDeactivation);
    TimerFire(m_dock->tmrAutohide);
    SlideRun();
    EXPECT_EQ(m_window->x(), 2 - 327);
    ASSERT_EQ(m_window->AutohideState, kAutohideHidden);

    m_dock->WorkAreaCheck(); // no change: nothing happens
    EXPECT_EQ(m_window->AutohideState, kAutohideHidden);

    m_area = TWorkArea { 48, 0, 1280, 1024 }; // a panel appeared on the left
    m_dock->WorkAreaCheck();
    EXPECT_EQ(m_window->AutohideState, kAutohideShown);
    EXPECT_EQ(m_window->pos(), QPoint(48, 0));
    EXPECT_EQ(m_dock->WorkAreaRemembered(), m_area);
}

TEST_F(DockTest, TrayClickHidesShowsAndBringsBackASlidWindowButNotWhileDisabled)
{
    m_dock->Start();
    Show();
    m_dock->TrayLeftButtonDown();
    EXPECT_EQ(m_minimized, 1);
    EXPECT_FALSE(m_window->isVisible());
    m_dock->TrayLeftButtonDown();
    EXPECT_EQ(m_restored, 1);
    EXPECT_TRUE(m_window->isVisible());

    // The time-up window is open: the main window is disabled and stays.
    m_window->setEnabled(false);
    m_dock->TrayLeftButtonDown();
    EXPECT_EQ(m_minimized, 1);
    EXPECT_TRUE(m_window->isVisible());
    m_window->setEnabled(true);

    m_window->AutohideState = kAutohideHidden;
    m_window->move(1278, 0);
    m_dock->TrayLeftButtonDown();
    EXPECT_EQ(m_restored, 2);
    EXPECT_TRUE(m_dock->tmrAutohideSlide->isActive());
    SlideRun();
    EXPECT_EQ(m_window->x(), 953);
}

TEST_F(DockTest, NoAttentionWhilePaused)
{
    m_dock->Start();
    Show();
    QCursor::setPos(1000, 50);
    EXPECT_TRUE(m_dock->ApplicationInFocus());
    m_paused = true;
    EXPECT_FALSE(m_dock->ApplicationInFocus());
}

TEST(TrayIcon, WithoutATrayItLogsOnceAndPicksUpATrayThatAppearsLater)
{
    bool available = false;
    TTrayIcon::TrayAvailableProbeSet([&available] { return available; });
    const std::string logBefore = FileText(LogFileNameGet());
    {
        TTrayIcon tray(QIcon(), QStringLiteral("Tallyhour"));
        EXPECT_EQ(tray.Icon()->toolTip(), QStringLiteral("Tallyhour"));
        EXPECT_FALSE(tray.InTray());
        EXPECT_TRUE(tray.tmrTrayPoll->isActive());
        const std::string logged = FileText(LogFileNameGet()).substr(logBefore.size());
        EXPECT_NE(logged.find("has no system tray"), std::string::npos) << logged;

        int appeared = 0;
        QObject::connect(&tray, &TTrayIcon::TrayAppeared, [&appeared] { ++appeared; });
        TimerFire(tray.tmrTrayPoll);
        EXPECT_EQ(appeared, 0);
        available = true;
        TimerFire(tray.tmrTrayPoll);
        EXPECT_EQ(appeared, 1);
        EXPECT_TRUE(tray.InTray());
        EXPECT_FALSE(tray.tmrTrayPoll->isActive());
    }
    {
        TTrayIcon tray(QIcon(), QStringLiteral("Tallyhour"));
        EXPECT_TRUE(tray.InTray());
        EXPECT_FALSE(tray.tmrTrayPoll->isActive());
    }
    TTrayIcon::TrayAvailableProbeSet(nullptr);
}

TEST(TrayIcon, TellsOnceWhereTheProgramWentAndHowToOpenIt)
{
    TTrayIcon::TrayAvailableProbeSet([] { return false; });
    {
        TTrayIcon withoutTray(QIcon(), QStringLiteral("Tallyhour"), QStringLiteral("Alt"));
        withoutTray.WhereaboutsTell();
        EXPECT_EQ(withoutTray.MessagesShown(), 0) << "the window stays on the screen instead";
    }
    TTrayIcon::TrayAvailableProbeSet([] { return true; });
    // The hot key's name as the desktop's key watch gives it, the press included.
    TTrayIcon tray(QIcon(), QStringLiteral("Tallyhour"), QStringLiteral("Alt pressed twice"));
    tray.WhereaboutsTell();
    const std::string text = tray.LastMessage().toStdString();
    EXPECT_NE(text.find("system tray"), std::string::npos) << text;
    EXPECT_NE(text.find("(Alt pressed twice)"), std::string::npos) << text;
    EXPECT_EQ(text.find("twice twice"), std::string::npos) << text;
    EXPECT_NE(text.find("settings are under Tools"), std::string::npos) << text;
    tray.WhereaboutsTell();
    EXPECT_EQ(tray.MessagesShown(), 1);
    TTrayIcon::TrayAvailableProbeSet(nullptr);
}

TEST(TrayIcon, ARightPressOpensNoEmptyMenu)
{
    TTrayIcon::TrayAvailableProbeSet([] { return true; });
    TTrayIcon tray(QIcon(), QStringLiteral("Tallyhour"));
    QMenu pmnTray;
    QAction* miExit = pmnTray.addAction(QStringLiteral("&Exit"));
    miExit->setVisible(false);
    tray.MenuSet(&pmnTray);
    int rightPresses = 0;
    QObject::connect(&tray, &TTrayIcon::RightButtonDown, [&rightPresses] { ++rightPresses; });
    tray.RightButtonDownRun();
    EXPECT_EQ(rightPresses, 1);
    EXPECT_FALSE(pmnTray.isVisible());
    miExit->setVisible(true);
    tray.RightButtonDownRun();
    EXPECT_TRUE(pmnTray.isVisible());
    pmnTray.hide();
    TTrayIcon::TrayAvailableProbeSet(nullptr);
}

TEST(HotkeyWatch, TwoAltPressesWithinHalfASecondToggleOnceAndAltTabNever)
{
    TFakeClock clock(EncodeDateTime(2024, 3, 5, 10, 0, 0));
    TFakeHotkeySource source;
    THotkeyWatch watch(&source);
    ASSERT_TRUE(watch.Available());
    int presses = 0;
    int pairs = 0;
    QObject::connect(&watch, &THotkeyWatch::Pressed, [&presses] { ++presses; });
    QObject::connect(&watch, &THotkeyWatch::PairPressed, [&pairs] { ++pairs; });

    source.AltPress();
    EXPECT_EQ(pairs, 0);
    clock.Advance(0.3);
    source.AltPress();
    EXPECT_EQ(pairs, 1);
    clock.Advance(0.2);
    source.AltPress(); // a third press starts a new pair
    EXPECT_EQ(pairs, 1);
    clock.Advance(2);

    // Alt+Tab twice in quick succession.
    for (int i = 0; i < 2; ++i) {
        source.KeyEventPush({ TKeyEventKind::AltDown, 64 });
        source.KeyEventPush({ TKeyEventKind::OtherKeyDown, 23 });
        source.KeyEventPush({ TKeyEventKind::OtherKeyUp, 23 });
        source.KeyEventPush({ TKeyEventKind::AltUp, 64 });
        clock.Advance(0.1);
    }
    EXPECT_EQ(presses, 3);
    EXPECT_EQ(pairs, 1);
}

TEST(HotkeyWatch, ADesktopThatCannotBeWatchedHasNoHotKey)
{
    TFakeHotkeySource source;
    source.CanWatchKeysSet(false);
    THotkeyWatch watch(&source);
    EXPECT_FALSE(watch.Available());
    THotkeyWatch none(nullptr);
    EXPECT_FALSE(none.Available());
}
