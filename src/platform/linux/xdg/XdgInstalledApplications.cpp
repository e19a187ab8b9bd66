#include "platform/linux/xdg/XdgInstalledApplications.h"

#include "model/TextHelpers.h"

#include <elf.h>
#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string FolderText(std::string folder)
{
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string EnvironmentText(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string RealPathGet(const std::string& path)
{
    char* real = realpath(path.c_str(), nullptr);
    if (!real) {
        return {};
    }
    std::string result(real);
    std::free(real);
    return result;
}

std::string BaseNameGet(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

template <typename Header, typename ProgramHeader> bool ElfProgramIs(int fd)
{
    Header header;
    if (pread(fd, &header, sizeof header, 0) != ssize_t(sizeof header)) {
        return false;
    }
    if (header.e_type == ET_EXEC) {
        return true;
    }
    if (header.e_type != ET_DYN || header.e_phentsize != sizeof(ProgramHeader) || header.e_phnum > 512) {
        return false;
    }
    // A position-independent program and a shared library share the type; only a program asks
    // for a loader.
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        ProgramHeader programHeader;
        if (pread(fd, &programHeader, sizeof programHeader, off_t(header.e_phoff + i * sizeof programHeader))
            != ssize_t(sizeof programHeader)) {
            return false;
        }
        if (programHeader.p_type == PT_INTERP) {
            return true;
        }
    }
    return false;
}

// 0 neither, 1 a binary program, 2 a script.
int ProgramKindGet(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & 0111) == 0) {
        return 0;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    unsigned char ident[EI_NIDENT] = {};
    int kind = 0;
    const ssize_t got = pread(fd, ident, sizeof ident, 0);
    if (got >= 2 && ident[0] == '#' && ident[1] == '!') {
        kind = 2;
    } else if (got == EI_NIDENT && std::memcmp(ident, ELFMAG, SELFMAG) == 0) {
        const bool program = ident[EI_CLASS] == ELFCLASS64 ? ElfProgramIs<Elf64_Ehdr, Elf64_Phdr>(fd)
                                                           : ElfProgramIs<Elf32_Ehdr, Elf32_Phdr>(fd);
        kind = program ? 1 : 0;
    }
    close(fd);
    return kind;
}

// Programs that run the script named after them; a launcher that ends in one of these starts a
// script, not a program of its own, and every other script of that language would match it.
bool InterpreterIs(const std::string& name)
{
    static const char* const kNames[] = { "sh", "bash", "dash", "zsh", "ksh", "env", "python", "python3", "perl",
        "ruby", "node", "nodejs", "java", "mono", "wine", "tclsh", "wish", "lua", "php", "gjs", "flatpak", "snap" };
    for (const char* known : kNames) {
        if (name == known
            || (name.rfind(known, 0) == 0
                && name.find_first_not_of("0123456789.", std::strlen(known)) == std::string::npos)) {
            return true;
        }
    }
    return false;
}

std::string Unquote(std::string text)
{
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    return text;
}

// Fills in $NAME and ${NAME}; false when the text holds a substitution that cannot be known
// without running the script.
bool VariablesExpand(const std::string& text, const std::map<std::string, std::string>& variables, std::string& out)
{
    out.clear();
    if (text.find('`') != std::string::npos || text.find("$(") != std::string::npos) {
        return false;
    }
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '$') {
            if (text[i] != '"') {
                out += text[i];
            }
            ++i;
            continue;
        }
        size_t start = i + 1;
        size_t end = start;
        bool braced = start < text.size() && text[start] == '{';
        if (braced) {
            ++start;
            end = text.find('}', start);
            if (end == std::string::npos) {
                return false;
            }
        } else {
            while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) {
                ++end;
            }
        }
        const auto found = variables.find(text.substr(start, end - start));
        if (found == variables.end()) {
            return false;
        }
        out += found->second;
        i = braced ? end + 1 : end;
    }
    return true;
}

