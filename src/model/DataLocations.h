#pragma once

#include <string>

// Where every file of the program lives. Computed once at start-up, read-only afterwards;
// every other unit takes its file names from here. Folders end with "/".
struct TDataLocations
{
    std::string ProgramFileName; // full path of the running executable
    std::string ProgramFolder;
    std::string ProgramBaseName; // file name without folder and extension
    std::string DataFolder; // the user's data folder + "Tallyhour/"
    std::string LogFileName;
    std::string IniFileName;
    std::string LockFileName;
    std::string FlagFileName;
    std::string SettingsDbFileName;
    std::string ActivityDbFileName;
};

// Computes the locations and creates DataFolder with its parents. `dataHome` stands for the
// user's data folder (XDG data home, else ~/.local/share) and `programFile` for the running
// executable (/proc/self/exe); empty means "ask the system". Raises EOSError with
// "Failed to get Application Data folder" when no data folder can be found or made. Nothing in
// the folder is changed here: that waits for the instance lock (InstanceLockAcquire).
const TDataLocations& DataLocationsCompute(const std::string& dataHome = {}, const std::string& programFile = {});

// The computed locations; computes them with the system's answers on first use.
const TDataLocations& DataLocations();
