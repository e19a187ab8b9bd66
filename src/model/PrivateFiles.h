#pragma once

#include <string>
#include <system_error>

// The data folder holds the user's history (every listed site and program with its times of
// use) and the administrator password's digest, so what the program makes there is for the user
// alone: folders 0700, files 0600, whatever the umask says.

// Opens `path` with `flags` (O_WRONLY, O_APPEND, O_TRUNC...), creating it when missing; a file
// this call creates has mode 0600. Returns the descriptor (close-on-exec), or -1 with errno set.
int PrivateFileOpen(const std::string& path, int flags);

// Creates `path` empty, mode 0600, when nothing is there yet; true when the file exists after.
bool PrivateFileCreate(const std::string& path);

// Gives a file the program has just put in place by other means (a copy, a file kept aside)
// mode 0600. Does nothing to a file of another user.
void PrivateModeSet(const std::string& path);

// Creates the folder `path` with every missing parent; each folder made here gets mode 0700.
// Folders that exist already are not touched.
void PrivateFolderCreate(const std::string& path, std::error_code& error);

// Takes the group's and others' permissions off the folder and off each file directly in it,
// logging one line per change. A folder or file of another user is left as it is and logged.
void PrivateModesTighten(const std::string& folder);
