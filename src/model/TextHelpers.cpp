#include "model/TextHelpers.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>

char AsciiLower(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

std::string AsciiLowerCase(std::string_view text)
{
    std::string result(text);
    for (char& ch : result) {
        ch = AsciiLower(ch);
    }
    return result;
}

std::string AsciiUpperCase(std::string_view text)
{
    std::string result(text);
    for (char& ch : result) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - 'a' + 'A');
        }
    }
    return result;
}

bool SameTextAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view TrimView(std::string_view text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32) {
        ++first;
    }
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) {
        --last;
    }
    return text.substr(first, last - first);
}

std::string Trim(std::string_view text)
{
    return std::string(TrimView(text));
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to)
{
    if (from.empty()) {
        return text;
    }
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.emplace_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
    return lines;
}

std::string QuotedStr(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + 2);
    result += '\'';
    for (char ch : text) {
        if (ch == '\'') {
            result += '\'';
        } else if (ch == '\0') {
            // SQLite reads a statement only up to its first NUL, so a NUL inside a literal would
            // cut the statement there; it is spliced in as a value instead.
            result += "'||char(0)||'";
            continue;
        }
        result += ch;
    }
    result += '\'';
    return result;
}

std::string Format(const char* pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, pattern, copy);
    va_end(copy);
    std::string result(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) {
        std::vsnprintf(result.data(), result.size() + 1, pattern, args);
    }
    va_end(args);
    return result;
}

std::string ControlCharsVisible(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (char ch : text) {
        const auto code = static_cast<unsigned char>(ch);
        if (code < 32 && ch != '\r' && ch != '\n' && ch != '\t') {
            result += "#" + std::to_string(code);
        } else {
            result += ch;
        }
    }
    return result;
}

std::string_view PathFileName(std::string_view path)
{
    const char separators[] = { '/', static_cast<char>(std::filesystem::path::preferred_separator), '\0' };
    const size_t slash = path.find_last_of(separators);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}
