#include "storage/InstanceLock.h"

#include "model/Exceptions.h"
#include "model/PrivateFiles.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/UserNotices.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/DatabaseSchema.h"

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

void DatabaseFilesInstall(const TDataLocations& locations)
{
    const std::string settingsTarget = locations.DataFolder + "settings.sqlite";
    const std::string settingsSource = locations.ProgramFolder + "settings.sqlite";
    // Only a settings database known to be absent is replaced: a volume that is slow to answer
    // must not cost the user the settings it holds.
    const TPathState settingsState = FileStateOnVolume(settingsTarget);
    if (settingsState != TPathState::Absent || !FileExistsOnVolume(settingsSource)) {
        if (settingsState == TPathState::Unknown && FolderExistsOnVolume(settingsTarget)) {
            const std::string text = "The settings database \"" + settingsTarget
                + "\" is a folder, not a file: no settings can be read or kept until it is moved away";
            LogMessageWrite(text + "; the installation's copy is not put in its place");
            UserNoticePost(text + ".");
        } else if (settingsState == TPathState::Unknown) {
            LogMessageWrite("The settings database \"" + settingsTarget
                + "\" did not answer in time; the installation's copy is not put in its place");
        }
        return;
    }
    std::error_code error;
    PrivateFolderCreate(locations.DataFolder, error);
    if (error) {
        throw EOSError(error.message());
    }
    const auto overwrite = std::filesystem::copy_options::overwrite_existing;
    std::filesystem::copy_file(settingsSource, settingsTarget, overwrite, error);
    PrivateModeSet(settingsTarget); // a copy takes the template's mode, which others may read
    // The installation's activity database replaces the one there, as it always has; the old
    // one keeps the user's history, so it is moved aside under a dated name rather than lost.
    // Without an installation copy there is nothing to replace it with, and it stays.
    const std::string activitySource = locations.ProgramFolder + "actmondb.sqlite";
    const std::string activityTarget = locations.DataFolder + "actmondb.sqlite";
    if (!FileExistsOnVolume(activitySource)) {
        return;
    }
    if (FileStateOnVolume(activityTarget) != TPathState::Absent) {
        const std::string kept = FileAsideNameMake(activityTarget, "replaced");
        std::filesystem::rename(activityTarget, kept, error);
        if (error) {
            LogMessageWrite("The activity database \"" + activityTarget + "\" could not be moved aside ("
                + error.message() + "); it is kept in place of the installation's copy");
            return;
        }
        // Its log and journal go with it: left behind, SQLite would lay them over the new copy,
        // and the moved file would lack the commits they hold.
        for (const char* suffix : { "-wal", "-shm", "-journal" }) {
            std::error_code ignored;
            if (std::filesystem::exists(activityTarget + suffix, ignored)) {
                std::filesystem::rename(activityTarget + suffix, kept + suffix, ignored);
            }
        }
        LogMessageWrite("The activity database \"" + activityTarget + "\" was moved to \"" + kept
            + "\" before the installation's copy took its place");
    }
    std::filesystem::copy_file(activitySource, activityTarget, overwrite, error);
    PrivateModeSet(activityTarget);
}
