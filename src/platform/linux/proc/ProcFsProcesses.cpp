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
        if (ProcessExeNameGet(processId, path, errorText) && path.starts_with('/') && !path.starts_with("/memfd:"))
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
