// What the core asks of Windows: the single-instance lock, the preferences file's replacement,
// the password digest and the list's order.
#include "model/Exceptions.h"
#include "model/MonitoredObjects.h"
#include "storage/InstanceLock.h"
#include "storage/Options.h"
#include "storage/PreferencesFileIo.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <io.h>

TEST(WindowsLockFile, OneHolderAtATimeAndTheFileGoesWithIt)
{
    TTempFolder folder;
    const std::string lock = folder.Text() + "Tallyhour/lock";
    ASSERT_TRUE(InstanceLockAcquire(lock)); // makes the missing folder
    EXPECT_TRUE(InstanceLockHeld());
    int handle = -1;
    EXPECT_FALSE(ExclusiveFileOpen(lock, true, handle)) << "a second copy must see the lock held";
    EXPECT_EQ(handle, -1);
    InstanceLockRelease();
    EXPECT_FALSE(InstanceLockHeld());
    EXPECT_FALSE(std::filesystem::exists(lock));
    // Free again: the next copy takes it, and holds it against others.
    ASSERT_TRUE(ExclusiveFileOpen(lock, true, handle));
    int again = -1;
    EXPECT_FALSE(ExclusiveFileOpen(lock, false, again));
    ::_close(handle);
    // A folder where the file should be is no other copy: it is reported, not taken for one.
    std::filesystem::create_directories(folder.Path() / "taken");
    EXPECT_THROW(ExclusiveFileOpen(folder.Text() + "taken", true, handle), EOSError);
}

TEST(WindowsPreferencesFile, ReplacedWholeAndSeenAsAnotherFile)
{
    TTempFolder folder;
    const std::string name = folder.Text() + "prefs.ini";
    EXPECT_FALSE(FileStampGet(name).Exists);
    ASSERT_TRUE(FileDurablyReplace(name, "[Position]\nAlign=1\n"));
    const TFileStamp first = FileStampGet(name);
    ASSERT_TRUE(first.Exists);
    // Over an existing file, which a plain rename on Windows refuses.
    ASSERT_TRUE(FileDurablyReplace(name, "[Position]\nAlign=22\n"));
    const TFileStamp second = FileStampGet(name);
    EXPECT_FALSE(first == second);
    std::string text;
    std::string reason;
    ASSERT_TRUE(PreferencesTextRead(name, text, reason)) << reason;
    EXPECT_EQ(text, "[Position]\nAlign=22\n");
    EXPECT_FALSE(std::filesystem::exists(name + ".tmp"));
    // Unreadable kinds say why.
    EXPECT_FALSE(PreferencesTextRead(folder.Text(), text, reason));
    EXPECT_EQ(reason, "it is not a file");
    ASSERT_TRUE(FileDurablyReplace(name, std::string("a\0b", 3)));
    EXPECT_FALSE(PreferencesTextRead(name, text, reason));
    EXPECT_EQ(reason, "it holds a NUL byte at offset 1");
    EXPECT_FALSE(FileDurablyReplace(folder.Text() + "no-such-folder/prefs.ini", "x"));
}

TEST(WindowsSystemServices, DigestAndOrderComeFromTheSystem)
{
    EXPECT_EQ(PasswordDigest("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(PasswordDigest(""), "D41D8CD98F00B204E9800998ECF8427E");
    // Case does not decide the order, as on Linux.
    EXPECT_LT(MonitoredKeySortKey("apple"), MonitoredKeySortKey("Banana"));
    EXPECT_LT(MonitoredKeySortKey("Banana"), MonitoredKeySortKey("cherry"));
    EXPECT_EQ(MonitoredKeySortKey("Apple"), MonitoredKeySortKey("apple"));
    EXPECT_LT(MonitoredKeySortKey("\xC3\xA9t\xC3\xA9"), MonitoredKeySortKey("zoo")); // "été"
    EXPECT_TRUE(MonitoredKeySortKey("").empty());
}
