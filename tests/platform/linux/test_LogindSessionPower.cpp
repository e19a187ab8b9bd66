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
        m_power.emplace();
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

TEST_F(SessionPowerOverDBus, TheLockedHintAndTheScreenSaverCountAsLockingEachReportedOnce)
{
    ASSERT_TRUE(m_services->LockedHintSet(true));
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 1; }));
    // The locker's Lock signal while the hint already says so adds nothing.
    ASSERT_TRUE(m_services->Lock());
    ASSERT_TRUE(m_services->ScreenSaverActiveSet(true));
    EventsRunFor(300);
    EXPECT_EQ(m_locked, std::vector<bool>({ true }));
    // Locked until both logind and the screen saver say otherwise.
    ASSERT_TRUE(m_services->LockedHintSet(false));
    EventsRunFor(300);
    EXPECT_EQ(m_locked.size(), 1u);
    ASSERT_TRUE(m_services->ScreenSaverActiveSet(false));
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 2; }));
    EXPECT_FALSE(m_locked[1]);

    // Any other program of the session can send the screen saver's signal: from another
    // connection, on any path, of either interface, with extra arguments. None of it counts, and
    // the first is logged.
    ASSERT_TRUE(
        m_services->ScreenSaverSignalForge("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", true));
    ASSERT_TRUE(m_services->ScreenSaverSignalForge("org.freedesktop.ScreenSaver", "/", true, true));
    ASSERT_TRUE(m_services->ScreenSaverSignalForge("org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", true));
    EventsRunFor(300);
    EXPECT_EQ(m_locked.size(), 2u);
    const std::string log = LogText();
    EXPECT_NE(log.find("A screen saver's ActiveChanged from :"), std::string::npos) << log;
    EXPECT_NE(log.find("was refused (only :"), std::string::npos) << log;
    EXPECT_EQ(log.find("was refused", log.find("was refused") + 1), std::string::npos) << "logged more than once";

    // A desktop whose locker tells only the screen-saver interface: its owner is heard.
    ASSERT_TRUE(m_services->ScreenSaverActiveSet(true));
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 3; }));
    EXPECT_TRUE(m_locked[2]);

    // A screen saver that starts later, under the other name, is heard from then on; when it
    // ends, the lock it reported ends with it.
    ASSERT_TRUE(m_services->SessionNameOwn("org.gnome.ScreenSaver", true)) << m_services->ErrorText();
    EventsRunFor(300);
    ASSERT_TRUE(m_services->ScreenSaverSignalForge("org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", true));
    ASSERT_TRUE(m_services->ScreenSaverActiveSet(false));
    EventsRunFor(300);
    EXPECT_EQ(m_locked.size(), 3u) << "the later screen saver was not heard";
    ASSERT_TRUE(m_services->SessionNameOwn("org.gnome.ScreenSaver", false));
    ASSERT_TRUE(EventsRunUntil([&] { return m_locked.size() == 4; }));
    EXPECT_FALSE(m_locked[3]);
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
    EXPECT_THROW(power.ShutdownRequest(skPowerOff, 60), EOSError);
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
