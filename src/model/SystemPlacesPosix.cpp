#include "model/SystemPlaces.h"

#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

std::string UserDataHome()
{
    // XDG says a relative XDG_DATA_HOME is invalid and must be ignored.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') {
        return std::string(home) + "/.local/share";
    }
    return {};
}

std::string RunningExecutable()
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

char TimeSeparator()
{
    return ':';
}
