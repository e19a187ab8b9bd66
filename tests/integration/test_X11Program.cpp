// The real tallyhour on a private desktop: Xvfb, openbox, a session bus and a tray, with a fresh
// HOME and a settings database prepared through the storage code. The checks are what a user
// sees (windows, the tray) and what lands in the files.

#include "ProgramOnDesktopFixture.h"

#include "model/DataLocations.h"
#include "model/ProgramClock.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kScreenWidth = 1280;

std::string CommandOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) {
        return output;
    }
    char buffer[4096];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        output.append(buffer, read);
    }
    pclose(pipe);
    return output;
}

struct TGeometry
{
    uint64_t Window = 0;
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    bool ChildOfRoot = false;
};

TGeometry GeometryGet(uint64_t window)
{
    TGeometry geometry;
    geometry.Window = window;
    const std::string info = CommandOutput("xwininfo -id " + WindowHandleText(window));
    const auto number = [&info](const std::string& label) {
        const size_t at = info.find(label);
        return at == std::string::npos ? 0 : std::atoi(info.c_str() + at + label.size());
    };
    geometry.X = number("Absolute upper-left X:");
    geometry.Y = number("Absolute upper-left Y:");
    geometry.Width = number("Width:");
    geometry.Height = number("Height:");
    const std::string tree = CommandOutput("xwininfo -tree -id " + WindowHandleText(window));
    const size_t root = tree.find("Root window id: ");
    const size_t parent = tree.find("Parent window id: ");
    if (root != std::string::npos && parent != std::string::npos) {
        const std::string rootId = tree.substr(root + 16, tree.find(' ', root + 16) - root - 16);
        const std::string parentId = tree.substr(parent + 18, tree.find(' ', parent + 18) - parent - 18);
        geometry.ChildOfRoot = rootId == parentId;
    }
    return geometry;
}

// The mapped windows of the program's processes (xdotool looks at every window, nested ones too).
std::vector<TGeometry> VisibleWindowsGet(pid_t pid)
{
    std::vector<TGeometry> windows;
    std::istringstream lines(CommandOutput("xdotool search --all --onlyvisible --pid " + std::to_string(pid) + " ''"));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty()) {
            windows.push_back(GeometryGet(std::stoull(line)));
        }
    }
    return windows;
}

bool IsTrayIcon(const TGeometry& window)
{
    return !window.ChildOfRoot && window.Width <= 64 && window.Height <= 64;
}

// A message at the tray icon: beside an XEmbed tray Qt shows it in a tooltip window of its own.
bool IsTrayMessage(const TGeometry& window)
{
    return window.ChildOfRoot
        && CommandOutput("xprop -id " + WindowHandleText(window.Window) + " _NET_WM_WINDOW_TYPE").find("TOOLTIP")
        != std::string::npos;
}

bool IsMainWindow(const TGeometry& window)
{
    return window.Width == 327;
}

// The file's bytes and identity, to show that nothing touched it.
std::string FileStamp(const std::string& name)
{
    struct stat info = {};
    if (::stat(name.c_str(), &info) != 0) {
        return "missing";
    }
    return std::to_string(info.st_ino) + "/" + std::to_string(info.st_size) + "/" + std::to_string(info.st_mtim.tv_sec)
        + "." + std::to_string(info.st_mtim.tv_nsec) + "/" + FileText(name);
}

// The first visible window of the program whose title is `title`, or 0 after `seconds`.
uint64_t TitledWindowWait(pid_t pid, const std::string& title, double seconds = 15)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        const std::string found = CommandOutput(
            "xdotool search --all --onlyvisible --pid " + std::to_string(pid) + " --name '^" + title + "$'");
        if (!found.empty()) {
            return std::stoull(found);
        }
        Pause(100);
    } while (std::chrono::steady_clock::now() < deadline);
    return 0;
}

