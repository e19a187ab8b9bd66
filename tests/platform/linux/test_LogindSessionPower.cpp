// The session and power backend against stand-ins for logind and a screen saver on private
// buses. Each test runs in a process of its own (as CTest runs them), because Qt keeps one
// connection per bus for the whole process.
#include "platform/linux/dbus/LogindSessionPower.h"

#include "model/Exceptions.h"
#include "model/ProgramLog.h"
#include "support/desktop/FakeSessionServices.h"
#include "support/desktop/TestDesktop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

// Runs the event loop until `done` holds or `seconds` pass.
template <typename TPredicate> bool EventsRunUntil(TPredicate done, double seconds = 5)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > seconds * 1000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Lets signals already on their way arrive.
void EventsRunFor(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

class SessionPowerOverDBus : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_desktop.Start(false)) << m_desktop.ErrorText();
        LogFileNameSet(m_desktop.Folder() + "/logs/program.log");
        m_services.emplace(m_desktop, FAKE_SESSION_SERVICES);
        ASSERT_TRUE(m_services->Start()) << m_services->ErrorText();
        // The desktop's own screen saver stands in a folder that counts, for this test, as one
        // of the system's; everything else as the program has it.
        QStringList folders = TLogindSessionPower::SystemFoldersDefault();
        folders << QString::fromStdString(std::filesystem::path(DESKTOP_SCREEN_SAVER).parent_path().string());
        m_power.emplace(folders);
        m_power->ListenerSet({ [this](bool locked) { m_locked.push_back(locked); },
            [this](bool sleeping) { m_sleeping.push_back(sleeping); }, {} });
    }
    void TearDown() override
    {
        m_power.reset();
        m_services.reset();
        m_desktop.Stop();
        LogFileNameSet({});
    }
    std::string LogText() const
    {
        std::ifstream file(m_desktop.Folder() + "/logs/program.log");
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    TTestDesktop m_desktop;
    std::optional<TFakeSessionServices> m_services;
    std::optional<TLogindSessionPower> m_power;
    std::vector<bool> m_locked;
    std::vector<bool> m_sleeping;
};

} // namespace

TEST_F(SessionPowerOverDBus, LockAndUnlockOfThisSessionPauseAndResume)
{
    EXPECT_EQ(m_power->SessionPath().toStdString(), "/org/freedesktop/login1/session/_31");
    EXPECT_TRUE(m_power->CanWatchSession());
    EXPECT_TRUE(m_power->CanWatchSleep());
    ASSERT_TRUE(m_services->Lock());
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 1; }));
    EXPECT_TRUE(m_locked[0]);
    ASSERT_TRUE(m_services->Unlock());
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 2; }));
    EXPECT_FALSE(m_locked[1]);
}

