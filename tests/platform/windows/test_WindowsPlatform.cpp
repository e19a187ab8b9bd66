// The Windows backend against the real Win32 calls (under Wine in CI): a window of the test's
// own is the window in front; messages the system would send are posted to the backend's window.
#include "model/Exceptions.h"
#include "model/SystemPlaces.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/PlatformPick.h"
#include "platform/windows/InterruptTimeClockSource.h"
#include "platform/windows/LowLevelHotkeySource.h"
#include "platform/windows/Win32Processes.h"
#include "platform/windows/Win32SessionPower.h"
#include "platform/windows/Win32WindowSystem.h"
#include "platform/windows/WindowsInstalledApplications.h"
#include "platform/windows/WindowsPlatformServices.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shobjidl.h>
#include <wtsapi32.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

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

TEST(Win32Session, LockSleepAndTheSessionsEndReachTheListenerAndShutdownIsAskedWithItsPrivilege)
{
    std::vector<std::pair<unsigned, unsigned long>> requests;
    TWin32SessionPower power([&requests](unsigned flags, unsigned long reason) {
        requests.emplace_back(flags, reason);
        return true;
    });
    ASSERT_TRUE(power.CanWatchSleep());
    std::vector<std::string> news;
    power.ListenerSet({ [&news](bool locked) { news.push_back(locked ? "locked" : "unlocked"); },
        [&news](bool sleeping) { news.push_back(sleeping ? "sleeping" : "awake"); }, {} });
    const HWND window = static_cast<HWND>(power.Window());
    ::PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    ::PostMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    ::PostMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ::PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 0); // not news for the program
    ::PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    MessagesPump();
    EXPECT_EQ(news, (std::vector<std::string> { "locked", "sleeping", "awake", "unlocked" }));

    // The system sends sleep and the end of the session to top-level windows only: the window
    // must be one, though hidden, and say yes to the end.
    news.clear();
    power.ListenerSet({ {}, {}, [&news](bool final) { news.push_back(final ? "ended" : "ending"); } });
    EXPECT_EQ(::GetAncestor(window, GA_PARENT), ::GetDesktopWindow());
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(::SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    ::SendMessageW(window, WM_ENDSESSION, FALSE, 0); // called off
    ::SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(news, (std::vector<std::string> { "ending", "ended" }));

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

namespace {

void ShortcutSave(const std::filesystem::path& file, const std::wstring& target)
{
    IShellLinkW* link = nullptr;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(
        CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link))));
    link->SetPath(target.c_str());
    IPersistFile* persist = nullptr;
    ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))));
    std::filesystem::create_directories(file.parent_path());
    EXPECT_TRUE(SUCCEEDED(persist->Save(file.wstring().c_str(), TRUE)));
    persist->Release();
    link->Release();
}

} // namespace

TEST(WindowsInstalledApplications, StartMenuShortcutsAndProgramFolders)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TTempFolder temp;
    const std::filesystem::path user = temp.Path() / "user";
    const std::filesystem::path common = temp.Path() / "common";
    const std::filesystem::path apps = temp.Path() / "Apps";
    std::filesystem::create_directories(apps / "Tool" / "bin");
    std::filesystem::create_directories(apps / "Empty");
    for (const char* name : { "Tool/tool.exe", "Tool/readme.txt", "Tool/bin/helper.EXE" }) {
        std::ofstream(apps / name) << "MZ";
    }
    const std::wstring tool = (apps / "Tool" / "tool.exe").wstring();
    const std::wstring own = std::filesystem::path(OwnExecutable()).wstring();
    // All users' "Tool" is replaced by the user's entry of the same place; one without a
    // program, one that starts no program file and one whose program is gone are left out.
    ShortcutSave(common / "Tool" / "Tool.lnk", own);
    ShortcutSave(user / "Tool" / "Tool.lnk", tool);
    ShortcutSave(common / "Editor.lnk", L"C:\\windows\\system32\\notepad.exe");
    ShortcutSave(common / "Read me.lnk", (apps / "Tool" / "readme.txt").wstring());
    ShortcutSave(user / "Gone.lnk", (apps / "gone.exe").wstring());

    TWindowsInstalledApplications installed(
        { { temp.Text() + "user/", temp.Text() + "common/" }, { temp.Text() + "Apps/" }, { "C:/windows/" } });
    const auto menu = installed.MenuApplicationsGet();
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].Name, "Editor");
    EXPECT_TRUE(SameTextAscii(menu[0].ExePath, "C:\\windows\\system32\\notepad.exe")) << menu[0].ExePath;
    EXPECT_EQ(menu[1].Name, "Tool");
    EXPECT_EQ(std::filesystem::path(menu[1].ExePath), std::filesystem::path(tool)) << menu[1].ExePath;
    EXPECT_EQ(menu[1].ExePath.find('/'), std::string::npos) << "paths as a process shows them";

    EXPECT_TRUE(installed.FolderExists(temp.Text() + "Apps/Tool"));
    EXPECT_FALSE(installed.FolderExists(temp.Text() + "Apps/Tool/tool.exe"));
    auto entries = installed.FolderEntriesGet(temp.Text() + "Apps/Tool/");
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name, "bin");
    EXPECT_EQ(entries[0].Kind, TFolderEntryKind::Folder);
    EXPECT_EQ(entries[1].Kind, TFolderEntryKind::Other); // readme.txt
    EXPECT_EQ(entries[2].Kind, TFolderEntryKind::Executable); // tool.exe
    EXPECT_EQ(installed.FolderEntriesGet(temp.Text() + "Apps/Empty").size(), 0u);
    EXPECT_EQ(installed.FolderEntriesGet(temp.Text() + "missing").size(), 0u);

    EXPECT_TRUE(SameTextAscii(installed.ExecutableResolve("notepad"), "C:\\windows\\system32\\notepad.exe"));
    EXPECT_EQ(std::filesystem::path(installed.ExecutableResolve(temp.Text() + "Apps/Tool/bin/helper.EXE")),
        apps / "Tool" / "bin" / "helper.EXE");
    EXPECT_EQ(installed.ExecutableResolve(temp.Text() + "Apps/Tool/readme.txt"), "");
    EXPECT_EQ(installed.ExecutableResolve(temp.Text() + "Apps/gone.exe"), "");
    EXPECT_EQ(installed.ExecutableResolve(""), "");

    const TWindowsFolders system = WindowsFoldersGet();
    EXPECT_FALSE(system.MenuFolders.empty());
    EXPECT_FALSE(system.ApplicationFolders.empty());
    ASSERT_EQ(system.SystemFolders.size(), 1u);
    EXPECT_TRUE(SameTextAscii(system.SystemFolders[0], "C:\\windows/"));
    ::CoUninitialize();
}

