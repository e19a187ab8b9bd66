#include "platform/linux/proc/PackagedPrograms.h"

#include "model/PackagedPaths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Read at every sample: the files are small, and a buffer as large as the limit would cost more
// than the reading.
std::string FileHeadRead(const std::string& name, size_t limit)
{
    std::string text;
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[4096];
    while (text.size() < limit) {
        const ssize_t got = read(fd, buffer, std::min(sizeof buffer, limit - text.size()));
        if (got <= 0) {
            break;
        }
        text.append(buffer, size_t(got));
    }
    close(fd);
    return text;
}

std::string BaseNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Exists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::string TrimmedText(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Unquoted(std::string text)
{
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    return text;
}

// The value of `key` in `[section]` of a desktop-style key file (Flatpak's metadata and
// /.flatpak-info are such files).
std::string KeyFileValue(const std::string& text, const std::string& section, const std::string& key)
{
    std::istringstream lines(text);
    std::string line;
    bool inSection = false;
    while (std::getline(lines, line)) {
        line = TrimmedText(line);
        if (!line.empty() && line.front() == '[') {
            inSection = line == "[" + section + "]";
        } else if (inSection && line.starts_with(key)) {
            const std::string rest = TrimmedText(line.substr(key.size()));
            if (!rest.empty() && rest.front() == '=') {
                return TrimmedText(rest.substr(1));
            }
        }
    }
    return {};
}

// The app id of a Flatpak process's systemd scope ("app-flatpak-ID-NUMBER.scope"; older
// versions wrote "flatpak-ID-NUMBER.scope").
std::string CgroupFlatpakIdGet(const std::string& cgroup)
{
    std::istringstream lines(cgroup);
    std::string line;
    while (std::getline(lines, line)) {
        size_t at = line.rfind("/app-flatpak-");
        size_t start = at == std::string::npos ? std::string::npos : at + 13;
        if (start == std::string::npos) {
            at = line.rfind("/flatpak-");
            start = at == std::string::npos ? std::string::npos : at + 9;
        }
        const size_t end = line.rfind(".scope");
        if (start == std::string::npos || end == std::string::npos || end <= start) {
            continue;
        }
        const std::string scope = line.substr(start, end - start);
        const size_t dash = scope.rfind('-');
        if (dash != std::string::npos && dash > 0
            && scope.find_first_not_of("0123456789", dash + 1) == std::string::npos) {
            return scope.substr(0, dash);
        }
    }
    return {};
}

// The command of one app of a snap from its meta/snap.yaml: the first word of
// "apps: APP: command:", relative to the snap's folder.
std::string SnapCommandGet(const std::string& yaml, const std::string& app)
{
    std::istringstream lines(yaml);
    std::string line;
    bool inApps = false;
    bool inApp = false;
    size_t appIndent = std::string::npos;
    while (std::getline(lines, line)) {
        const size_t indent = line.find_first_not_of(' ');
        if (indent == std::string::npos || line[indent] == '#') {
            continue;
        }
        const std::string text = TrimmedText(line.substr(indent));
        if (indent == 0) {
            inApps = text == "apps:";
            inApp = false;
            continue;
        }
        if (!inApps) {
            continue;
        }
        if (appIndent == std::string::npos) {
            appIndent = indent;
        }
        if (indent == appIndent) {
            inApp = text.back() == ':' && Unquoted(text.substr(0, text.size() - 1)) == app;
        } else if (inApp && indent > appIndent && text.starts_with("command:")) {
            // The program is the first word, unless a wrapper of older snaps comes first
            // ("desktop-launch $SNAP/usr/bin/prog"): then the last word in the snap.
            std::istringstream words(Unquoted(TrimmedText(text.substr(8))));
            std::string command;
            for (std::string word; words >> word;) {
                word = Unquoted(word);
                bool inSnap = false;
                for (const char* snapVariable : { "$SNAP/", "${SNAP}/" }) {
                    if (word.starts_with(snapVariable)) {
                        word = word.substr(std::string(snapVariable).size());
                        inSnap = true;
                    }
                }
                if (command.empty() || inSnap) {
                    command = word;
                }
            }
            return command;
        }
    }
    return {};
}

} // namespace

TPackageFolders PackageFoldersGet()
{
    TPackageFolders folders;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && dataHome[0] == '/') {
        folders.UserDataFolder = dataHome;
    } else if (home && home[0] == '/') {
        folders.UserDataFolder = std::string(home) + "/.local/share";
    }
    if (!folders.UserDataFolder.empty() && folders.UserDataFolder.back() != '/') {
        folders.UserDataFolder += '/';
    }
    return folders;
}

TProcessFacts ProcessFactsRead(const std::string& procFolder, const std::string& exePath)
{
    TProcessFacts facts;
    facts.ExePath = exePath;
    std::istringstream environment(FileHeadRead(procFolder + "/environ", 1 << 20));
    for (std::string variable; std::getline(environment, variable, '\0');) {
        if (variable.starts_with("APPIMAGE=")) {
            facts.AppImage = variable.substr(9);
        } else if (variable.starts_with("APPDIR=")) {
            facts.AppDir = variable.substr(7);
        }
    }
    facts.FlatpakInfo = FileHeadRead(procFolder + "/root/.flatpak-info", 64 * 1024);
    facts.Cgroup = FileHeadRead(procFolder + "/cgroup", 64 * 1024);
    return facts;
}

