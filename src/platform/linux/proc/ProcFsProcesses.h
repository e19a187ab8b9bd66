#pragma once

#include "platform/Processes.h"
#include "platform/linux/proc/PackagedPrograms.h"

#include <string>

// Processes read from the kernel's /proc file system. Holds nothing that a call changes, so the
// scan's thread and the windows' (the add wizard's list of running programs) may call at once.
class TProcFsProcesses final : public TProcesses
{
public:
    // `procRoot` is "/proc" and `packageFolders` the system's but for tests.
    explicit TProcFsProcesses(std::string procRoot = "/proc", TPackageFolders packageFolders = PackageFoldersGet());

    // The path a user lists for a process: the executable, or for a snap, a Flatpak or an
    // AppImage the path that stays across the package's updates (see TPackagedPrograms).
    bool ProcessExeNameGet(int64_t processId, std::string& path, std::string& errorText) override;
    std::vector<std::string> RunningProgramPathsGet() override;

    // The real user id that owns the process, or -1 when it cannot be read.
    int64_t ProcessOwnerGet(int64_t processId);

private:
    std::string m_procRoot;
    TPackagedPrograms m_packages;
};
