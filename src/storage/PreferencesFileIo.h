#pragma once

#include <cstdint>
#include <string>

// What the preferences file asks of the operating system (POSIX here, Windows in its backend).

// A file is parsed again when any of these changed since the last parse.
struct TFileStamp
{
    bool Exists = false;
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;
    bool operator==(const TFileStamp&) const = default;
};

TFileStamp FileStampGet(const std::string& fileName);

// The whole file, when it is a regular file that holds text. A NUL byte would end the parser's
// reading there and the next write would drop everything after it; a folder in the file's place
// makes the parser take its size as 8 EiB. Both count as unreadable (`reason` says why), so
// nothing is overwritten.
bool PreferencesTextRead(const std::string& fileName, std::string& text, std::string& reason);

// Writes `text` to a fresh private file beside `fileName`, flushes it to the disk and puts it in
// place of `fileName` in one step, so a crash leaves either the old file or the new one whole.
// False (and no temporary file left) when any step fails.
bool FileDurablyReplace(const std::string& fileName, const std::string& text);
