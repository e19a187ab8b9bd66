#include "enforce/UninstallFlag.h"

#include <filesystem>

std::string UninstallFlagFileName(const std::string& programFolder)
{
    if (programFolder.empty()) {
        return {};
    }
    return (std::filesystem::path(programFolder) / "uninstall.flag").string();
}

bool UninstallFlagExists(const std::string& programFolder)
{
    const std::string fileName = UninstallFlagFileName(programFolder);
    std::error_code error;
    return !fileName.empty() && std::filesystem::exists(fileName, error);
}
