#include "CompositorDesktop.h"

#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/gnome/GnomeWindowSystem.h"

namespace {

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// The Shell's own word on the extension (its state: 1 enabled, 2 disabled, 6 found and never
// enabled; 0 unknown to it), asked as the Extensions app asks.
int ExtensionState()
{
    GVariant* reply = nullptr;
    if (!BusCall("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell.Extensions", "GetExtensionInfo",
            g_variant_new("(s)", TGnomeWindowSystem::ExtensionUuid), &reply, G_VARIANT_TYPE("(a{sv})")))
        return -1;
    GVariant* info = g_variant_get_child_value(reply, 0);
    double state = 0;
    if (!g_variant_lookup(info, "state", "d", &state))
        state = 0;
    g_variant_unref(info);
    g_variant_unref(reply);
    return static_cast<int>(state);
}

// Skips unless a headless GNOME Shell can be had here.
#define TH_REQUIRE_GNOME_SHELL()                                                                                       \
    do {                                                                                                               \
        TH_REQUIRE_PROGRAMS("gnome-shell", "dbus-daemon");                                                             \
        if (std::system("/usr/bin/python3 -c 'import dbusmock' >/dev/null 2>&1") != 0)                                 \
            GTEST_SKIP() << "python3-dbusmock (the stand-in for logind) is not installed";                             \
        if (!fs::exists(QT_WAYLAND_PLUGIN))                                                                            \
            GTEST_SKIP() << "Qt's Wayland platform (qt6-wayland) is not installed: " << QT_WAYLAND_PLUGIN;             \
    } while (false)

// A headless GNOME Shell with the extension installed as the package installs it, not enabled.
class GnomeDesktop : public CompositorDesktop
{
protected:
    void DesktopStart() override
    {
        TH_REQUIRE_GNOME_SHELL();
        ASSERT_TRUE(m_desktop.GnomeStart(GNOME_EXTENSION_SOURCE)) << m_desktop.ErrorText();
        std::printf("GNOME Shell answered %.2f s after its start\n", m_desktop.GnomeStartSeconds());
    }
    void ServicesPicked() override
    {
        m_stateBefore = ExtensionState();
    }
    TLinuxDesktopKind Kind() const override
    {
        return TLinuxDesktopKind::Gnome;
    }

    int m_stateBefore = -1;
};

} // namespace

TEST_F(GnomeDesktop, TheProgramEnablesItsExtensionAndTheWaylandWindowInFrontGivesItsRealExecutable)
{
    // Installed, found by the Shell at its start, and left off, as after installing the package:
    // the program switched it on and said so.
    EXPECT_EQ(m_stateBefore, 6);
    EXPECT_EQ(ExtensionState(), 1);
    EXPECT_EQ(Count(FileRead(m_logFile), "Enabled Tallyhour's GNOME Shell extension"), 1u) << FileRead(m_logFile);

    pid_t first = 0;
    pid_t second = 0;
    ASSERT_NE(WindowShow("first", first), 0u) << WindowTitles(m_desktop);
    const TWindowHandle firstWindow = InFront("first");
    ASSERT_NE(firstWindow, 0u) << WindowTitles(m_desktop);
    TWindowSystem& windows = *m_services->WindowSystem;
    EXPECT_EQ(windows.WindowProcessIdGet(firstWindow), first);
    EXPECT_EQ(windows.WindowClassNameGet(firstWindow), "tallyhour-test-window");
    TZaraveDezeZurirevuzor scan(*m_services->WindowSystem, *m_services->Processes, *m_services->Accessibility);
    scan.Execute(false, nullptr);
    EXPECT_EQ(scan.WindowHandle, firstWindow);
    EXPECT_EQ(scan.ExeName, WindowProgramPath());
    EXPECT_EQ(scan.AppType, atDesktop);
    // The tool a user runs, in the session as it stands, finds the extension on and sees the same.
    auto sample = SampleCommandRun();
    EXPECT_EQ(sample["exit"], "0") << FileRead(m_logFile);
    EXPECT_EQ(sample["exe"], WindowProgramPath());

    // A new window takes the focus: the sample follows.
    ASSERT_NE(WindowShow("second", second), 0u);
    const TWindowHandle secondWindow = InFront("second");
    ASSERT_NE(secondWindow, 0u) << WindowTitles(m_desktop);
    scan.Execute(false, nullptr);
    EXPECT_EQ(scan.WindowHandle, secondWindow);
    EXPECT_EQ(windows.WindowProcessIdGet(scan.WindowHandle), second);
    EXPECT_EQ(scan.ExeName, WindowProgramPath());

    // A title changed in front reaches the program without a new focus.
    kill(second, SIGUSR1);
    EXPECT_TRUE(Eventually(5, [&] { return windows.WindowTextGet(secondWindow) == "second (renamed)"; }))
        << windows.WindowTextGet(secondWindow);
    EXPECT_EQ(windows.ForegroundWindowGet(), secondWindow);
}

