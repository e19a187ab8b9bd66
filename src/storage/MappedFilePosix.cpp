#include "storage/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

TMappedFile::TMappedFile(const std::string& fileName)
{
    const int handle = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info = {};
    if (handle >= 0 && ::fstat(handle, &info) == 0 && info.st_size > 0) {
        void* mapped = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, handle, 0);
        if (mapped != MAP_FAILED) {
            m_bytes = std::string_view(static_cast<const char*>(mapped), size_t(info.st_size));
        }
    }
    if (handle >= 0) {
        ::close(handle);
    }
}

TMappedFile::~TMappedFile()
{
    if (!m_bytes.empty()) {
        ::munmap(const_cast<char*>(m_bytes.data()), m_bytes.size());
    }
}
