#pragma once

#include "platform/Processes.h"
#include "platform/WindowSystem.h"

#include <cstdint>
#include <string>
#include <vector>

// The text a sample holds when its window's process cannot be read: "Error: " and the system's
// message. It matches no listed application, since listed names are paths.
std::string ExeNameErrorText(const std::string& systemMessage);

// The full path of the executable of process `processId`, or the error text above. A process id
// of 0 or below (no window, or a window whose owner is unknown) gives the system's "no such
// process" message. Never raises.
std::string ProcessExeNameText(TProcesses& processes, int64_t processId);

// The full path of the executable that owns `window`, or the error text above. Never raises for
// a closed window or a foreign process.
std::string WindowExeNameGet(TWindowSystem& windowSystem, TProcesses& processes, TWindowHandle window);

// The display name of a program for the add wizard: the file name without its extension; for a
// Flatpak app's program the app's id follows in parentheses, and its launcher is the id.
std::string ProgramDisplayNameGet(const std::string& exePath);

// Fills `lines` with one "path=display name" line per distinct executable the current user runs,
// sorted by path ignoring case, a path that differs only in case given once. On an error the
// walk ends with a log line and `lines` keeps what it had reached.
void ProcessesExeNamesGet(TProcesses& processes, std::vector<std::string>& lines);
