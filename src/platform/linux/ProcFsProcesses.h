#pragma once

#include "platform/Processes.h"

#include <string>

// Processes read from the kernel's /proc file system.
class TProcFsProcesses final : public TProcesses
{
public:
    // `procRoot` is "/proc" but for tests.
    explicit TProcFsProcesses(std::string procRoot = "/proc");

    bool ProcessExeNameGet(int64_t processId, std::string& path, std::string& errorText) override;
    std::vector<std::string> RunningProgramPathsGet() override;

    // The real user id that owns the process, or -1 when it cannot be read.
    int64_t ProcessOwnerGet(int64_t processId);

private:
    std::string m_procRoot;
};
