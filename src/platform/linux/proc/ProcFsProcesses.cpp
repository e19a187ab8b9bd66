#include "platform/linux/proc/ProcFsProcesses.h"

#include "model/Exceptions.h"
#include "model/TextHelpers.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

namespace {

// The kernel marks the link of an executable that was replaced or removed while running (a
// package upgrade, typically); the program is still the one at that path.
const std::string DeletedSuffix = " (deleted)";

bool AllDigits(const char* text)
{
    if (!*text)
        return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}

// The session's own machinery, which no user starts and no one limits: the service manager, the
// buses, sound, the key ring, the display servers, the desktop's settings and portal daemons. Only
// in the system's folders; a program of the same name elsewhere is the user's.
bool SessionHelperIs(const std::string& path)
{
    static const char* const kSystemFolders[]
        = { "/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/", "/usr/lib/", "/usr/lib64/", "/lib/", "/lib64/" };
    static const char* const kNames[] = { "systemd", "dbus-daemon", "dbus-broker", "dbus-broker-launch", "dbus-launch",
        "pipewire", "pipewire-pulse", "pipewire-media-session", "wireplumber", "pulseaudio", "gnome-keyring-daemon",
        "ssh-agent", "gpg-agent", "Xorg", "Xwayland", "ibus-daemon", "fcitx5", "kwalletd5", "kwalletd6", "kded5",
        "kded6", "kglobalaccel5", "kglobalacceld", "ksmserver", "gnome-session-binary", "xfconfd", "xfsettingsd",
        "polkit-gnome-authentication-agent-1" };
    // Families of helpers, named by their leading part.
    static const char* const kPrefixes[]
        = { "gsd-", "gvfs", "xdg-desktop-portal", "xdg-document-portal", "xdg-permission-store", "at-spi", "ibus-",
              "evolution-", "tracker-miner", "tracker-extract", "goa-", "dconf-service", "obex", "colord" };
    // Helper programs' own folders hold nothing a user starts.
    if (path.find("/libexec/") != std::string::npos || path.starts_with("/usr/lib/systemd/")
        || path.starts_with("/lib/systemd/")) {
        return true;
    }
    if (std::none_of(std::begin(kSystemFolders), std::end(kSystemFolders),
            [&](const char* folder) { return path.starts_with(folder); })) {
        return false;
    }
    const std::string name = path.substr(path.find_last_of('/') + 1);
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* known) { return name == known; })
        || std::any_of(
            std::begin(kPrefixes), std::end(kPrefixes), [&](const char* prefix) { return name.starts_with(prefix); });
}

} // namespace

TProcFsProcesses::TProcFsProcesses(std::string procRoot, TPackageFolders packageFolders)
    : m_procRoot(std::move(procRoot))
    , m_packages(std::move(packageFolders))
{
}

bool TProcFsProcesses::ProcessExeNameGet(int64_t processId, std::string& path, std::string& errorText)
{
    path.clear();
    errorText.clear();
    const std::string folder = m_procRoot + "/" + std::to_string(processId);
    struct stat info
    {
    };
    if (processId <= 0 || stat(folder.c_str(), &info) != 0) {
        errorText = std::strerror(ESRCH);
        return false;
    }
    std::string buffer(4096, '\0');
    for (;;) {
        const ssize_t length = readlink((folder + "/exe").c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            // A process that ended between the two calls reads as gone, not as a missing file.
            const int code = errno;
            errorText = std::strerror(code == ENOENT && stat(folder.c_str(), &info) != 0 ? ESRCH : code);
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<size_t>(length));
            break;
        }
        buffer.assign(buffer.size() * 2, '\0');
    }
    if (buffer.size() > DeletedSuffix.size()
        && buffer.compare(buffer.size() - DeletedSuffix.size(), DeletedSuffix.size(), DeletedSuffix) == 0)
        buffer.resize(buffer.size() - DeletedSuffix.size());
    path = m_packages.ProcessPathGet(ProcessFactsRead(folder, buffer));
    return true;
}

int64_t TProcFsProcesses::ProcessOwnerGet(int64_t processId)
{
    std::ifstream status(m_procRoot + "/" + std::to_string(processId) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 4, "Uid:") == 0) {
            // Real, effective, saved and file-system ids follow; the real one says who ran it.
            try {
                return std::stoll(line.substr(4));
            } catch (const std::exception&) {
                return -1;
            }
        }
    }
    return -1;
}

std::vector<std::string> TProcFsProcesses::RunningProgramPathsGet()
{
    std::vector<std::string> paths;
    std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(m_procRoot.c_str()), closedir);
    if (!folder) {
        const int code = errno;
        throw EOSError(m_procRoot + ": " + std::strerror(code));
    }
    const auto user = static_cast<int64_t>(getuid());
    while (const dirent* entry = readdir(folder.get())) {
        if (!AllDigits(entry->d_name))
            continue;
        const int64_t processId = std::atoll(entry->d_name);
        if (ProcessOwnerGet(processId) != user)
            continue;
        std::string path;
        std::string errorText;
        // Programs run from memory (a sealed memfd, as some sandboxes do) have no file to list.
        if (ProcessExeNameGet(processId, path, errorText) && path.starts_with('/') && !path.starts_with("/memfd:")
            && !SessionHelperIs(path))
            paths.push_back(std::move(path));
    }
    // Paths differ by case on this system, so only identical ones are one program; the order
    // ignores case as a person reading the list expects.
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    std::stable_sort(paths.begin(), paths.end(),
        [](const std::string& a, const std::string& b) { return AsciiLowerCase(a) < AsciiLowerCase(b); });
    return paths;
}
