// The real program on a private X desktop: the hot key, the docking and a desktop without a
// tray, as a user meets them.
#include "X11TestHelpers.h"

#include "model/DataLocations.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/TestSupport.h"

#include <csignal>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <thread>

namespace {

std::string CommandText(const std::string& command)
{
    std::string text;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof(line), pipe)) {
            text += line;
        }
        pclose(pipe);
    }
    return text;
}

bool Until(const std::function<bool()>& done, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

struct TPlace
{
    int X = -1;
    int Y = -1;
    int Width = 0;
    int Height = 0;
};

class X11MainWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS("Xvfb", "openbox", "dbus-daemon", "trayer", "xdotool");
        // The program runs on the desktop's X server, not on the tests' offscreen platform.
        if (const char* platform = std::getenv("QT_QPA_PLATFORM")) {
            m_platform = platform;
            unsetenv("QT_QPA_PLATFORM");
        }
        ASSERT_TRUE(m_desktop.Start(false)) << m_desktop.ErrorText();
        ASSERT_TRUE(m_desktop.SessionBusStart()) << m_desktop.ErrorText();
        const char* binDir = std::getenv("TALLYHOUR_BIN_DIR");
        m_program = std::string(binDir ? binDir : ".") + "/tallyhour";
        // A user who has been through the first start: no wizard in the way.
        const TDataLocations& locations = DataLocationsCompute(m_desktop.Folder() + "/home/.local/share", m_program);
        m_dataFolder = locations.DataFolder;
        m_iniFile = locations.IniFileName;
        m_logFile = locations.LogFileName;
        OptionsInstance().IsNotFirstRun = true;
        OptionsInstanceFree();
        WindowPreferencesFree();
    }
    void TearDown() override
    {
        if (m_pid > 0) {
            m_desktop.ProgramStop(m_pid);
        }
        m_desktop.Stop();
        if (!m_platform.empty()) {
            setenv("QT_QPA_PLATFORM", m_platform.c_str(), 1);
        }
    }
    void TrayStart()
    {
        ASSERT_GT(m_desktop.ProgramStart(
                      { "trayer", "--edge", "bottom", "--align", "right", "--SetDockType", "true", "--SetPartialStrut",
                          "true", "--widthtype", "pixel", "--width", "100", "--heighttype", "pixel", "--height", "24" },
                      "trayer"),
            0);
        // The tray owns its selection once its window is up.
        ASSERT_TRUE(Until([] { return !CommandText("xdotool search --class trayer").empty(); }, 10));
    }
    // Starts the program and waits for its main window to exist (shown or not).
    void ProgramStart()
    {
        m_pid = m_desktop.ProgramStart({ m_program }, "tallyhour");
        ASSERT_GT(m_pid, 0);
        ASSERT_TRUE(Until([this] { return !MainWindowId(false).empty(); }, 20)) << "no window of the program";
        // Let the program finish its start before the keyboard is used.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    // The program's main window (the tray icon's window is a small one of the same program);
    // only a mapped one when `visible`.
    std::string MainWindowId(bool visible)
    {
        std::istringstream ids(CommandText("xdotool search " + std::string(visible ? "--onlyvisible " : "") + "--pid "
            + std::to_string(m_pid) + " --name '^Tallyhour$'"));
        std::string id;
        while (ids >> id) {
            if (!visible || PlaceOf(id).Width >= 300) {
                return id;
            }
        }
        return {};
    }
    bool Shown()
    {
        return !MainWindowId(true).empty();
    }
    TPlace Place()
    {
        const std::string id = MainWindowId(true);
        return id.empty() ? TPlace() : PlaceOf(id);
    }
    static TPlace PlaceOf(const std::string& id)
    {
        TPlace place;
        std::istringstream lines(CommandText("xdotool getwindowgeometry --shell " + id));
        std::string line;
        while (std::getline(lines, line)) {
            const size_t equals = line.find('=');
            if (equals == std::string::npos) {
                continue;
            }
            const std::string key = line.substr(0, equals);
            const int value = std::atoi(line.c_str() + equals + 1);
            if (key == "X") {
                place.X = value;
            } else if (key == "Y") {
                place.Y = value;
            } else if (key == "WIDTH") {
                place.Width = value;
            } else if (key == "HEIGHT") {
                place.Height = value;
            }
        }
        return place;
    }
    int ProgramEnd()
    {
        kill(m_pid, SIGTERM);
        int status = 0;
        const bool ended = Until([this, &status] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, 20);
        m_pid = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TTestDesktop m_desktop;
    std::string m_platform;
    std::string m_program;
    std::string m_dataFolder;
    std::string m_iniFile;
    std::string m_logFile;
    pid_t m_pid = -1;
};

} // namespace

