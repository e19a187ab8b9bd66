// The tray icon and the dock on a real X desktop: openbox, and trayer started when a test wants
// a tray, so the icon meets a tray that appears after it and the work area loses the tray's strip.
#include "X11TestHelpers.h"

#include "ui/framework/Application.h"
#include "ui/framework/FrmBase.h"
#include "ui/main/DockSettings.h"
#include "ui/main/MainWindowDock.h"
#include "ui/main/TrayIcon.h"

#include "model/ProgramLog.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace {

TTestDesktop* g_desktop = nullptr;
pid_t g_trayer = -1;

bool EventsUntil(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    return done();
}

void TrayerStart()
{
    if (g_trayer > 0) {
        return;
    }
    g_trayer = g_desktop->ProgramStart(
        { "trayer", "--edge", "bottom", "--align", "right", "--SetDockType", "true", "--SetPartialStrut", "true",
            "--widthtype", "pixel", "--width", "100", "--heighttype", "pixel", "--height", "24" },
        "trayer");
}

// What xdotool says of a window: "X,Y" of its place on the screen.
std::string XdotoolText(const std::string& arguments)
{
    std::string text;
    if (FILE* pipe = popen(("xdotool " + arguments + " 2>/dev/null").c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof(line), pipe)) {
            text += line;
        }
        pclose(pipe);
    }
    return text;
}

class TDockedWindow : public TfrmBase
{
public:
    TMainWindowDock* Dock = nullptr;
    bool CanMoveTo(int left, int top) override
    {
        return Dock->CanMoveTo(left, top);
    }
};

} // namespace

TEST(X11TrayDock, TheIconWaitsForATrayAndGoesIntoItWhenOneAppears)
{
    ASSERT_EQ(g_trayer, -1);
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    TTrayIcon tray(QIcon(QStringLiteral(":/tallyhour/images/icon24.png")), QStringLiteral("Tallyhour"));
    EXPECT_FALSE(tray.InTray());
    bool appeared = false;
    QObject::connect(&tray, &TTrayIcon::TrayAppeared, [&appeared] { appeared = true; });

    TrayerStart();
    ASSERT_GT(g_trayer, 0);
    ASSERT_TRUE(EventsUntil([&appeared] { return appeared; }, 20000)) << "no tray seen";
    EXPECT_TRUE(tray.InTray());
    // Embedded: the tray gave the icon a place on the screen.
    EXPECT_TRUE(EventsUntil([&tray] { return tray.Icon()->geometry().width() > 0; }, 5000));
    EXPECT_EQ(tray.Icon()->toolTip(), QStringLiteral("Tallyhour"));
}

TEST(X11TrayDock, TheWindowDocksAtTheWorkAreasEdgeAndADragAcrossTheMiddleMovesIt)
{
    TrayerStart();
    QScreen* screen = QGuiApplication::primaryScreen();
    // The tray's strip along the bottom is taken from the work area.
    ASSERT_TRUE(EventsUntil([screen] { return screen->availableGeometry().height() == 1024 - 24; }, 10000))
        << screen->availableGeometry().height();

    TDockSettingsMemory settings;
    TDockedWindow window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setWindowFlag(Qt::Tool);
    window.setWindowTitle(QStringLiteral("dock-under-test"));
    window.resize(327, 200);
    TMainWindowDock dock(&window, settings, {});
    window.Dock = &dock;
    dock.Start();
    window.show();
    EXPECT_EQ(dock.Place(), QRect(1280 - 327, 0, 327, 1000));
    const std::string id = std::to_string(window.winId());
    EXPECT_TRUE(EventsUntil(
        [&id] { return XdotoolText("getwindowgeometry " + id).find("Position: 953,0") != std::string::npos; }, 5000))
        << XdotoolText("getwindowgeometry " + id);

    // Drag the header to the left half with the real mouse.
    std::system("xdotool mousemove 1100 10 mousedown 1 mousemove 900 12 mousemove 500 14 mousemove 300 16 "
                "mouseup 1 >/dev/null 2>&1");
    EXPECT_TRUE(EventsUntil([&dock] { return dock.Place().x() == 0; }, 5000)) << dock.Place().x();
    EXPECT_EQ(settings.Align, kAlignLeft);
    EXPECT_TRUE(EventsUntil(
        [&id] { return XdotoolText("getwindowgeometry " + id).find("Position: 0,0") != std::string::npos; }, 5000))
        << XdotoolText("getwindowgeometry " + id);
}

