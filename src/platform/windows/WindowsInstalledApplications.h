#pragma once

#include "platform/InstalledApplications.h"

#include <string>
#include <vector>

// Where Windows keeps its installed applications. Folders end with "/".
struct TWindowsFolders
{
    // The Start menu's Programs folders: the user's own first, then the one of all users.
    std::vector<std::string> MenuFolders;
    // Program Files (both), and the user's own Programs folder in the local application data.
    std::vector<std::string> ApplicationFolders;
    // The Windows folder.
    std::vector<std::string> SystemFolders;
};

// The folders of this user, from the shell's known folders.
TWindowsFolders WindowsFoldersGet();

// The Start menu's shortcuts (.lnk, read through IShellLinkW) and the folders of the file system.
// A program is an ".exe" file; paths are given as Windows writes them (backslashes, the long
// names), the form a running process shows.
class TWindowsInstalledApplications final : public TInstalledApplications
{
public:
    explicit TWindowsInstalledApplications(TWindowsFolders folders = WindowsFoldersGet());

    std::vector<TMenuApplication> MenuApplicationsGet() override;
    std::vector<std::string> ApplicationFoldersGet() override;
    std::vector<std::string> SystemFoldersGet() override;
    bool FolderExists(const std::string& folder) override;
    std::vector<TFolderEntry> FolderEntriesGet(const std::string& folder) override;
    std::string ExecutableResolve(const std::string& program) override;
    // A full path with either slash as ExecutableResolve (".exe" added when it has no extension); a
    // bare name through the App Paths key (the user's, then the machine's), the system's search
    // path, then the running programs, ".exe" added when it has no extension.
    std::string TypedProgramResolve(const std::string& typed, TProcesses* processes) override;

private:
    TWindowsFolders m_folders;
};
