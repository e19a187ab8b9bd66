#pragma once

#include "platform/WindowSystem.h"

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class TGnomeWindowSystem;
class TKWinWindowSystem;
class TSwayWindowSystem;
typedef struct _GDBusConnection GDBusConnection;

// Serves one small HTML page on 127.0.0.1 (a free port) from a thread of this process, so a
// browser has something to show without any traffic leaving the machine.
class TLoopbackPageServer
{
public:
    static constexpr const char* PageTitle = "Tallyhour loop page";

    TLoopbackPageServer();
    ~TLoopbackPageServer();
    TLoopbackPageServer(const TLoopbackPageServer&) = delete;
    TLoopbackPageServer& operator=(const TLoopbackPageServer&) = delete;

    // False when no socket could be opened.
    bool Start();
    void Stop();
    // "http://127.0.0.1:<port>/page.html"
    std::string PageUrl() const;

private:
    void Serve();

    int m_socket = -1;
    int m_stopPipe[2] = { -1, -1 };
    int m_port = 0;
    std::thread m_thread;
};

// A private desktop for the tests and benchmarks that need a real one: either X11 (Xvfb on a
// display of its own, openbox, optionally a D-Bus session bus with the accessibility bus, left
// switched off as an ordinary desktop has it) or Wayland (a headless sway), and the programs a test starts on it. HOME
// and the XDG folders of this process and of everything started point at a fresh temporary folder. Every program is
// started in a process group of its own and recorded; Stop (or the destructor) ends exactly those groups and any of
// their descendants that were left behind, and removes the folder.
class TTestDesktop
{
public:
    TTestDesktop();
    ~TTestDesktop();
    TTestDesktop(const TTestDesktop&) = delete;
    TTestDesktop& operator=(const TTestDesktop&) = delete;

    // The full path of `program` found on PATH, or empty.
    static std::string ProgramFind(const std::string& program);

    // Starts the desktop; with `accessibility` also the session bus and the accessibility bus.
    // False, with ErrorText(), when something could not be started.
    bool Start(bool accessibility);
    // Starts a headless sway instead (software rendering, no input devices) and sets the
    // Wayland session's variables (WAYLAND_DISPLAY, SWAYSOCK, XDG_SESSION_TYPE) for this process
    // and every program started. sway refuses to run as root: then sway and every program are
    // run as an unprivileged user (TestUserName), created once when missing. With `xwayland`
    // X11 programs run too (DISPLAY names XWayland's display).
    bool SwayStart(bool xwayland = false);
    // Starts a headless KWin instead (a virtual output, no lock screen, no global shortcuts) on a
    // session bus of its own, as KDE Plasma's Wayland session runs it, and sets that session's
    // variables (WAYLAND_DISPLAY, XDG_SESSION_TYPE, XDG_CURRENT_DESKTOP=KDE). Its windows are
    // seen through a script of the program's own in KWin. With `xwayland` KWin runs XWayland as
    // Plasma's session does, and DISPLAY names its display.
    bool KWinStart(bool xwayland = false);
    // Ends KWin alone (its clients go with it) and starts it again on the same socket and bus
    // `downSeconds` later, as after a crash of the compositor.
    bool KWinRestart(double downSeconds = 0);
    // Starts a headless GNOME Shell instead (a virtual monitor, no X11) on a session bus of its
    // own, with a private system bus whose logind is python3-dbusmock's stand-in, and sets GNOME's
    // Wayland session's variables (WAYLAND_DISPLAY, XDG_SESSION_TYPE, XDG_CURRENT_DESKTOP=GNOME).
    // With `extensionFolder` that extension is installed (copied) where the Shell finds the ones a
    // package installs, a data folder of XDG_DATA_DIRS, and left as a package leaves it: not
    // enabled. As at a login, the Shell starts in its overview; a key press (Escape) on its
    // keyboard leaves it, so that new windows take the focus.
    bool GnomeStart(const std::string& extensionFolder);
    // Ends GNOME Shell alone (its clients go with it) and starts it again on the same buses
    // `downSeconds` later.
    bool GnomeRestart(double downSeconds = 0);
    // Presses and releases the key `keysym` on the Shell's keyboard (a remote desktop session of
    // its own, as a remote desktop client has).
    bool GnomeKeyPress(unsigned keysym);
    // How long the last GnomeStart took until the Shell answered on the bus, in seconds.
    double GnomeStartSeconds() const
    {
        return m_gnomeStartSeconds;
    }
    // A window of the small Qt program `program` titled `title`, run as a native Wayland client.
    pid_t WaylandWindowStart(const std::string& program, const std::string& title);
    // The unprivileged account the Wayland desktop runs programs as when the tests run as root.
    static constexpr const char* TestUserName = "tallyhour-test";
    // Gives what this process made in the desktop's folder (a prepared data folder, say) to the
    // account the desktop's programs run as; nothing to do when they run as this process's own.
    bool FolderHandOver();
    // Makes this whole process run as that account from now on, for a benchmark that talks to the
    // session bus itself (the bus admits its owner only). Not undone by Stop.
    bool AccountTake();
    void Stop();
    const std::string& ErrorText() const
    {
        return m_errorText;
    }
    const std::string& DisplayName() const
    {
        return m_displayName;
    }
    const std::string& Folder() const
    {
        return m_folder;
    }

