#include "ui/config/ApplicationDiscovery.h"

#include "model/TextHelpers.h"
#include "monitor/ProcessIdentification.h"

#include <algorithm>

namespace {

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    return AsciiLowerCase(a) < AsciiLowerCase(b);
}

// Paths hold no drive letter here, so the test whether a folder lies inside another is a test of
// the leading part; a test anywhere in the text would take /usr/local/opt/ to be inside /opt/.
bool InsideFolder(const std::string& path, const std::string& folder)
{
    return StartsWith(AsciiLowerCase(path), AsciiLowerCase(folder));
}

} // namespace

TApplicationDiscovery::TApplicationDiscovery(TInstalledApplications& installed)
    : m_installed(installed)
{
}

const std::vector<TMenuApplication>& TApplicationDiscovery::MenuApplications()
{
    if (!m_menuRead) {
        m_menu = m_installed.MenuApplicationsGet();
        for (const TMenuApplication& application : m_menu) {
            const std::string name = Trim(application.Name);
            if (!name.empty()) {
                m_menuNames.emplace(application.ExePath, name);
            }
        }
        m_menuRead = true;
    }
    return m_menu;
}

void TApplicationDiscovery::FastScan(std::vector<std::string>& lines)
{
    for (const TMenuApplication& application : MenuApplications()) {
        const std::string fileName = AsciiLowerCase(FileNameOf(application.ExePath));
        if (application.ExePath.empty() || fileName.find("unins") != std::string::npos
            || fileName.find("setup") != std::string::npos) {
            continue;
        }
        lines.push_back(application.ExePath + "=" + DisplayName(application.ExePath));
    }
}

std::string TApplicationDiscovery::DisplayName(const std::string& path)
{
    MenuApplications();
    const auto found = m_menuNames.find(path);
    return found != m_menuNames.end() ? found->second : ProgramDisplayNameGet(path);
}

std::vector<std::string> TApplicationDiscovery::RootsGet()
{
    const std::vector<std::string> exclusions = m_installed.SystemFoldersGet();
    std::vector<std::string> roots;
    const auto present = [&](const std::string& folder) {
        return std::any_of(
            roots.begin(), roots.end(), [&](const std::string& root) { return SameTextAscii(root, folder); });
    };
    for (const TMenuApplication& application : MenuApplications()) {
        const std::string folder = FolderOf(application.ExePath);
        if (folder.empty() || folder == "/" || present(folder)
            || std::any_of(exclusions.begin(), exclusions.end(),
                [&](const std::string& excluded) { return InsideFolder(folder, excluded); })) {
            continue;
        }
        roots.push_back(folder);
    }
    for (std::string folder : m_installed.ApplicationFoldersGet()) {
        if (!folder.empty() && folder.back() != '/') {
            folder += '/';
        }
        if (!folder.empty() && !present(folder)) {
            roots.push_back(folder);
        }
    }
    std::sort(roots.begin(), roots.end(), LessIgnoringCase);
    for (size_t i = 0; i < roots.size();) {
        if (i + 1 < roots.size() && InsideFolder(roots[i + 1], roots[i])) {
            roots.erase(roots.begin() + std::ptrdiff_t(i + 1));
        } else {
            ++i;
        }
    }
    return roots;
}

std::vector<std::string> TApplicationDiscovery::SubfoldersGet(const std::vector<TFolderEntry>& entries)
{
    // Hidden folders and links to folders are neither counted nor entered, as the walk would
    // otherwise go into caches, version-control stores and loops.
    std::vector<std::string> names;
    for (const TFolderEntry& entry : entries) {
        if (entry.Kind == TFolderEntryKind::Folder && !entry.Name.empty() && entry.Name[0] != '.') {
            names.push_back(entry.Name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool TApplicationDiscovery::FoldersCount(const std::string& folder, const TScanCallback& callback, int& count)
{
    for (const std::string& name : SubfoldersGet(m_installed.FolderEntriesGet(folder))) {
        if (callback && !callback()) {
            return false;
        }
        ++count;
        if (!FoldersCount(folder + name + "/", callback, count)) {
            return false;
        }
    }
    return true;
}

int TApplicationDiscovery::CountFolders(const TScanCallback& callback)
{
    int count = 0;
    for (const std::string& root : RootsGet()) {
        if (m_installed.FolderExists(root) && !FoldersCount(root, callback, count)) {
            return -1;
        }
    }
    return count;
}

bool TApplicationDiscovery::FolderWalk(
    const std::string& folder, std::vector<std::string>& lines, const TScanCallback& callback)
{
    if (!m_installed.FolderExists(folder)) {
        return true;
    }
    const std::vector<TFolderEntry> entries = m_installed.FolderEntriesGet(folder);
    std::vector<std::string> files;
    for (const TFolderEntry& entry : entries) {
        const std::string lower = AsciiLowerCase(entry.Name);
        if (entry.Kind == TFolderEntryKind::Executable && lower.find("setup") == std::string::npos
            && lower.find("inst") == std::string::npos) {
            files.push_back(entry.Name);
        }
    }
    std::sort(files.begin(), files.end());
    for (const std::string& name : files) {
        const std::string path = m_installed.ExecutableResolve(folder + name);
        if (!path.empty()) {
            lines.push_back(path + "=" + DisplayName(path));
        }
    }
    for (const std::string& name : SubfoldersGet(entries)) {
        if (callback && !callback()) {
            return false;
        }
        if (!FolderWalk(folder + name + "/", lines, callback)) {
            return false;
        }
    }
    return true;
}

bool TApplicationDiscovery::CompleteScan(std::vector<std::string>& lines, const TScanCallback& callback)
{
    for (const std::string& root : RootsGet()) {
        if (!FolderWalk(root, lines, callback)) {
            return false;
        }
    }
    return true;
}
