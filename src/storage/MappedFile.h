#pragma once

#include <string>
#include <string_view>

// A file's bytes mapped read-only for as long as the object lives; empty when the file is
// missing, empty or cannot be mapped.
class TMappedFile
{
public:
    explicit TMappedFile(const std::string& fileName);
    ~TMappedFile();
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;

    std::string_view Bytes() const
    {
        return m_bytes;
    }

private:
    std::string_view m_bytes;
};
