// Programs of snaps, Flatpaks and AppImages, laid out on a temporary tree as their package
// managers lay them out and run as the kernel then shows them, are named by one path that stays
// across the package's updates: by the running process, by the menu entry the package writes and
// by the file a user picks.

#include "model/MonitoredObjects.h"
#include "platform/linux/proc/ProcFsProcesses.h"
#include "platform/linux/xdg/XdgInstalledApplications.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace {

void TextWrite(const fs::path& path, const std::string& text, bool executable = false)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
    if (executable)
        fs::permissions(path, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
}

// A program that stays running until it is ended.
void ProgramCopy(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    fs::copy_file(fs::canonical("/bin/sleep"), path, fs::copy_options::overwrite_existing);
}

void LinkSet(const fs::path& link, const std::string& target)
{
    fs::create_directories(link.parent_path());
    std::error_code error;
    fs::remove(link, error);
    fs::create_symlink(target, link);
}

// Processes started by a test, ended with it.
class TStarted
{
public:
    ~TStarted()
    {
        for (pid_t pid : m_pids) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    // Runs `arguments` with `environment` added to this process's; waits until the process runs
    // a program whose file name is `programName` and sleeps in it (0 when it never does).
    pid_t Start(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
        const std::string& programName)
    {
        std::vector<std::string> variables(environment);
        for (char** variable = environ; *variable; ++variable)
            variables.emplace_back(*variable);
        std::vector<char*> argv;
        std::vector<char*> envp;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        for (const std::string& variable : variables)
            envp.push_back(const_cast<char*>(variable.c_str()));
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
            return 0;
        m_pids.push_back(pid);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            // Its program is asleep: its exec is over, the environment in place.
            std::error_code error;
            const std::string exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
            std::string stat;
            std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
            const size_t state = stat.rfind(") ");
            if (!error && fs::path(exe).filename() == programName && state != std::string::npos
                && stat.compare(state + 2, 1, "S") == 0)
                return pid;
            if (::waitpid(pid, nullptr, WNOHANG) == pid) {
                m_pids.pop_back();
                return 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    }

private:
    std::vector<pid_t> m_pids;
};

// Whether this machine lets a test give a process a mount namespace of its own.
bool MountNamespacesUsable()
{
    return getuid() == 0 && std::system("unshare -m true >/dev/null 2>&1") == 0;
}

class PackagedPrograms : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_root = m_temp.Path().string();
        m_packageFolders.Root = m_root;
        m_packageFolders.UserDataFolder = m_root + "/home/.local/share/";
    }

    std::string ExeName(pid_t pid)
    {
        TProcFsProcesses processes("/proc", m_packageFolders);
        std::string path;
        std::string errorText;
        EXPECT_TRUE(processes.ProcessExeNameGet(pid, path, errorText)) << errorText;
        return path;
    }

    // The program runs as `pids`, each of them is named `stable`, the list of running programs
    // holds it once, and a list entry under that name (or `listedAs`) is charged for every one.
    void ExpectOneProgram(const std::vector<pid_t>& pids, const std::string& stable, const std::string& listedAs)
    {
        TMonitoredList list;
        auto* item = new TMonitoredItem;
        item->Name = listedAs;
        item->ItemType = mitApp;
        list.Add("Listed", item);
        for (pid_t pid : pids) {
            ASSERT_GT(pid, 0);
            const std::string name = ExeName(pid);
            EXPECT_EQ(name, stable) << pid;
            EXPECT_EQ(list.ActivityMatch(name, "").Index, 0) << name;
        }
        TProcFsProcesses processes("/proc", m_packageFolders);
        const std::vector<std::string> running = processes.RunningProgramPathsGet();
        EXPECT_EQ(std::count(running.begin(), running.end(), stable), 1);
        for (const std::string& path : running)
            EXPECT_FALSE(path.starts_with(m_root) && path != stable) << path;
    }

    std::vector<TMenuApplication> MenuGet(const std::string& dataFolder)
    {
        TXdgFolders folders;
        folders.DataFolders = { dataFolder };
        TXdgInstalledApplications installed(folders, m_packageFolders);
        return installed.MenuApplicationsGet();
    }

    std::string Resolve(const std::string& program)
    {
        TXdgInstalledApplications installed(TXdgFolders {}, m_packageFolders);
        return installed.ExecutableResolve(program);
    }