std::vector<std::string> WordsSplit(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    char quote = 0;
    for (char ch : line) {
        if (quote) {
            word += ch;
            if (ch == quote) {
                quote = 0;
            }
        } else if (ch == '#' && word.empty()) {
            break;
        } else if (ch == '"' || ch == '\'') {
            quote = ch;
            word += ch;
        } else if (ch == ' ' || ch == '\t') {
            if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
        } else if (ch == ';' || ch == '&' || ch == '|') {
            // A command separator: "exec" may start the next command.
            if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
            if (words.empty() || words.back() != ";") {
                words.push_back(";");
            }
        } else {
            word += ch;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

bool AssignmentIs(const std::string& word)
{
    const size_t equal = word.find('=');
    if (equal == std::string::npos || equal == 0) {
        return false;
    }
    for (size_t i = 0; i < equal; ++i) {
        const char ch = word[i];
        if (!(std::isalnum(static_cast<unsigned char>(ch)) || ch == '_')
            || (i == 0 && std::isdigit(static_cast<unsigned char>(ch)))) {
            return false;
        }
    }
    return true;
}

std::string LauncherTargetFind(const std::string& scriptPath, int depth, const TPackageScriptView& view)
{
    std::ifstream file(scriptPath, std::ios::binary);
    std::string text(256 * 1024, '\0');
    file.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(file.gcount()));

    std::map<std::string, std::string> variables = view.Variables;
    std::set<std::string> targets;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> words = WordsSplit(line);
        if (words.empty() || words[0][0] == '#') {
            continue;
        }
        // ': "${NAME=default}"' gives NAME its default when the script has not set it.
        if (words[0] == ":" && words.size() >= 2) {
            const std::string word = Unquote(words[1]);
            const size_t equal = word.find('=');
            if (word.rfind("${", 0) == 0 && word.back() == '}' && equal != std::string::npos) {
                std::string name = word.substr(2, equal - 2);
                if (!name.empty() && name.back() == ':') {
                    name.pop_back();
                }
                std::string value;
                if (!variables.count(name)
                    && VariablesExpand(word.substr(equal + 1, word.size() - equal - 2), variables, value)) {
                    variables[name] = value;
                }
            }
            continue;
        }
        size_t first = words[0] == "export" || words[0] == "readonly" ? 1 : 0;
        if (words.size() == first + 1 && AssignmentIs(words[first])) {
            const size_t equal = words[first].find('=');
            const std::string name = words[first].substr(0, equal);
            std::string value;
            const std::string raw = words[first].substr(equal + 1);
            if (raw.size() >= 2 && raw.front() == '\'' && raw.back() == '\'') {
                variables[name] = raw.substr(1, raw.size() - 2);
            } else if (VariablesExpand(raw, variables, value)) {
                variables[name] = value;
            } else {
                variables.erase(name);
            }
            continue;
        }
        for (size_t start = 0; start < words.size(); ++start) {
            if (words[start] != "exec"
                || (start > 0 && words[start - 1] != ";" && words[start - 1] != "then" && words[start - 1] != "else"
                    && words[start - 1] != "do")) {
                continue;
            }
            size_t i = start + 1;
            while (i < words.size()) {
                if (words[i] == "-a") {
                    i += 2;
                } else if (words[i] == "-c" || words[i] == "-l" || words[i] == "--" || words[i] == "env"
                    || AssignmentIs(words[i])) {
                    ++i;
                } else {
                    break;
                }
            }
            std::string program;
            if (i >= words.size() || words[i] == ";" || !VariablesExpand(Unquote(words[i]), variables, program)
                || program.empty() || InterpreterIs(BaseNameGet(program))) {
                continue;
            }
            if (!view.SandboxFiles.empty()) {
                // Inside a Flatpak sandbox: the app's programs are in /app (its /app/bin comes
                // first on PATH); the runtime's are none of the app's own.
                if (program.starts_with("/app/")) {
                    program = view.SandboxFiles + program.substr(4);
                } else if (program.find('/') == std::string::npos) {
                    program = view.SandboxFiles + "/bin/" + program;
                } else {
                    continue;
                }
            } else if (program.find('/') == std::string::npos) {
                gchar* found = g_find_program_in_path(program.c_str());
                program = found ? found : "";
                g_free(found);
            }
            if (program.empty() || program[0] != '/') {
                continue;
            }
            const int kind = ProgramKindGet(program);
            if (kind == 1) {
                targets.insert(RealPathGet(program));
            } else if (kind == 2 && depth < 3) {
                const std::string inner = LauncherTargetFind(RealPathGet(program), depth + 1, view);
                if (!inner.empty()) {
                    targets.insert(inner);
                }
            }
        }
    }
    targets.erase(std::string());
    return targets.size() == 1 ? *targets.begin() : std::string();
}

// The program a process started from `path` runs: the real file, or the program a launcher
// script starts when that can be read from it.
std::string ProgramFileResolve(const std::string& path, const TPackageScriptView& view)
{
    const std::string real = RealPathGet(path);
    const int kind = real.empty() ? 0 : ProgramKindGet(real);
    if (kind == 0) {
        return {};
    }
    if (kind == 2) {
        const std::string target = LauncherTargetFind(real, 0, view);
        if (!target.empty()) {
            return target;
        }
    }
    return real;
}

// An application entry the menus show, read without GLib's test of its program.
bool PackageEntryShown(GKeyFile* keyFile)
{
    gchar* type = g_key_file_get_string(keyFile, "Desktop Entry", "Type", nullptr);
    const bool application = type && std::strcmp(type, "Application") == 0;
    g_free(type);
    return application && !g_key_file_get_boolean(keyFile, "Desktop Entry", "Hidden", nullptr)
        && !g_key_file_get_boolean(keyFile, "Desktop Entry", "NoDisplay", nullptr);
}

struct TGObjectFree
{
    void operator()(gpointer object) const
    {
        g_object_unref(object);
    }
};
struct TKeyFileFree
{
    void operator()(GKeyFile* keyFile) const
    {
        g_key_file_free(keyFile);
    }
};

// The words of a command line from the program it starts on: "env NAME=value program ..." starts
// the first word that is neither an option nor an assignment. (GLib's own executable cuts a
// quoted path at its first blank.) None for a line that does not parse.
std::vector<std::string> CommandWordsGet(const std::string& commandLine)
{
    gchar** argv = nullptr;
    if (commandLine.empty() || !g_shell_parse_argv(commandLine.c_str(), nullptr, &argv, nullptr)) {
        return {};
    }
    int i = 0;
    if (argv[0] && BaseNameGet(argv[0]) == "env") {
        for (i = 1; argv[i] && (argv[i][0] == '-' || AssignmentIs(argv[i])); ++i) { }
    }
    std::vector<std::string> words;
    for (; argv[i]; ++i) {
        words.emplace_back(argv[i]);
    }
    g_strfreev(argv);
    return words;
}

// The file name of the program a command line names first, past "env" and its assignments.
std::string LauncherNameGet(const std::string& commandLine)
{
    const std::vector<std::string> words = CommandWordsGet(commandLine);
    return words.empty() ? std::string() : BaseNameGet(words.front());
}

} // namespace

