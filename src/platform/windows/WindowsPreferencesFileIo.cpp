#include "storage/PreferencesFileIo.h"

#include "platform/windows/WideText.h"

#include <windows.h>

#include <system_error>

TFileStamp FileStampGet(const std::string& fileName)
{
    TFileStamp stamp;
    const HANDLE file = ::CreateFileW(WideFromUtf8(fileName).c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
        nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return stamp;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (::GetFileInformationByHandle(file, &info)) {
        // The volume and the file index play the device's and the inode's part: a file put in
        // the name's place by a rename differs in them.
        stamp.Exists = true;
        stamp.Device = info.dwVolumeSerialNumber;
        stamp.Inode = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        stamp.Size = int64_t((uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
        const uint64_t ticks
            = (uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
        stamp.ModifiedNs = int64_t(ticks) * 100;
    }
    ::CloseHandle(file);
    return stamp;
}

bool PreferencesTextRead(const std::string& fileName, std::string& text, std::string& reason)
{
    const HANDLE file = ::CreateFileW(WideFromUtf8(fileName).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
        nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ::CloseHandle(file);
        reason = "it is not a file";
        return false;
    }
    text.clear();
    char buffer[8192];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
            reason = SystemErrorText(::GetLastError());
            ::CloseHandle(file);
            return false;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, n);
    }
    ::CloseHandle(file);
    if (const size_t nul = text.find('\0'); nul != std::string::npos) {
        reason = "it holds a NUL byte at offset " + std::to_string(nul);
        return false;
    }
    return true;
}

bool FileDurablyReplace(const std::string& fileName, const std::string& text)
{
    const std::wstring target = WideFromUtf8(fileName);
    const std::wstring tempName = target + L".tmp";
    const HANDLE file
        = ::CreateFileW(tempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok = ::WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
    ok = ok && ::FlushFileBuffers(file);
    ok = ::CloseHandle(file) && ok;
    // Unlike POSIX rename, Windows replaces an existing file only when asked to.
    ok = ok && ::MoveFileExW(tempName.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        ::DeleteFileW(tempName.c_str());
    }
    return ok;
}
