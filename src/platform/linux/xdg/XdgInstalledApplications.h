#pragma once

#include "platform/InstalledApplications.h"
#include "platform/linux/proc/PackagedPrograms.h"

#include <string>
#include <vector>

// The folders the desktop's applications are looked for in. Folders end with "/".
struct TXdgFolders
{
    // The data folders holding "applications/": the user's own ($XDG_DATA_HOME) first, then
    // those of all users ($XDG_DATA_DIRS), in the order the desktop reads them.
    std::vector<std::string> DataFolders;
    // /opt, /usr/local, /usr/games, ~/.local/bin and ~/Applications.
    std::vector<std::string> ApplicationFolders;
    // /usr/bin, /usr/sbin, /usr/lib, /usr/libexec, /usr/share, /bin, /sbin, /lib, /lib64 and the like.
    std::vector<std::string> SystemFolders;
};

// The folders of this session, from the XDG variables (with their documented defaults) and HOME.
TXdgFolders XdgFoldersGet();

// The programs named by desktop entries (read with GLib) and the folders of the file system.
class TXdgInstalledApplications final : public TInstalledApplications
{
public:
    explicit TXdgInstalledApplications(
        TXdgFolders folders = XdgFoldersGet(), TPackageFolders packageFolders = PackageFoldersGet());

    std::vector<TMenuApplication> MenuApplicationsGet() override;
    std::vector<std::string> ApplicationFoldersGet() override;
    std::vector<std::string> SystemFoldersGet() override;
    bool FolderExists(const std::string& folder) override;
    std::vector<TFolderEntry> FolderEntriesGet(const std::string& folder) override;
    std::string ExecutableResolve(const std::string& program) override;
    // A path as ExecutableResolve ("~/" is the home folder; a relative path is none, as the
    // program's own working folder means nothing to the user); a bare name on PATH, then as the
    // program of a menu entry (the file its Exec line names or the one it starts), then running.
    std::string TypedProgramResolve(const std::string& typed, TProcesses* processes) override;
    // The program a desktop entry's Exec line starts, as a running process of it is named.
    std::string CommandProgramGet(const std::string& commandLine);

private:
    // A menu entry's application with the file name of the program its Exec line names.
    struct TMenuEntry
    {
        std::string Launcher;
        TMenuApplication Application;
    };
    std::vector<TMenuEntry> MenuEntriesGet();

    TXdgFolders m_folders;
    TPackagedPrograms m_packages;
};

// The program a launcher script starts for good: the target of its "exec" lines, with the
// script's plain variable assignments filled in, when all of them name the same program file;
// else the program of that name in the distribution's library folders (/usr/lib/NAME/NAME and
// the like) when there is exactly one. Empty when neither gives an answer. Follows a script
// that starts another script a few levels deep.
std::string LauncherTargetGet(const std::string& scriptPath);

// Whether the file is a program a process can run as itself: an executable (not a shared
// library) in the system's binary format, or a script starting with "#!".
bool ProgramFileIs(const std::string& path);
// Whether the file starts with "#!".
bool ScriptFileIs(const std::string& path);
