#include "support/desktop/FakeInstalledApplications.h"

#include <algorithm>

namespace {

// "/a/b/" gives ("/a/", "b"); "/a/b" gives ("/a/", "b").
std::pair<std::string, std::string> PathSplit(std::string path)
{
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const size_t slash = path.find_last_of('/');
    return { path.substr(0, slash + 1), path.substr(slash + 1) };
}

} // namespace

void TFakeInstalledApplications::MenuApplicationAdd(const std::string& name, const std::string& exePath)
{
    m_menu.push_back({ name, exePath });
}

void TFakeInstalledApplications::ApplicationFolderAdd(const std::string& folder)
{
    m_applicationFolders.push_back(folder);
}

void TFakeInstalledApplications::SystemFolderAdd(const std::string& folder)
{
    m_systemFolders.push_back(folder);
}

void TFakeInstalledApplications::EntryAdd(const std::string& path, TFolderEntryKind kind)
{
    const auto [parent, name] = PathSplit(path);
    if (name.empty()) {
        m_folders[path];
        return;
    }
    if (!m_folders.count(parent)) {
        EntryAdd(parent, TFolderEntryKind::Folder);
    }
    auto& entries = m_folders[parent];
    if (std::none_of(entries.begin(), entries.end(), [&](const TFolderEntry& entry) { return entry.Name == name; })) {
        entries.push_back({ name, kind });
    }
    if (kind == TFolderEntryKind::Folder) {
        m_folders[path.back() == '/' ? path : path + "/"];
    }
}

void TFakeInstalledApplications::FolderAdd(const std::string& folder)
{
    EntryAdd(folder, TFolderEntryKind::Folder);
}

void TFakeInstalledApplications::FolderLinkAdd(const std::string& folder)
{
    EntryAdd(folder, TFolderEntryKind::FolderLink);
}

void TFakeInstalledApplications::ExecutableAdd(const std::string& path, const std::string& resolvesTo)
{
    EntryAdd(path, TFolderEntryKind::Executable);
    m_resolved[path] = resolvesTo.empty() ? path : resolvesTo;
}

void TFakeInstalledApplications::OtherFileAdd(const std::string& path)
{
    EntryAdd(path, TFolderEntryKind::Other);
}

void TFakeInstalledApplications::TypedProgramAdd(const std::string& typed, const std::string& resolvesTo)
{
    m_typed[typed] = resolvesTo;
}

std::vector<TMenuApplication> TFakeInstalledApplications::MenuApplicationsGet()
{
    return m_menu;
}

std::vector<std::string> TFakeInstalledApplications::ApplicationFoldersGet()
{
    return m_applicationFolders;
}

std::vector<std::string> TFakeInstalledApplications::SystemFoldersGet()
{
    return m_systemFolders;
}

bool TFakeInstalledApplications::FolderExists(const std::string& folder)
{
    return m_folders.count(folder) > 0;
}

std::vector<TFolderEntry> TFakeInstalledApplications::FolderEntriesGet(const std::string& folder)
{
    if (OnFolderList) {
        OnFolderList(folder);
    }
    const auto found = m_folders.find(folder);
    return found == m_folders.end() ? std::vector<TFolderEntry>() : found->second;
}

std::string TFakeInstalledApplications::ExecutableResolve(const std::string& program)
{
    const auto found = m_resolved.find(program);
    return found == m_resolved.end() ? std::string() : found->second;
}

std::string TFakeInstalledApplications::TypedProgramResolve(const std::string& typed, TProcesses* processes)
{
    if (const auto found = m_typed.find(typed); found != m_typed.end()) {
        return found->second;
    }
    if (typed.find('/') != std::string::npos) {
        return ExecutableResolve(typed);
    }
    std::vector<std::string> running;
    if (processes) {
        for (const std::string& path : processes->RunningProgramPathsGet()) {
            if (PathSplit(path).second == typed) {
                running.push_back(path);
            }
        }
    }
    return running.size() == 1 ? running[0] : std::string();
}
