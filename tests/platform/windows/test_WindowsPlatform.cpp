// The Windows backend against the real Win32 calls (under Wine in CI): a window of the test's
// own is the window in front; messages the system would send are posted to the backend's window.
#include "model/Exceptions.h"
#include "model/SystemPlaces.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/windows/InterruptTimeClockSource.h"
#include "platform/windows/LowLevelHotkeySource.h"
#include "platform/windows/Win32Processes.h"
#include "platform/windows/Win32SessionPower.h"
#include "platform/windows/Win32WindowSystem.h"
#include "platform/windows/WindowsPlatformServices.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <wtsapi32.h>

#include <algorithm>
#include <filesystem>

namespace {

bool g_closeAsked = false;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        g_closeAsked = true;
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void MessagesPump()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

std::string OwnExecutable()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).string();
}

} // namespace

TEST(Win32Desktop, OwnWindowInFrontIsSampledWithItsProgramAndClosedPolitely)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TallyhourTestWindow";
    ASSERT_NE(::RegisterClassExW(&windowClass), 0);
    const HWND window = ::CreateWindowExW(0, L"TallyhourTestWindow", L"Tally \u00e9t\u00e9 window", WS_OVERLAPPEDWINDOW,
        10, 10, 300, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    MessagesPump();

    TWin32WindowSystem windows;
    TWin32Processes processes;
    TNoBrowserAddresses addresses;
    const auto handle = static_cast<TWindowHandle>(reinterpret_cast<uintptr_t>(window));
    ASSERT_EQ(windows.ForegroundWindowGet(), handle);
    EXPECT_EQ(windows.WindowClassNameGet(handle), "TallyhourTestWindow");
    EXPECT_EQ(windows.WindowTextGet(handle), "Tally \xC3\xA9t\xC3\xA9 window");
    EXPECT_EQ(windows.WindowProcessIdGet(handle), static_cast<int64_t>(::GetCurrentProcessId()));
    const auto all = windows.TopLevelWindowsGet();
    EXPECT_NE(std::find(all.begin(), all.end(), handle), all.end());

    // The scan's own sample sees the window's program by its Windows path.
    TZaraveDezeZurirevuzor sample(windows, processes, addresses);
    sample.Execute(false, nullptr);
    EXPECT_EQ(sample.WindowHandle, handle);
    EXPECT_TRUE(SameTextAscii(sample.ExeName, OwnExecutable())) << sample.ExeName;
    EXPECT_EQ(sample.AppType, atDesktop);
    const auto running = processes.RunningProgramPathsGet();
    EXPECT_NE(std::find_if(running.begin(), running.end(),
                  [](const std::string& path) { return SameTextAscii(path, OwnExecutable()); }),
        running.end());

    // Politely: the window is asked, not destroyed.
    EXPECT_TRUE(windows.WindowCloseRequest(handle));
    MessagesPump();
    EXPECT_TRUE(g_closeAsked);
    EXPECT_TRUE(::IsWindow(window));
    ::DestroyWindow(window);
    MessagesPump();

    // Gone windows and processes answer "not available".
    EXPECT_EQ(windows.WindowTextGet(handle), "");
    EXPECT_EQ(windows.WindowClassNameGet(handle), "");
    EXPECT_EQ(windows.WindowProcessIdGet(handle), 0);
    EXPECT_FALSE(windows.WindowCloseRequest(handle));
    std::string path;
    std::string error;
    EXPECT_FALSE(processes.ProcessExeNameGet(0x7FFFFFF0, path, error));
    EXPECT_FALSE(error.empty());
}

TEST(Win32Session, LockAndSleepNewsReachTheListenerAndShutdownIsAskedWithItsPrivilege)
{
    std::vector<std::pair<unsigned, unsigned long>> requests;
    TWin32SessionPower power([&requests](unsigned flags, unsigned long reason) {
        requests.emplace_back(flags, reason);
        return true;
    });
    ASSERT_TRUE(power.CanWatchSleep());
    std::vector<std::string> news;
    power.ListenerSet({ [&news](bool locked) { news.push_back(locked ? "locked" : "unlocked"); },
        [&news](bool sleeping) { news.push_back(sleeping ? "sleeping" : "awake"); } });
    const HWND window = static_cast<HWND>(power.Window());
    ::PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    ::PostMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    ::PostMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ::PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 0); // not news for the program
    ::PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    MessagesPump();
    EXPECT_EQ(news, (std::vector<std::string> { "locked", "sleeping", "awake", "unlocked" }));

    power.ShutdownRequest(skPowerOff, 30);
    power.ShutdownRequest(skRestart, 30);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].first, unsigned(EWX_POWEROFF | EWX_FORCE));
    EXPECT_EQ(requests[1].first, unsigned(EWX_REBOOT | EWX_FORCE));

    // A refusal is an error with the system's reason, never a quiet return.
    TWin32SessionPower refusing([](unsigned, unsigned long) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    });
    EXPECT_THROW(refusing.ShutdownRequest(skPowerOff, 30), EOSError);
}

TEST(Win32System, ClockKeysPlacesAndRegionalSettings)
{
    TInterruptTimeClockSource clock;
    EXPECT_EQ(clock.Frequency(), 10'000'000);
    const int64_t first = clock.Ticks();
    ::Sleep(20);
    EXPECT_GT(clock.Ticks(), first);

    // Alt alone, left or right, is the hot key's key; every other key breaks a double press.
    EXPECT_EQ(TLowLevelHotkeySource::KeyEventFrom(VK_LMENU, false).Kind, TKeyEventKind::AltDown);
    EXPECT_EQ(TLowLevelHotkeySource::KeyEventFrom(VK_RMENU, true).Kind, TKeyEventKind::AltUp);
    EXPECT_EQ(TLowLevelHotkeySource::KeyEventFrom(VK_LCONTROL, false).Kind, TKeyEventKind::OtherKeyDown);
    EXPECT_EQ(TLowLevelHotkeySource::KeyEventFrom('A', true).Kind, TKeyEventKind::OtherKeyUp);

    // The data folder is the roaming application data; the program is this test.
    const std::string home = UserDataHome();
    EXPECT_TRUE(std::filesystem::is_directory(home)) << home;
    EXPECT_NE(home.find("Roaming"), std::string::npos) << home;
    EXPECT_TRUE(SameTextAscii(RunningExecutable(), OwnExecutable()));
    // The separator follows the regional settings: changed for the user, it changes here.
    wchar_t saved[8] = {};
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIME, saved, 8);
    EXPECT_EQ(TimeSeparator(), static_cast<char>(saved[0]));
    if (::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, L".")) {
        EXPECT_EQ(TimeSeparator(), '.');
        ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, saved);
    }
}