    TTempFolder m_temp;
    std::string m_root;
    TPackageFolders m_packageFolders;
    TStarted m_started;
};

} // namespace

TEST_F(PackagedPrograms, SnapIsNamedByItsCurrentLinkBeforeAndAfterARefresh)
{
    // snapd's layout: the revision's files, the link to the revision in use, the launcher that
    // links to snap itself, and the menu entry that runs the launcher.
    const fs::path snap = m_root + "/snap/thprog";
    ProgramCopy(snap / "11/usr/bin/prog");
    TextWrite(snap / "11/meta/snap.yaml",
        "name: thprog\nversion: '1.0'\napps:\n  other:\n    command: usr/bin/other\n  thprog:\n"
        "    command: bin/launcher --quiet\n    plugs: [x11]\n  legacy:\n    command: desktop-launch "
        "$SNAP/usr/bin/prog\n");
    TextWrite(snap / "11/bin/launcher", "#!/bin/sh\nexport LANG=C\nexec \"$SNAP/usr/bin/prog\" \"$@\"\n", true);
    LinkSet(snap / "current", "11");
    LinkSet(m_root + "/snap/bin/thprog", "/usr/bin/snap");
    const std::string desktop = m_root + "/var/lib/snapd/desktop/";
    TextWrite(desktop + "applications/thprog_thprog.desktop",
        "[Desktop Entry]\nX-SnapInstanceName=thprog\nName=The Program\nExec=env BAMF_DESKTOP_FILE_HINT=" + desktop
            + "applications/thprog_thprog.desktop " + m_root + "/snap/bin/thprog %U\nType=Application\n");
    const std::string stable = snap.string() + "/current/usr/bin/prog";

    const std::vector<TMenuApplication> menu = MenuGet(desktop);
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].ExePath, stable);
    EXPECT_EQ(menu[0].Name, "The Program");
    EXPECT_EQ(Resolve(m_root + "/snap/bin/thprog"), stable);
    EXPECT_EQ(Resolve(m_root + "/snap/bin/thprog.legacy"), stable);
    EXPECT_EQ(Resolve(m_root + "/snap/bin/thprog.missing"), "");
    EXPECT_EQ(Resolve(snap.string() + "/11/usr/bin/prog"), stable);
    const pid_t before = m_started.Start({ snap.string() + "/11/usr/bin/prog", "60" }, {}, "prog");

    // A refresh: the new revision beside the old, the link moved, the old revision removed
    // while its program still runs.
    fs::copy(snap / "11", snap / "12", fs::copy_options::recursive);
    LinkSet(snap / "current", "12");
    fs::remove_all(snap / "11");
    const pid_t after = m_started.Start({ snap.string() + "/12/usr/bin/prog", "60" }, {}, "prog");
    ExpectOneProgram({ before, after }, stable, stable);
    EXPECT_EQ(MenuGet(desktop).at(0).ExePath, stable);
}