TEST_F(GnomeDesktop, CloseRequestClosesTheAskedWindowOnlyAndTheFocusGoesBack)
{
    pid_t other = 0;
    pid_t asked = 0;
    ASSERT_NE(WindowShow("other", other), 0u);
    const TWindowHandle otherWindow = InFront("other");
    ASSERT_NE(WindowShow("asked", asked), 0u);
    const TWindowHandle askedWindow = InFront("asked");
    ASSERT_NE(otherWindow, 0u) << WindowTitles(m_desktop);
    ASSERT_NE(askedWindow, 0u) << WindowTitles(m_desktop);

    TWindowSystem& windows = *m_services->WindowSystem;
    EXPECT_TRUE(windows.WindowCloseRequest(askedWindow));
    EXPECT_TRUE(Eventually(10, [&] { return !Listed(askedWindow); }));
    // Closed as its close button closes it: the program ends by itself.
    EXPECT_TRUE(Eventually(10, [&] { return kill(asked, 0) != 0 || waitpid(asked, nullptr, WNOHANG) == asked; }));
    EXPECT_TRUE(Listed(otherWindow));
    EXPECT_EQ(kill(other, 0), 0);
    EXPECT_EQ(InFront("other"), otherWindow);
    TZaraveDezeZurirevuzor scan(*m_services->WindowSystem, *m_services->Processes, *m_services->Accessibility);
    scan.Execute(false, nullptr);
    EXPECT_EQ(windows.WindowProcessIdGet(scan.WindowHandle), other);
    // A gone window answers "not available", and a request for it closes nothing.
    EXPECT_FALSE(windows.WindowCloseRequest(askedWindow));
    EXPECT_EQ(windows.WindowProcessIdGet(askedWindow), 0);
    EXPECT_EQ(windows.WindowTextGet(askedWindow), "");
    EXPECT_TRUE(Listed(otherWindow));
}

TEST_F(GnomeDesktop, ASwitchedOffExtensionIsToldOnceAndSwitchedOnAgainAtTheNextStart)
{
    pid_t window = 0;
    ASSERT_NE(WindowShow("seen", window), 0u);
    ASSERT_NE(InFront("seen"), 0u);
    TWindowSystem& windows = *m_services->WindowSystem;

    // The user switches it off, as the README says how.
    std::string output;
    ASSERT_EQ(m_desktop.ProgramRun(
                  { "gnome-extensions", "disable", TGnomeWindowSystem::ExtensionUuid }, "gnome-extensions", 10, output),
        0)
        << output;
    std::string notice;
    EXPECT_TRUE(Eventually(5, [&] { return !(notice = windows.ForegroundNoticeTake()).empty(); }));
    EXPECT_NE(notice.find("switched off"), std::string::npos) << notice;
    EXPECT_EQ(windows.ForegroundNoticeTake(), "");
    EXPECT_EQ(windows.ForegroundWindowGet(), 0u);
    EXPECT_NE(FileRead(m_logFile).find("was disabled"), std::string::npos) << FileRead(m_logFile);

    // The next start of the program switches it on again and sees the window.
    m_services.reset();
    m_services = LinuxPlatformServicesCreate(LinuxSessionDetect());
    EXPECT_EQ(m_services->ForegroundNotice, "");
    EXPECT_EQ(Count(FileRead(m_logFile), "Enabled Tallyhour's GNOME Shell extension"), 2u) << FileRead(m_logFile);
    EXPECT_NE(InFront("seen"), 0u);
}

