// The single-instance lock: the lock file opened with share mode 0, so no other process can open
// it while this one runs; the handle dies with the process, so a crash leaves no lock behind.
#include "storage/InstanceLock.h"

#include "model/Exceptions.h"
#include "model/PrivateFiles.h"
#include "model/TextHelpers.h"
#include "platform/windows/WideText.h"

#include <windows.h>

#include <filesystem>
#include <io.h>
#include <system_error>

namespace {

HANDLE g_instanceLock = INVALID_HANDLE_VALUE;

// Share mode 0: while the handle is open, nobody else can open the file; ERROR_SHARING_VIOLATION
// therefore means another holder, anything else a real fault.
HANDLE LockedFileOpen(const std::string& path, DWORD disposition, DWORD flags, bool& held)
{
    held = false;
    const HANDLE opened = ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
        disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (opened != INVALID_HANDLE_VALUE) {
        return opened;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        held = true;
        return opened;
    }
    // A folder or file the user may not open is no other copy: saying "already running" would
    // send the user looking for one that does not exist.
    throw EOSError(Format("Unable to create \"%s\" file\r\nError: %s", path.c_str(), SystemErrorText(error).c_str()));
}

} // namespace

bool ExclusiveFileOpen(const std::string& path, bool create, int& handle)
{
    handle = -1;
    bool held = false;
    const HANDLE opened = LockedFileOpen(path, create ? OPEN_ALWAYS : OPEN_EXISTING, 0, held);
    if (opened == INVALID_HANDLE_VALUE) {
        return false;
    }
    handle = ::_open_osfhandle(reinterpret_cast<intptr_t>(opened), 0);
    if (handle < 0) {
        ::CloseHandle(opened);
        throw EOSError(Format("Unable to create \"%s\" file\r\nError: no descriptor for it", path.c_str()));
    }
    return true;
}

bool InstanceLockAcquire(const std::string& lockFileName)
{
    std::error_code error;
    PrivateFolderCreate(Utf8FromWide(std::filesystem::path(WideFromUtf8(lockFileName)).parent_path().wstring()), error);
    // Deleted with the last handle: a copy that ends leaves no file, and never deletes another's.
    bool held = false;
    const HANDLE opened = LockedFileOpen(lockFileName, OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, held);
    if (opened == INVALID_HANDLE_VALUE) {
        return false;
    }
    g_instanceLock = opened;
    return true;
}

void InstanceLockRelease()
{
    if (g_instanceLock == INVALID_HANDLE_VALUE) {
        return;
    }
    ::CloseHandle(g_instanceLock);
    g_instanceLock = INVALID_HANDLE_VALUE;
}

bool InstanceLockHeld()
{
    return g_instanceLock != INVALID_HANDLE_VALUE;
}
