#include "model/SystemPlaces.h"

#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "platform/windows/WideText.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

std::string UserDataHome()
{
    PWSTR folder = nullptr;
    std::string result;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &folder))) {
        result = Utf8FromWide(folder);
    }
    ::CoTaskMemFree(folder);
    return result;
}

std::string RunningExecutable()
{
    // Paths may be longer than MAX_PATH; the call says so by filling the buffer to its end.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return Utf8FromWide(path);
        }
        path.resize(path.size() * 2);
    }
}

char TimeSeparator()
{
    // The user's regional settings; a separator that is not one ASCII character (rare, but the
    // setting is free text) falls back to ":", which every reader of the program's texts knows.
    wchar_t separator[8] = {};
    if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIME, separator, 8) == 2 && separator[0] > 0x20
        && separator[0] < 0x7F) {
        return static_cast<char>(separator[0]);
    }
    return ':';
}
