#include "platform/windows/Win32WindowSystem.h"

#include "platform/windows/WideText.h"

#include <windows.h>

namespace {

HWND WindowOf(TWindowHandle window)
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
}

TWindowHandle HandleOf(HWND window)
{
    return static_cast<TWindowHandle>(reinterpret_cast<uintptr_t>(window));
}

BOOL CALLBACK WindowCollect(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<TWindowHandle>*>(list)->push_back(HandleOf(window));
    return TRUE;
}

} // namespace

TWindowHandle TWin32WindowSystem::ForegroundWindowGet()
{
    return HandleOf(::GetForegroundWindow());
}

std::vector<TWindowHandle> TWin32WindowSystem::TopLevelWindowsGet()
{
    std::vector<TWindowHandle> windows;
    if (!::EnumWindows(WindowCollect, reinterpret_cast<LPARAM>(&windows))) {
        return {};
    }
    return windows;
}

int64_t TWin32WindowSystem::WindowProcessIdGet(TWindowHandle window)
{
    DWORD processId = 0;
    if (window == 0 || ::GetWindowThreadProcessId(WindowOf(window), &processId) == 0) {
        return 0;
    }
    return processId;
}

std::string TWin32WindowSystem::WindowClassNameGet(TWindowHandle window)
{
    wchar_t name[256] = {};
    const int length = window == 0 ? 0 : ::GetClassNameW(WindowOf(window), name, 256);
    return length > 0 ? Utf8FromWide(std::wstring_view(name, static_cast<std::size_t>(length))) : std::string();
}

std::string TWin32WindowSystem::WindowTextGet(TWindowHandle window)
{
    if (window == 0 || !::IsWindow(WindowOf(window))) {
        return {};
    }
    // WM_GETTEXT with a time limit: a hung program must not stop the sample (GetWindowText
    // would wait for a window of this process, and some programs answer slowly).
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(
            WindowOf(window), WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &length)) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(WindowOf(window), WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
            SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &copied)) {
        return {};
    }
    text.resize(std::min<std::size_t>(static_cast<std::size_t>(copied), text.size() - 1));
    return Utf8FromWide(text);
}

bool TWin32WindowSystem::WindowCloseRequest(TWindowHandle window)
{
    // Posted, not sent: the request a title bar's close button makes, without waiting for it.
    return window != 0 && ::PostMessageW(WindowOf(window), WM_CLOSE, 0, 0) != 0;
}

bool TWin32WindowSystem::WindowTaskbarSkipSet(TWindowHandle window)
{
    // A tool window has no task bar button; set while the window is hidden, as the shell asks.
    const HWND handle = WindowOf(window);
    if (window == 0 || !::IsWindow(handle)) {
        return false;
    }
    const LONG_PTR style = ::GetWindowLongPtrW(handle, GWL_EXSTYLE);
    ::SetWindowLongPtrW(handle, GWL_EXSTYLE, (style | WS_EX_TOOLWINDOW) & ~WS_EX_APPWINDOW);
    return true;
}