TXdgFolders XdgFoldersGet()
{
    TXdgFolders folders;
    const std::string home = FolderText(EnvironmentText("HOME"));
    std::string dataHome = EnvironmentText("XDG_DATA_HOME");
    folders.DataFolders.push_back(FolderText(dataHome.empty() ? home + ".local/share" : dataHome));
    std::string dataDirs = EnvironmentText("XDG_DATA_DIRS");
    if (dataDirs.empty()) {
        dataDirs = "/usr/local/share/:/usr/share/";
    }
    std::istringstream dirs(dataDirs);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty()) {
            folders.DataFolders.push_back(FolderText(dir));
        }
    }
    folders.ApplicationFolders = { "/opt/", "/usr/local/", "/usr/games/" };
    if (home != "/") {
        folders.ApplicationFolders.push_back(home + ".local/bin/");
        folders.ApplicationFolders.push_back(home + "Applications/");
    }
    folders.SystemFolders = { "/usr/bin/", "/usr/sbin/", "/usr/lib/", "/usr/lib32/", "/usr/lib64/", "/usr/libx32/",
        "/usr/libexec/", "/usr/share/", "/usr/include/", "/usr/src/", "/bin/", "/sbin/", "/lib/", "/lib32/", "/lib64/",
        "/libx32/", "/etc/", "/proc/", "/sys/", "/dev/", "/run/", "/boot/", "/var/", "/tmp/" };
    return folders;
}

