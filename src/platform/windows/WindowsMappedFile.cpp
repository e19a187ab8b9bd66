#include "storage/MappedFile.h"

#include "platform/windows/WideText.h"

#include <windows.h>

TMappedFile::TMappedFile(const std::string& fileName)
{
    // Shared for reading and writing: the database may be open in SQLite at the same time.
    const HANDLE file = ::CreateFileW(WideFromUtf8(fileName).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    LARGE_INTEGER size = {};
    if (::GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        // The view keeps the mapping alive; neither handle is needed once it exists.
        const HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping) {
            const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
            if (view) {
                m_bytes = std::string_view(static_cast<const char*>(view), static_cast<std::size_t>(size.QuadPart));
            }
            ::CloseHandle(mapping);
        }
    }
    ::CloseHandle(file);
}

TMappedFile::~TMappedFile()
{
    if (!m_bytes.empty()) {
        ::UnmapViewOfFile(m_bytes.data());
    }
}
