#include "ui/config/ApplicationDiscovery.h"

#include "platform/linux/xdg/XdgInstalledApplications.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/FakeInstalledApplications.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void TextWrite(const fs::path& path, const std::string& text, bool executable = false)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
    if (executable) {
        fs::permissions(path, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
}

void ScriptWrite(const fs::path& path, const std::string& body = "exit 0\n")
{
    TextWrite(path, "#!/bin/sh\n" + body, true);
}

void ProgramCopy(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    fs::copy_file("/bin/true", path, fs::copy_options::overwrite_existing);
}

void EntryWrite(const fs::path& folder, const std::string& fileName, const std::string& body)
{
    TextWrite(folder / "applications" / fileName, "[Desktop Entry]\n" + body);
}

std::string NameOf(const std::vector<TMenuApplication>& applications, const std::string& exePath)
{
    for (const TMenuApplication& application : applications) {
        if (application.ExePath == exePath) {
            return application.Name;
        }
    }
    return "(absent)";
}

// A desktop on a temporary tree: the user's data folder, one system data folder, program files.
class XdgTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_root = m_temp.Path().string();
        m_folders.DataFolders = { m_root + "/user/", m_root + "/system/" };
        m_folders.SystemFolders = { m_root + "/usr/bin/", m_root + "/usr/lib/" };
        if (const char* language = std::getenv("LANGUAGE")) {
            m_savedLanguage = language;
        }
        setenv("LANGUAGE", "de", 1);
    }
    void TearDown() override
    {
        if (m_savedLanguage.empty()) {
            unsetenv("LANGUAGE");
        } else {
            setenv("LANGUAGE", m_savedLanguage.c_str(), 1);
        }
    }
    std::string Path(const std::string& relative) const
    {
        return m_root + "/" + relative;
    }

    TTempFolder m_temp;
    std::string m_root;
    std::string m_savedLanguage;
    TXdgFolders m_folders;
};

} // namespace

TEST_F(XdgTree, DesktopEntriesAsTheMenusShowThem)
{
    const fs::path user = Path("user");
    const fs::path system = Path("system");
    ProgramCopy(Path("opt/My Game/game"));
    ProgramCopy(Path("usr/lib/beta/beta"));
    fs::create_symlink(Path("usr/lib/beta/beta"), Path("beta-link"));
    ScriptWrite(Path("usr/bin/gamma"));
    ProgramCopy(Path("usr/bin/delta"));

    EntryWrite(system, "game.desktop",
        "Type=Application\nName=My Game\nName[de]=Mein Spiel\nExec=\"" + Path("opt/My Game/game")
            + "\" --level %f %U\n");
    EntryWrite(system, "beta.desktop", "Type=Application\nName=Beta\nExec=" + Path("beta-link") + " %u\n");
    EntryWrite(
        system, "hidden.desktop", "Type=Application\nName=Hidden\nHidden=true\nExec=" + Path("usr/bin/delta") + "\n");
    EntryWrite(system, "nodisplay.desktop",
        "Type=Application\nName=Helper\nNoDisplay=true\nExec=" + Path("usr/bin/delta") + "\n");
    EntryWrite(system, "tryexec.desktop",
        "Type=Application\nName=Missing\nTryExec=" + Path("absent/program") + "\nExec=" + Path("usr/bin/delta") + "\n");
    EntryWrite(system, "noprogram.desktop", "Type=Application\nName=Gone\nExec=" + Path("absent/program") + "\n");
    EntryWrite(system, "folder.desktop", "Type=Directory\nName=Games\n");
    EntryWrite(system, "link.desktop", "Type=Link\nName=Site\nURL=https://example.com/\n");
    EntryWrite(system, "env.desktop",
        "Type=Application\nName=Gamma\nExec=env GAMMA_MODE=1 " + Path("usr/bin/gamma") + " %F\n");
    // The same id in both folders: the user's entry is the one the menus show.
    EntryWrite(system, "delta.desktop", "Type=Application\nName=Delta System\nExec=" + Path("usr/bin/delta") + "\n");
    EntryWrite(user, "delta.desktop", "Type=Application\nName=Delta Mine\nExec=" + Path("usr/bin/delta") + "\n");
    // A user's hidden entry removes the system's entry of that id.
    EntryWrite(system, "sub/removed.desktop", "Type=Application\nName=Removed\nExec=" + Path("usr/bin/gamma") + "\n");
    EntryWrite(user, "sub-removed.desktop", "Type=Application\nName=Removed\nHidden=true\nExec=x\n");
    TextWrite(user / "applications" / "broken.desktop", "this is not a key file [[[\n");

    TXdgInstalledApplications installed(m_folders);
    const std::vector<TMenuApplication> applications = installed.MenuApplicationsGet();
    EXPECT_EQ("Mein Spiel", NameOf(applications, Path("opt/My Game/game")))
        << "quoted Exec, field codes, localized Name";
    EXPECT_EQ("Beta", NameOf(applications, Path("usr/lib/beta/beta"))) << "a link gives the file it leads to";
    EXPECT_EQ("Gamma", NameOf(applications, Path("usr/bin/gamma"))) << "env and its assignments are passed over";
    EXPECT_EQ("Delta Mine", NameOf(applications, Path("usr/bin/delta")));
    EXPECT_EQ(4u, applications.size()) << "hidden, NoDisplay, missing programs and other types are left out";
    for (const TMenuApplication& application : applications) {
        EXPECT_NE("Removed", application.Name);
        EXPECT_NE("Delta System", application.Name);
    }
}

