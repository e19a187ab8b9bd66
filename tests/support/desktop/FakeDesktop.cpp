#include "support/desktop/FakeDesktop.h"

#include "model/Exceptions.h"
#include "model/TextHelpers.h"

#include <algorithm>

void TFakeProcesses::ProcessAdd(int64_t processId, const std::string& exeName, bool ownedByUser)
{
    TProcess& process = m_processes[processId];
    process.ExeName = exeName;
    process.OwnedByUser = ownedByUser;
    process.FailText.clear();
}

void TFakeProcesses::ProcessRemove(int64_t processId)
{
    m_processes.erase(processId);
}

void TFakeProcesses::ProcessFailSet(int64_t processId, const std::string& errorText)
{
    m_processes[processId].FailText = errorText;
}

void TFakeProcesses::RunningProgramsFailSet(const std::string& message)
{
    m_runningFailText = message;
}

bool TFakeProcesses::ProcessExeNameGet(int64_t processId, std::string& path, std::string& errorText)
{
    ++m_exeNameReads;
    path.clear();
    errorText.clear();
    const auto found = m_processes.find(processId);
    if (found == m_processes.end()) {
        errorText = "No such process";
        return false;
    }
    if (!found->second.FailText.empty()) {
        errorText = found->second.FailText;
        return false;
    }
    path = found->second.ExeName;
    return true;
}

std::vector<std::string> TFakeProcesses::RunningProgramPathsGet()
{
    if (!m_runningFailText.empty()) {
        throw EOSError(m_runningFailText);
    }
    std::vector<std::string> paths;
    for (const auto& [id, process] : m_processes) {
        if (process.OwnedByUser && process.FailText.empty() && !process.ExeName.empty()) {
            paths.push_back(process.ExeName);
        }
    }
    // As the system's own list: paths that differ only in case are different programs.
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    std::stable_sort(paths.begin(), paths.end(),
        [](const std::string& a, const std::string& b) { return AsciiLowerCase(a) < AsciiLowerCase(b); });
    return paths;
}

TWindowHandle TFakeDesktop::WindowShow(const TFakeWindow& description)
{
    TFakeWindow window = description;
    if (window.ProcessId == 0) {
        window.ProcessId = m_nextProcessId++;
    }
    if (!window.ExeName.empty()) {
        m_processes.ProcessAdd(window.ProcessId, window.ExeName);
    }
    const TWindowHandle handle = m_nextHandle++;
    m_windows.emplace_back(handle, window);
    if (window.Visible) {
        m_front = handle;
    }
    return handle;
}

void TFakeDesktop::WindowActivate(TWindowHandle window)
{
    for (auto& [handle, description] : m_windows) {
        if (handle == window) {
            description.Visible = true;
            m_front = window;
        }
    }
}

void TFakeDesktop::WindowHide(TWindowHandle window)
{
    for (auto& [handle, description] : m_windows) {
        if (handle == window) {
            description.Visible = false;
        }
    }
    if (m_front == window) {
        m_front = 0;
    }
}

void TFakeDesktop::WindowRemove(TWindowHandle window, bool keepStaleFront)
{
    std::erase_if(m_windows, [window](const auto& entry) { return entry.first == window; });
    if (m_front == window && !keepStaleFront) {
        m_front = 0;
    }
}

void TFakeDesktop::WindowAddressSet(TWindowHandle window, const std::string& address)
{
    for (auto& [handle, description] : m_windows) {
        if (handle == window) {
            description.Address = address;
        }
    }
}

void TFakeDesktop::WindowTitleSet(TWindowHandle window, const std::string& title)
{
    for (auto& [handle, description] : m_windows) {
        if (handle == window) {
            description.Title = title;
        }
    }
}

bool TFakeDesktop::WindowExists(TWindowHandle window) const
{
    return Find(window) != nullptr;
}

const TFakeWindow* TFakeDesktop::Find(TWindowHandle window) const
{
    for (const auto& [handle, description] : m_windows) {
        if (handle == window) {
            return &description;
        }
    }
    return nullptr;
}

TWindowHandle TFakeDesktop::ForegroundWindowGet()
{
    // A stale front (a destroyed window) is reported as none, as the interface promises.
    return Find(m_front) ? m_front : 0;
}

std::vector<TWindowHandle> TFakeDesktop::TopLevelWindowsGet()
{
    std::vector<TWindowHandle> handles;
    handles.reserve(m_windows.size());
    for (const auto& entry : m_windows) {
        handles.push_back(entry.first);
    }
    return handles;
}

int64_t TFakeDesktop::WindowProcessIdGet(TWindowHandle window)
{
    const TFakeWindow* found = Find(window);
    return found ? found->ProcessId : 0;
}

std::string TFakeDesktop::WindowClassNameGet(TWindowHandle window)
{
    const TFakeWindow* found = Find(window);
    return found ? found->ClassName : std::string();
}

std::string TFakeDesktop::WindowTextGet(TWindowHandle window)
{
    const TFakeWindow* found = Find(window);
    return found ? found->Title : std::string();
}

bool TFakeDesktop::WindowCloseRequest(TWindowHandle window)
{
    m_closeRequests.push_back(window);
    if (!Find(window)) {
        return false;
    }
    if (m_closeHonoured) {
        WindowRemove(window);
    }
    return true;
}

std::string TFakeDesktop::BrowserAddressGet(TWindowHandle window, int64_t, TBrowserFamily)
{
    ++m_addressReads;
    if (!m_accessibilityFailText.empty()) {
        throw EOSError(m_accessibilityFailText);
    }
    const TFakeWindow* found = Find(window);
    if (!found || !m_accessibilityAvailable || !m_accessibilityAnswers || !UrlPrefixHas(found->Address)) {
        return {};
    }
    return found->Address;
}
