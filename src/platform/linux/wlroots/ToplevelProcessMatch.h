#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// A running process as the window-to-process match weighs it.
struct TToplevelProcess
{
    int64_t ProcessId = 0;
    std::string ExePath; // the program file it runs, as /proc/PID/exe names it
    std::string Comm; // its command name (/proc/PID/comm: the file name, cut at 15 characters)
    uint64_t StartTicks = 0; // when it started, in clock ticks since boot
    // Started inside this program's own session: its environment names the same runtime folder and
    // the same Wayland (or X) display.
    bool ThisSession = false;
};

// The frame the accessibility bus calls active: the window of a program that exposes
// accessibility which has the keyboard focus.
struct TActiveFrame
{
    int64_t ProcessId = 0;
    std::string Title;
};

// What the match reads from the system; replaced by fakes in tests.
class TToplevelProcessSource
{
public:
    virtual ~TToplevelProcessSource() = default;
    // The active frame; none when no program exposing accessibility has the focus, or the
    // accessibility bus cannot be reached.
    virtual std::optional<TActiveFrame> ActiveFrameGet() = 0;
    // The running processes of this program's own user.
    virtual std::vector<TToplevelProcess> UserProcessesGet() = 0;
    // The program that the desktop entry "<appId>.desktop" starts (its Exec line's program,
    // resolved as a running process names it); empty when there is no such entry.
    virtual std::string DesktopEntryProgramGet(const std::string& appId) = 0;
};

// Finds the process that shows a window known only by its title and its Wayland app_id, for
// compositors whose window list names no process. In this order:
// 1. The accessibility bus's active frame, when the window is the one in front and the frame's
//    title is the window's: the bus knows the frame's process for certain, and agreeing titles
//    say that the frame is this window and not one of another program that kept its frame active.
// 2. The app_id, which by convention is the program's name or its desktop entry's: a process of
//    this user whose program file's name, or command name, is the app_id (letter case aside,
//    since XWayland windows give their X11 class, "XTerm" for xterm), or that runs the program of
//    the desktop entry named after it. When several fit, one started inside this session before
//    others (the user may be logged in twice, or run a nested compositor, whose windows this
//    compositor never shows), and of those the one started last: they almost always run one
//    program (the path charged is the same whichever is taken), and a window just opened belongs
//    more often to the copy just started than to one left running for hours.
// 3. Otherwise none (0): the window's time is not counted, and the log says so once per app_id.
class TToplevelProcessMatch
{
public:
    explicit TToplevelProcessMatch(TToplevelProcessSource& source);

    // `inFront` says the window is the one the compositor calls active.
    int64_t ProcessFind(const std::string& appId, const std::string& title, bool inFront);

private:
    TToplevelProcessSource& m_source;
    std::mutex m_mutex;
    std::set<std::string> m_unmatchedLogged;
};

// The system's own: /proc, the XDG data folders' desktop entries and the accessibility bus.
class TLinuxToplevelProcessSource final : public TToplevelProcessSource
{
public:
    // `procRoot` is "/proc" but for tests. The session is the one this process's environment
    // names (XDG_RUNTIME_DIR, WAYLAND_DISPLAY, DISPLAY).
    explicit TLinuxToplevelProcessSource(std::string procRoot = "/proc");

    std::optional<TActiveFrame> ActiveFrameGet() override;
    std::vector<TToplevelProcess> UserProcessesGet() override;
    std::string DesktopEntryProgramGet(const std::string& appId) override;

private:
    std::string m_procRoot;
    std::string m_runtimeFolder;
    std::string m_waylandDisplay;
    std::string m_xDisplay;
    int m_accessibility = -1; // -1 not tried, 0 unreachable, 1 connected
};
