#pragma once

#include "model/ProgramClock.h"

#include <cstdint>
#include <string>
#include <string_view>

// Date-time arithmetic and the stored text forms. The database texts are zero-padded with a
// four-digit year, so they compare in time order as plain texts; the SQL relies on that.

struct TDateParts
{
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int MilliSecond = 0;
};

constexpr double kSecondsPerDay = 86400.0;
constexpr TDateTime kOneSecond = 1.0 / kSecondsPerDay;

bool TryEncodeDate(int year, int month, int day, TDateTime& result);
// Raises EConvertError for a combination that is no valid date or time.
TDateTime EncodeDateTime(
    int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int milliSecond = 0);
TDateParts DecodeDateTime(TDateTime value);

// The time separator of what the user reads: on Linux, which has no setting for it, ":"; on Windows
// the regional settings' one. Stored texts never use it.
char TimeSeparator();

std::string DateTimeToDbText(TDateTime value); // "yyy-mm-dd hh:nn:ss", with ":" in every region
std::string DateToDbText(TDateTime value); // "yyy-mm-dd"
std::string LogTimeStampText(TDateTime value); // "yyy-mm-dd hh:nn:ss.zzz " (trailing blank)
// "hh:nn" of seconds / 86400, with as many hour digits as 24 hours or more need ("30:00").
std::string DurationText(int64_t seconds);
std::string DurationText(TDateTime dayFraction);

// The inverse of DateToDbText. Not exactly three parts: assertion failure; no valid date or a
// part that is no integer: EConvertError.
TDateTime DbTextToDate(const std::string& text);

// The number format a stored value is written and read with. The program's own copy has ","
// as decimal separator whatever the user's regional settings say, so values stored by one
// locale read back under another.
struct TFormatSettings
{
    char DecimalSeparator = '.';
    char TimeSeparator = ':';
};
const TFormatSettings& ProgramFormatSettings();

// Shortest general form with at most 15 significant digits ("40654,5", "1E-5").
std::string FloatToText(double value, const TFormatSettings& settings);
// False (and `value` untouched) for a text that is not a finite number in that format.
bool TextToFloat(std::string_view text, double& value, const TFormatSettings& settings);

// The same with ProgramFormatSettings().
std::string FloatToProgramText(double value);
bool ProgramTextToFloat(std::string_view text, double& value);

// False for a path that is empty, absent, or on a file system that does not answer within a
// second; never blocks longer and never prompts.
bool FileExistsOnVolume(const std::string& path);
bool FolderExistsOnVolume(const std::string& path);

// The same look with its three answers: Absent only when the volume said there is no such
// entry; Unknown when it did not answer in time, refused to, or holds a folder in the file's
// place, so that nothing is overwritten on a guess.
enum class TPathState
{
    Absent,
    Present,
    Unknown,
};
TPathState FileStateOnVolume(const std::string& path);
// Tests: makes every later look wait this long first, as a slow volume does.
void PathProbeDelaySet(int milliseconds);

std::string TrailingCharEnsure(const std::string& text, char ch);
std::string IfThenText(bool flag, const std::string& whenTrue, const std::string& whenFalse);

// Round half to even (banker's rounding), as the program's Round does.
int64_t RoundHalfEven(double value);
