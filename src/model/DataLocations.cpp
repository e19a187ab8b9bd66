#include "model/DataLocations.h"

#include "model/Exceptions.h"
#include "model/PrivateFiles.h"
#include "model/SystemPlaces.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

std::unique_ptr<TDataLocations> g_locations;

// The system's own separator throughout, so a path the log or a message shows reads as one path
// ("C:\\Users\\ë\\AppData\\Roaming\\Tallyhour\\settings.sqlite"), not half of each. Plain text work:
// a std::filesystem::path would take the UTF-8 text through the ANSI code page on Windows.
constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

std::string NativeSeparators(std::string path)
{
    std::replace(path.begin(), path.end(), '/', kSeparator);
    return path;
}

} // namespace

const TDataLocations& DataLocationsCompute(const std::string& dataHome, const std::string& programFile)
{
    auto locations = std::make_unique<TDataLocations>();
    const std::filesystem::path exe = programFile.empty() ? RunningExecutable() : programFile;
    locations->ProgramFileName = exe.string();
    locations->ProgramFolder = TrailingCharEnsure(NativeSeparators(exe.parent_path().string()), kSeparator);
    locations->ProgramBaseName = exe.stem().string();

    const std::string home = dataHome.empty() ? UserDataHome() : dataHome;
    if (home.empty()) {
        throw EOSError("Failed to get Application Data folder");
    }
    locations->DataFolder = TrailingCharEnsure(NativeSeparators(home), kSeparator) + "Tallyhour" + kSeparator;
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
