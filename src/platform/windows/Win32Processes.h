#pragma once

#include "platform/Processes.h"

// Processes of Windows: the image path from QueryFullProcessImageNameW (limited query rights,
// which suffice for other users' and elevated processes), the running programs from a Toolhelp
// snapshot of the processes of this session.
class TWin32Processes final : public TProcesses
{
public:
    bool ProcessExeNameGet(int64_t processId, std::string& path, std::string& errorText) override;
    std::vector<std::string> RunningProgramPathsGet() override;
};

// Whether the program at `path` is the system's own machinery of a session (a service, the shell
// or one of its hosts), which RunningProgramPathsGet leaves out.
bool SystemProcessPathIs(const std::string& path);