TEST_F(XdgTree, LauncherScriptsGiveTheProgramTheyStart)
{
    ProgramCopy(Path("usr/lib/app/app"));
    ScriptWrite(Path("usr/bin/app"),
        "APPNAME=app\nLIBDIR=" + Path("usr/lib")
            + "/$APPNAME\nexport FLAGS=\"\"\n"
              "if [ -n \"$1\" ]; then\n  exec $LIBDIR/$APPNAME $FLAGS \"$@\"\nelse\n  exec "
              "\"${LIBDIR}/${APPNAME}\"\nfi\n");
    // A launcher of a launcher.
    ScriptWrite(Path("bin/outer"), "exec " + Path("usr/bin/app") + " --x \"$@\"\n");
    // Launchers that name their program through something only running them would tell, that
    // start two different programs, or that hand a script to an interpreter, stay themselves.
    ScriptWrite(Path("bin/computed"), "exec $(dirname $0)/app\n");
    ProgramCopy(Path("usr/lib/other/other"));
    ScriptWrite(Path("bin/either"),
        "[ -x /x ] && exec " + Path("usr/lib/app/app") + "\nexec " + Path("usr/lib/other/other") + "\n");
    ScriptWrite(Path("bin/python-app"), "exec /usr/bin/python3 " + Path("share/app.py") + "\n");
    // A default given with ':' and a program named by its bare name, found on PATH.
    ScriptWrite(Path("bin/true-wrapper"), ": \"${PROGRAM=true}\"\nexec \"$PROGRAM\" -x \"$@\"\n");

    TXdgInstalledApplications installed(m_folders);
    EXPECT_EQ(Path("usr/lib/app/app"), installed.ExecutableResolve(Path("usr/bin/app")));
    EXPECT_EQ(Path("usr/lib/app/app"), installed.ExecutableResolve(Path("bin/outer")));
    EXPECT_EQ(Path("bin/computed"), installed.ExecutableResolve(Path("bin/computed")));
    EXPECT_EQ(Path("bin/either"), installed.ExecutableResolve(Path("bin/either")));
    EXPECT_EQ(Path("bin/python-app"), installed.ExecutableResolve(Path("bin/python-app")));
    EXPECT_EQ("/usr/bin/true", installed.ExecutableResolve(Path("bin/true-wrapper")));
    EXPECT_EQ("", installed.ExecutableResolve(Path("absent")));
    EXPECT_EQ("/usr/bin/true", installed.ExecutableResolve("true")) << "a bare name is looked up on PATH";
}

// What a user types in the add wizard, resolved where the system looks for it, to the file a
// running process of it shows (/proc/PID/exe follows links).
TEST_F(XdgTree, TypedProgramsResolveWhereTheSystemLooks)
{
    ProgramCopy(Path("usr/lib/term/term"));
    fs::create_directories(Path("bin"));
    fs::create_symlink(Path("usr/lib/term/term"), Path("bin/xterm"));
    TextWrite(Path("bin/notes"), "not a program\n");
    // A game outside PATH, started by its menu entry through a launcher script.
    ProgramCopy(Path("opt/steam/bin/steam-runtime"));
    ScriptWrite(Path("opt/steam/steam"), "exec " + Path("opt/steam/bin/steam-runtime") + " \"$@\"\n");
    EntryWrite(
        Path("system"), "steam.desktop", "Type=Application\nName=Steam\nExec=" + Path("opt/steam/steam") + " %U\n");
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", Path("bin").c_str(), 1);
    TFakeProcesses processes;
    processes.ProcessAdd(5, "/opt/tool/tool");

    TXdgInstalledApplications installed(m_folders);
    const auto resolve = [&](const std::string& typed) { return installed.TypedProgramResolve(typed, &processes); };
    EXPECT_EQ(Path("usr/lib/term/term"), resolve("xterm")) << "PATH, the link followed";
    EXPECT_EQ(Path("usr/lib/term/term"), resolve(" " + Path("bin/xterm") + " "));
    EXPECT_EQ("", resolve("notes")) << "a file without the execute bit is no program";
    EXPECT_EQ(Path("opt/steam/bin/steam-runtime"), resolve("steam")) << "the name the menu entry starts";
    EXPECT_EQ(Path("opt/steam/bin/steam-runtime"), resolve("steam-runtime")) << "the menu entry's program";
    EXPECT_EQ("/opt/tool/tool", resolve("tool")) << "a running program";
    EXPECT_EQ("", installed.TypedProgramResolve("tool", nullptr));
    EXPECT_EQ("", resolve("bin/xterm")) << "a relative path means no place the user knows";
    EXPECT_EQ("", resolve("no-such-program"));
    EXPECT_EQ("", resolve(""));
    setenv("PATH", savedPath.c_str(), 1);
}

