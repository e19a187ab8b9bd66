#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Where packaged programs are installed. The system's own but for tests.
struct TPackageFolders
{
    // The folder the system's /snap and /var/lib/flatpak lie in: "" for "/".
    std::string Root;
    // The user's data folder ($XDG_DATA_HOME, or ~/.local/share), which holds the user's own
    // Flatpak installation in "flatpak/". Ends with "/".
    std::string UserDataFolder;
};

TPackageFolders PackageFoldersGet();

// What a package's launcher scripts see that the host does not.
struct TPackageScriptView
{
    std::map<std::string, std::string> Variables; // set for them ($SNAP)
    std::string SandboxFiles; // the host folder that a Flatpak sandbox's /app stands for
};

using TPackageFileResolve = std::function<std::string(const std::string& file, const TPackageScriptView& view)>;

// What /proc tells of one running process that the packages' rule needs.
struct TProcessFacts
{
    std::string ExePath; // /proc/PID/exe, as the kernel shows it from outside the process
    std::string AppImage; // its APPIMAGE variable: the AppImage file that was started
    std::string AppDir; // its APPDIR variable: where that AppImage is mounted
    std::string FlatpakInfo; // the text of /.flatpak-info inside the process's root, if any
    std::string Cgroup; // the text of /proc/PID/cgroup
};

// Reads the facts of the process whose /proc folder is `procFolder`; what cannot be read stays
// empty.
TProcessFacts ProcessFactsRead(const std::string& procFolder, const std::string& exePath);

// The Flatpak sandbox the process whose /proc folder is `procFolder` runs in, as its app id and
// instance id ("ID/INSTANCE"); empty outside a sandbox. Flatpak gives the bus proxies of a
// sandbox the same /.flatpak-info, so that the services a proxy talks to can tell the app: a
// sandboxed browser's accessibility reaches the bus as such a proxy's process.
std::string FlatpakInstanceGet(const std::string& procFolder);

// The one rule that turns a program of a snap, a Flatpak or an AppImage into the path a user
// lists, a path that stays the same across the package's updates and the program's restarts:
// - a snap's /snap/NAME/REVISION/... becomes /snap/NAME/current/... (the link snapd keeps);
// - a Flatpak process (known by /.flatpak-info in its root, or else by its cgroup), whose
//   program lies in the sandbox's /app, becomes that file under its installation's
//   app/ID/current/active/files/ (the user's or the system's installation); one that runs a
//   program of its runtime becomes the installation's exports/bin/ID, the app's own launcher;
// - an AppImage process becomes its AppImage file, when the program runs from the AppImage's
//   mount (a program the AppImage starts from elsewhere inherits the variable but is itself);
// - a menu entry or a file the user picks that launches through snap (/snap/bin/NAME,
//   "snap run NAME"), "flatpak run ID" or the Flatpak launcher gives the same paths.
class TPackagedPrograms
{
public:
    explicit TPackagedPrograms(TPackageFolders folders = PackageFoldersGet());

    // The path of a running process.
    std::string ProcessPathGet(const TProcessFacts& facts) const;
    // A program file named by its real path (links followed): a snap revision's or a Flatpak
    // deployment's file becomes the same file under the links that follow updates.
    std::string FilePathGet(const std::string& path) const;
    // The program that a command line (a menu entry's Exec words, or just a program path) starts
    // when it is a package's launcher; `fileResolve` turns a file of a package into the program
    // a process of it runs (links, launcher scripts, as the package's scripts see the files).
    // None when the command is no such launcher; an empty path when it is one but its
    // program cannot be found.
    std::optional<std::string> LauncherResolve(
        const std::vector<std::string>& words, const TPackageFileResolve& fileResolve) const;

private:
    std::vector<std::string> FlatpakInstallationsGet() const;
    std::string FlatpakInstallationFind(const std::string& appId) const;
    std::string FlatpakProgramGet(const std::string& installation, const std::string& appId, std::string command,
        const TPackageFileResolve& fileResolve) const;
    std::optional<std::string> SnapLauncherResolve(
        const std::string& snapApp, const TPackageFileResolve& fileResolve) const;

    TPackageFolders m_folders;
};
