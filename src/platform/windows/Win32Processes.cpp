#include "platform/windows/Win32Processes.h"

#include "model/Exceptions.h"
#include "model/TextHelpers.h"
#include "platform/windows/WideText.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <set>

namespace {

std::string WindowsFolderGet()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    std::string text = Utf8FromWide(folder);
    return text.ends_with('\\') ? text : text + "\\";
}

} // namespace

// The session manager and logon, services and their hosts, the shell and its hosts, input and
// font hosts, and Wine's services of the same kinds. Only in the Windows folder; a program of the
// same name elsewhere is the user's.
bool SystemProcessPathIs(const std::string& path)
{
    static const char* const kNames[] = { "smss.exe", "csrss.exe", "wininit.exe", "winlogon.exe", "services.exe",
        "lsass.exe", "lsm.exe", "svchost.exe", "dwm.exe", "fontdrvhost.exe", "sihost.exe", "taskhostw.exe",
        "taskhostex.exe", "explorer.exe", "runtimebroker.exe", "ctfmon.exe", "conhost.exe", "dllhost.exe",
        "searchhost.exe", "searchindexer.exe", "searchapp.exe", "searchui.exe", "startmenuexperiencehost.exe",
        "shellexperiencehost.exe", "textinputhost.exe", "applicationframehost.exe", "securityhealthsystray.exe",
        "securityhealthservice.exe", "smartscreen.exe", "audiodg.exe", "spoolsv.exe", "wmiprvse.exe",
        "backgroundtaskhost.exe", "lockapp.exe", "useroobebroker.exe", "wudfhost.exe", "dashost.exe", "sgrmbroker.exe",
        "rundll32.exe", "plugplay.exe", "rpcss.exe", "winedevice.exe", "wineboot.exe", "winemenubuilder.exe",
        "tabtip.exe", "start.exe", "mscorsvw.exe" };
    static const std::string windowsFolder = WindowsFolderGet();
    if (windowsFolder.empty() || path.size() <= windowsFolder.size()
        || !SameTextAscii(std::string_view(path).substr(0, windowsFolder.size()), windowsFolder)) {
        return false;
    }
    // The shell's own applications (Start, search, the lock screen) live in SystemApps.
    if (StartsWith(AsciiLowerCase(path.substr(windowsFolder.size())), "systemapps\\")) {
        return true;
    }
    const std::string name = AsciiLowerCase(std::string(PathFileName(path)));
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* known) { return name == known; });
}

bool TWin32Processes::ProcessExeNameGet(int64_t processId, std::string& path, std::string& errorText)
{
    path.clear();
    errorText.clear();
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
    if (!process) {
        errorText = SystemErrorText(::GetLastError());
        return false;
    }
    std::wstring name(MAX_PATH, L'\0');
    bool done = false;
    for (int attempt = 0; attempt < 4 && !done; ++attempt) {
        DWORD size = static_cast<DWORD>(name.size());
        if (::QueryFullProcessImageNameW(process, 0, name.data(), &size)) {
            name.resize(size);
            done = true;
        } else if (::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            name.resize(name.size() * 4);
        } else {
            break;
        }
    }
    if (!done) {
        errorText = SystemErrorText(::GetLastError());
    }
    ::CloseHandle(process);
    if (done) {
        path = Utf8FromWide(name);
    }
    return done;
}

std::vector<std::string> TWin32Processes::RunningProgramPathsGet()
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        throw EOSError("The list of processes cannot be read: " + SystemErrorText(::GetLastError()));
    }
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    std::set<std::string> seen;
    std::vector<std::string> paths;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        // The current user's programs are those of this session; services live in session 0.
        DWORD processSession = 0;
        if (!::ProcessIdToSessionId(entry.th32ProcessID, &processSession) || processSession != session) {
            continue;
        }
        std::string path;
        std::string error;
        if (ProcessExeNameGet(entry.th32ProcessID, path, error) && !SystemProcessPathIs(path)
            && seen.insert(AsciiLowerCase(path)).second) {
            paths.push_back(path);
        }
    }
    ::CloseHandle(snapshot);
    std::sort(paths.begin(), paths.end(),
        [](const std::string& a, const std::string& b) { return AsciiLowerCase(a) < AsciiLowerCase(b); });
    return paths;
}