TEST_F(GnomeDesktop, AfterTheShellRestartsItsWindowsAreSeenAgainAndALongAbsenceIsTold)
{
    pid_t before = 0;
    ASSERT_NE(WindowShow("before", before), 0u);
    ASSERT_NE(InFront("before"), 0u);
    TWindowSystem& windows = *m_services->WindowSystem;

    // A second reader that tells its user after half a second of the Shell's absence.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    TGnomeWindowSystem impatient(address ? address : "", 500);
    ASSERT_TRUE(m_desktop.GnomeRestart(1.5)) << m_desktop.ErrorText();
    const std::string notice = impatient.ForegroundNoticeTake();
    EXPECT_NE(notice.find("GNOME Shell has left the desktop session"), std::string::npos) << notice;
    EXPECT_EQ(impatient.ForegroundNoticeTake(), "");
    EXPECT_EQ(windows.ForegroundNoticeTake(), "");
    // What the old Shell showed is not taken for what the new one shows.
    EXPECT_TRUE(Eventually(10, [&] { return windows.TopLevelWindowsGet().empty(); }));
    pid_t after = 0;
    ASSERT_NE(WindowShow("after", after), 0u) << FileRead(m_logFile);
    const TWindowHandle afterWindow = InFront("after");
    ASSERT_NE(afterWindow, 0u) << FileRead(m_logFile);
    EXPECT_EQ(windows.WindowProcessIdGet(afterWindow), after);
    const std::string log = FileRead(m_logFile);
    EXPECT_NE(log.find("GNOME Shell has left the session bus"), std::string::npos) << log;
    EXPECT_NE(log.find("GNOME Shell runs Tallyhour's extension again"), std::string::npos) << log;
}

TEST(GnomeSession, WithoutTheExtensionTheUserIsToldOnceWhatToDoAndNothingIsCountedInSilence)
{
    TH_REQUIRE_GNOME_SHELL();
    TTestDesktop desktop;
    ASSERT_TRUE(desktop.GnomeStart("")) << desktop.ErrorText();
    const std::string logFile = desktop.Folder() + "/logs/test_gnome_session.log";
    LogFileNameSet(logFile);
    const TLinuxSession session = LinuxSessionDetect();
    ASSERT_EQ(session.Kind, TLinuxDesktopKind::Gnome);
    auto services = LinuxPlatformServicesCreate(session);
    const std::string missing = services->ForegroundNotice;
    EXPECT_NE(missing.find("is not installed"), std::string::npos) << missing;
    EXPECT_NE(missing.find("Install Tallyhour's package again"), std::string::npos) << missing;
    EXPECT_EQ(Count(FileRead(logFile), missing), 1u) << FileRead(logFile);
    EXPECT_EQ(services->WindowSystem->ForegroundWindowGet(), 0u);
    EXPECT_EQ(services->WindowSystem->ForegroundNoticeTake(), "");

    // Installed while the session runs: the Shell takes it up only at the next login, and the
    // user is told that, not to install it again.
    const std::string installed
        = desktop.Folder() + "/share/gnome-shell/extensions/" + fs::path(GNOME_EXTENSION_SOURCE).filename().string();
    fs::copy(GNOME_EXTENSION_SOURCE, installed, fs::copy_options::recursive);
    services = LinuxPlatformServicesCreate(session);
    const std::string later = services->ForegroundNotice;
    EXPECT_NE(later.find("installed after the session started"), std::string::npos) << later;
    EXPECT_NE(later.find("Log out and in again"), std::string::npos) << later;
    services.reset();
    LogFileNameSet({});
}

TEST_F(GnomeDesktop, TheProgramReadsTheWindowInFrontThroughItsExtension)
{
    // Started as a user starts it from the desktop; the extension is on already (the fixture's
    // services turned it on), so the program says nothing about it.
    std::string logFile;
    const pid_t program = ProgramStart(m_desktop, logFile);
    ASSERT_GT(program, 0) << m_desktop.ErrorText();
    const std::string line = StartLineWait(logFile);
    ASSERT_NE(line, "") << "no start-up line in " << logFile;
    EXPECT_NE(line.find("Tallyhour's GNOME Shell extension"), std::string::npos) << line;
    EXPECT_EQ(FileRead(logFile).find("cannot see which window"), std::string::npos) << FileRead(logFile);
    EXPECT_TRUE(ProgramEnds(program)) << FileRead(logFile);
}

