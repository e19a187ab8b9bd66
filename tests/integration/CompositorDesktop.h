#pragma once

// What the tests on a headless compositor that runs a component of the program's own (KWin's
// script, GNOME Shell's extension) share: its own private desktop, the services picked from the
// session it sets as the program picks them, the test window program, and the program's own
// start-up line.

#include "X11TestHelpers.h"

#include "model/ProgramLog.h"
#include "platform/linux/LinuxPlatformServices.h"

#include <gio/gio.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

// Polls `done` every 50 ms for up to `seconds`.
template <typename TCondition> bool Eventually(double seconds, TCondition done)
{
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

inline std::string FileRead(const std::string& path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A connection of its own to the desktop's session bus, as another program of the session has
// (the shared one would end this process when a test's bus goes); none when there is no bus.
inline GDBusConnection* SessionBusOpen()
{
    GError* error = nullptr;
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    GDBusConnection* bus = address ? g_dbus_connection_new_for_address_sync(address,
                               static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                   | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                               nullptr, nullptr, &error)
                                   : nullptr;
    g_clear_error(&error);
    return bus;
}

// Calls a method on the desktop's session bus as another program of the session would; true
// when it was answered without an error. `reply`, when given, receives the answer.
inline bool BusCall(const std::string& destination, const char* path, const char* interface, const char* method,
    GVariant* arguments, GVariant** reply = nullptr, const GVariantType* replyType = nullptr)
{
    GDBusConnection* bus = SessionBusOpen();
    if (!bus) {
        g_variant_unref(g_variant_ref_sink(arguments));
        return false;
    }
    GError* error = nullptr;
    GVariant* answer = g_dbus_connection_call_sync(bus, destination.c_str(), path, interface, method, arguments,
        replyType, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    g_clear_error(&error);
    g_object_unref(bus);
    if (reply)
        *reply = answer;
    else if (answer)
        g_variant_unref(answer);
    return answer != nullptr;
}

// The program's start-up line that says how it reads the window in front, once it is in
// `logFile` (within 30 seconds); empty when it never came.
inline std::string StartLineWait(const std::string& logFile)
{
    std::string line;
    Eventually(30, [&] {
        std::istringstream lines(FileRead(logFile));
        for (std::string text; std::getline(lines, text);) {
            if (text.find("The window in front is read through") != std::string::npos)
                line = text;
        }
        return !line.empty();
    });
    return line;
}

// Starts the program on `desktop` as a user starts it from the desktop; its log file in `logFile`.
inline pid_t ProgramStart(TTestDesktop& desktop, std::string& logFile)
{
    const char* binDir = std::getenv("TALLYHOUR_BIN_DIR");
    logFile = desktop.Folder() + "/home/.local/share/Tallyhour/tallyhour.log";
    return desktop.ProgramStart({ std::string(binDir ? binDir : ".") + "/tallyhour" }, "tallyhour");
}

inline bool ProgramEnds(pid_t program)
{
    kill(program, SIGTERM);
    return Eventually(20, [&] { return waitpid(program, nullptr, WNOHANG) == program; });
}

// A headless compositor of its own (started by the derived fixture's DesktopStart) and the
// services picked from the session it sets.
class CompositorDesktop : public ::testing::Test
{
protected:
    // Starts the desktop; a failed assertion or a skip in it ends the test.
    virtual void DesktopStart() = 0;
    virtual TLinuxDesktopKind Kind() const = 0;

    void SetUp() override
    {
        if (!fs::exists(QT_WAYLAND_PLUGIN))
            GTEST_SKIP() << "Qt's Wayland platform (qt6-wayland) is not installed: " << QT_WAYLAND_PLUGIN;
        DesktopStart();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_logFile
            = m_desktop.Folder() + "/logs/" + ::testing::UnitTest::GetInstance()->current_test_suite()->name() + ".log";
        LogFileNameSet(m_logFile);
        ServicesPicked();
        if (IsSkipped() || HasFatalFailure())
            return;
        const TLinuxSession session = LinuxSessionDetect();
        ASSERT_EQ(session.Kind, Kind());
        m_services = LinuxPlatformServicesCreate(session);
        ASSERT_EQ(m_services->ForegroundNotice, "") << FileRead(m_logFile);
    }
    // Between the desktop's start and the services' pick.
    virtual void ServicesPicked()
    {
    }
    void TearDown() override
    {
        m_services.reset();
        LogFileNameSet({});
        m_desktop.Stop();
    }
    TWindowHandle WindowShow(const std::string& title, pid_t& process, const std::string& program = TEST_WINDOW_PROGRAM)
    {
        process = m_desktop.WaylandWindowStart(program, title);
        return process > 0 ? m_desktop.WindowWait(process, 20, title) : 0;
    }
    bool Listed(TWindowHandle window)
    {
        const auto windows = m_services->WindowSystem->TopLevelWindowsGet();
        return std::find(windows.begin(), windows.end(), window) != windows.end();
    }
    // The program's own view of the window in front, once it has the title `title`.
    TWindowHandle InFront(const std::string& title, double seconds = 10)
    {
        TWindowSystem& windows = *m_services->WindowSystem;
        TWindowHandle found = 0;
        Eventually(seconds, [&] {
            found = windows.ForegroundWindowGet();
            return found != 0 && windows.WindowTextGet(found) == title;
        });
        return found != 0 && windows.WindowTextGet(found) == title ? found : 0;
    }
    static std::string WindowProgramPath()
    {
        return fs::canonical(TEST_WINDOW_PROGRAM).string();
    }

    TTestDesktop m_desktop;
    std::unique_ptr<TPlatformServices> m_services;
    std::string m_logFile;
};
