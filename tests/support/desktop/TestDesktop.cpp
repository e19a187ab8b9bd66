#include "support/desktop/TestDesktop.h"

#include "platform/linux/DisplayServers.h"
#include "platform/linux/gnome/GnomeWindowSystem.h"
#include "platform/linux/kwin/KWinWindowSystem.h"
#include "platform/linux/sway/SwayWindowSystem.h"
#include "platform/linux/x11/X11WindowSystem.h"

#include <gio/gio.h>
#include <xcb/xcb_ewmh.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

using TClock = std::chrono::steady_clock;

TClock::time_point Deadline(double seconds)
{
    return TClock::now() + std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

void Pause(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool GroupAlive(pid_t group)
{
    return kill(-group, 0) == 0 || errno == EPERM;
}

// Reaps whatever of ours has ended, so that ended programs do not linger as zombies (which
// still count as members of their group).
void ChildrenReap()
{
    while (waitpid(-1, nullptr, WNOHANG) > 0) { }
}

// The children of this process (its own and the orphans it adopted as a subreaper).
std::vector<pid_t> ChildrenGet()
{
    std::vector<pid_t> children;
    const pid_t self = getpid();
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == self)
            children.push_back(std::stoi(name));
    }
    return children;
}

// Whether an unprivileged process may make a user namespace here.
bool UserNamespacesAllowed()
{
    for (const char* setting : { "/proc/sys/kernel/unprivileged_userns_clone", "/proc/sys/user/max_user_namespaces" }) {
        std::ifstream file(setting);
        long value = 1;
        if (file >> value && value == 0)
            return false;
    }
    return true;
}

std::string PageHtml()
{
    return std::string("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>") + TLoopbackPageServer::PageTitle
        + "</title></head><body><h1>Loop page</h1><p>Served on the loopback "
        + "address for the desktop tests.</p></body></html>";
}

bool NameOwned(GDBusConnection* bus, const char* name)
{
    GError* error = nullptr;
    GVariant* owned = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
    g_clear_error(&error);
    gboolean hasOwner = FALSE;
    if (owned) {
        g_variant_get(owned, "(b)", &hasOwner);
        g_variant_unref(owned);
    }
    return hasOwner != FALSE;
}

} // namespace

// ---------------------------------------------------------------------------------------------

TLoopbackPageServer::TLoopbackPageServer() = default;

TLoopbackPageServer::~TLoopbackPageServer()
{
    Stop();
}

bool TLoopbackPageServer::Start()
{
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0)
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(m_socket, 16) != 0
        || getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0
        || pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        Stop();
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
    return true;
}

void TLoopbackPageServer::Stop()
{
    if (m_thread.joinable()) {
        const char byte = 0;
        [[maybe_unused]] ssize_t written = write(m_stopPipe[1], &byte, 1);
        m_thread.join();
    }
    for (int* fd : { &m_socket, &m_stopPipe[0], &m_stopPipe[1] }) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

std::string TLoopbackPageServer::PageUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/page.html";
}

void TLoopbackPageServer::Serve()
{
    for (;;) {
        pollfd fds[2] = { { m_socket, POLLIN, 0 }, { m_stopPipe[0], POLLIN, 0 } };
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        const int client = accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        // Read the request head (bounded, with a time-out), answer, close.
        std::string request;
        char buffer[2048];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
            pollfd one { client, POLLIN, 0 };
            if (poll(&one, 1, 2000) <= 0)
                break;
            const ssize_t got = read(client, buffer, sizeof(buffer));
            if (got <= 0)
                break;
            request.append(buffer, static_cast<size_t>(got));
        }
        // A browser opens connections ahead of its requests; one that sent nothing yet must not
        // be answered, or the browser takes that answer for the request it sends next.
        if (request.find("\r\n\r\n") == std::string::npos) {
            close(client);
            continue;
        }
        const bool page = request.starts_with("GET / ") || request.starts_with("GET /page.html ");
        const std::string body = page ? PageHtml() : std::string("Not found");
        const std::string answer = std::string(page ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.0 404 Not Found\r\n")
            + "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\nConnection: close\r\n"
            + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        size_t sent = 0;
        while (sent < answer.size()) {
            const ssize_t put = send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
            if (put <= 0)
                break;
            sent += static_cast<size_t>(put);
        }
        close(client);
    }
}

// ---------------------------------------------------------------------------------------------

TTestDesktop::TTestDesktop() = default;

TTestDesktop::~TTestDesktop()
{
    Stop();
}