std::string FlatpakInstanceGet(const std::string& procFolder)
{
    const std::string info = FileHeadRead(procFolder + "/root/.flatpak-info", 64 * 1024);
    const std::string appId = KeyFileValue(info, "Application", "name");
    return appId.empty() ? std::string() : appId + "/" + KeyFileValue(info, "Instance", "instance-id");
}

TPackagedPrograms::TPackagedPrograms(TPackageFolders folders)
    : m_folders(std::move(folders))
{
    while (!m_folders.Root.empty() && m_folders.Root.back() == '/') {
        m_folders.Root.pop_back();
    }
}

std::vector<std::string> TPackagedPrograms::FlatpakInstallationsGet() const
{
    // Flatpak looks in the user's installation before the system's.
    std::vector<std::string> installations;
    if (!m_folders.UserDataFolder.empty()) {
        installations.push_back(m_folders.UserDataFolder + "flatpak");
    }
    installations.push_back(m_folders.Root + "/var/lib/flatpak");
    return installations;
}

std::string TPackagedPrograms::FlatpakInstallationFind(const std::string& appId) const
{
    for (const std::string& installation : FlatpakInstallationsGet()) {
        if (Exists(installation + "/app/" + appId + "/current")) {
            return installation;
        }
    }
    return {};
}

std::string TPackagedPrograms::ProcessPathGet(const TProcessFacts& facts) const
{
    const std::string& exe = facts.ExePath;
    // Inside the sandbox the app's files are at /app; from outside the kernel shows that path,
    // which names nothing on the host.
    std::string appId = KeyFileValue(facts.FlatpakInfo, "Application", "name");
    std::string installation;
    if (!appId.empty()) {
        const std::string appPath = KeyFileValue(facts.FlatpakInfo, "Instance", "app-path");
        const size_t at = appPath.find("/app/" + appId + "/");
        installation = at == std::string::npos ? FlatpakInstallationFind(appId) : appPath.substr(0, at);
    } else if (exe.starts_with("/app/")) {
        appId = CgroupFlatpakIdGet(facts.Cgroup);
        installation = appId.empty() ? std::string() : FlatpakInstallationFind(appId);
    }
    if (!installation.empty()) {
        if (exe.starts_with("/app/")) {
            return installation + "/app/" + appId + "/current/active/files/" + exe.substr(5);
        }
        return installation + "/exports/bin/" + appId;
    }
    // APPIMAGE is inherited by whatever the AppImage starts; only its own programs run from the
    // mount (APPDIR; "/.mount_" when an older runtime did not say where).
    std::string appDir = fs::path(facts.AppDir).lexically_normal().string();
    if (!appDir.empty() && appDir.back() != '/') {
        appDir += '/';
    }
    if (!facts.AppImage.empty() && facts.AppImage.front() == '/'
        && (appDir.empty() ? exe.find("/.mount_") != std::string::npos : exe.starts_with(appDir))) {
        return facts.AppImage;
    }
    return FilePathGet(exe);
}

std::string TPackagedPrograms::FilePathGet(const std::string& path) const
{
    std::string stable = SnapRevisionPathToCurrent(path, m_folders.Root);
    if (stable != path) {
        return stable;
    }
    // A deployment: app/ID/ARCH/BRANCH/COMMIT/files/...; Flatpak keeps app/ID/current linked to
    // the branch in use and ARCH/BRANCH/active to its newest commit.
    for (const std::string& installation : FlatpakInstallationsGet()) {
        const std::string apps = installation + "/app/";
        if (!path.starts_with(apps)) {
            continue;
        }
        std::vector<std::string> parts;
        std::istringstream rest(path.substr(apps.size()));
        for (std::string part; parts.size() < 5 && std::getline(rest, part, '/');) {
            parts.push_back(part);
        }
        if (parts.size() == 5 && parts[4] == "files" && parts[1] != "current") {
            const size_t tail = apps.size() + parts[0].size() + parts[1].size() + parts[2].size() + parts[3].size()
                + parts[4].size() + 4;
            return apps + parts[0] + "/current/active/files" + path.substr(std::min(tail, path.size()));
        }
    }
    return path;
}