TXdgInstalledApplications::TXdgInstalledApplications(TXdgFolders folders, TPackageFolders packageFolders)
    : m_folders(std::move(folders))
    , m_packages(std::move(packageFolders))
{
}

std::string TXdgInstalledApplications::CommandProgramGet(const std::string& commandLine)
{
    const std::vector<std::string> words = CommandWordsGet(commandLine);
    if (words.empty()) {
        return {};
    }
    if (std::optional<std::string> packaged = m_packages.LauncherResolve(words, ProgramFileResolve)) {
        return *packaged;
    }
    return ExecutableResolve(words[0]);
}

std::vector<TMenuApplication> TXdgInstalledApplications::MenuApplicationsGet()
{
    std::vector<TMenuApplication> applications;
    for (TMenuEntry& entry : MenuEntriesGet()) {
        applications.push_back(std::move(entry.Application));
    }
    return applications;
}

std::vector<TXdgInstalledApplications::TMenuEntry> TXdgInstalledApplications::MenuEntriesGet()
{
    // The first folder that holds an id decides it, even when its entry hides the application:
    // that is how a user removes a system entry from the menus.
    std::map<std::string, TMenuEntry> byId;
    std::set<std::string> seen;
    for (const std::string& dataFolder : m_folders.DataFolders) {
        const fs::path folder = fs::path(dataFolder) / "applications";
        std::error_code error;
        if (!fs::is_directory(folder, error)) {
            continue;
        }
        std::vector<fs::path> files;
        for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (it->path().extension() == ".desktop" && it->is_regular_file(error)) {
                files.push_back(it->path());
            }
        }
        for (const fs::path& file : files) {
            std::string id = file.lexically_relative(folder).string();
            std::replace(id.begin(), id.end(), '/', '-');
            if (!seen.insert(id).second) {
                continue;
            }
            std::unique_ptr<GKeyFile, TKeyFileFree> keyFile(g_key_file_new());
            if (!g_key_file_load_from_file(keyFile.get(), file.c_str(), G_KEY_FILE_NONE, nullptr)) {
                continue;
            }
            // Not an application, or its TryExec or Exec program is missing: no entry.
            std::unique_ptr<GDesktopAppInfo, TGObjectFree> info(g_desktop_app_info_new_from_keyfile(keyFile.get()));
            TMenuApplication application;
            std::string launcher;
            if (info) {
                if (g_desktop_app_info_get_is_hidden(info.get()) || g_desktop_app_info_get_nodisplay(info.get())) {
                    continue;
                }
                const char* commandLine = g_app_info_get_commandline(G_APP_INFO(info.get()));
                application.ExePath = CommandProgramGet(commandLine ? commandLine : "");
                launcher = LauncherNameGet(commandLine ? commandLine : "");
                const char* name = g_app_info_get_name(G_APP_INFO(info.get()));
                application.Name = name ? name : "";
            } else if (PackageEntryShown(keyFile.get())) {
                // GLib also refuses an entry whose launcher program it cannot find. For a package's
                // entry it is the package's own folders that say whether the program is installed,
                // whatever the launcher's place (flatpak outside /usr/bin, say).
                gchar* exec = g_key_file_get_string(keyFile.get(), "Desktop Entry", "Exec", nullptr);
                gchar* name = g_key_file_get_locale_string(keyFile.get(), "Desktop Entry", "Name", nullptr, nullptr);
                gchar** argv = nullptr;
                if (exec && g_shell_parse_argv(exec, nullptr, &argv, nullptr)) {
                    const std::vector<std::string> words(argv, argv + g_strv_length(argv));
                    application.ExePath = m_packages.LauncherResolve(words, ProgramFileResolve).value_or("");
                    g_strfreev(argv);
                    launcher = LauncherNameGet(exec);
                }
                application.Name = name ? name : "";
                g_free(exec);
                g_free(name);
            }
            if (!application.ExePath.empty()) {
                byId.emplace(id, TMenuEntry { std::move(launcher), std::move(application) });
            }
        }
    }
    std::vector<TMenuEntry> entries;
    entries.reserve(byId.size());
    for (auto& [id, entry] : byId) {
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::string> TXdgInstalledApplications::ApplicationFoldersGet()
{
    return m_folders.ApplicationFolders;
}

std::vector<std::string> TXdgInstalledApplications::SystemFoldersGet()
{
    return m_folders.SystemFolders;
}

bool TXdgInstalledApplications::FolderExists(const std::string& folder)
{
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<TFolderEntry> TXdgInstalledApplications::FolderEntriesGet(const std::string& folder)
{
    std::vector<TFolderEntry> entries;
    std::error_code error;
    for (auto it = fs::directory_iterator(folder, fs::directory_options::skip_permission_denied, error);
         !error && it != fs::directory_iterator(); it.increment(error)) {
        TFolderEntry entry;
        entry.Name = it->path().filename().string();
        std::error_code statError;
        const bool link = it->is_symlink(statError);
        if (it->is_directory(statError)) {
            entry.Kind = link ? TFolderEntryKind::FolderLink : TFolderEntryKind::Folder;
        } else if (it->is_regular_file(statError) && ProgramKindGet(it->path().string()) != 0) {
            entry.Kind = TFolderEntryKind::Executable;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string TXdgInstalledApplications::ExecutableResolve(const std::string& program)
{
    if (program.empty()) {
        return {};
    }
    std::string path = program;
    if (program.find('/') == std::string::npos) {
        gchar* found = g_find_program_in_path(program.c_str());
        if (!found) {
            return {};
        }
        path = found;
        g_free(found);
    }
    // A package's launcher (snapd's /snap/bin/NAME links to snap itself) names its program only
    // through the package; the rest is named as the package's updates leave it.
    if (std::optional<std::string> packaged = m_packages.LauncherResolve({ path }, ProgramFileResolve)) {
        return *packaged;
    }
    const std::string real = ProgramFileResolve(path, TPackageScriptView {});
    return real.empty() ? real : m_packages.FilePathGet(real);
}

std::string TXdgInstalledApplications::TypedProgramResolve(const std::string& typed, TProcesses* processes)
{
    std::string text(TrimView(typed));
    if (text.starts_with("~/")) {
        text = FolderText(EnvironmentText("HOME")) + text.substr(2);
    }
    if (text.find('/') != std::string::npos) {
        return text.starts_with('/') ? ExecutableResolve(text) : std::string();
    }
    if (text.empty() || text == "." || text == "..") {
        return {};
    }
    if (std::string found = ExecutableResolve(text); !found.empty()) {
        return found;
    }
    // Not on PATH (a game in a folder of its own, say): the menus know it by the name its
    // entry starts or by its program's file name. Only one program may answer to the name.
    const auto onlyOne
        = [](const std::set<std::string>& found) { return found.size() == 1 ? *found.begin() : std::string(); };
    std::set<std::string> found;
    for (const TMenuEntry& entry : MenuEntriesGet()) {
        if (entry.Launcher == text || BaseNameGet(entry.Application.ExePath) == text) {
            found.insert(entry.Application.ExePath);
        }
    }
    if (!found.empty() || !processes) {
        return onlyOne(found);
    }
    try {
        for (const std::string& path : processes->RunningProgramPathsGet()) {
            if (BaseNameGet(path) == text) {
                found.insert(path);
            }
        }
    } catch (const std::exception&) {
        // The running programs cannot be read: the name is simply not found there.
    }
    return onlyOne(found);
}

std::string LauncherTargetGet(const std::string& scriptPath)
{
    return LauncherTargetFind(scriptPath, 0, TPackageScriptView {});
}

bool ProgramFileIs(const std::string& path)
{
    return ProgramKindGet(path) != 0;
}

bool ScriptFileIs(const std::string& path)
{
    return ProgramKindGet(path) == 2;
}
