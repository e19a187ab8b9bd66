#pragma once

#include <string>

// What the model asks the operating system about the user and the program (POSIX here, Windows
// in its backend); TimeSeparator (ZaraveDezeZurirevuzorDefs.h) is answered beside them.

// The user's data folder, without "Tallyhour": XDG data home, else ~/.local/share; on Windows
// the roaming application data. Empty when there is none.
std::string UserDataHome();

// The full path of the running executable; empty when it cannot be read.
std::string RunningExecutable();
