#include "model/PrivateFiles.h"

#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kPrivateFileMode = 0600;
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kGroupAndOthers = 077;

std::string ModeText(mode_t mode)
{
    return Format("%04o", unsigned(mode & 07777));
}

// One entry of the data folder; symbolic links are not followed, so a link placed there never
// makes the program change a file elsewhere.
void EntryTighten(const std::string& path, const struct stat& info, const char* what)
{
    const mode_t mode = info.st_mode & 07777;
    if ((mode & kGroupAndOthers) == 0) {
        return;
    }
    if (info.st_uid != ::geteuid()) {
        LogMessageWrite(Format("The %s \"%s\" belongs to another user (%u) and others may read it (mode %s); "
                               "it is left as it is",
            what, path.c_str(), unsigned(info.st_uid), ModeText(mode).c_str()));
        return;
    }
    const mode_t tightened = mode & ~kGroupAndOthers;
    if (::chmod(path.c_str(), tightened) != 0) {
        LogMessageWrite(Format("The %s \"%s\" could be read by others (mode %s) and could not be made private: %s",
            what, path.c_str(), ModeText(mode).c_str(), std::strerror(errno)));
        return;
    }
    LogMessageWrite(Format("The %s \"%s\" could be read by others; its mode was changed from %s to %s", what,
        path.c_str(), ModeText(mode).c_str(), ModeText(tightened).c_str()));
}

} // namespace

int PrivateFileOpen(const std::string& path, int flags)
{
    const int accessFlags = (flags & ~(O_CREAT | O_EXCL)) | O_CLOEXEC;
    // Twice: a file that vanishes between the two opens is simply made on the second round.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int created = ::open(path.c_str(), accessFlags | O_CREAT | O_EXCL, kPrivateFileMode);
        if (created >= 0) {
            // The umask can only take bits away, but one that takes the user's own would leave
            // a file the program cannot write again.
            ::fchmod(created, kPrivateFileMode);
            return created;
        }
        if (errno != EEXIST) {
            return -1;
        }
        const int opened = ::open(path.c_str(), accessFlags);
        if (opened >= 0 || errno != ENOENT) {
            return opened;
        }
    }
    return -1;
}

bool PrivateFileCreate(const std::string& path)
{
    // A file already there is not opened: closing any descriptor of a file drops every lock this
    // process holds on it, and an SQLite connection kept open on a database relies on its locks
    // to keep the database's log (-wal, -shm) from being removed under it by another connection.
    struct stat info = {};
    if (::stat(path.c_str(), &info) == 0) {
        return true;
    }
    const int created = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
    if (created < 0) {
        return errno == EEXIST;
    }
    // The umask can only take bits away, but one that takes the user's own would leave a file
    // the program cannot write again.
    ::fchmod(created, kPrivateFileMode);
    ::close(created);
    return true;
}

void PrivateModeSet(const std::string& path)
{
    struct stat info = {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()) {
        ::chmod(path.c_str(), kPrivateFileMode);
    }
}

void PrivateFolderCreate(const std::string& path, std::error_code& error)
{
    error.clear();
    std::filesystem::path folder = std::filesystem::path(path).lexically_normal();
    if (!folder.has_filename()) {
        folder = folder.parent_path();
    }
    if (folder.empty() || std::filesystem::is_directory(folder, error)) {
        error.clear();
        return;
    }
    if (folder.has_parent_path() && folder.parent_path() != folder) {
        PrivateFolderCreate(folder.parent_path().string(), error);
        if (error) {
            return;
        }
    }
    if (::mkdir(folder.c_str(), kPrivateFolderMode) != 0) {
        if (errno == EEXIST && std::filesystem::is_directory(folder, error)) {
            error.clear();
            return;
        }
        error = std::error_code(errno, std::generic_category());
        return;
    }
    ::chmod(folder.c_str(), kPrivateFolderMode);
}

void PrivateModesTighten(const std::string& folder)
{
    struct stat info = {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return;
    }
    EntryTighten(folder, info, "data folder");
    DIR* directory = ::opendir(folder.c_str());
    if (!directory) {
        return;
    }
    const std::string prefix = TrailingCharEnsure(folder, '/');
    while (const dirent* entry = ::readdir(directory)) {
        const std::string path = prefix + entry->d_name;
        struct stat fileInfo = {};
        if (::lstat(path.c_str(), &fileInfo) == 0 && S_ISREG(fileInfo.st_mode)) {
            EntryTighten(path, fileInfo, "file");
        }
    }
    ::closedir(directory);
}