TEST(X11TrayDock, APanelThatTakesPartOfTheScreenLaterRedocksTheWindow)
{
    ASSERT_EQ(g_trayer, -1);
    TDockSettingsMemory settings;
    TDockedWindow window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setWindowFlag(Qt::Tool);
    window.resize(327, 200);
    TMainWindowDock dock(&window, settings, {});
    window.Dock = &dock;
    dock.Start();
    window.show();
    ASSERT_EQ(dock.Place(), QRect(953, 0, 327, 1024));
    window.AutohideState = kAutohideHidden; // as if slid out of sight

    TrayerStart();
    EXPECT_TRUE(EventsUntil([&dock] { return dock.Place() == QRect(953, 0, 327, 1000); }, 10000))
        << dock.Place().height();
    EXPECT_EQ(window.AutohideState, kAutohideShown);
}

TEST(X11TrayDock, AutohideSlidesTheWindowOutOfSightAndTheMouseOnWhatIsLeftBringsItBack)
{
    TDockSettingsMemory settings;
    settings.Autohide = true;
    TDockedWindow window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setWindowFlag(Qt::Tool);
    window.resize(327, 200);
    TMainWindowDock dock(&window, settings, {});
    window.Dock = &dock;
    dock.Start();
    window.show();
    ASSERT_EQ(dock.Place().x(), 953);
    // Its own activation request goes out with the next events; let it land before the user
    // turns to another window.
    ASSERT_TRUE(EventsUntil([&window] { return QApplication::activeWindow() == &window; }, 5000));
    // The user works elsewhere: another window in front, the mouse away from the dock.
    const pid_t xterm = g_desktop->XtermStart("elsewhere");
    const TWindowHandle other = g_desktop->WindowWait(xterm, 20, "elsewhere");
    ASSERT_NE(other, 0u);
    ASSERT_TRUE(g_desktop->WindowActivate(other));
    std::system("xdotool mousemove 300 300 >/dev/null 2>&1");
    ASSERT_TRUE(EventsUntil([] { return QApplication::activeWindow() == nullptr; }, 5000));

    const std::string id = std::to_string(window.winId());
    // 1 s to notice, 3 s to decide, 11 steps of 10 ms.
    EXPECT_TRUE(EventsUntil([&window] { return window.AutohideState == kAutohideHidden; }, 8000));
    EXPECT_EQ(dock.Place().x(), 1278);
    // openbox keeps a tenth of a window that places itself on the screen (32 of 327 pixels), so
    // the strip left is wider there than the 2 pixels asked for.
    int shownX = 0;
    EXPECT_TRUE(EventsUntil(
        [&id, &shownX] {
            const std::string text = XdotoolText("getwindowgeometry " + id);
            const size_t at = text.find("Position: ");
            shownX = at == std::string::npos ? 0 : std::atoi(text.c_str() + at + 10);
            return shownX >= 1280 - 327 / 10;
        },
        2000))
        << shownX;

    // The mouse on the strip brings it back.
    std::system("xdotool mousemove 1279 100 sleep 0.1 mousemove 1278 110 >/dev/null 2>&1");
    EXPECT_TRUE(EventsUntil([&dock] { return dock.tmrAutohideSlide->isActive() || dock.Place().x() == 953; }, 3000));
    EXPECT_TRUE(EventsUntil([&window] { return window.AutohideState == kAutohideShown; }, 3000));
    EXPECT_TRUE(EventsUntil(
        [&id] { return XdotoolText("getwindowgeometry " + id).find("Position: 953,0") != std::string::npos; }, 2000))
        << XdotoolText("getwindowgeometry " + id);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    for (const char* program : { "Xvfb", "openbox", "trayer", "xdotool" }) {
        if (TTestDesktop::ProgramFind(program).empty()) {
            std::printf("%s is not installed; skipping\n", program);
            return 0;
        }
    }
    TTestDesktop desktop;
    if (!desktop.Start(false)) {
        std::fprintf(stderr, "%s\n", desktop.ErrorText().c_str());
        return 1;
    }
    g_desktop = &desktop;
    LogFileNameSet((std::filesystem::path(desktop.Folder()) / "tallyhour-test.log").string());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 0;
    {
        TApplication application(argc, argv);
        FrameworkResourcesInit();
        result = RUN_ALL_TESTS();
    }
    desktop.Stop();
    return result;
}
