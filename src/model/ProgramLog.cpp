#include "model/ProgramLog.h"

#include "model/DataLocations.h"
#include "model/Exceptions.h"
#include "model/PrivateFiles.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string& OverriddenLogFileName()
{
    static std::string name;
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
        const std::string fileName = LogFileNameGet();
        if (fileName.empty()) {
            return;
        }
        const std::string line = LogTimeStampText(ProgramNow()) + text + "\r\n";
        // Always append, never truncate: a volume that is slow to answer must not cost the
        // user the log written so far. One write() keeps each line whole.
        const int fd = PrivateFileOpen(fileName, O_WRONLY | O_APPEND);
        if (fd < 0) {
            return;
        }
        [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
        ::close(fd);
    } catch (...) {
        // The entry is lost; the caller goes on.
    }
}

std::string ErrorEntryText(const std::string& className, const std::string& methodText, const std::string& message)
{
    return "ErrorClassName: " + className + methodText + message;
}

std::string ErrorEntryText(const std::exception& error, const std::string& methodText)
{
    return ErrorEntryText(ExceptionClassName(error), methodText, error.what());
}

void LogError(const std::exception& error, const std::string& methodText)
{
    LogMessageWrite(ErrorEntryText(error, methodText));
}
