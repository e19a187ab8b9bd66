#pragma once

#include "platform/Accessibility.h"
#include "platform/Processes.h"
#include "platform/WindowSystem.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A process table a test fills by hand. Failures are scripted per process, so a test can give
// a window whose owner cannot be read (another user's program, one that has just ended).
class TFakeProcesses : public TProcesses
{
public:
    // Adds or replaces a process. Only processes of the current user count as running programs.
    void ProcessAdd(int64_t processId, const std::string& exeName, bool ownedByUser = true);
    void ProcessRemove(int64_t processId);
    // From now on ProcessExeNameGet fails for this process with `errorText` as the system's text.
    void ProcessFailSet(int64_t processId, const std::string& errorText);
    // From now on RunningProgramPathsGet raises EOSError with `message` (empty: works again).
    void RunningProgramsFailSet(const std::string& message);
    int ExeNameReads() const
    {
        return m_exeNameReads;
    }

    bool ProcessExeNameGet(int64_t processId, std::string& path, std::string& errorText) override;
    std::vector<std::string> RunningProgramPathsGet() override;

private:
    struct TProcess
    {
        std::string ExeName;
        bool OwnedByUser = true;
        std::string FailText;
    };
    std::map<int64_t, TProcess> m_processes;
    std::string m_runningFailText;
    int m_exeNameReads = 0;
};

// What a test describes of one top-level window.
struct TFakeWindow
{
    int64_t ProcessId = 0; // 0: a fresh id is given
    std::string ExeName; // registered with the processes service unless empty
    std::string ClassName; // the class part of WM_CLASS, for instance "firefox-esr"
    std::string Title;
    std::string Address; // what the accessibility service reads from it (browsers)
    bool Visible = true;
};

// A desktop held in memory: top-level windows in creation order, one of them (or none) in
// front, an accessibility service that reads each window's Address, and a processes service.
// Queries about a window that is gone answer with the "not available" values of the interfaces.
class TFakeDesktop : public TWindowSystem, public TAccessibility
{
public:
    TFakeDesktop() = default;
    TFakeDesktop(const TFakeDesktop&) = delete;
    TFakeDesktop& operator=(const TFakeDesktop&) = delete;

    TFakeProcesses& Processes()
    {
        return m_processes;
    }

    // Creates the window; a visible one comes to the front, as a newly mapped window does.
    TWindowHandle WindowShow(const TFakeWindow& description);
    // Puts an existing window in front (showing it if it was hidden).
    void WindowActivate(TWindowHandle window);
    // Unmaps the window: it stays a top-level window but loses the front.
    void WindowHide(TWindowHandle window);
    // Destroys the window. With `keepStaleFront` the front keeps naming it, as some window
    // managers leave their active-window property pointing at a destroyed window.
    void WindowRemove(TWindowHandle window, bool keepStaleFront = false);
    void WindowAddressSet(TWindowHandle window, const std::string& address);
    void WindowTitleSet(TWindowHandle window, const std::string& title);
    bool WindowExists(TWindowHandle window) const;
    // Every close request sent so far, in order, also those to windows that were gone.
    const std::vector<TWindowHandle>& CloseRequestsGet() const
    {
        return m_closeRequests;
    }
    void CloseRequestsClear()
    {
        m_closeRequests.clear();
    }
    // A closed request removes the window at once (the program honours it).
    void CloseHonourSet(bool honour)
    {
        m_closeHonoured = honour;
    }
    void AccessibilityAvailableSet(bool available)
    {
        m_accessibilityAvailable = available;
    }
    // From now on reading an address raises EOSError with `message` (empty: works again). The
    // interface promises never to raise; this checks that callers survive a backend that does.
    void AccessibilityFailSet(const std::string& message)
    {
        m_accessibilityFailText = message;
    }
    // False: reading an address gets no answer in time, as from a hung browser.
    void AccessibilityAnswerSet(bool answers)
    {
        m_accessibilityAnswers = answers;
    }
    int AddressReads() const
    {
        return m_addressReads;
    }
    // The note UserNoticeTake hands out next (once).
    void UserNoticeSet(const std::string& notice)
    {
        m_userNotice = notice;
    }

    // TWindowSystem
    TWindowHandle ForegroundWindowGet() override;
    std::vector<TWindowHandle> TopLevelWindowsGet() override;
    int64_t WindowProcessIdGet(TWindowHandle window) override;
    std::string WindowClassNameGet(TWindowHandle window) override;
    std::string WindowTextGet(TWindowHandle window) override;
    bool WindowCloseRequest(TWindowHandle window) override;

    // TAccessibility
    bool CanReadBrowserAddress() const override
    {
        return m_accessibilityAvailable;
    }
    std::string BrowserAddressGet(TWindowHandle window, int64_t processId, TBrowserFamily family) override;
    bool LastReadAnswered() const override
    {
        return m_accessibilityAnswers;
    }
    std::string UserNoticeTake() override
    {
        return std::exchange(m_userNotice, std::string());
    }

private:
    const TFakeWindow* Find(TWindowHandle window) const;

    TFakeProcesses m_processes;
    std::vector<std::pair<TWindowHandle, TFakeWindow>> m_windows;
    TWindowHandle m_front = 0;
    TWindowHandle m_nextHandle = 0x1000001;
    int64_t m_nextProcessId = 1001;
    std::vector<TWindowHandle> m_closeRequests;
    bool m_closeHonoured = false;
    bool m_accessibilityAvailable = true;
    bool m_accessibilityAnswers = true;
    std::string m_accessibilityFailText;
    int m_addressReads = 0;
    std::string m_userNotice;
};