TEST_F(XdgTree, FolderEntriesTellFoldersLinksAndProgramsApart)
{
    ProgramCopy(Path("a/program"));
    ScriptWrite(Path("a/script.sh"));
    TextWrite(Path("a/readme.txt"), "text", true);
    TextWrite(Path("a/data.bin"), "plain");
    fs::create_directories(Path("a/folder"));
    fs::create_directories(Path("a/.hidden"));
    fs::create_directory_symlink(Path("a/folder"), Path("a/folder-link"));
    fs::create_symlink(Path("a/program"), Path("a/program-link"));
    // A shared library is an executable file of the same format, but no program.
    const char* library = "/usr/lib/x86_64-linux-gnu/libz.so.1";
    if (fs::exists(library)) {
        fs::copy_file(library, Path("a/libz.so.1"));
        fs::permissions(Path("a/libz.so.1"), fs::perms::owner_all);
    }

    TXdgInstalledApplications installed(m_folders);
    std::vector<TFolderEntry> entries = installed.FolderEntriesGet(Path("a"));
    std::map<std::string, TFolderEntryKind> kinds;
    for (const TFolderEntry& entry : entries) {
        kinds[entry.Name] = entry.Kind;
    }
    EXPECT_EQ(TFolderEntryKind::Executable, kinds["program"]);
    EXPECT_EQ(TFolderEntryKind::Executable, kinds["script.sh"]);
    EXPECT_EQ(TFolderEntryKind::Executable, kinds["program-link"]);
    EXPECT_EQ(TFolderEntryKind::Other, kinds["readme.txt"]) << "an execute bit alone makes no program";
    EXPECT_EQ(TFolderEntryKind::Other, kinds["data.bin"]);
    EXPECT_EQ(TFolderEntryKind::Folder, kinds["folder"]);
    EXPECT_EQ(TFolderEntryKind::Folder, kinds[".hidden"]);
    EXPECT_EQ(TFolderEntryKind::FolderLink, kinds["folder-link"]);
    if (fs::exists(library)) {
        EXPECT_EQ(TFolderEntryKind::Other, kinds["libz.so.1"]);
    }
    EXPECT_TRUE(installed.FolderEntriesGet(Path("absent")).empty());
    EXPECT_FALSE(installed.FolderExists(Path("absent/")));
}

TEST_F(XdgTree, CompleteScanWalksApplicationFoldersOnly)
{
    ProgramCopy(Path("opt/Foo/foo"));
    ProgramCopy(Path("opt/Foo/Setup"));
    ScriptWrite(Path("opt/Foo/uninstall.sh"));
    ProgramCopy(Path("opt/Foo/Install-Helper"));
    ProgramCopy(Path("opt/Foo/bin/foo-tool"));
    ProgramCopy(Path("opt/Foo/.cache/cached"));
    fs::create_directory_symlink(Path("elsewhere"), Path("opt/Foo/linked"));
    ProgramCopy(Path("elsewhere/not-walked"));
    TextWrite(Path("opt/Foo/notes.txt"), "x");
    ProgramCopy(Path("opt/Foo/sub/nested/deep"));
    ProgramCopy(Path("games/solitaire"));
    // The folder of a menu program outside the system folders is walked; one inside is not.
    ProgramCopy(Path("apps/Editor/editor"));
    ProgramCopy(Path("usr/lib/browser/browser"));
    EntryWrite(Path("system"), "editor.desktop",
        "Type=Application\nName=Editor Deluxe\nExec=" + Path("apps/Editor/editor") + "\n");
    EntryWrite(Path("system"), "browser.desktop",
        "Type=Application\nName=Browser\nExec=" + Path("usr/lib/browser/browser") + "\n");
    m_folders.ApplicationFolders = { Path("opt/"), Path("opt/Foo/sub/"), Path("games"), Path("absent/") };

    TXdgInstalledApplications installed(m_folders);
    TApplicationDiscovery discovery(installed);
    const std::vector<std::string> roots = discovery.RootsGet();
    EXPECT_EQ((std::vector<std::string> { Path("absent/"), Path("apps/Editor/"), Path("games/"), Path("opt/") }), roots)
        << "nested roots pruned, system folders left out, a missing folder harmless";

    int callbacks = 0;
    EXPECT_EQ(4, discovery.CountFolders([&] { return ++callbacks > 0; })) << "bin, sub, nested under Foo and Foo";
    std::vector<std::string> lines;
    callbacks = 0;
    EXPECT_TRUE(discovery.CompleteScan(lines, [&] { return ++callbacks > 0; }));
    EXPECT_EQ(4, callbacks);
    EXPECT_EQ((std::vector<std::string> { Path("apps/Editor/editor") + "=Editor Deluxe",
                  Path("games/solitaire") + "=solitaire", Path("opt/Foo/foo") + "=foo",
                  Path("opt/Foo/bin/foo-tool") + "=foo-tool", Path("opt/Foo/sub/nested/deep") + "=deep" }),
        lines);

    // Stopping at the second folder keeps what was found before it.
    lines.clear();
    callbacks = 0;
    EXPECT_FALSE(discovery.CompleteScan(lines, [&] { return ++callbacks < 2; }));
    EXPECT_EQ((std::vector<std::string> { Path("apps/Editor/editor") + "=Editor Deluxe",
                  Path("games/solitaire") + "=solitaire", Path("opt/Foo/foo") + "=foo" }),
        lines)
        << "Foo was entered at the first folder; the stop came before its first subfolder";
    EXPECT_EQ(-1, discovery.CountFolders([] { return false; }));
}

