// The list's order on Windows: the user's own collation through the system's sort keys, on the
// text lower-cased by the same locale's linguistic rules.
#include "model/MonitoredObjects.h"

#include "platform/windows/WideText.h"

#include <windows.h>

std::wstring MonitoredKeySortKey(std::string_view key)
{
    const std::wstring text = WideFromUtf8(key);
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    std::wstring lower(text.size(), L'\0');
    if (::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING, text.c_str(), length,
            lower.data(), length, nullptr, nullptr, 0)
        != length) {
        lower = text;
    }
    // A sort key is a byte string compared byte by byte; one byte per character keeps that order.
    const int size = ::LCMapStringEx(
        LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY, lower.c_str(), length, nullptr, 0, nullptr, nullptr, 0);
    if (size <= 0) {
        return lower;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY, lower.c_str(), length,
        reinterpret_cast<LPWSTR>(bytes.data()), size, nullptr, nullptr, 0);
    std::wstring result;
    result.reserve(bytes.size());
    for (const char byte : bytes) {
        if (byte == '\0') {
            break; // the key's terminator
        }
        result.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
    }
    // Texts that collate alike still differ in order by their code units, as on Linux.
    result.push_back(L'\0');
    result += lower;
    return result;
}
