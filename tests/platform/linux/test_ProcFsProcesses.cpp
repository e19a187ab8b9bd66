#include "model/Exceptions.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/atspi/AccessibilitySwitch.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/proc/ProcFsProcesses.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace {

// A made-up /proc with the processes a test needs.
class TFakeProc
{
public:
    void ProcessAdd(int id, int64_t uid, const std::string& exe)
    {
        const fs::path folder = m_folder.Path() / std::to_string(id);
        fs::create_directories(folder);
        std::ofstream(folder / "status") << "Name:\tprog\nUid:\t" << uid << "\t" << uid << "\t" << uid << "\t" << uid
                                         << "\n";
        if (!exe.empty())
            fs::create_symlink(exe, folder / "exe");
    }
    std::string Root() const
    {
        return m_folder.Path().string();
    }
    const fs::path& Path() const
    {
        return m_folder.Path();
    }

private:
    TTempFolder m_folder;
};

} // namespace

TEST(ProcFsProcesses, OwnProcessGivesItsExecutable)
{
    TProcFsProcesses processes;
    std::string path;
    std::string errorText;
    ASSERT_TRUE(processes.ProcessExeNameGet(getpid(), path, errorText)) << errorText;
    EXPECT_EQ(path, fs::read_symlink("/proc/self/exe").string());
    EXPECT_TRUE(errorText.empty());

    const auto running = processes.RunningProgramPathsGet();
    EXPECT_NE(std::find(running.begin(), running.end(), path), running.end());
}

TEST(ProcFsProcesses, MissingProcessGivesTheSystemsMessage)
{
    TProcFsProcesses processes;
    std::string path = "stale";
    std::string errorText;
    for (int64_t id : { int64_t(0), int64_t(-5), int64_t(999999999) }) {
        EXPECT_FALSE(processes.ProcessExeNameGet(id, path, errorText)) << id;
        EXPECT_EQ(errorText, std::strerror(ESRCH)) << id;
        EXPECT_TRUE(path.empty());
    }
}

TEST(ProcFsProcesses, UnreadableExecutableGivesTheSystemsMessage)
{
    TFakeProc proc;
    proc.ProcessAdd(42, getuid(), "");
    std::ofstream(proc.Path() / "42" / "exe") << "not a link";
    TProcFsProcesses processes(proc.Root());
    std::string path;
    std::string errorText;
    EXPECT_FALSE(processes.ProcessExeNameGet(42, path, errorText));
    EXPECT_EQ(errorText, std::strerror(EINVAL));
}

TEST(ProcFsProcesses, ReplacedExecutableKeepsItsPath)
{
    TFakeProc proc;
    proc.ProcessAdd(7, getuid(), "/opt/editor/editor (deleted)");
    TProcFsProcesses processes(proc.Root());
    std::string path;
    std::string errorText;
    ASSERT_TRUE(processes.ProcessExeNameGet(7, path, errorText));
    EXPECT_EQ(path, "/opt/editor/editor");
}

TEST(ProcFsProcesses, RunningProgramsAreTheUsersDistinctPathsSortedIgnoringCase)
{
    TFakeProc proc;
    const int64_t me = getuid();
    proc.ProcessAdd(10, me, "/usr/bin/zed");
    proc.ProcessAdd(11, me, "/usr/bin/Beta");
    proc.ProcessAdd(12, me, "/usr/bin/zed");
    proc.ProcessAdd(13, me, "/usr/bin/alpha");
    proc.ProcessAdd(14, me + 1, "/usr/bin/other-users");
    proc.ProcessAdd(15, me, "/memfd:sealed (deleted)");
    proc.ProcessAdd(16, me, ""); // a kernel thread: no executable
    // The session's own daemons are nothing to limit; a program of such a name elsewhere is.
    proc.ProcessAdd(17, me, "/usr/lib/systemd/systemd");
    proc.ProcessAdd(18, me, "/usr/bin/dbus-daemon");
    proc.ProcessAdd(19, me, "/usr/libexec/gvfsd");
    proc.ProcessAdd(20, me, "/usr/bin/pipewire");
    proc.ProcessAdd(21, me, "/usr/lib/xorg/Xorg");
    proc.ProcessAdd(22, me, "/usr/libexec/xdg-desktop-portal-gtk");
    proc.ProcessAdd(23, me, "/opt/sound/pipewire");
    fs::create_directories(proc.Path() / "self");
    TProcFsProcesses processes(proc.Root());
    EXPECT_EQ(processes.RunningProgramPathsGet(),
        (std::vector<std::string> { "/opt/sound/pipewire", "/usr/bin/alpha", "/usr/bin/Beta", "/usr/bin/zed" }));
}

TEST(ProcFsProcesses, UnreadableProcessListIsAnError)
{
    TTempFolder folder;
    TProcFsProcesses processes((folder.Path() / "missing").string());
    EXPECT_THROW(processes.RunningProgramPathsGet(), EOSError);
}

TEST(AtspiAccessibility, AddressPrefixIsCaseSensitiveAndAtTheStart)
{
    for (const char* accepted : { "http://a", "https://example.com/x", "ftp://host", "ftps://host" })
        EXPECT_TRUE(TAtspiAccessibility::UrlPrefixHas(accepted)) << accepted;
    for (const char* refused : { "HTTP://a", " http://a", "example.com/page", "file:///etc", "http:/a", "" })
        EXPECT_FALSE(TAtspiAccessibility::UrlPrefixHas(refused)) << refused;
}

TEST(AccessibilitySwitch, NoSessionBusIsSaidAndNothingIsStarted)
{
    TTempFolder runtime;
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* folder = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> savedAddress = address ? std::optional<std::string>(address) : std::nullopt;
    const std::optional<std::string> savedFolder = folder ? std::optional<std::string>(folder) : std::nullopt;
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const TAccessibilitySwitch state = AccessibilitySwitchOn(1000);
    EXPECT_FALSE(state.Reached);
    EXPECT_FALSE(state.On);
    EXPECT_NE(state.ErrorText, "");
    // No bus was started in the runtime folder.
    EXPECT_FALSE(fs::exists(runtime.Path() / "bus"));
    if (savedAddress)
        setenv("DBUS_SESSION_BUS_ADDRESS", savedAddress->c_str(), 1);
    if (savedFolder)
        setenv("XDG_RUNTIME_DIR", savedFolder->c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}

TEST(LinuxPlatformServices, NoDisplayIsAClearError)
{
    try {
        LinuxPlatformServicesCreate(":4093");
        FAIL() << "a display that does not exist was opened";
    } catch (const EOSError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open the X display :4093");
    }
}