TEST(ApplicationDiscovery, FastScanLeavesOutInstallersAndNamesByTheMenu)
{
    TFakeInstalledApplications installed;
    installed.MenuApplicationAdd("Game", "/opt/game/game");
    installed.MenuApplicationAdd("Game Setup", "/opt/game/setup-game");
    installed.MenuApplicationAdd("Remove Game", "/opt/game/unins000");
    installed.MenuApplicationAdd("Installer", "/opt/game/install");
    installed.MenuApplicationAdd("  ", "/opt/tool/tool.bin");
    TApplicationDiscovery discovery(installed);
    std::vector<std::string> lines;
    discovery.FastScan(lines);
    EXPECT_EQ(
        (std::vector<std::string> { "/opt/game/game=Game", "/opt/game/install=Installer", "/opt/tool/tool.bin=tool" }),
        lines);
    EXPECT_EQ("Game", discovery.DisplayName("/opt/game/game"));
    EXPECT_EQ("other", discovery.DisplayName("/usr/local/bin/other.sh"));
}

TEST(ApplicationDiscovery, RootsInsideAnotherOnlyByTheirLeadingPart)
{
    TFakeInstalledApplications installed;
    installed.ApplicationFolderAdd("/opt/");
    installed.ApplicationFolderAdd("/usr/local/");
    installed.ApplicationFolderAdd("/usr/local/opt/");
    installed.ApplicationFolderAdd("/OPT/");
    installed.SystemFolderAdd("/usr/lib/");
    installed.MenuApplicationAdd("A", "/srv/usr/lib/a/a");
    installed.MenuApplicationAdd("B", "/usr/lib/b/b");
    installed.MenuApplicationAdd("C", "/c");
    TApplicationDiscovery discovery(installed);
    EXPECT_EQ((std::vector<std::string> { "/opt/", "/srv/usr/lib/a/", "/usr/local/" }), discovery.RootsGet());
}

// This machine's own Debian browsers: the menu entry must give the program file a running
// browser shows as its executable, not the launcher script or the link the entry names.
TEST(ApplicationDiscovery, DebianBrowserEntriesGiveTheRunningProgramsFile)
{
    if (!fs::exists("/usr/share/applications/chromium.desktop")
        || !fs::exists("/usr/share/applications/firefox-esr.desktop")) {
        GTEST_SKIP() << "chromium and firefox-esr are not installed";
    }
    TXdgFolders folders = XdgFoldersGet();
    folders.DataFolders = { "/usr/share/" };
    TXdgInstalledApplications installed(folders);
    const std::vector<TMenuApplication> applications = installed.MenuApplicationsGet();
    EXPECT_EQ("Chromium Web Browser", NameOf(applications, "/usr/lib/chromium/chromium"));
    EXPECT_EQ("Firefox ESR", NameOf(applications, "/usr/lib/firefox-esr/firefox-esr"));
    EXPECT_EQ("/usr/lib/chromium/chromium", installed.ExecutableResolve("chromium"));
    EXPECT_EQ("/usr/lib/firefox-esr/firefox-esr", installed.ExecutableResolve("/usr/bin/firefox-esr"));
}