// A click at a point of the window, as the user's mouse gives it.
void ClickAt(uint64_t window, int x, int y)
{
    CommandOutput("xdotool windowactivate --sync " + WindowHandleText(window) + " mousemove --window "
        + WindowHandleText(window) + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    Pause(400);
}

void TypeInto(uint64_t window, const std::string& text)
{
    CommandOutput("xdotool windowactivate --sync " + WindowHandleText(window) + " type --delay 30 '" + text + "'");
    Pause(400);
}

std::vector<std::string> ListedNames(const std::string& database, const std::string& table)
{
    std::vector<std::string> names;
    auto rows = ActivityDBGetTable("SELECT name FROM " + table + " ORDER BY name", database);
    for (rows->First(); rows && !rows->AtEnd(); rows->Next()) {
        names.push_back(rows->TextAt(0));
    }
    return names;
}

class ProgramOnDesktop : public ProgramOnDesktopFixture
{
protected:
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS("Xvfb", "openbox", "dbus-daemon", "trayer", "xdotool", "xwininfo", "xprop", "xterm");
        PlatformPutAside();
        ASSERT_TRUE(m_desktop.Start(false)) << m_desktop.ErrorText();
        ASSERT_TRUE(m_desktop.SessionBusStart()) << m_desktop.ErrorText();
        ProgramLocate();
    }

    // The settings a user had when the program starts: the first run is over, the day's reset
    // has run, and `listed` (if any) is on the time-limit list.
    void SettingsPrepare(const std::string& listed, bool firstRunOver = true)
    {
        TOptions& options = OptionsInstance();
        options.IsNotFirstRun = firstRunOver;
        options.ResetDateTime = TodayAt0400() + 1;
        if (!listed.empty()) {
            auto item = std::make_unique<TMonitoredItem>();
            item->Name = listed;
            item->Caption = "XTerm";
            item->ItemType = mitApp;
            item->Checked = true;
            options.MonitoredItems().Add("XTerm", std::move(item));
            options.ListSave();
        }
        OptionsInstanceFree();
        WindowPreferencesFree();
    }

    pid_t ProgramStart(const std::string& logName = "tallyhour")
    {
        return m_desktop.ProgramStart({ m_program }, logName);
    }

    // Waits until the program shows a window that `wanted` accepts; returns it (Window 0 if none).
    template <typename TWanted> TGeometry WindowWait(pid_t pid, TWanted wanted, double seconds = 15)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            for (const TGeometry& window : VisibleWindowsGet(pid)) {
                if (wanted(window)) {
                    return window;
                }
            }
            Pause(100);
        } while (std::chrono::steady_clock::now() < deadline);
        return {};
    }
};

} // namespace

TEST_F(ProgramOnDesktop, StartsToTheTrayOnlyAndEndsOnSigtermWithTheSettingsSaved)
{
    ASSERT_GT(m_desktop.TrayStart(), 0) << m_desktop.ErrorText();
    SettingsPrepare("", false); // a first run: the program marks it done, in memory until the end
    const pid_t pid = ProgramStart();
    ASSERT_GT(pid, 0);
    // The first run's settings wizard comes first. Esc in an open drop-down list closes the list
    // alone; Esc on the page then cancels the wizard.
    const uint64_t settings = TitledWindowWait(pid, "Settings", 20);
    ASSERT_NE(settings, 0u) << LogText();
    const size_t windows = VisibleWindowsGet(pid).size();
    CommandOutput("xdotool windowactivate --sync " + WindowHandleText(settings) + " key --clearmodifiers alt+Down");
    Pause(500);
    ASSERT_EQ(VisibleWindowsGet(pid).size(), windows + 1) << "no list opened";
    CommandOutput("xdotool key --clearmodifiers Escape");
    Pause(500);
    EXPECT_EQ(VisibleWindowsGet(pid).size(), windows) << "the list stayed open";
    ASSERT_EQ(TitledWindowWait(pid, "Settings", 0.5), settings) << "Esc in the list closed the wizard";
    CommandOutput("xdotool windowactivate --sync " + WindowHandleText(settings) + " key --clearmodifiers Escape");
    const TGeometry icon = WindowWait(pid, IsTrayIcon);
    ASSERT_NE(icon.Window, 0u) << "no tray icon; log:\n" << LogText();
    // Cancelled too, the wizard does not come back by itself: a message at the icon tells where
    // the program went and where its settings are.
    EXPECT_NE(WindowWait(pid, IsTrayMessage, 5).Window, 0u) << "no message at the tray icon";
    Pause(1000);
    for (const TGeometry& window : VisibleWindowsGet(pid)) {
        EXPECT_TRUE(IsTrayIcon(window) || IsTrayMessage(window))
            << "a window besides the tray icon and its message: " << window.Width << "x" << window.Height;
    }
    EXPECT_TRUE(fs::exists(m_locations.LockFileName));

    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitWait(pid, 10), 0);
    EXPECT_FALSE(fs::exists(m_locations.LockFileName));
    EXPECT_TRUE(OptionsInstance().IsNotFirstRun) << "the end of the run saved the settings";
    EXPECT_EQ(LogText().find("Error"), std::string::npos) << LogText();
}

