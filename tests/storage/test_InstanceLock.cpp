#include "storage/InstanceLock.h"

#include "StorageFixture.h"

#include <gmock/gmock.h>

#include "model/UserNotices.h"
#include "storage/ActivityDatabase.h"
#include "storage/DatabaseSchema.h"

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

class InstanceLockTest : public StorageTest
{
protected:
    void TearDown() override
    {
        InstanceLockRelease();
        StorageTest::TearDown();
    }
};

} // namespace

TEST_F(InstanceLockTest, SecondHolderIsRefusedAndAStaleFileDoesNotBlock)
{
    const std::string lockFile = m_temp.Text() + "deeper/folder/Tallyhour.lock";
    ASSERT_TRUE(InstanceLockAcquire(lockFile));
    EXPECT_TRUE(InstanceLockHeld());
    int handle = -1;
    EXPECT_FALSE(ExclusiveFileOpen(lockFile, true, handle));
    EXPECT_EQ(handle, -1);
    InstanceLockRelease();
    EXPECT_FALSE(std::filesystem::exists(lockFile));

    FileWrite(lockFile, ""); // left behind by a crashed run
    ASSERT_TRUE(ExclusiveFileOpen(lockFile, true, handle));
    ::close(handle);
}

TEST_F(InstanceLockTest, LockFileThatCannotBeCreatedRaisesTheMessage)
{
    int handle = -1;
    const std::string lockFile = m_temp.Text() + "missing/Tallyhour.lock";
    EXPECT_THAT([&] { ExclusiveFileOpen(lockFile, true, handle); },
        ::testing::ThrowsMessage<EOSError>(
            ::testing::StrEq("Unable to create \"" + lockFile + "\" file\r\nError: No such file or directory")));
}

