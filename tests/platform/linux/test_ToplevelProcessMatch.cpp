#include "model/ProgramLog.h"
#include "platform/linux/wlroots/ToplevelProcessMatch.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TFakeToplevelSource final : public TToplevelProcessSource
{
public:
    std::optional<TActiveFrame> ActiveFrameGet() override
    {
        ++FrameReads;
        return Frame;
    }
    std::vector<TToplevelProcess> UserProcessesGet() override
    {
        return Processes;
    }
    std::string DesktopEntryProgramGet(const std::string& appId) override
    {
        EntriesAsked.push_back(appId);
        const auto it = Entries.find(appId);
        return it != Entries.end() ? it->second : std::string();
    }

    std::optional<TActiveFrame> Frame;
    std::vector<TToplevelProcess> Processes;
    std::map<std::string, std::string> Entries;
    std::vector<std::string> EntriesAsked;
    int FrameReads = 0;
};

TToplevelProcess ProcessMade(int64_t id, const std::string& exe, const std::string& comm, uint64_t start)
{
    return { id, exe, comm, start };
}

class ToplevelProcessMatch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        LogFileNameSet((m_folder.Path() / "log.txt").string());
        m_source.Processes = {
            ProcessMade(100, "/usr/bin/foot", "foot", 500),
            ProcessMade(200, "/usr/bin/xterm", "xterm", 600),
            ProcessMade(300, "/opt/editor/bin/editor-bin", "editor-bin", 700),
            ProcessMade(400, "/usr/lib/gnome-calculator/gnome-calculator-service", "gnome-calculato", 800),
        };
    }
    void TearDown() override
    {
        LogFileNameSet({});
    }
    int LogLinesWith(const std::string& part)
    {
        std::ifstream log(m_folder.Path() / "log.txt");
        int count = 0;
        for (std::string line; std::getline(log, line);)
            count += line.find(part) != std::string::npos ? 1 : 0;
        return count;
    }

    TTempFolder m_folder;
    TFakeToplevelSource m_source;
    TToplevelProcessMatch m_match { m_source };
};

} // namespace

TEST_F(ToplevelProcessMatch, TheActiveFrameCountsOnlyForTheWindowInFrontWithItsTitle)
{
    // A terminal running a program that exposes accessibility would otherwise be taken for that
    // program: only a frame that shows the window's own title speaks for it.
    m_source.Frame = TActiveFrame { 900, "Notes - Editor" };
    EXPECT_EQ(m_match.ProcessFind("foot", "Notes - Editor", true), 900);
    EXPECT_EQ(m_match.ProcessFind("foot", "Notes - Editor", false), 100);
    EXPECT_EQ(m_match.ProcessFind("foot", "Other", true), 100);
    EXPECT_EQ(m_match.ProcessFind("foot", "", true), 100);
    // A frame whose process the bus does not know says nothing.
    m_source.Frame = TActiveFrame { 0, "Notes - Editor" };
    EXPECT_EQ(m_match.ProcessFind("foot", "Notes - Editor", true), 100);
    // A window behind never costs a call on the bus.
    const int reads = m_source.FrameReads;
    m_match.ProcessFind("foot", "Notes - Editor", false);
    EXPECT_EQ(m_source.FrameReads, reads);
}

TEST_F(ToplevelProcessMatch, TheAppIdNamesTheProgramFileTheCommandNameOrTheDesktopEntry)
{
    // XWayland windows carry their X11 class, capitalised.
    EXPECT_EQ(m_match.ProcessFind("XTerm", "x", false), 200);
    // The command name is cut at 15 characters by the kernel; the file name is not.
    EXPECT_EQ(m_match.ProcessFind("gnome-calculator", "c", false), 400);
    EXPECT_EQ(m_match.ProcessFind("gnome-calculator-service", "c", false), 400);
    // Reverse-domain app_ids name the desktop entry, which names the program.
    m_source.Entries["org.example.Editor"] = "/opt/editor/bin/editor-bin";
    EXPECT_EQ(m_match.ProcessFind("org.example.Editor", "e", false), 300);
    // A part of a name is no match.
    EXPECT_EQ(m_match.ProcessFind("foo", "f", false), 0);
    EXPECT_EQ(m_match.ProcessFind("xterm-256", "f", false), 0);
}