TEST_F(ProgramOnDesktop, SecondStartWarnsAndLeavesTheFirstCopysFilesAlone)
{
    ASSERT_GT(m_desktop.TrayStart(), 0) << m_desktop.ErrorText();
    SettingsPrepare("");
    const pid_t first = ProgramStart();
    ASSERT_NE(WindowWait(first, IsTrayIcon).Window, 0u) << LogText();
    Pause(1500);
    const std::vector<std::string> files = { m_locations.SettingsDbFileName, m_locations.ActivityDbFileName,
        m_locations.IniFileName, m_locations.LockFileName, m_locations.LogFileName };
    std::vector<std::string> before;
    for (const std::string& file : files) {
        before.push_back(FileStamp(file));
    }

    const pid_t second = ProgramStart("tallyhour-second");
    uint64_t warning = 0;
    for (int i = 0; i < 150 && warning == 0; ++i) {
        const std::string found = CommandOutput(
            "xdotool search --all --onlyvisible --pid " + std::to_string(second) + " --name 'Please Note'");
        warning = found.empty() ? 0 : std::stoull(found);
        Pause(100);
    }
    ASSERT_NE(warning, 0u) << "no warning window";
    const std::string warningText = WindowHandleText(warning);
    CommandOutput("xdotool windowactivate --sync " + warningText + " key --clearmodifiers Return");
    EXPECT_EQ(ExitWait(second, 10), 0);

    EXPECT_EQ(ExitWait(first, 0), -1) << "the first copy runs on";
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(FileStamp(files[i]), before[i]) << files[i];
    }
    ::kill(first, SIGTERM);
    EXPECT_EQ(ExitWait(first, 10), 0);
}

TEST_F(ProgramOnDesktop, ListedXtermInFrontIsChargedAndShownInTheList)
{
    ASSERT_GT(m_desktop.TrayStart(), 0) << m_desktop.ErrorText();
    const std::string xtermPath = fs::canonical(TTestDesktop::ProgramFind("xterm")).string();
    SettingsPrepare(xtermPath);
    const pid_t pid = ProgramStart();
    const TGeometry icon = WindowWait(pid, IsTrayIcon);
    ASSERT_NE(icon.Window, 0u) << LogText();

    const pid_t xterm = m_desktop.XtermStart("listed");
    const TWindowHandle xtermWindow = m_desktop.WindowWait(xterm, 10);
    ASSERT_NE(xtermWindow, 0u);
    ASSERT_TRUE(m_desktop.WindowActivate(xtermWindow));
    Pause(10'000);

    auto table = ActivityDBGetTable("SELECT app_name, origin, SUM(duration), COUNT(*) FROM applications GROUP BY "
                                    "app_name, origin",
        m_locations.ActivityDbFileName);
    ASSERT_TRUE(table);
    table->First();
    ASSERT_FALSE(table->AtEnd()) << "no rows; log:\n" << LogText();
    EXPECT_EQ(table->TextAt(0), xtermPath);
    EXPECT_EQ(table->Int64At(1), 1);
    EXPECT_GE(table->Int64At(2), 6);
    EXPECT_LE(table->Int64At(2), 13);
    EXPECT_GE(table->Int64At(3), 2);
    table->Next();
    EXPECT_TRUE(table->AtEnd()) << "only the xterm was charged";

    // A click on the tray icon shows the window, docked at the right edge, without a task-bar entry.
    CommandOutput("xdotool mousemove --window " + WindowHandleText(icon.Window) + " 4 4 click 1");
    const TGeometry window = WindowWait(pid, IsMainWindow, 10);
    ASSERT_NE(window.Window, 0u);
    EXPECT_EQ(window.X + window.Width, kScreenWidth);
    const std::string state = CommandOutput("xprop -id " + WindowHandleText(window.Window) + " _NET_WM_STATE");
    EXPECT_NE(state.find("_NET_WM_STATE_SKIP_TASKBAR"), std::string::npos) << state;
    EXPECT_NE(state.find("_NET_WM_STATE_ABOVE"), std::string::npos) << state;

    // All view, through the View button's menu; then the first row of the list carries text in
    // its name and time columns.
    CommandOutput("xdotool mousemove --window " + WindowHandleText(window.Window) + " 222 16 click 1");
    Pause(500);
    CommandOutput("xdotool key Down Return");
    const TGeometry full = WindowWait(
        pid, [](const TGeometry& w) { return IsMainWindow(w) && w.Height > 400; }, 5);
    ASSERT_NE(full.Window, 0u) << "no All view";
    Pause(500);
    const int rowTop = full.Y + 88 + 174;
    const std::string pixels = CommandOutput("import -window root -crop 307x16+" + std::to_string(full.X + 10) + "+"
        + std::to_string(rowTop) + " -depth 8 txt:-");
    int darkInName = 0;
    int darkInTime = 0;
    std::istringstream lines(pixels);
    std::string line;
    while (std::getline(lines, line)) {
        int x = 0;
        int y = 0;
        int r = 255;
        if (std::sscanf(line.c_str(), "%d,%d: (%d", &x, &y, &r) == 3 && r < 0x70) {
            darkInName += x < 180 ? 1 : 0;
            darkInTime += x > 236 ? 1 : 0;
        }
    }
    EXPECT_GT(darkInName, 10) << "the entry's name";
    EXPECT_GT(darkInTime, 10) << "the entry's time";
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitWait(pid, 30), 0) << LogText();
}

