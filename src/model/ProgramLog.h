#pragma once

#include <exception>
#include <string>

// Appends one line to the log file: the time stamp of the program clock, then `text`, then
// CR LF. The file is opened and closed for every line so the user can read or delete it at any
// time; a file it makes is the user's alone (mode 0600). Never raises: a line that cannot be
// written to the file goes to standard error instead.
void LogMessageWrite(const std::string& text);

// The entry text every handler writes for an error it caught:
// "ErrorClassName: " + class name + method text + message.
std::string ErrorEntryText(const std::string& className, const std::string& methodText, const std::string& message);
std::string ErrorEntryText(const std::exception& error, const std::string& methodText);

// Logs an error caught by the handler named by `methodText` (for instance
// "; TZaraveDezeZurirevuzor.Execute: ").
void LogError(const std::exception& error, const std::string& methodText);

// Where the log goes; by default the data locations' LogFileName. Tests point it elsewhere.
void LogFileNameSet(const std::string& fileName);
std::string LogFileNameGet();
