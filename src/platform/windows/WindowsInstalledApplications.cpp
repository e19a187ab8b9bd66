#include "platform/windows/WindowsInstalledApplications.h"

#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "platform/windows/WideText.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <map>

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id)
{
    PWSTR folder = nullptr;
    std::string result;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &folder)) && folder) {
        result = TrailingCharEnsure(Utf8FromWide(folder), '/');
    }
    ::CoTaskMemFree(folder);
    return result;
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size()
        && SameTextAscii(std::string_view(text).substr(text.size() - suffix.size()), suffix);
}

// COM for the shortcuts, on whatever apartment the thread has (Qt's is single-threaded).
class TComUse
{
public:
    TComUse()
        : m_initialized(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
    {
    }
    ~TComUse()
    {
        if (m_initialized) {
            ::CoUninitialize();
        }
    }
    TComUse(const TComUse&) = delete;
    TComUse& operator=(const TComUse&) = delete;

private:
    bool m_initialized;
};

// The program a shortcut starts; empty when it cannot be read or starts no program file.
std::string ShortcutTarget(IShellLinkW* link, const std::wstring& file)
{
    IPersistFile* persist = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        return {};
    }
    std::wstring target(MAX_PATH, L'\0');
    // No search for a moved target: that could take seconds and touch network drives.
    const bool loaded = SUCCEEDED(persist->Load(file.c_str(), STGM_READ))
        && link->GetPath(target.data(), MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK;
    persist->Release();
    if (!loaded) {
        return {};
    }
    target.resize(wcslen(target.c_str()));
    // Targets may name environment variables (%ProgramFiles%).
    wchar_t expanded[MAX_PATH] = {};
    if (::ExpandEnvironmentStringsW(target.c_str(), expanded, MAX_PATH) > 0) {
        target = expanded;
    }
    return Utf8FromWide(target);
}

void ShortcutsCollect(const std::string& folder, const std::string& relative, std::map<std::string, std::string>& found)
{
    WIN32_FIND_DATAW entry = {};
    const HANDLE search = ::FindFirstFileW(WideFromUtf8(folder + relative + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::string name = Utf8FromWide(entry.cFileName);
        if (name == "." || name == "..") {
            continue;
        }
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
                ShortcutsCollect(folder, relative + name + "/", found);
            }
        } else if (EndsWithIgnoringCase(name, ".lnk")) {
            // The entry's id: its place under Programs, the same for the user's and all users'.
            found.emplace(AsciiLowerCase(relative + name), folder + relative + name);
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
}

// The program the App Paths key registers for `fileName` ("excel.exe"), the key the Run box
// and the shell look in first; empty when neither the user's nor the machine's key has it.
std::string AppPathGet(const std::string& fileName)
{
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + WideFromUtf8(fileName);
    for (HKEY root : { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE }) {
        wchar_t value[MAX_PATH * 2] = {};
        DWORD size = sizeof value;
        // Without RRF_NOEXPAND a REG_EXPAND_SZ value (%ProgramFiles%) is read too, expanded.
        if (::RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS) {
            std::string path = Trim(Utf8FromWide(value));
            if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
                path = path.substr(1, path.size() - 2);
            }
            if (!path.empty()) {
                return path;
            }
        }
    }
    return {};
}

} // namespace

TWindowsFolders WindowsFoldersGet()
{
    TWindowsFolders folders;
    for (const KNOWNFOLDERID* id : { &FOLDERID_Programs, &FOLDERID_CommonPrograms }) {
        if (std::string folder = KnownFolder(*id); !folder.empty()) {
            folders.MenuFolders.push_back(folder);
        }
    }
    for (const KNOWNFOLDERID* id : { &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_UserProgramFiles }) {
        std::string folder = KnownFolder(*id);
        if (!folder.empty()
            && std::none_of(folders.ApplicationFolders.begin(), folders.ApplicationFolders.end(),
                [&folder](const std::string& known) { return SameTextAscii(known, folder); })) {
            folders.ApplicationFolders.push_back(folder);
        }
    }
    if (std::string folder = KnownFolder(FOLDERID_Windows); !folder.empty()) {
        folders.SystemFolders.push_back(folder);
    }
    return folders;
}

TWindowsInstalledApplications::TWindowsInstalledApplications(TWindowsFolders folders)
    : m_folders(std::move(folders))
{
}

