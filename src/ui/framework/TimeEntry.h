#pragma once

#include "model/ProgramClock.h"

#include <string>

// Reads a time of day written "h:n" or "h:n:s" with the time separator, blanks allowed around
// the numbers. Raises EConvertError "'<text>' is not a valid time" for anything else, including
// hours above 23 and minutes or seconds above 59.
TDateTime TextToTime(const std::string& text);

// The message the time-limit entry check shows for `text`, or empty when the entry passes:
// the conversion error's own message, "Limit can't be empty" for 00:00, or "Limit can't be
// greater than 23:59" past that.
std::string TimeEntryMessage(const std::string& text);