TEST_F(ToplevelProcessMatch, OfSeveralProcessesTheOneStartedLastIsTaken)
{
    m_source.Processes.push_back(ProcessMade(150, "/usr/bin/foot", "foot", 900));
    m_source.Processes.push_back(ProcessMade(120, "/usr/bin/foot", "foot", 300));
    EXPECT_EQ(m_match.ProcessFind("foot", "t", false), 150);
    // Started in the same tick: the higher id is the later one.
    m_source.Processes.push_back(ProcessMade(160, "/usr/bin/foot", "foot", 900));
    EXPECT_EQ(m_match.ProcessFind("foot", "t", false), 160);
    // A desktop entry and a file name that fit two programs: still the newest.
    m_source.Entries["foot"] = "/usr/bin/xterm";
    m_source.Processes.push_back(ProcessMade(210, "/usr/bin/xterm", "xterm", 1000));
    EXPECT_EQ(m_match.ProcessFind("foot", "t", false), 210);
    // One started in this session comes before newer ones of another session of the same user.
    m_source.Processes[0].ThisSession = true;
    EXPECT_EQ(m_match.ProcessFind("foot", "t", false), 100);
    m_source.Processes.back().ThisSession = true;
    EXPECT_EQ(m_match.ProcessFind("foot", "t", false), 210);
}

TEST_F(ToplevelProcessMatch, AWindowWithoutAProgramGivesNoneAndOneLogLinePerAppId)
{
    EXPECT_EQ(m_match.ProcessFind("org.example.Gone", "a", false), 0);
    EXPECT_EQ(m_match.ProcessFind("org.example.Gone", "b", true), 0);
    EXPECT_EQ(m_match.ProcessFind("", "c", false), 0);
    EXPECT_EQ(m_match.ProcessFind("", "d", false), 0);
    EXPECT_EQ(LogLinesWith("\"org.example.Gone\""), 1);
    EXPECT_EQ(LogLinesWith("without an app_id"), 1);
    EXPECT_EQ(LogLinesWith("not counted"), 2);
    // An app_id that would reach outside the applications folders is never looked up as an entry.
    for (const char* unsafe : { "../../etc/passwd", "/etc/passwd", ".hidden" })
        EXPECT_EQ(m_match.ProcessFind(unsafe, "u", false), 0);
    for (const std::string& asked : m_source.EntriesAsked)
        EXPECT_EQ(asked.find('/'), std::string::npos) << asked;
    EXPECT_EQ(LogLinesWith("../../etc/passwd"), 1);
}