// A snap as snapd lays it out under /snap, removed again at the end of the test.
class TSnapTree
{
public:
    explicit TSnapTree(const std::string& name)
        : m_madeSnapFolder(!fs::exists("/snap"))
        , m_folder("/snap/" + name)
    {
        fs::create_directories(m_folder);
    }
    ~TSnapTree()
    {
        std::error_code error;
        fs::remove_all(m_folder, error);
        if (m_madeSnapFolder)
            fs::remove("/snap", error);
    }
    // Installs `program` as the revision's usr/bin file and makes the revision the current one;
    // the revision before it goes, as snapd removes old revisions.
    std::string Refresh(int revision, const std::string& program)
    {
        const fs::path file = m_folder / std::to_string(revision) / "usr/bin" / fs::path(program).filename();
        fs::create_directories(file.parent_path());
        fs::copy_file(program, file);
        std::error_code error;
        fs::remove(m_folder / "current", error);
        fs::create_symlink(std::to_string(revision), m_folder / "current");
        for (const auto& entry : fs::directory_iterator(m_folder))
            if (entry.path().filename() != "current" && entry.path().filename() != std::to_string(revision))
                fs::remove_all(entry.path(), error);
        return file.string();
    }
    std::string CurrentPath(const std::string& relative) const
    {
        return (m_folder / "current" / relative).string();
    }

private:
    bool m_madeSnapFolder;
    fs::path m_folder;
};

