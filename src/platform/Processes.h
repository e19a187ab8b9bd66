#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Processes of the local machine.
class TProcesses
{
public:
    virtual ~TProcesses() = default;

    // The full path of the process's executable. On failure returns false and puts the system's
    // message (for instance "No such process") in `errorText`.
    virtual bool ProcessExeNameGet(int64_t processId, std::string& path, std::string& errorText) = 0;
    // The distinct executable paths of the current user's running programs, sorted ignoring
    // case; programs whose executable cannot be read are left out.
    virtual std::vector<std::string> RunningProgramPathsGet() = 0;
};