// What a user types in the add wizard ("notepad.exe", "c:/windows/system32/notepad.exe") is
// listed by the path its running process shows, or not at all.
TEST(WindowsInstalledApplications, TypedProgramsResolveWhereWindowsLooks)
{
    TTempFolder temp;
    const std::filesystem::path tool = temp.Path() / "Apps" / "Tool" / "tool.exe";
    std::filesystem::create_directories(tool.parent_path());
    std::ofstream(tool) << "MZ";
    // Registered for the Run box only, as installers do: on no search path.
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tallyhour-typed-tool.exe";
    const std::wstring value = L"\"" + tool.wstring() + L"\"";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, REG_SZ, value.c_str(),
                  DWORD((value.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
    TWindowsInstalledApplications installed({ {}, {}, { "C:/windows/" } });
    TWin32Processes processes;
    const auto resolve = [&](const std::string& typed) { return installed.TypedProgramResolve(typed, &processes); };
    for (const char* typed : { "notepad.exe", "notepad", "NOTEPAD.EXE", "c:/windows/system32/notepad.exe",
             "C:\\Windows\\System32\\notepad" }) {
        EXPECT_TRUE(SameTextAscii(resolve(typed), "C:\\windows\\system32\\notepad.exe"))
            << typed << ": " << resolve(typed);
    }
    EXPECT_EQ(std::filesystem::path(resolve("tallyhour-typed-tool")), tool) << "the App Paths key";
    EXPECT_EQ(std::filesystem::path(resolve("Tallyhour-Typed-Tool.exe")), tool);
    const std::wstring editorKey
        = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tallyhour-typed-editor.exe";
    const std::wstring editor = L"%SystemRoot%\\system32\\notepad.exe";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, editorKey.c_str(), nullptr, REG_EXPAND_SZ, editor.c_str(),
                  DWORD((editor.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
    EXPECT_TRUE(SameTextAscii(resolve("tallyhour-typed-editor"), "C:\\windows\\system32\\notepad.exe"))
        << "a value with variables";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, editorKey.c_str());
    EXPECT_EQ(resolve("tallyhour-no-such-program.exe"), "");
    EXPECT_EQ(resolve("c:/windows/tallyhour-no-such-program.exe"), "");
    EXPECT_EQ(resolve("system32/notepad.exe"), "") << "a relative path names no place the user knows";
    EXPECT_EQ(resolve(""), "");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

// The add wizard's running programs: the system's machinery (Wine's services, the shell) is
// nothing to limit; a program of such a name outside the Windows folder, or notepad, is.
TEST(Win32Processes, RunningProgramsLeaveOutTheSystemsMachinery)
{
    TWin32Processes processes;
    EXPECT_TRUE(SystemProcessPathIs("C:\\windows\\system32\\svchost.exe"));
    EXPECT_TRUE(SystemProcessPathIs("c:\\Windows\\explorer.exe"));
    EXPECT_TRUE(SystemProcessPathIs("C:\\windows\\system32\\plugplay.exe"));
    EXPECT_FALSE(SystemProcessPathIs("C:\\windows\\system32\\notepad.exe"));
    EXPECT_FALSE(SystemProcessPathIs("C:\\Games\\svchost.exe"));
    for (const std::string& running : processes.RunningProgramPathsGet()) {
        const std::string name = AsciiLowerCase(std::string(PathFileName(running)));
        for (const char* system :
            { "services.exe", "plugplay.exe", "rpcss.exe", "svchost.exe", "winedevice.exe", "explorer.exe" }) {
            EXPECT_NE(name, system) << running;
        }
    }
}

TEST(WindowsPlatformPick, EveryServiceOnTheWindowsPlatformAndNoMonitoringOffscreen)
{
    EXPECT_EQ(WindowPlatformChoose(), "");
    const auto services = PlatformServicesPick("windows");
    EXPECT_TRUE(services->WindowSystem && services->Accessibility && services->Processes && services->ClockSource
        && services->HotkeySource && services->SessionPower && services->InstalledApplications);
    EXPECT_TRUE(services->Accessibility->CanReadBrowserAddress());
    EXPECT_TRUE(services->ForegroundNotice.empty());
    EXPECT_EQ(services->WindowPlacement, nullptr);
    const auto offscreen = PlatformServicesPick("offscreen");
    EXPECT_EQ(offscreen->WindowSystem, nullptr);
    EXPECT_TRUE(offscreen->Processes && offscreen->SessionPower && offscreen->InstalledApplications);
}