TEST_F(ProgramOnDesktop, ListedSnapXtermIsChargedAcrossARefreshUnderItsCurrentLink)
{
    // The kernel names a snap's program under its revision only when it runs from /snap itself.
    if (getuid() != 0 || (fs::exists("/snap") && access("/snap", W_OK) != 0))
        GTEST_SKIP() << "a snap's revision folders need /snap, which only root can write here";
    TSnapTree snap("thxterm-" + std::to_string(getpid()));
    const std::string xtermFile = fs::canonical(TTestDesktop::ProgramFind("xterm")).string();
    const std::string listed = snap.CurrentPath("usr/bin/xterm");
    std::string revisionFile = snap.Refresh(41, xtermFile);
    SettingsPrepare(listed);
    {
        TOptions& options = OptionsInstance();
        options.ScanPeriodSeconds = 1;
        OptionsInstanceFree();
    }
    ASSERT_GT(m_desktop.TrayStart(), 0) << m_desktop.ErrorText();
    const pid_t pid = ProgramStart();
    ASSERT_NE(WindowWait(pid, IsTrayIcon).Window, 0u) << LogText();

    const auto chargedSeconds = [this] {
        auto table = ActivityDBGetTable(
            "SELECT app_name, SUM(duration) FROM applications GROUP BY app_name", m_locations.ActivityDbFileName);
        std::map<std::string, int64_t> seconds;
        for (table->First(); table && !table->AtEnd(); table->Next())
            seconds[table->TextAt(0)] = table->Int64At(1);
        return seconds;
    };
    // Runs the revision's xterm in front until its time has grown past `atLeast` seconds.
    const auto chargeUntil = [&](int64_t atLeast) {
        const pid_t xterm = m_desktop.ProgramStart(
            { revisionFile, "-title", "snap", "-geometry", "80x24", "-e", "sleep", "600" }, "xterm-snap");
        const TWindowHandle window = m_desktop.WindowWait(xterm, 10);
        EXPECT_NE(window, 0u);
        EXPECT_TRUE(m_desktop.WindowActivate(window));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (chargedSeconds()[listed] < atLeast && std::chrono::steady_clock::now() < deadline)
            Pause(200);
        m_desktop.ProgramStop(xterm);
        return chargedSeconds();
    };
    const auto before = chargeUntil(2);
    EXPECT_GE(before.count(listed) ? before.at(listed) : 0, 2) << "log:\n" << LogText();

    revisionFile = snap.Refresh(42, xtermFile);
    const auto after = chargeUntil(before.count(listed) ? before.at(listed) + 2 : 4);
    EXPECT_GE(after.count(listed) ? after.at(listed) : 0, (before.count(listed) ? before.at(listed) : 0) + 2)
        << "log:\n"
        << LogText();
    EXPECT_EQ(after.size(), 1u) << "only the listed path was charged";
    for (const std::string& database : { m_locations.SettingsDbFileName, m_locations.ActivityDbFileName })
        EXPECT_EQ(std::vector<std::string> { listed }, ListedNames(database, "applications_list")) << database;
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitWait(pid, 30), 0) << LogText();
}

TEST_F(ProgramOnDesktop, DamagedSettingsFileAtStartKeepsEveryChargeAndTheListAndSaysSo)
{
    ASSERT_GT(m_desktop.TrayStart(), 0) << m_desktop.ErrorText();
    {
        TOptions& options = OptionsInstance();
        options.IsNotFirstRun = true;
        options.ResetDateTime = TodayAt0400() + 1;
        for (int i = 0; i < 5; ++i) {
            auto item = std::make_unique<TMonitoredItem>();
            item->Name = "/usr/bin/tool" + std::to_string(i);
            item->Caption = "Tool " + std::to_string(i);
            item->ItemType = mitApp;
            const std::string key = item->Caption;
            options.MonitoredItems().Add(key, std::move(item));
        }
        options.ListSave();
        OptionsInstanceFree();
        WindowPreferencesFree();
    }
    {
        auto database = ActivityDatabaseOpen(m_locations.ActivityDbFileName);
        database->TransactionBegin();
        for (int i = 0; i < 3000; ++i) {
            database->RunStatement(ActivityInsertSql(DateTimeToDbText(ProgramNow() - 1 + i / 86400.0),
                "/usr/bin/tool" + std::to_string(i % 5), "", "Desktop Application", 3, 1));
        }
        database->TransactionCommit();
    }
    ActivityDatabaseClose();
    // The file cut after its second page: the settings table is there, the list's tables are not.
    fs::resize_file(m_locations.SettingsDbFileName, 8192);

    const pid_t pid = ProgramStart();
    ASSERT_GT(pid, 0);
    // The user is told, after the start-up purge has run.
    const uint64_t notice = TitledWindowWait(pid, "Please Note", 20);
    ASSERT_NE(notice, 0u) << LogText();
    const auto count = [](const std::string& database, const std::string& sql) {
        return ActivityDBGetTable(sql, database)->Int64At(0);
    };
    EXPECT_EQ(count(m_locations.ActivityDbFileName, "SELECT COUNT(*) FROM applications"), 3000) << LogText();
    EXPECT_EQ(count(m_locations.SettingsDbFileName, "SELECT COUNT(*) FROM applications_list"), 5) << LogText();
    EXPECT_NE(LogText().find("its time-limit list (0 entries) was completed from the activity database's copy (5 "
                             "entries) to 5 entries"),
        std::string::npos)
        << LogText();
    CommandOutput("xdotool windowactivate --sync " + WindowHandleText(notice) + " key --clearmodifiers Return");
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitWait(pid, 10), 0);
    ActivityDatabaseClose();
    EXPECT_EQ(count(m_locations.ActivityDbFileName, "SELECT COUNT(*) FROM applications"), 3000);
    EXPECT_EQ(ListedNames(m_locations.SettingsDbFileName, "applications_list"),
        ListedNames(m_locations.ActivityDbFileName, "applications_list"));
    EXPECT_EQ(ListedNames(m_locations.SettingsDbFileName, "applications_list").size(), 5u);
}