TEST_F(InstanceLockTest, LockFileThatCannotBeOpenedIsAnErrorNotAnotherCopy)
{
    // Something at the lock's place that no one can open for reading (a socket left by another
    // program here; permissions do the same to a user): that is no running copy.
    const std::string lockFile = m_temp.Text() + "Tallyhour.lock";
    const int socketHandle = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(lockFile.size(), sizeof(address.sun_path));
    std::copy(lockFile.begin(), lockFile.end(), address.sun_path);
    ASSERT_EQ(::bind(socketHandle, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    try {
        InstanceLockAcquire(lockFile);
        FAIL() << "taken for another copy";
    } catch (const EOSError& error) {
        EXPECT_TRUE(StartsWith(error.what(), "Unable to create \"" + lockFile + "\" file\r\nError: ")) << error.what();
    }
    EXPECT_FALSE(InstanceLockHeld());
    ::close(socketHandle);
}

TEST_F(InstanceLockTest, DatabasesAreCopiedOnlyWhenTheSettingsDatabaseIsMissing)
{
    TDataLocations locations = Locations();
    locations.ProgramFolder = m_temp.Text() + "program/";
    std::filesystem::create_directories(locations.ProgramFolder);
    DatabaseFilesInstall(locations); // nothing beside the program: nothing happens
    EXPECT_FALSE(std::filesystem::exists(locations.DataFolder + "settings.sqlite"));

    FileWrite(locations.ProgramFolder + "settings.sqlite", "installed settings");
    FileWrite(locations.ProgramFolder + "actmondb.sqlite", "installed activity");
    FileWrite(locations.DataFolder + "actmondb.sqlite", "old activity");
    DatabaseFilesInstall(locations);
    EXPECT_EQ(FileText(locations.DataFolder + "settings.sqlite"), "installed settings");
    EXPECT_EQ(FileText(locations.DataFolder + "actmondb.sqlite"), "installed activity");
    // The history that was there is kept under a dated name.
    EXPECT_EQ(FileText(locations.DataFolder + "actmondb.sqlite.2011-04-21_10-00-00.replaced"), "old activity");

    FileWrite(locations.ProgramFolder + "settings.sqlite", "newer settings");
    DatabaseFilesInstall(locations);
    EXPECT_EQ(FileText(locations.DataFolder + "settings.sqlite"), "installed settings");
}

TEST_F(InstanceLockTest, TwoReplacedActivityDatabasesInOneSecondAreBothKept)
{
    TDataLocations locations = Locations();
    locations.ProgramFolder = m_temp.Text() + "program/";
    std::filesystem::create_directories(locations.ProgramFolder);
    FileWrite(locations.ProgramFolder + "settings.sqlite", "installed settings");
    FileWrite(locations.ProgramFolder + "actmondb.sqlite", "installed activity");
    FileWrite(locations.DataFolder + "actmondb.sqlite", "first history");
    DatabaseFilesInstall(locations);
    std::filesystem::remove(locations.DataFolder + "settings.sqlite");
    FileWrite(locations.DataFolder + "actmondb.sqlite", "second history");
    DatabaseFilesInstall(locations);
    EXPECT_EQ(FileText(locations.DataFolder + "actmondb.sqlite.2011-04-21_10-00-00.replaced"), "first history");
    EXPECT_EQ(FileText(locations.DataFolder + "actmondb.sqlite.2011-04-21_10-00-00-2.replaced"), "second history");
}

TEST_F(InstanceLockTest, ReplacedActivityDatabaseTakesItsUncopiedLogAlong)
{
    TDataLocations locations = Locations();
    locations.ProgramFolder = m_temp.Text() + "program/";
    std::filesystem::create_directories(locations.ProgramFolder);
    FileWrite(locations.ProgramFolder + "settings.sqlite", "installed settings");
    const std::string installed = locations.ProgramFolder + "actmondb.sqlite";
    DatabaseSchemaEnsure(installed, TDatabaseKind::Activity);
    // A run that ended without closing the file (killed, or the power gone): its last rows are
    // only in the log beside it.
    const std::string target = locations.DataFolder + "actmondb.sqlite";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ActivityDBExecSQL(ActivityInsertSql("2011-04-21 09:00:00", "/usr/bin/a", "", "Desktop Application", 7, 1));
        raise(SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(std::filesystem::exists(target + "-wal"));

    DatabaseFilesInstall(locations);
    const std::string kept = locations.DataFolder + "actmondb.sqlite.2011-04-21_10-00-00.replaced";
    EXPECT_FALSE(std::filesystem::exists(target + "-wal"));
    {
        TSQLiteDatabase fresh(target);
        EXPECT_EQ(fresh.RunQuery("SELECT COUNT(*) FROM applications")->Int64At(0), 0);
        EXPECT_EQ(fresh.RunQuery("PRAGMA integrity_check")->TextAt(0), "ok");
        TSQLiteDatabase old(kept);
        EXPECT_EQ(old.RunQuery("SELECT SUM(duration) FROM applications")->Int64At(0), 7);
    }
}

TEST_F(InstanceLockTest, SettingsOnAVolumeSlowToAnswerAreNeverReplaced)
{
    TDataLocations locations = Locations();
    locations.ProgramFolder = m_temp.Text() + "program/";
    std::filesystem::create_directories(locations.ProgramFolder);
    FileWrite(locations.ProgramFolder + "settings.sqlite", "installed settings");
    FileWrite(locations.ProgramFolder + "actmondb.sqlite", "installed activity");
    FileWrite(locations.DataFolder + "settings.sqlite", "the user's settings");
    FileWrite(locations.DataFolder + "actmondb.sqlite", "the user's history");
    // Every look at the volume takes longer than the program waits for an answer.
    PathProbeDelaySet(1500);
    DatabaseFilesInstall(locations);
    PathProbeDelaySet(0);
    EXPECT_EQ(FileText(locations.DataFolder + "settings.sqlite"), "the user's settings");
    EXPECT_EQ(FileText(locations.DataFolder + "actmondb.sqlite"), "the user's history");
    EXPECT_NE(LogText().find("did not answer in time"), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(600)); // let the late looks finish

    // A folder in the file's place is no slow volume, and the user is told what it is.
    std::filesystem::remove(locations.DataFolder + "settings.sqlite");
    std::filesystem::create_directory(locations.DataFolder + "settings.sqlite");
    UserNoticesTake();
    DatabaseFilesInstall(locations);
    EXPECT_TRUE(std::filesystem::is_directory(locations.DataFolder + "settings.sqlite"));
    EXPECT_EQ(FileText(locations.DataFolder + "actmondb.sqlite"), "the user's history");
    EXPECT_NE(LogText().find("settings.sqlite\" is a folder, not a file"), std::string::npos) << LogText();
    EXPECT_NE(UserNoticesTake().find("is a folder, not a file"), std::string::npos);
}

TEST_F(InstanceLockTest, HistoryStaysWhereItIsWhenNoActivityTemplateLiesBesideTheProgram)
{
    TDataLocations locations = Locations();
    locations.ProgramFolder = m_temp.Text() + "program/";
    std::filesystem::create_directories(locations.ProgramFolder);
    FileWrite(locations.ProgramFolder + "settings.sqlite", "installed settings");
    FileWrite(locations.DataFolder + "actmondb.sqlite", "the user's history");
    DatabaseFilesInstall(locations);
    EXPECT_EQ(FileText(locations.DataFolder + "settings.sqlite"), "installed settings");
    EXPECT_EQ(FileText(locations.DataFolder + "actmondb.sqlite"), "the user's history");
    int aside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(locations.DataFolder)) {
        aside += entry.path().filename().string().ends_with(".replaced") ? 1 : 0;
    }
    EXPECT_EQ(aside, 0);
}

TEST_F(InstanceLockTest, LogLinesAreStampedAppendedAndNeverRaise)
{
    LogMessageWrite("first");
    m_clock->AdvanceMs(42);
    LogError(ESQLiteException("boom\rsecond line"), "; TOptions.LogDBExecSQL: ");
    EXPECT_EQ(LogText(),
        "2011-04-21 10:00:00.000 first\r\n2011-04-21 10:00:00.042 ErrorClassName: ESQLiteException; "
        "TOptions.LogDBExecSQL: boom\rsecond line\r\n");
    LogFileNameSet(m_temp.Text() + "no/such/folder/x.log");
    EXPECT_NO_THROW(LogMessageWrite("dropped"));
    LogFileNameSet("");
}
