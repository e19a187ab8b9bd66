#pragma once

#include <string>

// The file whose appearance in the program's folder ends the program (the uninstaller makes it).
std::string UninstallFlagFileName(const std::string& programFolder);
// Whether the flag file is there; an unreadable or missing folder only means it is not.
bool UninstallFlagExists(const std::string& programFolder);

// How often the program looks for the flag file, in milliseconds (tmrShutdown).
inline constexpr int kUninstallFlagIntervalMs = 900;
