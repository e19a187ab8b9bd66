#include "CompositorDesktop.h"

#include "model/MonitoredObjects.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/kwin/KWinWindowSystem.h"

namespace {

bool KWinScriptLoaded(const std::string& name)
{
    GVariant* reply = nullptr;
    if (!BusCall("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded",
            g_variant_new("(s)", name.c_str()), &reply))
        return false;
    gboolean loaded = FALSE;
    g_variant_get(reply, "(b)", &loaded);
    g_variant_unref(reply);
    return loaded != FALSE;
}

// A headless KWin of its own on a private session bus.
class KWinDesktop : public CompositorDesktop
{
protected:
    void DesktopStart() override
    {
        TH_REQUIRE_PROGRAMS("kwin_wayland", "dbus-daemon");
        ASSERT_TRUE(m_desktop.KWinStart()) << m_desktop.ErrorText();
    }
    TLinuxDesktopKind Kind() const override
    {
        return TLinuxDesktopKind::KWin;
    }
    // The program's own view, which must agree with the desktop's after the desktop's change.
    bool ForegroundBecomes(TWindowHandle desktopWindow, const std::string& title)
    {
        return m_desktop.WindowActivate(desktopWindow) && InFront(title, 5) != 0;
    }
};

} // namespace

TEST_F(KWinDesktop, WaylandWindowInFrontIsSampledWithItsRealExecutableAndSwitchingOrRenamingIsPushed)
{
    pid_t first = 0;
    pid_t second = 0;
    const TWindowHandle firstOnDesktop = WindowShow("first", first);
    const TWindowHandle secondOnDesktop = WindowShow("second", second);
    ASSERT_NE(firstOnDesktop, 0u) << WindowTitles(m_desktop);
    ASSERT_NE(secondOnDesktop, 0u) << WindowTitles(m_desktop);

    ASSERT_TRUE(ForegroundBecomes(firstOnDesktop, "first"));
    TWindowSystem& windows = *m_services->WindowSystem;
    const TWindowHandle firstWindow = windows.ForegroundWindowGet();
    EXPECT_EQ(windows.WindowProcessIdGet(firstWindow), first);
    EXPECT_EQ(windows.WindowClassNameGet(firstWindow), "tallyhour-test-window");
    TZaraveDezeZurirevuzor scan(*m_services->WindowSystem, *m_services->Processes, *m_services->Accessibility);
    scan.Execute(false, nullptr);
    EXPECT_EQ(scan.WindowHandle, firstWindow);
    EXPECT_EQ(scan.ExeName, WindowProgramPath());
    EXPECT_EQ(scan.AppType, atDesktop);
    // The tool a user runs, in the session as it stands, loads a script of its own and sees the same.
    auto sample = SampleCommandRun();
    EXPECT_EQ(sample["exit"], "0") << FileRead(m_logFile);
    EXPECT_EQ(sample["exe"], WindowProgramPath());

    ASSERT_TRUE(ForegroundBecomes(secondOnDesktop, "second"));
    scan.Execute(false, nullptr);
    EXPECT_NE(scan.WindowHandle, firstWindow);
    EXPECT_EQ(windows.WindowProcessIdGet(scan.WindowHandle), second);
    EXPECT_EQ(scan.ExeName, WindowProgramPath());

    // A title changed in front (a browser's tab, a document) reaches the program without a new
    // activation.
    kill(second, SIGUSR1);
    EXPECT_TRUE(Eventually(5, [&] { return windows.WindowTextGet(scan.WindowHandle) == "second (renamed)"; }))
        << windows.WindowTextGet(scan.WindowHandle);
    EXPECT_EQ(windows.ForegroundWindowGet(), scan.WindowHandle);
}

