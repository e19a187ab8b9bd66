#pragma once

#include "model/DataLocations.h"

#include <string>

// Creates `path` (empty) when `create` is set and it does not exist, then opens it and takes an
// exclusive advisory lock without waiting. Returns whether the lock was taken; `handle` is the
// open descriptor then, else -1. A lock file left by a crashed run does not block: the lock
// died with its process. Raises EOSError "Unable to create \"<path>\" file\r\nError: <reason>"
// when the file cannot be created, opened or locked for any reason but another holder.
bool ExclusiveFileOpen(const std::string& path, bool create, int& handle);

// The single-instance lock on the data locations' LockFileName, held for the whole run.
// Acquire creates the lock file's folder when missing; false means another copy holds it. The
// copy that takes the lock then makes the folder and its files the user's alone (logged).
bool InstanceLockAcquire(const std::string& lockFileName);
// Deletes the lock file, then closes the descriptor (in that order, so a copy starting at that
// moment either sees the lock held or makes a fresh file).
void InstanceLockRelease();
bool InstanceLockHeld();

// On the first start after installation copies settings.sqlite and actmondb.sqlite from the
// program's folder into the data folder: only when the data folder has no settings.sqlite and
// the program's folder has one; an activity database is never copied on its own. The copies'
// results are not checked (a missing database gets its tables when first used). Raises EOSError
// when the data folder cannot be created.
void DatabaseFilesInstall(const TDataLocations& locations);
