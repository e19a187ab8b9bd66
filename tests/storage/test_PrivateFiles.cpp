#include "model/PrivateFiles.h"

#include "StorageFixture.h"
#include "storage/ActivityDatabase.h"
#include "storage/DatabaseSchema.h"
#include "storage/InstanceLock.h"
#include "storage/SQLiteDatabase.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t ModeOf(const std::string& path)
{
    struct stat info = {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 07777;
}

// Every folder and file under `root` that is not the user's alone (folders 0700, files 0600),
// one "path mode" line each; empty when there is none.
std::string NotPrivate(const std::string& root)
{
    std::string found;
    const auto check = [&found](const std::filesystem::path& path) {
        const mode_t mode = ModeOf(path.string());
        const mode_t wanted = std::filesystem::is_directory(path) ? 0700 : 0600;
        if (mode != wanted) {
            found += path.string() + Format(" %04o\n", unsigned(mode));
        }
    };
    check(root);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        check(entry.path());
    }
    return found;
}

// Each test runs under the umask it is given: the program must not rely on the user's.
class PrivateFiles : public ::testing::TestWithParam<mode_t>
{
protected:
    void SetUp() override
    {
        m_savedMask = ::umask(GetParam());
        OptionsInstanceFree();
        WindowPreferencesFree();
        LogFileNameSet("");
        m_clock = std::make_unique<TFakeClock>(EncodeDateTime(2011, 4, 21, 10, 0, 0));
        m_programFolder = m_temp.Text() + "program/";
        std::filesystem::create_directories(m_programFolder);
        // The installation's templates, readable by all as an installation leaves them.
        for (const char* name : { "settings.sqlite", "actmondb.sqlite" }) {
            std::filesystem::copy_file(std::string(TH_TEST_BIN_DIR) + "/" + name, m_programFolder + name);
            ::chmod((m_programFolder + name).c_str(), 0644);
        }
    }
    void TearDown() override
    {
        InstanceLockRelease();
        OptionsInstanceFree();
        WindowPreferencesFree();
        m_clock.reset();
        ::umask(m_savedMask);
    }
    // A start that takes the instance lock, as the program's does.
    const TDataLocations& Start(const std::string& dataHome)
    {
        InstanceLockRelease();
        const TDataLocations& locations = DataLocationsCompute(dataHome, m_programFolder + "tallyhour");
        EXPECT_TRUE(InstanceLockAcquire(locations.LockFileName));
        return locations;
    }

    mode_t m_savedMask = 0;
    TTempFolder m_temp;
    std::string m_programFolder;
    std::unique_ptr<TFakeClock> m_clock;
};

} // namespace

TEST_P(PrivateFiles, EveryFileTheProgramMakesIsTheUsersAlone)
{
    const std::string home = m_temp.Text() + "home";
    const TDataLocations& locations = Start(home + "/.local/share");
    DatabaseFilesInstall(locations);
    ASSERT_TRUE(std::filesystem::exists(locations.SettingsDbFileName));
    LogMessageWrite("a line");
    WindowPreferences().AlignSet(2);
    TOptions& options = OptionsInstance();
    options.TimeLimitSeconds = 3600;
    options.OptionsSave();
    ActivityDBExecSQL(ActivityInsertSql("2011-04-21 10:00:00", "/usr/bin/editor", "", "Desktop Application", 3, 1));
    EXPECT_EQ(NotPrivate(home), "");

    // A journal exists only while a write is open.
    {
        TSQLiteDatabase database(locations.SettingsDbFileName);
        database.TransactionBegin();
        database.RunStatement("DELETE FROM reminders");
        ASSERT_TRUE(std::filesystem::exists(locations.SettingsDbFileName + "-journal"));
        EXPECT_EQ(NotPrivate(home), "");
    }
    // A database someone switched to write-ahead logging keeps its -wal and -shm files private.
    {
        TSQLiteDatabase database(locations.ActivityDbFileName);
        database.RunQuery("PRAGMA journal_mode=WAL");
        database.RunStatement("DELETE FROM applications");
        ASSERT_TRUE(std::filesystem::exists(locations.ActivityDbFileName + "-wal"));
        EXPECT_EQ(NotPrivate(home), "");
    }

    // A database made from nothing, and a damaged one kept aside with a fresh one in its place.
    const std::string fresh = locations.DataFolder + "fresh.sqlite";
    DatabaseSchemaEnsure(fresh, TDatabaseKind::Activity);
    FileWrite(locations.DataFolder + "damaged.sqlite", std::string(4096, 'x'));
    DatabaseSchemaEnsure(locations.DataFolder + "damaged.sqlite", TDatabaseKind::Settings);
    // An activity database moved aside by the installation's copy.
    std::filesystem::remove(locations.SettingsDbFileName);
    DatabaseFilesInstall(locations);
    size_t kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(locations.DataFolder)) {
        const std::string name = entry.path().filename().string();
        kept += name.ends_with(".damaged") || name.ends_with(".replaced");
    }
    EXPECT_EQ(kept, 2u);
    EXPECT_EQ(NotPrivate(home), "");

    // The templates hold no user data and stay readable by all.
    EXPECT_EQ(ModeOf(m_programFolder + "settings.sqlite"), 0644u);
    EXPECT_EQ(ModeOf(m_programFolder + "actmondb.sqlite"), 0644u);
}

