#pragma once

#include <string>
#include <string_view>
#include <vector>

// Small text helpers shared by every module. Case rules are ASCII-only on purpose: paths and
// addresses are compared the way the matching rule defines, not by locale.

char AsciiLower(char ch);
std::string AsciiLowerCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);

// Removes characters with codes up to 32 (blanks and control characters) from both ends.
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);

bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);
// The file name at the end of a path: what follows its last "/", or on Windows its last "/" or
// "\" (on POSIX a backslash is a character of a name). The whole text when it has none.
std::string_view PathFileName(std::string_view path);
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);
std::vector<std::string> SplitLines(std::string_view text);

// A text as an SQL literal: in single quotes, inner single quotes doubled; a NUL becomes
// '...'||char(0)||'...' so that the statement is not cut at it and the value keeps it.
std::string QuotedStr(std::string_view text);

// Control characters other than CR, LF and TAB written as "#<code>", for messages and log lines
// that a NUL or an escape sequence would otherwise cut or garble.
std::string ControlCharsVisible(std::string_view text);

// printf-style formatting into a std::string, for the program's message patterns. MinGW's C++
// library formats with its own C99 printf, whose checks are gnu_printf's, not Microsoft's.
#ifdef __MINGW32__
#define TH_PRINTF_FORMAT gnu_printf
#else
#define TH_PRINTF_FORMAT printf
#endif
std::string Format(const char* pattern, ...) __attribute__((format(TH_PRINTF_FORMAT, 1, 2)));
