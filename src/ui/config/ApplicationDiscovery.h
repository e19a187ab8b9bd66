#pragma once

#include "platform/InstalledApplications.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// Called once per folder a scan enters; answers whether to go on.
using TScanCallback = std::function<bool()>;

// Finds installed applications for the add wizard. Both scans append find lines: the program's
// path as a running process shows it, "=", and its display name.
class TApplicationDiscovery
{
public:
    explicit TApplicationDiscovery(TInstalledApplications& installed);

    // The applications of the desktop's menus, without installers and uninstallers.
    void FastScan(std::vector<std::string>& lines);
    // The number of folders CompleteScan will enter. Returns -1 when the callback said stop.
    int CountFolders(const TScanCallback& callback);
    // Every program under the application folders. False when the callback said stop; the lines
    // appended until then stay.
    bool CompleteScan(std::vector<std::string>& lines, const TScanCallback& callback);
    // The menu entry's name of the program, else its file name without extension.
    std::string DisplayName(const std::string& path);

    // The folders the complete scan walks: the application folders and the folders of the
    // menus' programs, without the system's folders, sorted, a folder inside another one left
    // out. Each ends with "/".
    std::vector<std::string> RootsGet();

private:
    const std::vector<TMenuApplication>& MenuApplications();
    bool FoldersCount(const std::string& folder, const TScanCallback& callback, int& count);
    bool FolderWalk(const std::string& folder, std::vector<std::string>& lines, const TScanCallback& callback);
    std::vector<std::string> SubfoldersGet(const std::vector<TFolderEntry>& entries);

    TInstalledApplications& m_installed;
    bool m_menuRead = false;
    std::vector<TMenuApplication> m_menu;
    std::map<std::string, std::string> m_menuNames;
};
