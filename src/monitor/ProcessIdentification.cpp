#include "monitor/ProcessIdentification.h"

#include "model/ProgramLog.h"
#include "model/TextHelpers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

std::string ExeNameErrorText(const std::string& systemMessage)
{
    return "Error: " + systemMessage;
}

std::string ProcessExeNameText(TProcesses& processes, int64_t processId)
{
    if (processId <= 0) {
        return ExeNameErrorText(std::strerror(ESRCH));
    }
    std::string path;
    std::string errorText;
    try {
        if (processes.ProcessExeNameGet(processId, path, errorText)) {
            return path;
        }
    } catch (const std::exception& error) {
        // The interface promises not to raise; a backend that does still gets the sample's text.
        errorText = error.what();
    }
    return ExeNameErrorText(errorText);
}

std::string WindowExeNameGet(TWindowSystem& windowSystem, TProcesses& processes, TWindowHandle window)
{
    const int64_t processId = window == 0 ? 0 : windowSystem.WindowProcessIdGet(window);
    return ProcessExeNameText(processes, processId);
}

std::string ProgramDisplayNameGet(const std::string& exePath)
{
    std::string name(PathFileName(exePath));
    // A Flatpak app's launcher is named by the app's id, whose dots are no extension.
    const size_t exports = exePath.rfind("/exports/bin/");
    if (exports != std::string::npos && exports + 13 == exePath.size() - name.size()) {
        return name;
    }
    // A program inside a Flatpak app's files is named beside the app's id, as the bare file
    // name ("main", "run") often says little.
    const std::string_view files = "/current/active/files/";
    const size_t filesAt = exePath.find(files);
    const size_t appAt = filesAt == std::string::npos ? std::string::npos : exePath.rfind("/app/", filesAt);
    std::string appId;
    if (appAt != std::string::npos && appAt + 5 < filesAt) {
        appId = exePath.substr(appAt + 5, filesAt - appAt - 5);
    }
    const size_t dot = name.find_last_of('.');
    // A leading dot names a hidden file, not an extension.
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return appId.empty() || appId.find('/') != std::string::npos ? name : name + " (" + appId + ")";
}

void ProcessesExeNamesGet(TProcesses& processes, std::vector<std::string>& lines)
{
    lines.clear();
    try {
        std::vector<std::string> paths = processes.RunningProgramPathsGet();
        std::erase_if(paths, [](const std::string& path) { return path.empty(); });
        // Shown in an order that ignores case, but only the very same path is one program: on
        // this system /opt/App/app and /opt/app/app are two different files.
        std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
            const std::string lowerA = AsciiLowerCase(a);
            const std::string lowerB = AsciiLowerCase(b);
            return lowerA != lowerB ? lowerA < lowerB : a < b;
        });
        paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
        lines = paths;
        for (std::string& line : lines) {
            line += "=" + ProgramDisplayNameGet(line);
        }
    } catch (const std::exception& error) {
        LogError(error, "; ProcessesExeNamesGet: ");
    }
}
