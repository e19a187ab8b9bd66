// The data folder lies in the user's own profile (Roaming application data), whose access list
// already keeps other users out, so files and folders take the folder's inherited rights: no
// mode bits to set or tighten.
#include "model/PrivateFiles.h"

#include "platform/windows/WideText.h"

#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <sys/stat.h>

int PrivateFileOpen(const std::string& path, int flags)
{
    // Binary, so the log and the lock files are written as given; not inherited by children.
    return ::_wopen(WideFromUtf8(path).c_str(), flags | O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool PrivateFileCreate(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path name(WideFromUtf8(path));
    if (std::filesystem::exists(name, error)) {
        return std::filesystem::is_regular_file(name, error);
    }
    const int created = PrivateFileOpen(path, O_RDONLY);
    if (created < 0) {
        return false;
    }
    ::_close(created);
    return true;
}

void PrivateModeSet(const std::string&)
{
}

void PrivateFolderCreate(const std::string& path, std::error_code& error)
{
    error.clear();
    std::filesystem::create_directories(std::filesystem::path(WideFromUtf8(path)), error);
}

void PrivateModesTighten(const std::string&)
{
}