std::vector<TMenuApplication> TWindowsInstalledApplications::MenuApplicationsGet()
{
    // The user's folder comes first, so its entry keeps an id that all users' folder has too.
    std::map<std::string, std::string> shortcuts;
    for (const std::string& folder : m_folders.MenuFolders) {
        ShortcutsCollect(TrailingCharEnsure(folder, '/'), "", shortcuts);
    }
    TComUse com;
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(
            CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link)))) {
        return {};
    }
    std::vector<TMenuApplication> applications;
    for (const auto& [id, file] : shortcuts) {
        const std::string target = ShortcutTarget(link, WideFromUtf8(file));
        const std::string program = EndsWithIgnoringCase(target, ".exe") ? ExecutableResolve(target) : std::string();
        if (program.empty()) {
            continue;
        }
        std::string name(PathFileName(file));
        name.resize(name.size() - 4); // ".lnk": the name the menu shows
        applications.push_back({ name, program });
    }
    link->Release();
    return applications;
}

std::vector<std::string> TWindowsInstalledApplications::ApplicationFoldersGet()
{
    return m_folders.ApplicationFolders;
}

std::vector<std::string> TWindowsInstalledApplications::SystemFoldersGet()
{
    return m_folders.SystemFolders;
}

bool TWindowsInstalledApplications::FolderExists(const std::string& folder)
{
    const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<TFolderEntry> TWindowsInstalledApplications::FolderEntriesGet(const std::string& folder)
{
    std::vector<TFolderEntry> entries;
    WIN32_FIND_DATAW entry = {};
    const HANDLE search = ::FindFirstFileW(WideFromUtf8(TrailingCharEnsure(folder, '/') + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        std::string name = Utf8FromWide(entry.cFileName);
        if (name == "." || name == "..") {
            continue;
        }
        TFolderEntryKind kind = TFolderEntryKind::Other;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            // Junctions and folder links can loop; they are never entered.
            kind = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? TFolderEntryKind::FolderLink
                                                                                : TFolderEntryKind::Folder;
        } else if (EndsWithIgnoringCase(name, ".exe")) {
            kind = TFolderEntryKind::Executable;
        }
        entries.push_back({ std::move(name), kind });
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return entries;
}

std::string TWindowsInstalledApplications::ExecutableResolve(const std::string& program)
{
    if (program.empty()) {
        return {};
    }
    const std::wstring wide = WideFromUtf8(program);
    wchar_t found[MAX_PATH] = {};
    DWORD length = 0;
    if (program.find_first_of("/\\:") == std::string::npos) {
        // A bare name, as a shortcut or command line may give it: the system's search.
        length = ::SearchPathW(nullptr, wide.c_str(), L".exe", MAX_PATH, found, nullptr);
    } else {
        length = ::GetFullPathNameW(wide.c_str(), MAX_PATH, found, nullptr);
    }
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    const DWORD attributes = ::GetFileAttributesW(found);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {};
    }
    // The long form of each part, as the process list shows it (not PROGRA~1).
    wchar_t longForm[MAX_PATH] = {};
    const DWORD longLength = ::GetLongPathNameW(found, longForm, MAX_PATH);
    const std::string result = Utf8FromWide(longLength > 0 && longLength < MAX_PATH ? longForm : found);
    return EndsWithIgnoringCase(result, ".exe") ? result : std::string();
}

std::string TWindowsInstalledApplications::TypedProgramResolve(const std::string& typed, TProcesses* processes)
{
    std::string text = Trim(typed);
    std::replace(text.begin(), text.end(), '/', '\\');
    if (text.empty()) {
        return {};
    }
    const size_t slash = text.find_last_of("\\:");
    const bool path = slash != std::string::npos;
    const std::string fileName = path ? text.substr(slash + 1) : text;
    const bool extension = fileName.find('.') != std::string::npos;
    if (path) {
        // A relative path would be taken from this program's working folder, which means nothing to
        // the user: a drive's or a share's full path only.
        const bool full = (text.size() > 2 && text[1] == ':' && text[2] == '\\') || text.starts_with("\\\\");
        if (!full) {
            return {};
        }
        const std::string found = ExecutableResolve(text);
        return found.empty() && !extension ? ExecutableResolve(text + ".exe") : found;
    }
    const std::string withExe = extension ? text : text + ".exe";
    if (const std::string registered = AppPathGet(withExe); !registered.empty()) {
        if (std::string found = ExecutableResolve(registered); !found.empty()) {
            return found;
        }
    }
    if (std::string found = ExecutableResolve(text); !found.empty()) {
        return found;
    }
    if (!processes) {
        return {};
    }
    // Only one program may answer to the name.
    std::vector<std::string> found;
    try {
        for (const std::string& running : processes->RunningProgramPathsGet()) {
            if (SameTextAscii(PathFileName(running), withExe)) {
                found.push_back(running);
            }
        }
    } catch (const std::exception&) {
        // The running programs cannot be read: the name is simply not found there.
    }
    return found.size() == 1 ? found[0] : std::string();
}
