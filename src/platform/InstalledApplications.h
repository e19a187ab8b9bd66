#pragma once

#include "platform/Processes.h"

#include <string>
#include <vector>

// An application the desktop's menus offer.
struct TMenuApplication
{
    std::string Name; // the name the menu shows, in the user's language
    std::string ExePath; // the program as a running process names it (see ExecutableResolve)
};

// What a folder listing says about one entry.
enum class TFolderEntryKind
{
    Folder, // a real folder (not a link to one)
    FolderLink, // a symbolic link to a folder; never entered, since links can loop
    Executable, // a program: a regular file with an execute bit that is a loadable executable
                // (not a shared library) or a script with "#!"; links to such files count too
    Other,
};

struct TFolderEntry
{
    std::string Name;
    TFolderEntryKind Kind = TFolderEntryKind::Other;
};

// Where the desktop keeps its installed applications: the menus' entries for the fast scan and
// the folders and files the complete scan walks. Answers for what is missing or unreadable with
// an empty value; never raises.
class TInstalledApplications
{
public:
    virtual ~TInstalledApplications() = default;

    // The applications of the menus of all users and of the current user, sorted by the entry's
    // id; the current user's entry replaces a system one of the same id. Entries that are hidden,
    // not shown in menus, not applications, or whose program is missing are left out.
    virtual std::vector<TMenuApplication> MenuApplicationsGet() = 0;
    // The folders in which software is installed apart from the system's own folders.
    virtual std::vector<std::string> ApplicationFoldersGet() = 0;
    // The system's own program folders, which the complete scan leaves out. End with "/".
    virtual std::vector<std::string> SystemFoldersGet() = 0;
    virtual bool FolderExists(const std::string& folder) = 0;
    // The entries of a folder, without "." and "..", in no particular order; empty when the
    // folder cannot be read.
    virtual std::vector<TFolderEntry> FolderEntriesGet(const std::string& folder) = 0;
    // The path a running process of `program` shows as its executable: a bare name is looked up
    // on PATH, links are followed to the real file, and a launcher script gives the program it
    // starts when that can be read from the script. Empty when no such program exists.
    virtual std::string ExecutableResolve(const std::string& program) = 0;
    // The program a user typed, as ExecutableResolve names it: a path, written with either
    // slash, is that file; a bare file name is looked up where the system itself looks for a
    // program of that name, and last among the programs `processes` lists as running (none: not
    // there). Empty when nothing is found, for the matching rule compares whole paths and an
    // entry that names no file could never be charged.
    virtual std::string TypedProgramResolve(const std::string& typed, TProcesses* processes) = 0;
};