TEST_F(GnomeDesktop, SignalsFromAnyoneButTheShellChangeNothingAndOddTitlesArriveUnchanged)
{
    pid_t window = 0;
    ASSERT_NE(WindowShow("real", window), 0u);
    ASSERT_NE(InFront("real"), 0u);
    auto* gnome = dynamic_cast<TGnomeWindowSystem*>(m_services->WindowSystem.get());
    ASSERT_NE(gnome, nullptr);

    // Another program of the session sends the extension's signals straight to the program,
    // claiming a window of its choosing is in front.
    GDBusConnection* bus = SessionBusOpen();
    ASSERT_NE(bus, nullptr);
    const std::string target = gnome->BusNameGet();
    EXPECT_TRUE(g_dbus_connection_emit_signal(bus, target.c_str(), TGnomeWindowSystem::ReportPath,
        TGnomeWindowSystem::ReportInterface, "WindowChanged",
        g_variant_new("((tuss))", guint64 { 77 }, guint32 { 1 }, "forged", "forged"), nullptr));
    EXPECT_TRUE(g_dbus_connection_emit_signal(bus, target.c_str(), TGnomeWindowSystem::ReportPath,
        TGnomeWindowSystem::ReportInterface, "FocusChanged", g_variant_new("(t)", guint64 { 77 }), nullptr));
    g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    // A real change sent after them arrives after them: by then they have changed nothing, since
    // the bus and the program take the Shell's word only.
    kill(window, SIGUSR1);
    TWindowSystem& windows = *m_services->WindowSystem;
    EXPECT_NE(InFront("real (renamed)"), 0u);
    for (TWindowHandle shown : windows.TopLevelWindowsGet())
        EXPECT_NE(windows.WindowTextGet(shown), "forged");

    // A title with quotes, a backslash and letters from beyond ASCII reaches the program unchanged.
    const std::string odd = "still \"seen\" \\ {x} \u00fcn\u00efc\u00f8d\u00e9 \U0001F642";
    pid_t oddWindow = 0;
    ASSERT_NE(WindowShow(odd, oddWindow), 0u) << WindowTitles(m_desktop);
    EXPECT_NE(InFront(odd), 0u);
}

TEST(GnomeSession, AnExtensionTheShellCannotRunIsToldWithTheShellsReason)
{
    TH_REQUIRE_GNOME_SHELL();
    // A damaged copy (a disk error, a hand edit): the Shell finds it but cannot load its code.
    const fs::path damaged = fs::temp_directory_path() / ("tallyhour-damaged-" + std::to_string(getpid()));
    const fs::path extension = damaged / fs::path(GNOME_EXTENSION_SOURCE).filename();
    fs::create_directories(damaged);
    fs::copy(GNOME_EXTENSION_SOURCE, extension, fs::copy_options::recursive);
    std::ofstream(extension / "extension.js", std::ios::app) << "\nthis is not JavaScript (\n";
    TTestDesktop desktop;
    const bool started = desktop.GnomeStart(extension.string());
    fs::remove_all(damaged);
    ASSERT_TRUE(started) << desktop.ErrorText();
    const std::string logFile = desktop.Folder() + "/logs/test_gnome_session.log";
    LogFileNameSet(logFile);
    auto services = LinuxPlatformServicesCreate(LinuxSessionDetect());
    const std::string notice = services->ForegroundNotice;
    EXPECT_NE(notice.find("GNOME Shell could not run its extension: "), std::string::npos) << notice;
    EXPECT_NE(notice.find("unexpected token"), std::string::npos) << notice;
    EXPECT_NE(notice.find("GNOME on Xorg"), std::string::npos) << notice;
    EXPECT_NE(FileRead(logFile).find(notice), std::string::npos);
    services.reset();
    LogFileNameSet({});
}
