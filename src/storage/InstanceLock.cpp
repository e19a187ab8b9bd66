#include "storage/InstanceLock.h"

#include "model/Exceptions.h"
#include "model/PrivateFiles.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/UserNotices.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/DatabaseSchema.h"

#include <filesystem>
#include <system_error>

void DatabaseFilesInstall(const TDataLocations& locations)
{
    const std::string settingsTarget = locations.DataFolder + "settings.sqlite";
    const std::string settingsSource = locations.ProgramFolder + "settings.sqlite";
    // Only a settings database known to be absent is replaced: a volume that is slow to answer
    // must not cost the user the settings it holds.
    const TPathState settingsState = FileStateOnVolume(settingsTarget);
    if (settingsState != TPathState::Absent || !FileExistsOnVolume(settingsSource)) {
        if (settingsState == TPathState::Unknown && FolderExistsOnVolume(settingsTarget)) {
            const std::string text = "The settings database \"" + settingsTarget
                + "\" is a folder, not a file: no settings can be read or kept until it is moved away";
            LogMessageWrite(text + "; the installation's copy is not put in its place");
            UserNoticePost(text + ".");
        } else if (settingsState == TPathState::Unknown) {
            LogMessageWrite("The settings database \"" + settingsTarget
                + "\" did not answer in time; the installation's copy is not put in its place");
        }
        return;
    }
    std::error_code error;
    PrivateFolderCreate(locations.DataFolder, error);
    if (error) {
        throw EOSError(error.message());
    }
    const auto overwrite = std::filesystem::copy_options::overwrite_existing;
    std::filesystem::copy_file(settingsSource, settingsTarget, overwrite, error);
    PrivateModeSet(settingsTarget); // a copy takes the template's mode, which others may read
    // The installation's activity database replaces the one there, as it always has; the old
    // one keeps the user's history, so it is moved aside under a dated name rather than lost.
    // Without an installation copy there is nothing to replace it with, and it stays.
    const std::string activitySource = locations.ProgramFolder + "actmondb.sqlite";
    const std::string activityTarget = locations.DataFolder + "actmondb.sqlite";
    if (!FileExistsOnVolume(activitySource)) {
        return;
    }
    if (FileStateOnVolume(activityTarget) != TPathState::Absent) {
        const std::string kept = FileAsideNameMake(activityTarget, "replaced");
        std::filesystem::rename(activityTarget, kept, error);
        if (error) {
            LogMessageWrite("The activity database \"" + activityTarget + "\" could not be moved aside ("
                + error.message() + "); it is kept in place of the installation's copy");
            return;
        }
        // Its log and journal go with it: left behind, SQLite would lay them over the new copy,
        // and the moved file would lack the commits they hold.
        for (const char* suffix : { "-wal", "-shm", "-journal" }) {
            std::error_code ignored;
            if (std::filesystem::exists(activityTarget + suffix, ignored)) {
                std::filesystem::rename(activityTarget + suffix, kept + suffix, ignored);
            }
        }
        LogMessageWrite("The activity database \"" + activityTarget + "\" was moved to \"" + kept
            + "\" before the installation's copy took its place");
    }
    std::filesystem::copy_file(activitySource, activityTarget, overwrite, error);
    PrivateModeSet(activityTarget);
}