TEST_F(KWinDesktop, CloseRequestClosesTheAskedWindowOnlyAndTheScriptsLeaveKWinAtTheEnd)
{
    pid_t asked = 0;
    pid_t other = 0;
    ASSERT_NE(WindowShow("asked", asked), 0u);
    ASSERT_NE(WindowShow("other", other), 0u);
    TWindowSystem& windows = *m_services->WindowSystem;
    auto find = [&windows](const std::string& title) -> TWindowHandle {
        for (TWindowHandle window : windows.TopLevelWindowsGet()) {
            if (windows.WindowTextGet(window) == title)
                return window;
        }
        return 0;
    };
    ASSERT_TRUE(Eventually(5, [&] { return find("asked") && find("other"); }));
    const TWindowHandle askedWindow = find("asked");
    const TWindowHandle otherWindow = find("other");

    auto* kwin = dynamic_cast<TKWinWindowSystem*>(m_services->WindowSystem.get());
    ASSERT_NE(kwin, nullptr);
    EXPECT_TRUE(windows.WindowCloseRequest(askedWindow));
    const std::vector<std::string> scripts = kwin->ScriptNamesGet();
    EXPECT_TRUE(Eventually(30, [&] { return !Listed(askedWindow); }));
    // Closed as its close button closes it: the program ends by itself.
    EXPECT_TRUE(Eventually(30, [&] { return kill(asked, 0) != 0 || waitpid(asked, nullptr, WNOHANG) == asked; }));
    EXPECT_TRUE(Listed(otherWindow));
    EXPECT_EQ(kill(other, 0), 0);
    // A gone window answers "not available".
    EXPECT_FALSE(windows.WindowCloseRequest(askedWindow));
    EXPECT_EQ(windows.WindowProcessIdGet(askedWindow), 0);
    EXPECT_EQ(windows.WindowTextGet(askedWindow), "");

    ASSERT_TRUE(windows.WindowCloseRequest(otherWindow));
    ASSERT_TRUE(Eventually(30, [&] { return !Listed(otherWindow); }));
    EXPECT_EQ(windows.ForegroundWindowGet(), 0u);

    // Every script the program had KWin load is gone once the program ends with it: the one-shot
    // ones as soon as they ran, the reporting one at the end.
    const std::string reporting = kwin->ScriptNameGet();
    ASSERT_NE(reporting, "");
    EXPECT_TRUE(KWinScriptLoaded(reporting));
    EXPECT_TRUE(Eventually(5, [&] { return kwin->ScriptNamesGet() == std::vector<std::string> { reporting }; }));
    for (const std::string& script : scripts) {
        if (script != reporting) {
            EXPECT_FALSE(KWinScriptLoaded(script)) << script;
        }
    }
    m_services.reset();
    EXPECT_FALSE(KWinScriptLoaded(reporting));
}

TEST_F(KWinDesktop, CloseAllClosesTheListedProgramsWindowsAndLeavesAnotherProgram)
{
    // The same window program under a second name is another program to the list.
    const std::string otherProgram = m_desktop.Folder() + "/bin/other-window";
    fs::copy_file(TEST_WINDOW_PROGRAM, otherProgram);
    pid_t listed = 0;
    pid_t listedToo = 0;
    pid_t unlisted = 0;
    ASSERT_NE(WindowShow("listed", listed), 0u);
    ASSERT_NE(WindowShow("listed too", listedToo), 0u);
    ASSERT_NE(WindowShow("unlisted", unlisted, otherProgram), 0u);
    ASSERT_TRUE(Eventually(5, [&] { return m_services->WindowSystem->TopLevelWindowsGet().size() >= 3; }));

    TMonitoredList list;
    auto item = std::make_unique<TMonitoredItem>();
    item->ItemType = mitApp;
    item->Name = WindowProgramPath();
    item->Caption = "Test window";
    list.Add("Test window", std::move(item));
    TZaraveDezeZurirevuzor sample(*m_services->WindowSystem, *m_services->Processes, *m_services->Accessibility);
    sample.Execute(true, &list);
    auto titles = [this] {
        std::vector<std::string> shown;
        for (TWindowHandle window : m_services->WindowSystem->TopLevelWindowsGet())
            shown.push_back(m_services->WindowSystem->WindowTextGet(window));
        return shown;
    };
    EXPECT_TRUE(Eventually(30, [&] { return titles() == std::vector<std::string> { "unlisted" }; }))
        << WindowTitles(m_desktop);
    EXPECT_EQ(kill(unlisted, 0), 0);
}