TEST_F(PackagedPrograms, FlatpakIsNamedByItsInstallationsCurrentDeployment)
{
    // Flatpak's layout: a deployment per commit, "active" linked to the newest, "current" to
    // the branch in use, the exported launcher and the menu entry it writes.
    const std::string installation = m_root + "/var/lib/flatpak";
    const fs::path app = installation + "/app/org.example.Prog";
    const std::string id = "org.example.Prog";
    ProgramCopy(app / "x86_64/stable/c0ffee/files/lib/prog/prog");
    // The app's command is a script that starts its program; another command links to it.
    TextWrite(app / "x86_64/stable/c0ffee/files/bin/prog", "#!/bin/sh\nexec /app/lib/prog/prog \"$@\"\n", true);
    LinkSet(app / "x86_64/stable/c0ffee/files/bin/prog-link", "../lib/prog/prog");
    TextWrite(app / "x86_64/stable/c0ffee/metadata",
        "[Application]\nname=" + id + "\nruntime=org.example.Platform/x86_64/1\ncommand=prog\n");
    LinkSet(app / "x86_64/stable/active", "c0ffee");
    LinkSet(app / "current", "x86_64/stable");
    TextWrite(installation + "/exports/bin/" + id,
        "#!/bin/sh\nexec /usr/bin/flatpak run --branch=stable --arch=x86_64 " + id + " \"$@\"\n", true);
    const std::string exports = installation + "/exports/share/";
    TextWrite(exports + "applications/" + id + ".desktop",
        "[Desktop Entry]\nName=Prog\nExec=/usr/bin/flatpak run --branch=stable --arch=x86_64 --command=prog-link "
        "--file-forwarding "
            + id + " @@u %U @@\nType=Application\nX-Flatpak=" + id + "\n");
    const std::string stable = installation + "/app/" + id + "/current/active/files/lib/prog/prog";

    const std::vector<TMenuApplication> menu = MenuGet(exports);
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].ExePath, stable);
    EXPECT_EQ(Resolve(installation + "/exports/bin/" + id), stable);
    EXPECT_EQ(Resolve(app.string() + "/x86_64/stable/c0ffee/files/lib/prog/prog"), stable);

    // Seen from outside, a sandboxed program's file is in /app. A process whose /.flatpak-info
    // cannot be read is known by its systemd scope; one that runs a program of its runtime is
    // the app's launcher. (A made-up /proc, since only the kernel can show /app.)
    const fs::path proc = m_root + "/proc";
    const auto fakeProcess
        = [&](int processId, const std::string& exe, const std::string& cgroup, const std::string& info) {
              const fs::path folder = proc / std::to_string(processId);
              TextWrite(folder / "status", "Uid:\t" + std::to_string(getuid()) + "\n");
              TextWrite(folder / "cgroup", cgroup);
              if (!info.empty())
                  TextWrite(folder / "root/.flatpak-info", info);
              LinkSet(folder / "exe", exe);
          };
    const std::string userApp = m_packageFolders.UserDataFolder + "flatpak/app/org.example.User";
    fs::create_directories(userApp + "/current/active/files/bin");
    fakeProcess(10, "/app/bin/tool",
        "0::/user.slice/user@1000.service/app.slice/app-flatpak-org.example.User-4242.scope\n", "");
    fakeProcess(11, "/usr/bin/python3", "0::/\n", "[Application]\nname=" + id + "\n");
    fakeProcess(12, "/app/bin/tool", "0::/user.slice/app-flatpak-org.example.Missing-7.scope\n", "");
    TProcFsProcesses fakeProcesses(proc.string(), m_packageFolders);
    std::string path;
    std::string errorText;
    ASSERT_TRUE(fakeProcesses.ProcessExeNameGet(10, path, errorText));
    EXPECT_EQ(path, userApp + "/current/active/files/bin/tool");
    ASSERT_TRUE(fakeProcesses.ProcessExeNameGet(11, path, errorText));
    EXPECT_EQ(path, installation + "/exports/bin/" + id);
    ASSERT_TRUE(fakeProcesses.ProcessExeNameGet(12, path, errorText));
    EXPECT_EQ(path, "/app/bin/tool") << "an app of no installation here stays as the kernel names it";
    // The sandbox's bus proxy holds the same /.flatpak-info: the accessibility bus names the
    // proxy, and it is taken for the app of that one sandbox.
    const std::string instanceInfo = "[Application]\nname=" + id + "\n\n[Instance]\ninstance-id=77\n";
    fakeProcess(13, "/app/lib/prog/prog", "0::/\n", instanceInfo);
    fakeProcess(14, "/usr/bin/xdg-dbus-proxy", "0::/\n", instanceInfo);
    fakeProcess(
        15, "/usr/bin/xdg-dbus-proxy", "0::/\n", "[Application]\nname=" + id + "\n\n[Instance]\ninstance-id=78\n");
    EXPECT_EQ(FlatpakInstanceGet((proc / "13").string()), id + "/77");
    EXPECT_EQ(FlatpakInstanceGet((proc / "14").string()), id + "/77");
    EXPECT_EQ(FlatpakInstanceGet((proc / "15").string()), id + "/78");
    EXPECT_EQ(FlatpakInstanceGet((proc / "10").string()), "");

    if (!MountNamespacesUsable())
        GTEST_SKIP() << "a sandbox needs a mount namespace, which only root can make here";
    // The sandbox as Flatpak builds it: a root of its own holding the host's /usr, the
    // deployment's files at /app and /.flatpak-info naming the deployment.
    const auto sandboxStart = [&](const std::string& commit) {
        const std::string files = app.string() + "/x86_64/stable/" + commit + "/files";
        const std::string info = m_root + "/info-" + commit;
        TextWrite(info,
            "[Application]\nname=" + id
                + "\nruntime=runtime/org.example.Platform/x86_64/1\n\n[Instance]\n"
                  "instance-id=1\napp-path="
                + files + "\napp-commit=" + commit + "\nbranch=stable\narch=x86_64\n");
        const std::string newRoot = m_root + "/sandbox-" + commit;
        fs::create_directories(newRoot);
        const std::string script
            = "set -e; mount --make-rprivate /; mount -t tmpfs none \"$1\"; cd \"$1\"; "
              "mkdir usr app old proc; mount --rbind /usr usr; "
              "for d in bin sbin lib lib32 lib64; do if [ -L /$d ]; then ln -s \"$(readlink /$d)\" $d; "
              "elif [ -d /$d ]; then mkdir $d; mount --rbind /$d $d; fi; done; "
              "mount --bind \"$2\" app; cp \"$3\" .flatpak-info; pivot_root . old; "
              "exec /app/bin/prog 60";
        return m_started.Start(
            { "/usr/bin/unshare", "-m", "/bin/sh", "-c", script, "sh", newRoot, files, info }, {}, "prog");
    };
    const pid_t before = sandboxStart("c0ffee");
    // An update: a new commit deployed and made active; the old one goes.
    fs::copy(app / "x86_64/stable/c0ffee", app / "x86_64/stable/d00d",
        fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    LinkSet(app / "x86_64/stable/active", "d00d");
    const pid_t after = sandboxStart("d00d");
    ASSERT_GT(before, 0);
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(before) + "/exe").string(), "/app/lib/prog/prog");
    ExpectOneProgram({ before, after }, stable, stable);
    EXPECT_EQ(MenuGet(exports).at(0).ExePath, stable);
}

