#include "platform/windows/Win32Processes.h"

#include "model/Exceptions.h"
#include "model/TextHelpers.h"
#include "platform/windows/WideText.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <set>

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
        if (ProcessExeNameGet(entry.th32ProcessID, path, error) && seen.insert(AsciiLowerCase(path)).second) {
            paths.push_back(path);
        }
    }
    ::CloseHandle(snapshot);
    std::sort(paths.begin(), paths.end(),
        [](const std::string& a, const std::string& b) { return AsciiLowerCase(a) < AsciiLowerCase(b); });
    return paths;
}