TEST_F(KWinDesktop, AfterKWinRestartsTheScriptIsLoadedAgainAndTheLogSaysWhatHappened)
{
    pid_t before = 0;
    ASSERT_NE(WindowShow("before", before), 0u);
    TWindowSystem& windows = *m_services->WindowSystem;
    ASSERT_TRUE(Eventually(5, [&] { return !windows.TopLevelWindowsGet().empty(); }));

    // A second reader that tells its user after half a second of KWin's absence, where the
    // program waits longer than a restart takes.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    TKWinWindowSystem impatient(address ? address : "", 500);

    ASSERT_TRUE(m_desktop.KWinRestart(1.5)) << m_desktop.ErrorText();
    const std::string notice = impatient.ForegroundNoticeTake();
    EXPECT_NE(notice.find("KWin has left the desktop session"), std::string::npos) << notice;
    EXPECT_EQ(impatient.ForegroundNoticeTake(), "");
    EXPECT_EQ(windows.ForegroundNoticeTake(), "");
    // What the old KWin showed is not taken for what the new one shows.
    EXPECT_TRUE(Eventually(5, [&] {
        const auto shown = windows.TopLevelWindowsGet();
        return std::none_of(shown.begin(), shown.end(),
            [&](TWindowHandle window) { return windows.WindowTextGet(window) == "before"; });
    }));
    pid_t after = 0;
    const TWindowHandle afterOnDesktop = WindowShow("after", after);
    ASSERT_NE(afterOnDesktop, 0u) << FileRead(m_logFile);
    ASSERT_TRUE(ForegroundBecomes(afterOnDesktop, "after")) << FileRead(m_logFile);
    EXPECT_EQ(windows.WindowProcessIdGet(windows.ForegroundWindowGet()), after);
    const std::string log = FileRead(m_logFile);
    EXPECT_NE(log.find("KWin has left the session bus"), std::string::npos) << log;
    EXPECT_NE(log.find("KWin runs the window script again"), std::string::npos) << log;
}

TEST_F(KWinDesktop, ReportsFromAnyoneButKWinAreRefusedAndMalformedOnesFromKWinAreLogged)
{
    auto* kwin = dynamic_cast<TKWinWindowSystem*>(m_services->WindowSystem.get());
    ASSERT_NE(kwin, nullptr);
    const std::string forged = R"({"report":"all","script":")" + kwin->ScriptNameGet()
        + R"(","windows":[{"id":"{00000000-0000-0000-0000-000000000001}","pid":1,"title":"forged","class":"x"}],)"
        + R"("active":"{00000000-0000-0000-0000-000000000001}"})";
    // Another program of the session claims a window is in front.
    EXPECT_FALSE(BusCall(kwin->BusNameGet(), TKWinWindowSystem::ReportPath, TKWinWindowSystem::ReportInterface,
        "Report", g_variant_new("(s)", forged.c_str())));
    EXPECT_EQ(m_services->WindowSystem->ForegroundWindowGet(), 0u);
    EXPECT_TRUE(m_services->WindowSystem->TopLevelWindowsGet().empty());
    EXPECT_NE(FileRead(m_logFile).find("which is not KWin; it is ignored"), std::string::npos) << FileRead(m_logFile);

    // KWin itself passes on what a script sends: text that is no report is logged and changes nothing.
    ASSERT_TRUE(kwin->ScriptRun("        callDBus(\"" + kwin->BusNameGet() + "\", \"" + TKWinWindowSystem::ReportPath
        + "\", \"" + TKWinWindowSystem::ReportInterface + "\", \"Report\", \"{not json\");"));
    EXPECT_TRUE(Eventually(5, [&] { return FileRead(m_logFile).find("cannot be read") != std::string::npos; }))
        << FileRead(m_logFile);
    // and the reports that follow still count, a title with quotes, a backslash and letters
    // from beyond ASCII among them.
    const std::string odd = "still \"seen\" \\ {x} \u00fcn\u00efc\u00f8d\u00e9 \U0001F642";
    pid_t window = 0;
    ASSERT_NE(WindowShow(odd, window), 0u);
    EXPECT_TRUE(Eventually(5, [&] {
        const auto shown = m_services->WindowSystem->TopLevelWindowsGet();
        return shown.size() == 1 && m_services->WindowSystem->WindowTextGet(shown[0]) == odd;
    })) << WindowTitles(m_desktop);
}

TEST(KWinSession, WithoutKWinOnTheBusTheUserIsToldAndNothingIsCountedInSilence)
{
    TH_REQUIRE_PROGRAMS("dbus-daemon");
    TTestDesktop desktop;
    // A Plasma Wayland session whose bus has no KWin (a KWin too old for scripting, or gone).
    ASSERT_TRUE(desktop.Start(false)) << desktop.ErrorText();
    ASSERT_TRUE(desktop.SessionBusStart()) << desktop.ErrorText();
    const std::string logFile = desktop.Folder() + "/logs/test_kwin_session.log";
    LogFileNameSet(logFile);
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    const TLinuxSession session = LinuxSessionDetect();
    ASSERT_EQ(session.Kind, TLinuxDesktopKind::KWin);
    auto services = LinuxPlatformServicesCreate(session);
    EXPECT_NE(services->ForegroundNotice.find("KWin is not on the session bus"), std::string::npos)
        << services->ForegroundNotice;
    EXPECT_NE(services->ForegroundNotice.find("Plasma (X11)"), std::string::npos) << services->ForegroundNotice;
    EXPECT_NE(FileRead(logFile).find(services->ForegroundNotice), std::string::npos);
    // XWayland's windows (here the desktop's X display) are still seen.
    const pid_t xterm = desktop.XtermStart("x11");
    const TWindowHandle xtermWindow = xterm > 0 ? desktop.WindowWait(xterm, 20, "x11") : 0;
    ASSERT_NE(xtermWindow, 0u);
    ASSERT_TRUE(desktop.WindowActivate(xtermWindow));
    EXPECT_EQ(services->WindowSystem->ForegroundWindowGet(), xtermWindow);
    services.reset();
    LogFileNameSet({});
}