TEST_F(X11MainWindow, TwoAltPressesShowAndHideTheWindowAndOneDoesNothing)
{
    TrayStart();
    ProgramStart();
    EXPECT_FALSE(Shown()); // it starts in the tray

    std::system("xdotool key alt");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(Shown());

    std::system("xdotool key alt alt");
    EXPECT_TRUE(Until([this] { return Shown(); }, 5));

    // Alt+Tab twice in quick succession is no hot key.
    std::system("xdotool key alt+Tab key alt+Tab");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(Shown());

    std::system("xdotool key alt alt");
    EXPECT_TRUE(Until([this] { return !Shown(); }, 5));
    EXPECT_EQ(ProgramEnd(), 0);
}

TEST_F(X11MainWindow, DocksRightByDefaultAndLeftAfterADragAcrossTheMiddle)
{
    TrayStart();
    ProgramStart();
    std::system("xdotool key alt alt");
    ASSERT_TRUE(Until([this] { return Shown(); }, 5));
    TPlace place;
    EXPECT_TRUE(Until(
        [this, &place] {
            place = Place();
            return place.Width > 0 && place.X + place.Width == 1280;
        },
        5))
        << place.X << "+" << place.Width;
    EXPECT_EQ(place.Y, 0);

    // Drag the header across the middle of the screen.
    const int headerX = place.X + place.Width / 2;
    std::system(("xdotool mousemove " + std::to_string(headerX) + " 12 mousedown 1 mousemove "
        + std::to_string(headerX - 100) + " 14 mousemove 500 16 mousemove 300 18 mouseup 1")
                    .c_str());
    EXPECT_TRUE(Until(
        [this, &place] {
            place = Place();
            return place.X == 0;
        },
        5))
        << place.X;
    EXPECT_EQ(ProgramEnd(), 0);
    EXPECT_NE(FileText(m_iniFile).find("Align=2"), std::string::npos) << FileText(m_iniFile);
}

TEST_F(X11MainWindow, ADesktopWithoutATrayStartsWithTheWindowShown)
{
    ProgramStart();
    EXPECT_TRUE(Until([this] { return Shown(); }, 5));
    EXPECT_NE(FileText(m_logFile).find("has no system tray"), std::string::npos) << FileText(m_logFile);
    // The hot key still hides and shows it.
    std::system("xdotool key alt alt");
    EXPECT_TRUE(Until([this] { return !Shown(); }, 5));
    std::system("xdotool key alt alt");
    EXPECT_TRUE(Until([this] { return Shown(); }, 5));
    EXPECT_EQ(ProgramEnd(), 0);
}

TEST_F(X11MainWindow, UsageChartOfAPresetWeekShowsItsBars)
{
    TH_REQUIRE_PROGRAMS("import", "convert");
    // A week in which a listed program had an hour a day.
    TOptions& options = OptionsInstance();
    auto item = std::make_unique<TMonitoredItem>();
    item->Name = "/usr/bin/xterm";
    item->Caption = "XTerm";
    item->ItemType = mitApp;
    item->Checked = true;
    options.MonitoredItems().Add("XTerm", std::move(item));
    options.ListSave();
    for (int day = 0; day < 7; ++day) {
        ActivityDBExecSQL(ActivityInsertSql(
            DateTimeToDbText(ProgramNow() - day - 0.1), "/usr/bin/xterm", "", "Desktop Application", 3600, 1));
    }
    ActivityDatabaseClose();
    OptionsInstanceFree();

    ProgramStart();
    ASSERT_TRUE(Until([this] { return Shown(); }, 5));
    // View, then Usage from its menu (after "All" and "Reminders"), then the Chart button.
    const std::string main = MainWindowId(true);
    std::system(("xdotool mousemove --window " + main + " 222 16 click 1").c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::system("xdotool key Down Down Down Return");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::system(("xdotool mousemove --window " + MainWindowId(true) + " 281 99 click 1").c_str());
    std::string chart;
    ASSERT_TRUE(Until(
        [&] {
            chart = CommandText("xdotool search --onlyvisible --name '^Usage Chart$'");
            return !chart.empty();
        },
        10));
    chart = chart.substr(0, chart.find('\n'));
    // It shows the usage view's period, today; the user picks the last seven days in its own box.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::system(("xdotool mousemove --window " + chart + " 60 53 click 1").c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::system("xdotool key Down Down Return");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // The bars of the six days before today in the program's colour for the first item.
    const std::string shot = m_desktop.Folder() + "/usage-chart.png";
    std::system(("import -window " + chart + " " + shot).c_str());
    const int barPixels = std::atoi(CommandText("convert " + shot
        + " -fill black +opaque '#E69F00' -fill white -opaque '#E69F00' -format "
          "'%[fx:round(mean*w*h)]' info:")
                                        .c_str());
    EXPECT_GT(barPixels, 6 * 200) << "screenshot: " << shot;
    EXPECT_EQ(ProgramEnd(), 0);
}
