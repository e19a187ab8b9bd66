#include "platform/windows/Win32SessionPower.h"

#include "model/Exceptions.h"
#include "model/ProgramLog.h"
#include "platform/windows/WideText.h"

#include <windows.h>

#include <wtsapi32.h>

namespace {

constexpr wchar_t kClassName[] = L"TallyhourSessionPower";

LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* owner = reinterpret_cast<TWin32SessionPower*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (owner && owner->MessageHandle(message, wParam)) {
        // A broadcast about sleep must be answered TRUE (a refusal is no longer honoured), and so
        // must the question whether the session may end.
        return message == WM_POWERBROADCAST || message == WM_QUERYENDSESSION ? TRUE : 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The shutdown privilege is held by every interactive user but is off until enabled.
void ShutdownPrivilegeEnable()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        throw EOSError("this account's right to shut the computer down cannot be asked for ("
            + SystemErrorText(::GetLastError()) + ")");
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool found = ::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    const bool adjusted = found && ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds without granting when the user lacks the privilege.
    const DWORD error = ::GetLastError();
    ::CloseHandle(token);
    if (!adjusted || error == ERROR_NOT_ALL_ASSIGNED) {
        throw EOSError("this account has no right to shut the computer down (" + SystemErrorText(error) + ")");
    }
}

} // namespace

TWin32SessionPower::TWin32SessionPower(TExitRequest exitRequest)
    : m_exitRequest(std::move(exitRequest))
{
    if (!m_exitRequest) {
        m_exitRequest = [](unsigned flags, unsigned long reason) { return ::ExitWindowsEx(flags, reason) != 0; };
    }
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = SessionWindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kClassName;
    ::RegisterClassExW(&windowClass); // fails harmlessly when registered already
    // A hidden top-level window, not a message-only one: sleep (WM_POWERBROADCAST) and the end
    // of the session (WM_QUERYENDSESSION, WM_ENDSESSION) go out to the top-level windows only,
    // and the program's own may all be hidden in the tray.
    const HWND window = ::CreateWindowExW(
        WS_EX_TOOLWINDOW, kClassName, L"Tallyhour session", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, module, nullptr);
    if (!window) {
        LogMessageWrite("Locking, sleeping and the end of the session cannot be watched: no hidden window ("
            + SystemErrorText(::GetLastError()) + ")");
        return;
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_window = window;
    m_sessionWatched = ::WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION) != 0;
    if (!m_sessionWatched) {
        LogMessageWrite("Locking cannot be watched: " + SystemErrorText(::GetLastError()));
    }
}

TWin32SessionPower::~TWin32SessionPower()
{
    if (m_window) {
        if (m_sessionWatched) {
            ::WTSUnRegisterSessionNotification(static_cast<HWND>(m_window));
        }
        ::DestroyWindow(static_cast<HWND>(m_window));
    }
}

void TWin32SessionPower::ListenerSet(TSessionPowerListener listener)
{
    m_listener = std::move(listener);
}

bool TWin32SessionPower::MessageHandle(unsigned message, uintptr_t wParam)
{
    if (message == WM_WTSSESSION_CHANGE) {
        if ((wParam == WTS_SESSION_LOCK || wParam == WTS_SESSION_UNLOCK) && m_listener.SessionLockedChanged) {
            m_listener.SessionLockedChanged(wParam == WTS_SESSION_LOCK);
        }
        return true;
    }
    if (message == WM_POWERBROADCAST) {
        // Both resume messages may come for one wake-up; a repeated state is allowed.
        if (wParam == PBT_APMSUSPEND && m_listener.SleepingChanged) {
            m_listener.SleepingChanged(true);
        } else if ((wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) && m_listener.SleepingChanged) {
            m_listener.SleepingChanged(false);
        }
        return true;
    }
    if (message == WM_QUERYENDSESSION || (message == WM_ENDSESSION && wParam)) {
        if (m_listener.SessionEnding) {
            m_listener.SessionEnding(message == WM_ENDSESSION);
        }
        return true;
    }
    return false;
}

void TWin32SessionPower::ShutdownRequest(TShutdownKind kind, int /*timeoutSeconds*/)
{
    ShutdownPrivilegeEnable();
    // Forced: the user's programs are closed without asking them, as the caller means.
    const unsigned flags = (kind == skRestart ? EWX_REBOOT : EWX_POWEROFF) | EWX_FORCE;
    const unsigned long reason = SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER | SHTDN_REASON_FLAG_PLANNED;
    if (!m_exitRequest(flags, reason)) {
        throw EOSError("Windows refused it (" + SystemErrorText(::GetLastError()) + ")");
    }
}