TEST_F(KWinDesktop, TheProgramReadsTheWindowInFrontFromKWinAndTakesItsScriptAwayWhenItEnds)
{
    // Started as a user starts it from the desktop: no Qt platform chosen (the desktop has no
    // XWayland here, so its windows are Wayland ones).
    std::string logFile;
    const pid_t program = ProgramStart(m_desktop, logFile);
    ASSERT_GT(program, 0) << m_desktop.ErrorText();
    const std::string line = StartLineWait(logFile);
    ASSERT_NE(line, "") << "no start-up line in " << logFile;
    EXPECT_NE(line.find("KWin's window script"), std::string::npos) << line;
    EXPECT_NE(line.find("Qt's \"wayland\" platform"), std::string::npos) << line;
    // Its reporting script is the first it names.
    const std::string script = "tallyhour-" + std::to_string(program) + "-1";
    EXPECT_TRUE(KWinScriptLoaded(script));

    EXPECT_TRUE(ProgramEnds(program)) << FileRead(logFile);
    EXPECT_FALSE(KWinScriptLoaded(script));
}

// Plasma's own session runs XWayland beside KWin: an X11 program's window in front is read through
// KWin's script like any other, with its process and real executable.
TEST(KWinDesktopWithXWayland, AnX11WindowInFrontIsReadThroughKWinWithItsRealExecutable)
{
    TH_REQUIRE_PROGRAMS("kwin_wayland", "dbus-daemon", "Xwayland", "xterm");
    TTestDesktop desktop;
    ASSERT_TRUE(desktop.KWinStart(true)) << desktop.ErrorText();
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    const std::string logFile = desktop.Folder() + "/logs/test_kwin_xwayland.log";
    LogFileNameSet(logFile);
    const TLinuxSession session = LinuxSessionDetect();
    ASSERT_EQ(session.Kind, TLinuxDesktopKind::KWin);
    auto services = LinuxPlatformServicesCreate(session);
    EXPECT_EQ(services->ForegroundNotice, "") << FileRead(logFile);

    const pid_t xterm = desktop.XtermStart("x11 in front");
    const TWindowHandle onDesktop = xterm > 0 ? desktop.WindowWait(xterm, 20, "x11 in front") : 0;
    ASSERT_NE(onDesktop, 0u) << WindowTitles(desktop);
    ASSERT_TRUE(desktop.WindowActivate(onDesktop));
    TWindowSystem& windows = *services->WindowSystem;
    EXPECT_TRUE(Eventually(5, [&] { return windows.WindowTextGet(windows.ForegroundWindowGet()) == "x11 in front"; }))
        << WindowTitles(desktop);
    TZaraveDezeZurirevuzor scan(windows, *services->Processes, *services->Accessibility);
    scan.Execute(false, nullptr);
    EXPECT_EQ(windows.WindowProcessIdGet(scan.WindowHandle), xterm);
    EXPECT_EQ(scan.ExeName, fs::canonical(TTestDesktop::ProgramFind("xterm")).string());
    EXPECT_EQ(scan.AppType, atDesktop);
    services.reset();
    LogFileNameSet({});

    // The program started there runs its own windows through XWayland, where they can be placed.
    std::string programLog;
    const pid_t program = ProgramStart(desktop, programLog);
    ASSERT_GT(program, 0) << desktop.ErrorText();
    const std::string line = StartLineWait(programLog);
    EXPECT_NE(line.find("KWin's window script"), std::string::npos) << "no start-up line in " << programLog;
    EXPECT_NE(line.find("Qt's \"xcb\" platform"), std::string::npos) << line;
    EXPECT_TRUE(ProgramEnds(program)) << FileRead(programLog);
}
