#pragma once

#include <string>
#include <string_view>

// Windows speaks UTF-16; the program's strings are UTF-8. Invalid sequences become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The system's own message for a GetLastError() code.
std::string SystemErrorText(unsigned long code);
