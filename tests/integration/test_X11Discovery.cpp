// The programs the desktop's menus start, as a running process names them: the path discovery
// gives for a menu entry must be the executable /proc shows once the entry's command runs.
#include "X11TestHelpers.h"

#include "platform/linux/xdg/XdgInstalledApplications.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// The entry's Exec command as its words, without field codes.
std::vector<std::string> EntryCommand(const std::string& desktopFile)
{
    std::ifstream file(desktopFile);
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("Exec=", 0) == 0) {
            std::istringstream words(line.substr(5));
            std::vector<std::string> command;
            std::string word;
            while (words >> word) {
                if (word.size() != 2 || word[0] != '%') {
                    command.push_back(word);
                }
            }
            return command;
        }
    }
    return {};
}

std::string ProcessExe(pid_t process)
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/" + std::to_string(process) + "/exe", error).string();
}

// Waits until the started command has become its program: the forked child is this test until
// it execs, and a launcher script execs the program in turn.
std::string RunningExeWait(pid_t process, double seconds)
{
    const std::string self = ProcessExe(getpid());
    std::string exe;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
        exe = ProcessExe(process);
        const std::string name = exe.substr(exe.find_last_of('/') + 1);
        if (!exe.empty() && exe != self && name != "dash" && name != "bash" && name != "sh") {
            return exe;
        }
    }
    return exe;
}

} // namespace

TEST(X11Discovery, DebianBrowserEntriesNameTheProgramTheirCommandRuns)
{
    TH_REQUIRE_PROGRAMS("Xvfb", "openbox", "chromium", "firefox-esr");
    TXdgFolders folders = XdgFoldersGet();
    folders.DataFolders = { "/usr/share/" };
    TXdgInstalledApplications installed(folders);
    const std::vector<TMenuApplication> applications = installed.MenuApplicationsGet();

    TTestDesktop desktop;
    ASSERT_TRUE(desktop.Start(false)) << desktop.ErrorText();
    for (const char* entry : { "chromium", "firefox-esr" }) {
        std::vector<std::string> command = EntryCommand(std::string("/usr/share/applications/") + entry + ".desktop");
        ASSERT_FALSE(command.empty()) << entry;
        // Chromium refuses to run as root without this, and a user running it as root types it too.
        if (command[0].find("chromium") != std::string::npos && geteuid() == 0) {
            command.push_back("--no-sandbox");
        }
        const pid_t process = desktop.ProgramStart(command, entry);
        ASSERT_GT(process, 0) << entry;
        const std::string running = RunningExeWait(process, 30);
        bool listed = false;
        for (const TMenuApplication& application : applications) {
            listed = listed || application.ExePath == running;
        }
        EXPECT_TRUE(listed) << entry << " runs as " << running << ", which no menu entry names";
        desktop.ProgramStop(process);
    }
}