std::string TPackagedPrograms::FlatpakProgramGet(const std::string& installation, const std::string& appId,
    std::string command, const TPackageFileResolve& fileResolve) const
{
    const std::string deployment = installation + "/app/" + appId + "/current/active/";
    const std::string launcher = installation + "/exports/bin/" + appId;
    if (command.empty()) {
        command = KeyFileValue(FileHeadRead(deployment + "metadata", 64 * 1024), "Application", "command");
    }
    if (command.empty()) {
        return launcher;
    }
    // Inside the sandbox a bare command is looked for in /app/bin, then in the runtime's
    // /usr/bin; links are followed as the sandbox sees them.
    std::string inside = command.front() == '/' ? command : "/app/bin/" + command;
    for (int depth = 0; depth < 16; ++depth) {
        if (!inside.starts_with("/app/")) {
            // A program of the runtime: the app is known by its own launcher.
            return launcher;
        }
        const std::string host = deployment + "files/" + inside.substr(5);
        struct stat info;
        if (lstat(host.c_str(), &info) != 0) {
            return command.front() == '/' ? std::string() : launcher;
        }
        if (!S_ISLNK(info.st_mode)) {
            // A launcher script inside the app names its program as the sandbox sees it.
            const std::string program = fileResolve(host, { {}, deployment + "files" });
            const std::string stable = program.empty() ? program : FilePathGet(program);
            return stable.starts_with(deployment) ? stable : host;
        }
        std::error_code error;
        const fs::path target = fs::read_symlink(host, error);
        if (error) {
            return {};
        }
        inside = (target.is_absolute() ? target : fs::path(inside).parent_path() / target).lexically_normal().string();
    }
    return {};
}

std::optional<std::string> TPackagedPrograms::SnapLauncherResolve(
    const std::string& snapApp, const TPackageFileResolve& fileResolve) const
{
    const size_t dot = snapApp.find('.');
    const std::string name = snapApp.substr(0, dot);
    const std::string app = dot == std::string::npos ? name : snapApp.substr(dot + 1);
    if (name.empty() || app.empty() || name.find('/') != std::string::npos) {
        return std::string();
    }
    const std::string snapFolder = m_folders.Root + "/snap/" + name + "/current";
    const std::string command = SnapCommandGet(FileHeadRead(snapFolder + "/meta/snap.yaml", 1 << 20), app);
    if (command.empty()) {
        return std::string();
    }
    const std::string program = fileResolve(
        command.front() == '/' ? command : snapFolder + "/" + command, { { { "SNAP", snapFolder } }, {} });
    return program.empty() ? std::string() : FilePathGet(program);
}

std::optional<std::string> TPackagedPrograms::LauncherResolve(
    const std::vector<std::string>& words, const TPackageFileResolve& fileResolve) const
{
    if (words.empty()) {
        return std::nullopt;
    }
    const std::string& program = words[0];
    const std::string name = BaseNameOf(program);
    const std::string snapBin = m_folders.Root + "/snap/bin/";
    // snapd's launchers, /snap/bin/NAME or /snap/bin/NAME.APP, are links to snap itself.
    if (program.starts_with(snapBin) && program.find('/', snapBin.size()) == std::string::npos) {
        return SnapLauncherResolve(program.substr(snapBin.size()), fileResolve);
    }
    if (name == "snap") {
        size_t i = 1;
        if (i >= words.size() || words[i] != "run") {
            return std::string();
        }
        for (++i; i < words.size() && words[i].starts_with("-"); ++i) { }
        return i < words.size() ? SnapLauncherResolve(words[i], fileResolve) : std::string();
    }
    if (name == "flatpak") {
        if (words.size() < 2 || words[1] != "run") {
            return std::string();
        }
        std::string command;
        int installation = 0; // 1 the user's only, 2 the system's only
        size_t i = 2;
        for (; i < words.size() && words[i].starts_with("-"); ++i) {
            const std::string& option = words[i];
            const size_t equal = option.find('=');
            const std::string key = option.substr(0, equal);
            std::string value = equal == std::string::npos ? std::string() : option.substr(equal + 1);
            if (equal == std::string::npos
                && (key == "--command" || key == "--branch" || key == "--arch" || key == "--runtime"
                    || key == "--runtime-version" || key == "--cwd")
                && i + 1 < words.size()) {
                value = words[++i];
            }
            if (key == "--command") {
                command = value;
            } else if (key == "--user") {
                installation = 1;
            } else if (key == "--system") {
                installation = 2;
            }
        }
        if (i >= words.size()) {
            return std::string();
        }
        const std::string appId = words[i].substr(0, words[i].find("//"));
        std::string found;
        for (const std::string& candidate : FlatpakInstallationsGet()) {
            const bool user = !m_folders.UserDataFolder.empty() && candidate.starts_with(m_folders.UserDataFolder);
            if (found.empty() && (installation == 0 || (installation == 1) == user)
                && Exists(candidate + "/app/" + appId + "/current")) {
                found = candidate;
            }
        }
        return found.empty() ? std::string() : FlatpakProgramGet(found, appId, command, fileResolve);
    }
    // The launcher Flatpak exports for each app, exports/bin/ID, runs "flatpak run ID".
    for (const std::string& installation : FlatpakInstallationsGet()) {
        const std::string exports = installation + "/exports/bin/";
        if (program.starts_with(exports) && program.find('/', exports.size()) == std::string::npos
            && Exists(installation + "/app/" + name + "/current")) {
            return FlatpakProgramGet(installation, name, {}, fileResolve);
        }
    }
    return std::nullopt;
}