// Sets environment variables for one test and puts the old values back after it.
class TScopedEnvironment
{
public:
    ~TScopedEnvironment()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    void Set(const std::string& name, const char* value)
    {
        const char* old = std::getenv(name.c_str());
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            setenv(name.c_str(), value, 1);
        else
            unsetenv(name.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST(LinuxToplevelProcessSource, ReadsTheUsersProcessesFromProcAndTellsThoseOfThisSession)
{
    TScopedEnvironment environment;
    environment.Set("XDG_RUNTIME_DIR", "/run/user/1000");
    environment.Set("WAYLAND_DISPLAY", "wayland-1");
    environment.Set("DISPLAY", nullptr);
    TTempFolder proc;
    const auto environmentWrite = [&proc](int id, const std::string& text) {
        std::ofstream(proc.Path() / std::to_string(id) / "environ", std::ios::binary) << text;
    };
    const auto add
        = [&proc](int id, uid_t uid, const std::string& exe, const std::string& comm, const std::string& stat) {
              const fs::path folder = proc.Path() / std::to_string(id);
              fs::create_directories(folder);
              std::ofstream(folder / "status")
                  << "Name:\tx\nUid:\t" << uid << "\t" << uid << "\t" << uid << "\t" << uid << "\n";
              fs::create_symlink(exe, folder / "exe");
              std::ofstream(folder / "comm") << comm << "\n";
              std::ofstream(folder / "stat") << stat << "\n";
          };
    // A command name with blanks and parentheses must not shift the fields after it.
    add(41, getuid(), "/usr/bin/odd", "odd) (name",
        "41 (odd) (name) S 1 41 41 0 -1 4194560 1 0 0 0 0 0 0 0 20 0 1 0 "
        "123456 1000 10");
    add(42, getuid() + 1, "/usr/bin/other", "other", "42 (other) S 1 42 42 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 1 1");
    add(43, getuid(), "/usr/bin/replaced (deleted)", "replaced", "43 (replaced) S");
    add(44, getuid(), "/usr/bin/nested", "nested", "44 (nested) S");
    using namespace std::string_literals;
    environmentWrite(41, "HOME=/home/u\0XDG_RUNTIME_DIR=/run/user/1000\0WAYLAND_DISPLAY=wayland-1\0"s);
    // The same runtime folder with another compositor's socket: a nested session.
    environmentWrite(44, "XDG_RUNTIME_DIR=/run/user/1000\0WAYLAND_DISPLAY=wayland-2\0DISPLAY=:0\0"s);
    TLinuxToplevelProcessSource source(proc.Path().string());
    auto processes = source.UserProcessesGet();
    std::sort(processes.begin(), processes.end(),
        [](const TToplevelProcess& a, const TToplevelProcess& b) { return a.ProcessId < b.ProcessId; });
    ASSERT_EQ(processes.size(), 3u);
    EXPECT_EQ(processes[0].ProcessId, 41);
    EXPECT_EQ(processes[0].ExePath, "/usr/bin/odd");
    EXPECT_EQ(processes[0].Comm, "odd) (name");
    EXPECT_EQ(processes[0].StartTicks, 123456u);
    EXPECT_TRUE(processes[0].ThisSession);
    // A truncated stat gives no start time, and no environment no session, but the process
    // still counts.
    EXPECT_EQ(processes[1].ProcessId, 43);
    EXPECT_EQ(processes[1].ExePath, "/usr/bin/replaced");
    EXPECT_EQ(processes[1].StartTicks, 0u);
    EXPECT_FALSE(processes[1].ThisSession);
    EXPECT_EQ(processes[2].ProcessId, 44);
    EXPECT_FALSE(processes[2].ThisSession);
}

TEST(LinuxToplevelProcessSource, ADesktopEntryGivesTheProgramItsExecLineStarts)
{
    TTempFolder data;
    const fs::path applications = data.Path() / "home" / "applications";
    fs::create_directories(applications);
    std::ofstream(applications / "org.example.Tool.desktop")
        << "[Desktop Entry]\nType=Application\nName=Tool\nExec=env LANG=C " << fs::canonical("/bin/sh").string()
        << " -c true %U\n";
    std::ofstream(applications / "org.example.Broken.desktop") << "not an entry\n";
    TScopedEnvironment environment;
    environment.Set("XDG_DATA_HOME", (data.Path() / "home").c_str());
    TLinuxToplevelProcessSource source;
    const std::string tool = source.DesktopEntryProgramGet("org.example.Tool");
    const std::string broken = source.DesktopEntryProgramGet("org.example.Broken");
    const std::string missing = source.DesktopEntryProgramGet("org.example.Missing");
    const std::string outside = source.DesktopEntryProgramGet("../home/applications/org.example.Tool");
    EXPECT_EQ(tool, fs::canonical("/bin/sh").string());
    EXPECT_EQ(broken, "");
    EXPECT_EQ(missing, "");
    EXPECT_EQ(outside, "");
}
