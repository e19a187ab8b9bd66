#include "storage/InstanceLock.h"

#include "model/Exceptions.h"
#include "model/PrivateFiles.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

int g_instanceLock = -1;
std::string g_instanceLockName;

bool SameFile(int handle, const std::string& path)
{
    struct stat opened = {};
    struct stat named = {};
    return ::fstat(handle, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev
        && opened.st_ino == named.st_ino;
}

} // namespace

bool ExclusiveFileOpen(const std::string& path, bool create, int& handle)
{
    handle = -1;
    // A copy that is ending deletes the file while it still holds the lock; whoever locked the
    // deleted file looks again, so two copies can never each hold a lock on a different file.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (create && !FileExistsOnVolume(path)) {
            const int created = PrivateFileOpen(path, O_WRONLY | O_TRUNC);
            if (created < 0) {
                throw EOSError(Format("Unable to create \"%s\" file\r\nError: %s", path.c_str(), std::strerror(errno)));
            }
            ::close(created);
        }
        // Non-blocking: a lock path that is a pipe must not hang the start.
        const int opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (opened < 0) {
            if (errno == ENOENT && create) {
                continue; // deleted by a copy that was ending: make it again
            }
            // Another copy never makes the open fail; a folder or file the user may not read
            // does, and saying "already running" then would send the user looking for a copy
            // that does not exist.
            throw EOSError(Format("Unable to create \"%s\" file\r\nError: %s", path.c_str(), std::strerror(errno)));
        }
        if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(opened);
            if (error == EWOULDBLOCK || error == EINTR) {
                return false;
            }
            throw EOSError(Format("Unable to create \"%s\" file\r\nError: %s", path.c_str(), std::strerror(error)));
        }
        if (SameFile(opened, path)) {
            handle = opened;
            return true;
        }
        ::close(opened);
    }
    return false;
}

bool InstanceLockAcquire(const std::string& lockFileName)
{
    std::error_code error;
    PrivateFolderCreate(std::filesystem::path(lockFileName).parent_path().string(), error);
    int handle = -1;
    if (!ExclusiveFileOpen(lockFileName, true, handle)) {
        return false;
    }
    g_instanceLock = handle;
    g_instanceLockName = lockFileName;
    // Only the copy that holds the lock changes the folder: a folder made by an earlier version,
    // or under a looser umask, is made private once, before anything is written to it (the log
    // lines go into the folder's own log). A second copy leaves the first one's files alone.
    PrivateModesTighten(TrailingCharEnsure(std::filesystem::path(lockFileName).parent_path().string(), '/'));
    return true;
}

void InstanceLockRelease()
{
    if (g_instanceLock < 0) {
        return;
    }
    // Only our own file: should the name belong to another file by now, it is not ours to delete.
    if (SameFile(g_instanceLock, g_instanceLockName)) {
        ::unlink(g_instanceLockName.c_str());
    }
    ::close(g_instanceLock);
    g_instanceLock = -1;
}

bool InstanceLockHeld()
{
    return g_instanceLock >= 0;
}
