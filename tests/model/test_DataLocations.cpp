#include "model/DataLocations.h"
#include "model/Exceptions.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

// A path as the system spells it ("\\" between the folders on Windows).
std::string Native(const std::string& path)
{
    std::string native = path;
    std::replace(native.begin(), native.end(), '/', static_cast<char>(std::filesystem::path::preferred_separator));
    return native;
}

} // namespace

TEST(DataLocations, NamesEveryFileInTheCreatedDataFolder)
{
    TTempFolder folder;
    const std::string dataHome = folder.Text() + "deep/share";
    const TDataLocations& locations = DataLocationsCompute(dataHome, "/opt/tallyhour/bin/tallyhour");
    EXPECT_EQ(locations.DataFolder, Native(dataHome + "/Tallyhour/"));
    EXPECT_TRUE(std::filesystem::is_directory(locations.DataFolder));
    EXPECT_EQ(locations.ProgramFolder, Native("/opt/tallyhour/bin/"));
    EXPECT_EQ(locations.ProgramBaseName, "tallyhour");
    EXPECT_EQ(locations.LogFileName, locations.DataFolder + "tallyhour.log");
    EXPECT_EQ(locations.IniFileName, locations.DataFolder + "tallyhour.ini");
    EXPECT_EQ(locations.LockFileName, locations.DataFolder + "Tallyhour.lock");
    EXPECT_EQ(locations.FlagFileName, locations.DataFolder + "Tallyhour.flag");
    EXPECT_EQ(locations.SettingsDbFileName, locations.DataFolder + "settings.sqlite");
    EXPECT_EQ(locations.ActivityDbFileName, locations.DataFolder + "actmondb.sqlite");
    EXPECT_EQ(&DataLocations(), &locations);
}

TEST(DataLocations, ExtensionIsReplacedAndAnUncreatableFolderFails)
{
    TTempFolder folder;
    EXPECT_EQ(DataLocationsCompute(folder.Text(), "/x/My App.bin").LogFileName,
        Native(folder.Text() + "Tallyhour/My App.log"));
    // A data home below a plain file cannot be created.
    const std::string file = folder.Text() + "file";
    std::filesystem::create_directories(folder.Text());
    FILE* handle = std::fopen(file.c_str(), "w");
    ASSERT_NE(handle, nullptr);
    std::fclose(handle);
    try {
        DataLocationsCompute(file + "/below", "/x/tallyhour");
        FAIL() << "expected a failure";
    } catch (const EOSError& error) {
        EXPECT_STREQ(error.what(), "Failed to get Application Data folder");
    }
}