std::string TTestDesktop::ProgramFind(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return access(program.c_str(), X_OK) == 0 ? program : std::string();
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (end > start && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

bool TTestDesktop::Fail(const std::string& text)
{
    m_errorText = text;
    return false;
}

bool TTestDesktop::FolderPrepare()
{
    Stop();
    m_errorText.clear();
    // Programs that leave their group (crash handlers, daemons) are adopted by this process, so
    // that Stop finds and ends them too.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::string pattern = (fs::temp_directory_path() / "tallyhour-desktop-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return Fail("Cannot create a temporary folder: " + std::string(std::strerror(errno)));
    m_folder = pattern;
    m_started = true;
    for (const char* sub :
        { "home", "home/.config", "home/.cache", "home/.local/share", "home/.local/state", "run", "logs", "tmp" })
        fs::create_directories(fs::path(m_folder) / sub);
    chmod((m_folder + "/run").c_str(), 0700);
    ReaperStart();
    return true;
}

bool TTestDesktop::Start(bool accessibility)
{
    if (!FolderPrepare())
        return false;
    if (!XvfbStart())
        return false;
    EnvironmentSet();
    if (accessibility && (!SessionBusStart() || !AccessibilityBusStart()))
        return false;
    if (!WindowManagerStart())
        return false;
    return true;
}

bool TTestDesktop::TestUserTake()
{
    if (getuid() != 0)
        return true;
    passwd* user = getpwnam(TestUserName);
    if (!user) {
        // Another test may be creating it at the same moment; the second attempt then fails and
        // the look-up below finds the first one's account.
        const std::string command = std::string("/usr/sbin/useradd --system --no-create-home --shell ")
            + "/usr/sbin/nologin " + TestUserName + " >/dev/null 2>&1";
        [[maybe_unused]] const int status = std::system(command.c_str());
        user = getpwnam(TestUserName);
    }
    if (!user)
        return Fail(std::string("Cannot create the unprivileged account ") + TestUserName + " for sway");
    m_userId = user->pw_uid;
    m_groupId = user->pw_gid;
    // The account owns the desktop's folder: its home, its runtime folder, its sockets.
    return FolderHandOver();
}

bool TTestDesktop::FolderHandOver()
{
    if (m_userId == static_cast<uid_t>(-1) || m_folder.empty())
        return true;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(m_folder, error))
        [[maybe_unused]] const int changed = lchown(entry.path().c_str(), m_userId, m_groupId);
    if (chown(m_folder.c_str(), m_userId, m_groupId) != 0)
        return Fail("Cannot hand the desktop's folder to " + std::string(TestUserName) + ": " + std::strerror(errno));
    return true;
}

bool TTestDesktop::SwayStart(bool xwayland)
{
    if (!FolderPrepare() || !TestUserTake())
        return false;
    EnvironmentSet();
    unsetenv("DISPLAY");
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    setenv("XDG_CURRENT_DESKTOP", "sway", 1);
    const std::string socketPath = m_folder + "/run/sway-ipc.sock";
    setenv("SWAYSOCK", socketPath.c_str(), 1);
    setenv("WLR_BACKENDS", "headless", 1);
    setenv("WLR_RENDERER", "pixman", 1);
    setenv("WLR_LIBINPUT_NO_DEVICES", "1", 1);
    // What a Wayland session's user sets so that Firefox draws as a Wayland client.
    setenv("MOZ_ENABLE_WAYLAND", "1", 1);
    // sway runs its start-up commands once it serves clients; the one here tells the socket's name.
    const std::string readyFile = m_folder + "/run/sway-ready";
    const std::string config = m_folder + "/sway.config";
    {
        std::ofstream file(config);
        file << (xwayland ? "xwayland enable\n" : "xwayland disable\n")
             << "exec sh -c 'echo \"$WAYLAND_DISPLAY $DISPLAY\" > " << readyFile << ".part && mv " << readyFile
             << ".part " << readyFile << "'\n";
    }
    chmod(config.c_str(), 0644);
    if (ProgramStart({ "sway", "--config", config }, "sway") < 0)
        return false;
    const auto deadline = Deadline(20);
    std::string waylandDisplay;
    std::string xDisplay;
    while (waylandDisplay.empty() || !fs::exists(socketPath)) {
        if (TClock::now() > deadline)
            return Fail("sway did not start (see " + m_folder + "/logs/sway.log)");
        Pause(20);
        std::ifstream ready(readyFile);
        ready >> waylandDisplay >> xDisplay;
    }
    setenv("WAYLAND_DISPLAY", waylandDisplay.c_str(), 1);
    // XWayland starts when its first client connects.
    if (!xDisplay.empty())
        setenv("DISPLAY", xDisplay.c_str(), 1);
    m_displayName = waylandDisplay;
    try {
        auto sway = std::make_unique<TSwayWindowSystem>(socketPath);
        m_sway = sway.get();
        m_windows = std::move(sway);
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
    return true;
}

bool TTestDesktop::KWinStart(bool xwayland)
{
    m_kwinXwayland = xwayland;
    if (!FolderPrepare())
        return false;
    EnvironmentSet();
    unsetenv("DISPLAY");
    // What KDE's login sets for a Plasma Wayland session; Qt's platform is left to Qt, as there.
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    unsetenv("QT_QPA_PLATFORM");
    if (!SessionBusStart())
        return false;
    // Debian's kwin_wayland carries a file capability (to raise its own limits) that a container
    // may refuse to grant, and then the kernel refuses to run it at all. A copy carries none;
    // its name must still end in kwin_wayland, by which KWin knows it is the Wayland one.
    const std::string installed = ProgramFind("kwin_wayland");
    if (installed.empty())
        return Fail("kwin_wayland is not installed");
    fs::create_directories(m_folder + "/bin");
    std::error_code error;
    fs::copy_file(installed, m_folder + "/bin/kwin_wayland", fs::copy_options::overwrite_existing, error);
    if (error)
        return Fail("Cannot copy " + installed + ": " + error.message());
    chmod((m_folder + "/bin/kwin_wayland").c_str(), 0755);
    if (!KWinLaunch())
        return false;
    try {
        auto kwin = std::make_unique<TKWinWindowSystem>(m_busAddress);
        m_kwin = kwin.get();
        m_windows = std::move(kwin);
    } catch (const std::exception& failure) {
        return Fail(failure.what());
    }
    return true;
}

bool TTestDesktop::KWinLaunch()
{
    const std::string socketName = "kwin-test";
    std::vector<std::string> arguments { m_folder + "/bin/kwin_wayland", "--virtual", "--no-lockscreen",
        "--no-global-shortcuts", "--socket", socketName, "--width", "1280", "--height", "800" };
    // KWin tells the programs it starts which display its XWayland serves, and nobody else.
    const std::string displayFile = m_folder + "/kwin-display";
    fs::remove(displayFile);
    if (m_kwinXwayland) {
        arguments.insert(arguments.begin() + 4, "--xwayland");
        // KWin takes its programs' names only, without arguments of their own.
        const std::string script = m_folder + "/bin/display-tell";
        std::ofstream(script) << "#!/bin/sh\necho \"$DISPLAY\" > " << displayFile << ".new && mv " << displayFile
                              << ".new " << displayFile << "\n";
        chmod(script.c_str(), 0755);
        arguments.push_back(script);
    }
    m_kwinGroup = ProgramStart(arguments, "kwin");
    if (m_kwinGroup < 0)
        return false;
    // Ready once it serves Wayland clients and has its name on the bus (its scripting with it).
    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(m_busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_clear_error(&error);
    if (!bus)
        return Fail("Cannot connect to the desktop's session bus");
    bool ready = false;
    const auto deadline = Deadline(30);
    while (!ready && TClock::now() < deadline && GroupAlive(m_kwinGroup)) {
        const bool hasOwner = NameOwned(bus, "org.kde.KWin");
        // KWin takes its name a moment before its scripting service is there.
        GVariant* scripting = hasOwner
            ? g_dbus_connection_call_sync(bus, "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded",
                g_variant_new("(s)", "none"), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error)
            : nullptr;
        g_clear_error(&error);
        if (scripting)
            g_variant_unref(scripting);
        ready = scripting && UnixSocketAnswers(m_folder + "/run/" + socketName)
            && (!m_kwinXwayland || fs::exists(displayFile));
        if (!ready)
            Pause(50);
    }
    g_object_unref(bus);
    if (!ready)
        return Fail("KWin did not start (see " + m_folder + "/logs/kwin.log)");
    setenv("WAYLAND_DISPLAY", socketName.c_str(), 1);
    m_displayName = socketName;
    if (m_kwinXwayland) {
        std::string display;
        std::ifstream(displayFile) >> display;
        if (display.empty())
            return Fail("KWin named no XWayland display");
        setenv("DISPLAY", display.c_str(), 1);
    }
    return true;
}

bool TTestDesktop::KWinRestart(double downSeconds)
{
    if (m_kwinGroup < 0)
        return Fail("KWin was not started");
    ProgramStop(m_kwinGroup);
    m_kwinGroup = -1;
    Pause(static_cast<int>(downSeconds * 1000));
    return KWinLaunch();
}

namespace {

GDBusConnection* BusOpen(const std::string& address)
{
    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(address.c_str(),
        static_cast<GDBusConnectionFlags>(
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_clear_error(&error);
    if (bus)
        g_dbus_connection_set_exit_on_close(bus, FALSE);
    return bus;
}

} // namespace

bool TTestDesktop::GnomeStart(const std::string& extensionFolder)
{
    if (!FolderPrepare())
        return false;
    EnvironmentSet();
    unsetenv("DISPLAY");
    // What GDM sets for GNOME's Wayland session; Qt's platform is left to Qt, as there.
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    unsetenv("QT_QPA_PLATFORM");
    // The data folders as a system's, with one more where the package's files would be.
    const std::string share = m_folder + "/share";
    fs::create_directories(share + "/gnome-shell/extensions");
    setenv("XDG_DATA_DIRS", (share + ":/usr/local/share:/usr/share").c_str(), 1);
    if (!extensionFolder.empty()) {
        std::error_code error;
        fs::copy(extensionFolder, share + "/gnome-shell/extensions/" + fs::path(extensionFolder).filename().string(),
            fs::copy_options::recursive, error);
        if (error)
            return Fail("Cannot install the extension " + extensionFolder + ": " + error.message());
    }
    if (!SessionBusStart())
        return false;
    // GNOME Shell asks logind for its session and seat; the system's own must not be reached.
    const std::string systemSocket = m_folder + "/run/system_bus";
    m_systemBusAddress = "unix:path=" + systemSocket;
    if (ProgramStart(
            { "dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + m_systemBusAddress }, "dbus-system")
        < 0)
        return false;
    auto deadline = Deadline(10);
    while (!UnixSocketAnswers(systemSocket)) {
        if (TClock::now() > deadline)
            return Fail("The private system bus did not start");
        Pause(20);
    }
    if (ProgramStart({ "env", "DBUS_SYSTEM_BUS_ADDRESS=" + m_systemBusAddress, "/usr/bin/python3", "-m", "dbusmock",
                         "--system", "--template", "logind" },
            "logind")
        < 0)
        return false;
    GDBusConnection* systemBus = BusOpen(m_systemBusAddress);
    if (!systemBus)
        return Fail("Cannot connect to the private system bus");
    deadline = Deadline(15);
    bool logind = false;
    while (!(logind = NameOwned(systemBus, "org.freedesktop.login1")) && TClock::now() < deadline)
        Pause(50);
    g_object_unref(systemBus);
    if (!logind)
        return Fail("The stand-in for logind did not start (see " + m_folder + "/logs/logind.log)");
    m_gnomeBus = BusOpen(m_busAddress);
    if (!m_gnomeBus)
        return Fail("Cannot connect to the desktop's session bus");
    return GnomeLaunch();
}

bool TTestDesktop::GnomeLaunch()
{
    const auto started = TClock::now();
    m_gnomeGroup = ProgramStart({ "env", "DBUS_SYSTEM_BUS_ADDRESS=" + m_systemBusAddress, "gnome-shell", "--headless",
                                    "--wayland", "--no-x11", "--virtual-monitor", "1280x800" },
        "gnome-shell");
    if (m_gnomeGroup < 0)
        return false;
    // Ready once it answers about its extensions (it has loaded them then) and serves Wayland
    // clients on its socket in the runtime folder.
    bool ready = false;
    std::string socketName;
    const auto deadline = Deadline(60);
    while (!ready && TClock::now() < deadline && GroupAlive(m_gnomeGroup)) {
        GError* error = nullptr;
        GVariant* version = NameOwned(m_gnomeBus, "org.gnome.Shell") ? g_dbus_connection_call_sync(m_gnomeBus,
                                "org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Get",
                                g_variant_new("(ss)", "org.gnome.Shell.Extensions", "ShellVersion"),
                                G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error)
                                                                     : nullptr;
        g_clear_error(&error);
        if (version) {
            g_variant_unref(version);
            std::error_code ignored;
            for (const auto& entry : fs::directory_iterator(m_folder + "/run", ignored)) {
                const std::string name = entry.path().filename().string();
                if (name.starts_with("wayland-") && !name.ends_with(".lock")
                    && UnixSocketAnswers(entry.path().string()))
                    socketName = name;
            }
            ready = !socketName.empty();
        }
        if (!ready)
            Pause(50);
    }
    if (!ready)
        return Fail("GNOME Shell did not start (see " + m_folder + "/logs/gnome-shell.log)");
    m_gnomeStartSeconds = std::chrono::duration<double>(TClock::now() - started).count();
    setenv("WAYLAND_DISPLAY", socketName.c_str(), 1);
    m_displayName = socketName;
    return GnomeOverviewLeave();
}

bool TTestDesktop::GnomeOverviewLeave()
{
    // The keyboard is a remote desktop session's, which lives as long as the connection that made it.
    GError* error = nullptr;
    GVariant* session = g_dbus_connection_call_sync(m_gnomeBus, "org.gnome.Mutter.RemoteDesktop",
        "/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop", "CreateSession", nullptr,
        G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (!session) {
        const std::string reason = error ? error->message : "unknown error";
        g_clear_error(&error);
        return Fail("GNOME Shell gave no remote desktop session for a keyboard: " + reason);
    }
    const char* path = nullptr;
    g_variant_get(session, "(&o)", &path);
    m_gnomeKeyboard = path;
    g_variant_unref(session);
    GVariant* started = g_dbus_connection_call_sync(m_gnomeBus, "org.gnome.Mutter.RemoteDesktop",
        m_gnomeKeyboard.c_str(), "org.gnome.Mutter.RemoteDesktop.Session", "Start", nullptr, nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    g_clear_error(&error);
    if (!started)
        return Fail("GNOME Shell did not start the remote desktop session");
    g_variant_unref(started);
    // The overview opens with the Shell's start-up animation, a moment after the Shell answers;
    // Escape closes it once it is open.
    auto overviewShown = [this]() -> std::optional<bool> {
        GError* failure = nullptr;
        GVariant* active = g_dbus_connection_call_sync(m_gnomeBus, "org.gnome.Shell", "/org/gnome/Shell",
            "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", "org.gnome.Shell", "OverviewActive"),
            G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &failure);
        g_clear_error(&failure);
        if (!active)
            return std::nullopt;
        GVariant* value = nullptr;
        g_variant_get(active, "(v)", &value);
        const bool shown = g_variant_get_boolean(value) != FALSE;
        g_variant_unref(value);
        g_variant_unref(active);
        return shown;
    };
    auto deadline = Deadline(15);
    while (overviewShown() != true && TClock::now() < deadline)
        Pause(50);
    deadline = Deadline(15);
    while (TClock::now() < deadline) {
        if (overviewShown() == false)
            return true;
        GnomeKeyPress(0xff1b);
        Pause(300);
    }
    return Fail("GNOME Shell's overview did not close on Escape");
}

bool TTestDesktop::GnomeKeyPress(unsigned keysym)
{
    if (!m_gnomeBus || m_gnomeKeyboard.empty())
        return false;
    for (const gboolean pressed : std::initializer_list<gboolean> { TRUE, FALSE }) {
        GError* error = nullptr;
        GVariant* done = g_dbus_connection_call_sync(m_gnomeBus, "org.gnome.Mutter.RemoteDesktop",
            m_gnomeKeyboard.c_str(), "org.gnome.Mutter.RemoteDesktop.Session", "NotifyKeyboardKeysym",
            g_variant_new("(ub)", keysym, pressed), nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
        g_clear_error(&error);
        if (!done)
            return false;
        g_variant_unref(done);
    }
    return true;
}

bool TTestDesktop::GnomeRestart(double downSeconds)
{
    if (m_gnomeGroup < 0)
        return Fail("GNOME Shell was not started");
    ProgramStop(m_gnomeGroup);
    m_gnomeGroup = -1;
    m_gnomeKeyboard.clear();
    Pause(static_cast<int>(downSeconds * 1000));
    return GnomeLaunch();
}

pid_t TTestDesktop::WaylandWindowStart(const std::string& program, const std::string& title)
{
    // env replaces itself with the program, so the group's leader is the window's own process.
    return ProgramStart({ "env", "QT_QPA_PLATFORM=wayland", program, title }, "window-" + title);
}

namespace {
const char* const DesktopVariables[]
    = { "HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "TMPDIR",
          "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER", "NO_AT_BRIDGE",
          "MOZ_CRASHREPORTER_DISABLE", "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "SWAYSOCK", "I3SOCK", "WLR_BACKENDS",
          "WLR_RENDERER", "WLR_LIBINPUT_NO_DEVICES", "MOZ_ENABLE_WAYLAND", "QT_QPA_PLATFORM", "XDG_DATA_DIRS" };
} // namespace

void TTestDesktop::EnvironmentSet()
{
    m_savedEnvironment.clear();
    for (const char* name : DesktopVariables) {
        const char* value = std::getenv(name);
        m_savedEnvironment.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    const std::string home = m_folder + "/home";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    setenv("XDG_STATE_HOME", (home + "/.local/state").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (m_folder + "/run").c_str(), 1);
    setenv("TMPDIR", (m_folder + "/tmp").c_str(), 1);
    setenv("DISPLAY", m_displayName.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    // An X11 session, whatever session the tests were started from.
    setenv("XDG_SESSION_TYPE", "x11", 1);
    unsetenv("XDG_CURRENT_DESKTOP");
    unsetenv("SWAYSOCK");
    unsetenv("I3SOCK");
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("SESSION_MANAGER");
    unsetenv("NO_AT_BRIDGE");
    unsetenv("MOZ_ENABLE_WAYLAND");
    setenv("MOZ_CRASHREPORTER_DISABLE", "1", 1);
}

pid_t TTestDesktop::ProgramStart(const std::vector<std::string>& arguments, const std::string& logName)
{
    return ProgramStartWithFd(arguments, logName, -1);
}

pid_t TTestDesktop::ProgramStartWithFd(
    const std::vector<std::string>& arguments, const std::string& logName, int passedFd)
{
    if (arguments.empty())
        return -1;
    const std::string program = ProgramFind(arguments[0]);
    if (program.empty()) {
        m_errorText = arguments[0] + " is not installed";
        return -1;
    }
    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const std::string logFile = m_folder + "/logs/" + logName + ".log";
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    // The program may open its output anew by name (/dev/stderr): it must be its own.
    if (log >= 0 && m_userId != static_cast<uid_t>(-1)) [[maybe_unused]]
        const int changed = fchown(log, m_userId, m_groupId);
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const uid_t userId = m_userId;
    const gid_t groupId = m_groupId;
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        if (userId != static_cast<uid_t>(-1)
            && (setgroups(0, nullptr) != 0 || setgid(groupId) != 0 || setuid(userId) != 0))
            _exit(126);
        if (null >= 0)
            dup2(null, 0);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        if (passedFd >= 0)
            dup2(passedFd, 3);
        close_range(passedFd >= 0 ? 4 : 3, ~0U, 0);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (log >= 0)
        close(log);
    if (null >= 0)
        close(null);
    if (child < 0) {
        m_errorText = "Cannot start " + arguments[0] + ": " + std::strerror(errno);
        return -1;
    }
    setpgid(child, child); // also here, so the group exists before anyone signals it
    m_groups.push_back(child);
    ReaperTell(child);
    return child;
}

void TTestDesktop::ProgramStop(pid_t group)
{
    if (group <= 0)
        return;
    kill(-group, SIGTERM);
    const auto deadline = Deadline(5);
    while (TClock::now() < deadline) {
        ChildrenReap();
        if (!GroupAlive(group))
            break;
        Pause(50);
    }
    if (GroupAlive(group))
        kill(-group, SIGKILL);
    waitpid(group, nullptr, 0);
    ChildrenReap();
    std::erase(m_groups, group);
}

bool TTestDesktop::AccountTake()
{
    if (m_userId == static_cast<uid_t>(-1))
        return true;
    if (!FolderHandOver())
        return false;
    if (setgroups(0, nullptr) != 0 || setresgid(m_groupId, m_groupId, m_groupId) != 0
        || setresuid(m_userId, m_userId, m_userId) != 0)
        return Fail("Cannot run as " + std::string(TestUserName) + ": " + std::strerror(errno));
    // The programs started from now on are this process's own account already.
    m_userId = static_cast<uid_t>(-1);
    m_groupId = static_cast<gid_t>(-1);
    return true;
}

int TTestDesktop::ProgramRun(
    const std::vector<std::string>& arguments, const std::string& logName, double seconds, std::string& output)
{
    const std::string logFile = m_folder + "/logs/" + logName + ".log";
    std::error_code error;
    fs::remove(logFile, error);
    const pid_t program = ProgramStart(arguments, logName);
    if (program < 0)
        return -1;
    int status = -1;
    const auto deadline = Deadline(seconds);
    while (waitpid(program, &status, WNOHANG) != program) {
        if (TClock::now() > deadline) {
            ProgramStop(program);
            status = -1;
            break;
        }
        Pause(10);
    }
    if (status != -1) {
        // Whatever it left behind in its group goes with it.
        kill(-program, SIGKILL);
        std::erase(m_groups, program);
        status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::ifstream log(logFile);
    output.assign(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
    return status;
}

void TTestDesktop::Stop()
{
    if (!m_started)
        return;
    m_sway = nullptr;
    m_kwin = nullptr;
    m_kwinGroup = -1;
    m_gnome = nullptr;
    m_gnomeGroup = -1;
    m_windows.reset();
    if (m_gnomeBus) {
        g_dbus_connection_close_sync(m_gnomeBus, nullptr, nullptr);
        g_object_unref(m_gnomeBus);
        m_gnomeBus = nullptr;
    }
    m_gnomeKeyboard.clear();
    m_systemBusAddress.clear();
    // The programs first, the buses and the display last, so nothing complains about a server
    // that vanished under it.
    std::vector<pid_t> groups = m_groups;
    for (auto it = groups.rbegin(); it != groups.rend(); ++it)
        kill(-*it, SIGTERM);
    const auto deadline = Deadline(5);
    for (pid_t group : groups) {
        while (TClock::now() < deadline && GroupAlive(group)) {
            ChildrenReap();
            Pause(50);
        }
        if (GroupAlive(group))
            kill(-group, SIGKILL);
        waitpid(group, nullptr, 0);
    }
    m_groups.clear();
    ReaperTell(0);
    ReaperStop();
    // Descendants that left their group and were adopted here.
    for (pid_t orphan : ChildrenGet())
        kill(orphan, SIGKILL);
    for (pid_t orphan : ChildrenGet())
        waitpid(orphan, nullptr, 0);
    ChildrenReap();
    for (const auto& [name, value] : m_savedEnvironment) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    m_savedEnvironment.clear();
    std::error_code error;
    fs::remove_all(m_folder, error);
    m_folder.clear();
    m_displayName.clear();
    m_busAddress.clear();
    m_userId = static_cast<uid_t>(-1);
    m_groupId = static_cast<gid_t>(-1);
    m_started = false;
}

void TTestDesktop::ReaperStart()
{
    // A test that crashes never reaches Stop. A small process of ours is told every group
    // started and ends them all when this process goes away (its pipe closes) without having
    // said that it ended them itself (a 0).
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    const pid_t reaper = fork();
    if (reaper == 0) {
        close_range(3, static_cast<unsigned>(fds[0]) - 1, 0);
        close_range(static_cast<unsigned>(fds[0]) + 1, ~0U, 0);
        pid_t groups[512];
        int count = 0;
        pid_t group = 0;
        for (;;) {
            const ssize_t got = read(fds[0], &group, sizeof(group));
            if (got == sizeof(group) && group == 0)
                _exit(0);
            if (got == sizeof(group)) {
                if (count < 512)
                    groups[count++] = group;
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            for (int i = 0; i < count; ++i)
                kill(-groups[i], SIGKILL);
            _exit(0);
        }
    }
    close(fds[0]);
    if (reaper < 0) {
        close(fds[1]);
        return;
    }
    m_reaper = reaper;
    m_reaperPipe = fds[1];
}

void TTestDesktop::ReaperTell(pid_t group)
{
    if (m_reaperPipe >= 0) [[maybe_unused]]
        ssize_t written = write(m_reaperPipe, &group, sizeof(group));
}

void TTestDesktop::ReaperStop()
{
    if (m_reaperPipe >= 0)
        close(m_reaperPipe);
    m_reaperPipe = -1;
    if (m_reaper > 0)
        waitpid(m_reaper, nullptr, 0);
    m_reaper = -1;
}

bool TTestDesktop::XvfbStart()
{
    int displayPipe[2];
    if (pipe2(displayPipe, O_CLOEXEC) != 0)
        return Fail("Cannot make a pipe: " + std::string(std::strerror(errno)));
    // -displayfd lets the server pick a free display and tell its number.
    const pid_t server = ProgramStartWithFd(
        { "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1280x1024x24", "-noreset" }, "Xvfb",
        displayPipe[1]);
    close(displayPipe[1]);
    if (server < 0) {
        close(displayPipe[0]);
        return false;
    }
    std::string number;
    const auto deadline = Deadline(15);
    while (TClock::now() < deadline && number.find('\n') == std::string::npos) {
        pollfd one { displayPipe[0], POLLIN, 0 };
        if (poll(&one, 1, 200) > 0) {
            char buffer[32];
            const ssize_t got = read(displayPipe[0], buffer, sizeof(buffer));
            if (got <= 0)
                break;
            number.append(buffer, static_cast<size_t>(got));
        }
    }
    close(displayPipe[0]);
    if (number.find('\n') == std::string::npos)
        return Fail("Xvfb did not start (see " + m_folder + "/logs/Xvfb.log)");
    m_displayName = ":" + number.substr(0, number.find('\n'));
    try {
        m_windows = std::make_unique<TX11WindowSystem>(m_displayName);
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
    return true;
}

bool TTestDesktop::SessionBusStart()
{
    const std::string socketPath = m_folder + "/run/bus";
    m_busAddress = "unix:path=" + socketPath;
    if (ProgramStart(
            { "dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + m_busAddress }, "dbus-daemon")
        < 0)
        return false;
    const auto deadline = Deadline(10);
    // The socket's file appears a moment before the bus listens on it.
    while (!UnixSocketAnswers(socketPath)) {
        if (TClock::now() > deadline)
            return Fail("The session bus did not start");
        Pause(20);
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.c_str(), 1);
    return true;
}

bool TTestDesktop::AccessibilityBusStart()
{
    std::string launcher = "/usr/libexec/at-spi-bus-launcher";
    if (access(launcher.c_str(), X_OK) != 0)
        launcher = "/usr/lib/at-spi2-core/at-spi-bus-launcher";
    if (ProgramStart({ launcher }, "at-spi-bus-launcher") < 0)
        return false;

    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(m_busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (!bus) {
        const std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        return Fail("Cannot connect to the session bus: " + message);
    }
    // Wait until the launcher owns its name and hands out the accessibility bus's address
    // (asking earlier would have the session bus start a second launcher). Its switch
    // (org.a11y.Status IsEnabled) is left as an ordinary desktop has it: off.
    bool ready = false;
    const auto deadline = Deadline(15);
    while (!ready && TClock::now() < deadline) {
        const bool hasOwner = NameOwned(bus, "org.a11y.Bus");
        GVariant* address = hasOwner
            ? g_dbus_connection_call_sync(bus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
                G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error)
            : nullptr;
        g_clear_error(&error);
        ready = address != nullptr;
        if (address)
            g_variant_unref(address);
        if (!ready)
            Pause(50);
    }
    g_object_unref(bus);
    if (!ready)
        return Fail("The accessibility bus did not start (see " + m_folder + "/logs/at-spi-bus-launcher.log)");
    return true;
}

std::optional<bool> TTestDesktop::AccessibilitySwitchGet()
{
    if (m_busAddress.empty())
        return std::nullopt;
    if (m_userId != static_cast<uid_t>(-1)) {
        std::string answer;
        const int status = ProgramRun(
            { "dbus-send", "--session", "--print-reply", "--reply-timeout=5000", "--dest=org.a11y.Bus", "/org/a11y/bus",
                "org.freedesktop.DBus.Properties.Get", "string:org.a11y.Status", "string:IsEnabled" },
            "dbus-send", 10, answer);
        if (status != 0)
            return std::nullopt;
        if (answer.find("boolean true") != std::string::npos)
            return true;
        if (answer.find("boolean false") != std::string::npos)
            return false;
        return std::nullopt;
    }
    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(m_busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_clear_error(&error);
    if (!bus)
        return std::nullopt;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.a11y.Bus", "/org/a11y/bus",
        "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    g_clear_error(&error);
    g_object_unref(bus);
    if (!reply)
        return std::nullopt;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    g_variant_unref(reply);
    std::optional<bool> enabled;
    if (value && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN))
        enabled = g_variant_get_boolean(value) != FALSE;
    if (value)
        g_variant_unref(value);
    return enabled;
}

bool TTestDesktop::WindowManagerStart()
{
    // openbox runs its start-up command once it manages the screen: windows mapped earlier than
    // that may be left unmanaged.
    const std::string readyFile = m_folder + "/run/openbox-ready";
    if (ProgramStart({ "openbox", "--sm-disable", "--startup", "touch " + readyFile }, "openbox") < 0)
        return false;
    const auto deadline = Deadline(15);
    while (!fs::exists(readyFile)) {
        if (TClock::now() > deadline)
            return Fail("openbox did not take the display (see " + m_folder + "/logs/openbox.log)");
        Pause(20);
    }
    return true;
}

TWindowSystem& TTestDesktop::Windows()
{
    // GNOME's desktop looks only when first asked, so that a test sees the program, not the
    // desktop, enable the extension.
    if (!m_windows && m_gnomeGroup > 0) {
        try {
            auto gnome = std::make_unique<TGnomeWindowSystem>(m_busAddress);
            m_gnome = gnome.get();
            m_windows = std::move(gnome);
        } catch (const std::exception& error) {
            Fail(error.what());
        }
    }
    if (!m_windows) {
        // A desktop that cannot be seen shows no windows, and the test's wait fails with ErrorText().
        static TUnseenWindowSystem none;
        return none;
    }
    return *m_windows;
}

pid_t TTestDesktop::TrayStart()
{
    const pid_t tray = ProgramStart({ "trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                                        "200", "--heighttype", "pixel", "--height", "24", "--SetDockType", "true" },
        "trayer");
    if (tray < 0 || WindowWait(tray, 10) == 0) {
        Fail("The tray did not start (see " + m_folder + "/logs/trayer.log)");
        return -1;
    }
    return tray;
}

pid_t TTestDesktop::XtermStart(const std::string& title)
{
    return ProgramStart({ "xterm", "-title", title, "-geometry", "80x24", "-e", "sleep", "600" }, "xterm-" + title);
}

pid_t TTestDesktop::FootStart(const std::string& title)
{
    return ProgramStart({ "foot", "--title", title, "sleep", "600" }, "foot-" + title);
}

pid_t TTestDesktop::ChromiumStart(const std::string& url)
{
    // As a user starts it, with nothing that touches accessibility. Run as root (the X11 desktop
    // when the tests run as root) Chromium refuses to start without --no-sandbox, which a user,
    // never root, does not need; so does a machine (a container) that allows no user namespaces,
    // which Debian's Chromium builds its sandbox from. The rest keeps a fresh profile from asking
    // first-run questions or reaching out of the machine.
    std::vector<std::string> arguments
        = { "chromium", "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
              "--disable-component-update", "--disable-sync", "--disable-gpu", "--disable-breakpad",
              "--disable-crash-reporter", "--password-store=basic", "--user-data-dir=" + m_folder + "/chromium" };
    if ((getuid() == 0 && m_userId == static_cast<uid_t>(-1)) || !UserNamespacesAllowed())
        arguments.insert(arguments.begin() + 1, "--no-sandbox");
    // On sway as a Wayland client, the way a Wayland session's user starts it.
    if (m_sway)
        arguments.push_back("--ozone-platform=wayland");
    arguments.push_back(url);
    return ProgramStart(arguments, "chromium");
}

pid_t TTestDesktop::FirefoxStart(const std::string& url)
{
    const std::string profile = m_folder + "/firefox";
    fs::create_directories(profile);
    std::ofstream prefs(profile + "/user.js");
    // A fresh profile that opens the page at once and fetches nothing from outside; accessibility
    // keeps its default (on when the desktop's switch is).
    for (const char* pref : {
             "\"browser.aboutwelcome.enabled\", false",
             "\"browser.shell.checkDefaultBrowser\", false",
             "\"browser.startup.homepage_override.mstone\", \"ignore\"",
             "\"browser.startup.page\", 0",
             "\"browser.newtabpage.enabled\", false",
             "\"browser.tabs.warnOnClose\", false",
             "\"datareporting.policy.dataSubmissionEnabled\", false",
             "\"datareporting.healthreport.uploadEnabled\", false",
             "\"toolkit.telemetry.reportingpolicy.firstRun\", false",
             "\"trailhead.firstrun.didSeeAboutWelcome\", true",
             "\"datareporting.policy.firstRunURL\", \"\"",
             "\"startup.homepage_welcome_url\", \"\"",
             "\"startup.homepage_welcome_url.additional\", \"\"",
             "\"app.update.enabled\", false",
             "\"app.normandy.enabled\", false",
             "\"extensions.update.enabled\", false",
             "\"browser.safebrowsing.malware.enabled\", false",
             "\"browser.safebrowsing.phishing.enabled\", false",
             "\"browser.safebrowsing.downloads.enabled\", false",
             "\"network.captive-portal-service.enabled\", false",
             "\"network.connectivity-service.enabled\", false",
             "\"browser.search.update\", false",
             "\"browser.region.network.url\", \"\"",
             "\"services.settings.server\", \"http://127.0.0.1:9/\"",
             "\"network.dns.disablePrefetch\", true",
             "\"network.prefetch-next\", false",
             "\"browser.ml.enable\", false",
         })
        prefs << "user_pref(" << pref << ");\n";
    prefs.close();
    // The profile belongs to the account Firefox runs as.
    if (!FolderHandOver())
        return -1;
    return ProgramStart({ "firefox-esr", "--no-remote", "--profile", profile, url }, "firefox");
}

TWindowHandle TTestDesktop::WindowWait(pid_t group, double seconds, const std::string& titlePart)
{
    const auto deadline = Deadline(seconds);
    TWindowSystem& windows = Windows();
    do {
        for (TWindowHandle window : windows.TopLevelWindowsGet()) {
            const int64_t process = windows.WindowProcessIdGet(window);
            if (process <= 0 || getpgid(static_cast<pid_t>(process)) != group)
                continue;
            if (titlePart.empty() || windows.WindowTextGet(window).find(titlePart) != std::string::npos)
                return window;
        }
        Pause(100);
    } while (TClock::now() < deadline);
    return 0;
}

bool TTestDesktop::ActivationRequest(TWindowHandle window)
{
    if (m_sway)
        return m_sway->CommandRun("[con_id=" + std::to_string(window) + "] focus");
    if (m_kwin)
        return m_kwin->ScriptRun("        if (target) {\n"
                                 "            if (workspace.activeWindow !== undefined)\n"
                                 "                workspace.activeWindow = target;\n"
                                 "            else\n"
                                 "                workspace.activeClient = target;\n"
                                 "        }",
            window);
    xcb_connection_t* connection = xcb_connect(m_displayName.c_str(), nullptr);
    bool sent = false;
    if (!xcb_connection_has_error(connection)) {
        xcb_ewmh_connection_t ewmh {};
        if (xcb_ewmh_init_atoms_replies(&ewmh, xcb_ewmh_init_atoms(connection, &ewmh), nullptr)) {
            // As a pager asks: managers honour it without focus-stealing rules.
            xcb_ewmh_request_change_active_window(&ewmh, 0, static_cast<xcb_window_t>(window),
                XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME, XCB_WINDOW_NONE);
            sent = xcb_flush(connection) > 0;
            std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
            xcb_ewmh_connection_wipe(&ewmh);
        }
    }
    xcb_disconnect(connection);
    return sent;
}

bool TTestDesktop::WindowActivate(TWindowHandle window, double seconds)
{
    const auto deadline = Deadline(seconds);
    do {
        ActivationRequest(window);
        for (int i = 0; i < 10; ++i) {
            if (Windows().ForegroundWindowGet() == window)
                return true;
            Pause(50);
        }
    } while (TClock::now() < deadline);
    return false;
}

bool TTestDesktop::WindowGoneWait(TWindowHandle window, double seconds)
{
    const auto deadline = Deadline(seconds);
    do {
        const auto windows = Windows().TopLevelWindowsGet();
        if (std::find(windows.begin(), windows.end(), window) == windows.end())
            return true;
        Pause(50);
    } while (TClock::now() < deadline);
    return false;
}
