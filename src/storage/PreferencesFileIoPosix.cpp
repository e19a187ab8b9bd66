#include "storage/PreferencesFileIo.h"

#include "model/PrivateFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileStamp FileStampGet(const std::string& fileName)
{
    TFileStamp stamp;
    struct stat info = {};
    if (::stat(fileName.c_str(), &info) == 0) {
        stamp.Exists = true;
        stamp.Device = info.st_dev;
        stamp.Inode = info.st_ino;
        stamp.Size = info.st_size;
        stamp.ModifiedNs = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    }
    return stamp;
}

bool PreferencesTextRead(const std::string& fileName, std::string& text, std::string& reason)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        reason = "it is not a file";
        return false;
    }
    text.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            reason = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, size_t(n));
    }
    ::close(fd);
    if (const size_t nul = text.find('\0'); nul != std::string::npos) {
        reason = "it holds a NUL byte at offset " + std::to_string(nul);
        return false;
    }
    return true;
}

bool FileDurablyReplace(const std::string& fileName, const std::string& text)
{
    const std::string tempName = fileName + ".tmp";
    // Made afresh, so the file that replaces the preferences is private whatever a temporary
    // file left by a crash allowed.
    ::unlink(tempName.c_str());
    const int fd = PrivateFileOpen(tempName, O_WRONLY | O_TRUNC);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        done += size_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tempName.c_str(), fileName.c_str()) == 0;
    if (!ok) {
        ::unlink(tempName.c_str());
    }
    return ok;
}