TEST_F(PackagedPrograms, AppImageIsNamedByItsFileWhateverItsMount)
{
    const std::string appImage = m_root + "/home/Applications/Tool-x86_64.AppImage";
    ProgramCopy(appImage);
    const std::string entries = m_root + "/home/.local/share/";
    TextWrite(entries + "applications/appimagekit-tool.desktop",
        "[Desktop Entry]\nName=Tool\nExec=" + appImage + " %U\nType=Application\n");
    const std::vector<TMenuApplication> menu = MenuGet(entries);
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].ExePath, appImage);

    // Every start mounts the AppImage afresh at a new place and runs its program from there.
    const bool mounts = MountNamespacesUsable();
    const auto appImageStart = [&](const std::string& mountName, const std::string& appDirEnd) {
        const std::string mount = m_root + "/tmp/" + mountName;
        fs::create_directories(mount);
        if (!mounts) {
            ProgramCopy(mount + "/usr/bin/tool");
            return m_started.Start(
                { mount + "/usr/bin/tool", "60" }, { "APPIMAGE=" + appImage, "APPDIR=" + mount + appDirEnd }, "tool");
        }
        const std::string script = "set -e; mount -t tmpfs none \"$1\"; mkdir -p \"$1/usr/bin\"; "
                                   "cp /bin/sleep \"$1/usr/bin/tool\"; exec \"$1/usr/bin/tool\" 60";
        return m_started.Start(
            { "/usr/bin/unshare", "-m", "--propagation", "private", "/bin/sh", "-c", script, "sh", mount },
            { "APPIMAGE=" + appImage, "APPDIR=" + mount + appDirEnd }, "tool");
    };
    // (A folder named with a trailing "/" is the same folder.)
    const pid_t first = appImageStart(".mount_Ab12Cd", "");
    const pid_t second = appImageStart(".mount_Xy34Zw", "/");
    ExpectOneProgram({ first, second }, appImage, appImage);

    // A program the AppImage starts from elsewhere inherits its variables but is itself.
    const std::string other = m_root + "/usr/bin/viewer";
    ProgramCopy(other);
    const pid_t child = m_started.Start(
        { other, "60" }, { "APPIMAGE=" + appImage, "APPDIR=" + m_root + "/tmp/.mount_Xy34Zw" }, "viewer");
    EXPECT_EQ(ExeName(child), other);
}
