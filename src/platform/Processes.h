#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Processes of the local machine.
class TProcesses
{
public:
    virtual ~TProcesses() = default;

    // The full path of the process's executable; for a program of a package that moves it with
    // every update (a snap, a Flatpak, an AppImage) the path that stays. On failure (a process that has ended, one of
    // another user, a protected one) returns false and puts the system's message for the
    // failure, for instance "No such process" or "Permission denied", in `errorText`; the
    // caller prefixes it. Never raises.
    virtual bool ProcessExeNameGet(int64_t processId, std::string& path, std::string& errorText) = 0;
    // The distinct executable paths of the current user's running programs, sorted ignoring
    // case; programs whose executable cannot be read are left out, and so is the system's own
    // machinery of the session (services, the shell's hosts, the session's daemons), which is
    // nothing a user would limit. Raises an Exception (EOSError)
    // only when the list of processes cannot be read at all.
    virtual std::vector<std::string> RunningProgramPathsGet() = 0;
};