TEST_F(SessionPowerOverDBus, LogindsLockCountsFirstAndOnlyTheDesktopsOwnScreenSaverIsHeard)
{
    ASSERT_TRUE(m_services->LockedHintSet(true));
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 1; }));
    // The locker's Lock signal while the hint already says so adds nothing.
    ASSERT_TRUE(m_services->Lock());
    EventsRunFor(300);
    EXPECT_EQ(m_locked, std::vector<bool>({ true }));
    ASSERT_TRUE(m_services->LockedHintSet(false));
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 2; }));
    EXPECT_FALSE(m_locked[1]);

    // On a bare window manager nothing holds the screen saver's name, and any program of the
    // session may take it: here a python3 script (the stand-in) holds org.freedesktop.ScreenSaver.
    // What it says is not heard, and it is logged once.
    ASSERT_TRUE(m_services->ScreenSaverActiveSet(true));
    ASSERT_TRUE(
        EventsRunUntil([&] { return LogText().find("org.freedesktop.ScreenSaver is held by") != std::string::npos; }));
    EventsRunFor(300);
    EXPECT_EQ(m_locked.size(), 2u) << "a script holding the free name paused the program";
    std::string log = LogText();
    EXPECT_NE(
        log.find("which is not one of the desktop's own programs: its program /usr/bin/python3"), std::string::npos)
        << log;
    EXPECT_NE(log.find("runs scripts or other programs"), std::string::npos) << log;

    // Signals from other connections: from any sender, on any path, of either interface, with
    // extra arguments. None of it counts, and the first is logged.
    ASSERT_TRUE(
        m_services->ScreenSaverSignalForge("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", true));
    ASSERT_TRUE(m_services->ScreenSaverSignalForge("org.freedesktop.ScreenSaver", "/", true, true));
    ASSERT_TRUE(m_services->ScreenSaverSignalForge("org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", true));
    EventsRunFor(300);
    EXPECT_EQ(m_locked.size(), 2u);
    log = LogText();
    EXPECT_NE(log.find("A screen saver's ActiveChanged from :"), std::string::npos) << log;
    EXPECT_NE(log.find("was refused (only :"), std::string::npos) << log;
    EXPECT_EQ(log.find("was refused", log.find("was refused") + 1), std::string::npos) << "logged more than once";

    // A program built outside the system's folders (this test) takes the other name: not heard
    // either.
    ASSERT_TRUE(m_services->SessionNameOwn("org.gnome.ScreenSaver", true)) << m_services->ErrorText();
    ASSERT_TRUE(
        EventsRunUntil([&] { return LogText().find("org.gnome.ScreenSaver is held by") != std::string::npos; }));
    ASSERT_TRUE(m_services->ScreenSaverSignalForge("org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", true));
    EventsRunFor(300);
    EXPECT_EQ(m_locked.size(), 2u) << "a program from the home folder holding the name paused the program";
    EXPECT_NE(LogText().find("is not in a system folder"), std::string::npos) << LogText();
    ASSERT_TRUE(m_services->SessionNameOwn("org.gnome.ScreenSaver", false));

    // The desktop's own screen saver, compiled and in a system folder, starts later under that
    // name: it is heard from then on. Locked until both it and logind say otherwise; when it
    // ends, the lock it reported ends with it.
    ASSERT_TRUE(m_services->DesktopScreenSaverStart(DESKTOP_SCREEN_SAVER, "org.gnome.ScreenSaver"))
        << m_services->ErrorText();
    // Its process is looked at without waiting; a loaded machine may take a while.
    ASSERT_TRUE(
        EventsRunUntil([&] { return LogText().find("a desktop's own program: it is heard") != std::string::npos; }, 20))
        << LogText();
    ASSERT_TRUE(m_services->DesktopScreenSaverActiveSet(true)) << m_services->ErrorText();
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 3; })) << LogText();
    EXPECT_TRUE(m_locked[2]);
    ASSERT_TRUE(m_services->LockedHintSet(true));
    ASSERT_TRUE(m_services->DesktopScreenSaverActiveSet(false));
    EventsRunFor(300);
    EXPECT_EQ(m_locked.size(), 3u) << "unlocked while logind still said locked";
    ASSERT_TRUE(m_services->LockedHintSet(false));
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 4; }));
    EXPECT_FALSE(m_locked[3]);
    ASSERT_TRUE(m_services->DesktopScreenSaverActiveSet(true));
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 5; }));
    m_services->DesktopScreenSaverStop();
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 6; }));
    EXPECT_FALSE(m_locked[5]);
    // Each name's refused owner was logged once.
    log = LogText();
    int refusedOwners = 0;
    const std::string refused = "which is not one of the desktop's own programs";
    for (size_t at = log.find(refused); at != std::string::npos; at = log.find(refused, at + 1)) {
        ++refusedOwners;
    }
    EXPECT_EQ(refusedOwners, 2) << log;
}

TEST_F(SessionPowerOverDBus, PrepareForSleepReportsSleepingAndWaking)
{
    // On a real machine waking comes seconds after falling asleep. Sent back to back, the two
    // signals were once handed over in the opposite order, so the test waits for each.
    ASSERT_TRUE(m_services->SleepBegin());
    ASSERT_TRUE(EventsRunUntil([&] { return m_sleeping.size() == 1; }));
    ASSERT_TRUE(m_services->SleepEnd());
    ASSERT_TRUE(EventsRunUntil([&] { return m_sleeping.size() == 2; }));
    EXPECT_EQ(m_sleeping, std::vector<bool>({ true, false }));
    EXPECT_TRUE(m_locked.empty());
}

TEST_F(SessionPowerOverDBus, PowerOffIsOneRequestAndARefusalRaisesLogindsMessage)
{
    m_power->ShutdownRequest(skPowerOff, 60);
    EXPECT_EQ(m_services->PowerOffCount(), 1);
    EXPECT_EQ(m_services->RebootCount(), 0);

    ASSERT_TRUE(m_services->RefusalSet("Interactive authentication required."));
    try {
        m_power->ShutdownRequest(skPowerOff, 60);
        FAIL() << "a refused power-off was reported as done";
    } catch (const EOSError& error) {
        EXPECT_NE(std::string(error.what()).find("Interactive authentication required."), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(m_services->PowerOffCount(), 2);
}

TEST(SessionPowerWithoutSystemBus, ShutdownRaisesAndNothingIsWatched)
{
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tallyhour-system-bus", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tallyhour-session-bus", 1);
    TLogindSessionPower power;
    EXPECT_FALSE(power.CanWatchSession());
    EXPECT_FALSE(power.CanWatchSleep());
    try {
        power.ShutdownRequest(skPowerOff, 60);
        FAIL() << "a power-off without a system bus was reported as done";
    } catch (const EOSError& error) {
        EXPECT_EQ(
            std::string(error.what()).rfind("the system bus, through which it is asked, is not available (", 0), 0u)
            << error.what();
    }
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