    // Starts `arguments` (the first is found on PATH) in a process group of its own, its output
    // going to a log file in the folder; returns its process id (the group's id), or -1.
    pid_t ProgramStart(const std::vector<std::string>& arguments, const std::string& logName);
    // Ends one started program's group (and waits for it).
    void ProgramStop(pid_t group);
    // Runs `arguments` as ProgramStart does and waits for its end; gives its exit status (-1 when
    // it had to be ended after `seconds`) and what it wrote.
    int ProgramRun(
        const std::vector<std::string>& arguments, const std::string& logName, double seconds, std::string& output);

    // A session bus of the desktop's own, with nothing switched on: what a plain desktop gives
    // the programs of its session (a tray's icons, for instance, may talk over it).
    bool SessionBusStart();
    // The system tray of a plain panel (trayer at the top right, 200 x 24 pixels); returns its
    // process group once its window is up, or -1.
    pid_t TrayStart();
    // The desktop's accessibility switch (org.a11y.Status IsEnabled) as the launcher reports it;
    // none when it cannot be read. Only read: the desktop never sets it. Where the desktop runs
    // as its own account, asked as that account (a session bus admits its owner only).
    std::optional<bool> AccessibilitySwitchGet();

    pid_t XtermStart(const std::string& title);
    // A Wayland-native terminal (foot) titled `title`.
    pid_t FootStart(const std::string& title);
    pid_t ChromiumStart(const std::string& url);
    pid_t FirefoxStart(const std::string& url);

    // Polls until a top-level window of a process of `group` appears whose title contains
    // `titlePart`; returns it, or 0 after `seconds`.
    TWindowHandle WindowWait(pid_t group, double seconds, const std::string& titlePart = "");
    // Asks the window manager (or the compositor) to put `window` in front and waits until it is.
    bool WindowActivate(TWindowHandle window, double seconds = 10);
    // Polls until `window` is no longer a top-level window.
    bool WindowGoneWait(TWindowHandle window, double seconds);
    // The desktop's own view of the windows, for waiting.
    TWindowSystem& Windows();
    // The KWin of KWinStart as the desktop sees it, or none.
    TKWinWindowSystem* KWin()
    {
        return m_kwin;
    }
    // The GNOME Shell of GnomeStart as the desktop sees it (through the extension, which is
    // enabled when the desktop first looks), or none.
    TGnomeWindowSystem* Gnome()
    {
        return m_gnome;
    }
    // The sway of SwayStart, or none.
    TSwayWindowSystem* Sway()
    {
        return m_sway;
    }

private:
    bool Fail(const std::string& text);
    // Stops what runs, makes the fresh folder and the reaper.
    bool FolderPrepare();
    // As ProgramStart, handing `passedFd` to the program as its descriptor 3.
    pid_t ProgramStartWithFd(const std::vector<std::string>& arguments, const std::string& logName, int passedFd);
    void ReaperStart();
    void ReaperTell(pid_t group);
    void ReaperStop();
    bool XvfbStart();
    bool AccessibilityBusStart();
    bool WindowManagerStart();
    void EnvironmentSet();
    bool TestUserTake();
    bool ActivationRequest(TWindowHandle window);
    bool KWinLaunch();
    bool m_kwinXwayland = false;
    bool GnomeLaunch();
    bool GnomeOverviewLeave();

    std::string m_folder;
    std::string m_displayName;
    std::string m_busAddress;
    std::string m_errorText;
    std::vector<pid_t> m_groups;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_savedEnvironment;
    std::unique_ptr<TWindowSystem> m_windows;
    TSwayWindowSystem* m_sway = nullptr;
    TKWinWindowSystem* m_kwin = nullptr;
    pid_t m_kwinGroup = -1;
    TGnomeWindowSystem* m_gnome = nullptr;
    pid_t m_gnomeGroup = -1;
    std::string m_systemBusAddress;
    GDBusConnection* m_gnomeBus = nullptr; // holds the remote desktop session
    std::string m_gnomeKeyboard; // its object path
    double m_gnomeStartSeconds = 0;
    // The account programs run as; -1: this process's own.
    uid_t m_userId = static_cast<uid_t>(-1);
    gid_t m_groupId = static_cast<gid_t>(-1);
    bool m_started = false;
    pid_t m_reaper = -1;
    int m_reaperPipe = -1;
};