TEST_F(ProgramOnDesktop, WithoutATrayTheWindowStaysShown)
{
    SettingsPrepare("");
    const pid_t pid = ProgramStart();
    const TGeometry window = WindowWait(pid, IsMainWindow);
    ASSERT_NE(window.Window, 0u) << LogText();
    EXPECT_NE(LogText().find("no system tray"), std::string::npos) << LogText();
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitWait(pid, 10), 0);
}

TEST_F(ProgramOnDesktop, FirstStartWizardListsASiteAndAProgramOfTheFastScanWhichIsThenCharged)
{
    TH_REQUIRE_PROGRAMS("xterm");
    if (!fs::exists("/usr/share/applications/debian-xterm.desktop")) {
        GTEST_SKIP() << "xterm has no menu entry here";
    }
    ASSERT_GT(m_desktop.TrayStart(), 0) << m_desktop.ErrorText();
    const std::string xtermPath = fs::canonical(TTestDesktop::ProgramFind("xterm")).string();
    // A fresh HOME: the first start.
    const pid_t pid = ProgramStart();
    const uint64_t settings = TitledWindowWait(pid, "Settings", 20);
    ASSERT_NE(settings, 0u) << "no settings wizard; log:\n" << LogText();
    for (const TGeometry& window : VisibleWindowsGet(pid)) {
        EXPECT_FALSE(IsMainWindow(window)) << "the main window is made after the wizard";
        EXPECT_FALSE(IsTrayIcon(window)) << "the main window's tray icon is made after the wizard";
    }

    // Background page, "Next >"; the list's "Add site/application".
    ClickAt(settings, 414, 374);
    ClickAt(settings, 418, 329);
    const uint64_t add = TitledWindowWait(pid, "Add Websites to your time-limit list");
    ASSERT_NE(add, 0u) << "no add wizard";
    TypeInto(add, "example.org");
    ClickAt(add, 410, 116); // "Add"
    ClickAt(add, 409, 444); // "Next >"
    ClickAt(add, 410, 108); // "Scan", the fast one
    Pause(2000);
    ClickAt(add, 200, 142); // the filter box
    TypeInto(add, "XTerm");
    ClickAt(add, 16 + 438 - 10, 36 + 146 + 9); // the first row's check box
    ClickAt(add, 409, 444); // "Next >"
    ClickAt(add, 409, 444); // "Finish"
    ASSERT_EQ(TitledWindowWait(pid, "Add Websites to your time-limit list", 0.5), 0u) << "the add wizard stayed open";

    ClickAt(settings, 414, 374); // Apps -> Expiration
    ClickAt(settings, 414, 374); // Expiration -> Reminder
    ClickAt(settings, 414, 374); // "Apply"
    ASSERT_NE(WindowWait(pid, IsTrayIcon).Window, 0u) << "no main window after the wizard; log:\n" << LogText();
    for (const std::string& database : { m_locations.SettingsDbFileName, m_locations.ActivityDbFileName }) {
        EXPECT_EQ(std::vector<std::string> { xtermPath }, ListedNames(database, "applications_list")) << database;
        EXPECT_EQ(std::vector<std::string> { "example.org" }, ListedNames(database, "websites_list")) << database;
    }

    const pid_t xterm = m_desktop.XtermStart("found by the scan");
    const TWindowHandle xtermWindow = m_desktop.WindowWait(xterm, 10);
    ASSERT_NE(xtermWindow, 0u);
    ASSERT_TRUE(m_desktop.WindowActivate(xtermWindow));
    Pause(8'000);
    auto charged = ActivityDBGetTable(
        "SELECT app_name, SUM(duration) FROM applications GROUP BY app_name", m_locations.ActivityDbFileName);
    ASSERT_TRUE(charged);
    charged->First();
    ASSERT_FALSE(charged->AtEnd()) << "nothing charged; log:\n" << LogText();
    EXPECT_EQ(xtermPath, charged->TextAt(0));
    EXPECT_GE(charged->Int64At(1), 4);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitWait(pid, 30), 0) << LogText();
}
