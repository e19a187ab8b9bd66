#pragma once

#include "platform/InstalledApplications.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// An installation held in memory: menu entries, folders and program files a test adds by hand.
// Folders are created with their parents; paths are absolute and folders end with "/".
class TFakeInstalledApplications : public TInstalledApplications
{
public:
    void MenuApplicationAdd(const std::string& name, const std::string& exePath);
    void ApplicationFolderAdd(const std::string& folder);
    void SystemFolderAdd(const std::string& folder);
    void FolderAdd(const std::string& folder);
    void FolderLinkAdd(const std::string& folder);
    // Adds a program file (and its folder); `resolvesTo` is what ExecutableResolve gives for it.
    void ExecutableAdd(const std::string& path, const std::string& resolvesTo = "");
    void OtherFileAdd(const std::string& path);
    // What TypedProgramResolve gives for a typed bare name, as the system's own search would.
    void TypedProgramAdd(const std::string& typed, const std::string& resolvesTo);
    // Called with the folder on every listing (tests stop a scan from here).
    std::function<void(const std::string& folder)> OnFolderList;

    std::vector<TMenuApplication> MenuApplicationsGet() override;
    std::vector<std::string> ApplicationFoldersGet() override;
    std::vector<std::string> SystemFoldersGet() override;
    bool FolderExists(const std::string& folder) override;
    std::vector<TFolderEntry> FolderEntriesGet(const std::string& folder) override;
    std::string ExecutableResolve(const std::string& program) override;
    // A typed name given to TypedProgramAdd, else a path as ExecutableResolve, else a bare name
    // as the file name of exactly one running program.
    std::string TypedProgramResolve(const std::string& typed, TProcesses* processes) override;

private:
    void EntryAdd(const std::string& path, TFolderEntryKind kind);

    std::vector<TMenuApplication> m_menu;
    std::vector<std::string> m_applicationFolders;
    std::vector<std::string> m_systemFolders;
    std::map<std::string, std::vector<TFolderEntry>> m_folders;
    std::map<std::string, std::string> m_resolved;
    std::map<std::string, std::string> m_typed;
};
