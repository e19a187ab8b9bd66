#include "model/ProgramLog.h"

#include "model/DataLocations.h"
#include "model/Exceptions.h"
#include "model/PrivateFiles.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A log that cannot be written (a read-only or full data folder) must not swallow the very
// lines that would explain why: they go to standard error, which the session's journal keeps.
void StandardErrorWrite(std::string line)
{
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
        line.erase(line.size() - 2, 1);
    }
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += size_t(n);
    }
}

std::string& OverriddenLogFileName()
{
    static auto& name = *new std::string; // never destroyed: exit destructors still write lines
    return name;
}

} // namespace

void LogFileNameSet(const std::string& fileName)
{
    OverriddenLogFileName() = fileName;
}

std::string LogFileNameGet()
{
    if (!OverriddenLogFileName().empty()) {
        return OverriddenLogFileName();
    }
    try {
        return DataLocations().LogFileName;
    } catch (...) {
        return {};
    }
}

void LogMessageWrite(const std::string& text)
{
    try {
        const std::string line = LogTimeStampText(ProgramNow()) + text + "\r\n";
        const std::string fileName = LogFileNameGet();
        // Always append, never truncate: a volume that is slow to answer must not cost the
        // user the log written so far. One write() keeps each line whole.
        const int fd = fileName.empty() ? -1 : PrivateFileOpen(fileName, O_WRONLY | O_APPEND);
        if (fd < 0) {
            StandardErrorWrite(line);
            return;
        }
        const ssize_t written = ::write(fd, line.data(), line.size());
        const bool closed = ::close(fd) == 0;
        if (written != ssize_t(line.size()) || !closed) {
            StandardErrorWrite(line);
        }
    } catch (...) {
        // The entry is lost; the caller goes on.
    }
}

std::string ErrorEntryText(const std::string& className, const std::string& methodText, const std::string& message)
{
    // A message may quote a stored text; a NUL or an escape in it must not cut or garble the line.
    return "ErrorClassName: " + className + methodText + ControlCharsVisible(message);
}

std::string ErrorEntryText(const std::exception& error, const std::string& methodText)
{
    return ErrorEntryText(ExceptionClassName(error), methodText, error.what());
}

void LogError(const std::exception& error, const std::string& methodText)
{
    LogMessageWrite(ErrorEntryText(error, methodText));
}
