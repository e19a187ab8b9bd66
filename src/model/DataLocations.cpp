#include "model/DataLocations.h"

#include "model/Exceptions.h"
#include "model/PrivateFiles.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

std::unique_ptr<TDataLocations> g_locations;

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

} // namespace

const TDataLocations& DataLocationsCompute(const std::string& dataHome, const std::string& programFile)
{
    auto locations = std::make_unique<TDataLocations>();
    const std::filesystem::path exe = programFile.empty() ? RunningExecutable() : programFile;
    locations->ProgramFileName = exe.string();
    locations->ProgramFolder = TrailingCharEnsure(exe.parent_path().string(), '/');
    locations->ProgramBaseName = exe.stem().string();

    const std::string home = dataHome.empty() ? UserDataHome() : dataHome;
    if (home.empty()) {
        throw EOSError("Failed to get Application Data folder");
    }
    locations->DataFolder = TrailingCharEnsure(home, '/') + "Tallyhour/";
    std::error_code error;
    PrivateFolderCreate(locations->DataFolder, error);
    if (error) {
        throw EOSError("Failed to get Application Data folder");
    }
    const std::string exeName = exe.stem().string().empty() ? std::string("tallyhour") : exe.stem().string();
    locations->LogFileName = locations->DataFolder + exeName + ".log";
    locations->IniFileName = locations->DataFolder + exeName + ".ini";
    locations->LockFileName = locations->DataFolder + "Tallyhour.lock";
    locations->FlagFileName = locations->DataFolder + "Tallyhour.flag";
    locations->SettingsDbFileName = locations->DataFolder + "settings.sqlite";
    locations->ActivityDbFileName = locations->DataFolder + "actmondb.sqlite";
    g_locations = std::move(locations);
    return *g_locations;
}

const TDataLocations& DataLocations()
{
    if (!g_locations) {
        DataLocationsCompute();
    }
    return *g_locations;
}