TEST_P(PrivateFiles, AnOpenFolderAndItsFilesAreTightenedOnceAndLogged)
{
    const std::string dataHome = m_temp.Text() + "share";
    const std::string folder = dataHome + "/Tallyhour/";
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0755);
    FileWrite(folder + "settings.sqlite", "settings");
    ::chmod((folder + "settings.sqlite").c_str(), 0644);
    FileWrite(folder + "tallyhour.ini", "[Position]\nAlign=2\n");
    ::chmod((folder + "tallyhour.ini").c_str(), 0664);
    FileWrite(folder + "private.txt", "");
    ::chmod((folder + "private.txt").c_str(), 0600);
    // A link that points out of the folder never makes the program change the file it names.
    std::filesystem::create_symlink(m_programFolder + "settings.sqlite", folder + "template-link");

    const std::string logFile = Start(dataHome).LogFileName;
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(ModeOf(folder + "settings.sqlite"), 0600u);
    EXPECT_EQ(ModeOf(folder + "tallyhour.ini"), 0600u);
    EXPECT_EQ(ModeOf(m_programFolder + "settings.sqlite"), 0644u);
    const std::string log = FileText(logFile);
    EXPECT_NE(log.find("The data folder \"" + folder
                  + "\" could be read by others; its mode was changed from 0755 to "
                    "0700"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("The file \"" + folder
                  + "settings.sqlite\" could be read by others; its mode was changed "
                    "from 0644 to 0600"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("The file \"" + folder
                  + "tallyhour.ini\" could be read by others; its mode was changed from "
                    "0664 to 0600"),
        std::string::npos)
        << log;
    EXPECT_EQ(log.find("private.txt"), std::string::npos) << log;
    EXPECT_EQ(log.find("template-link"), std::string::npos) << log;

    // Nothing left to change: the next start writes no such line.
    const size_t before = log.size();
    Start(dataHome);
    EXPECT_EQ(FileText(logFile).size(), before);

    // A second copy, while the first holds the lock, changes no mode and writes no log line,
    // even where something is left to change.
    ::chmod(folder.c_str(), 0755);
    ::chmod((folder + "tallyhour.ini").c_str(), 0644);
    const TDataLocations& second = DataLocationsCompute(dataHome, m_programFolder + "tallyhour");
    EXPECT_FALSE(InstanceLockAcquire(second.LockFileName));
    EXPECT_EQ(ModeOf(folder), 0755u);
    EXPECT_EQ(ModeOf(folder + "tallyhour.ini"), 0644u);
    EXPECT_EQ(FileText(logFile).size(), before);
}

TEST_P(PrivateFiles, WhatAnotherUserOwnsIsLeftAloneAndLogged)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another user needs root";
    }
    const std::string dataHome = m_temp.Text() + "share";
    const std::string folder = dataHome + "/Tallyhour/";
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0700);
    FileWrite(folder + "foreign.sqlite", "someone else's");
    ::chmod((folder + "foreign.sqlite").c_str(), 0644);
    ASSERT_EQ(::chown((folder + "foreign.sqlite").c_str(), 65534, 65534), 0);

    const TDataLocations& locations = Start(dataHome);
    EXPECT_EQ(ModeOf(folder + "foreign.sqlite"), 0644u);
    const std::string log = FileText(locations.LogFileName);
    EXPECT_NE(log.find("The file \"" + folder
                  + "foreign.sqlite\" belongs to another user (65534) and others may "
                    "read it (mode 0644); it is left as it is"),
        std::string::npos)
        << log;
}

INSTANTIATE_TEST_SUITE_P(Umask, PrivateFiles, ::testing::Values(mode_t(0000), mode_t(0022)),
    [](const ::testing::TestParamInfo<mode_t>& param) { return Format("%04o", unsigned(param.param)); });
