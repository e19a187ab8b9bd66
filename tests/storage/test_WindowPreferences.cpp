#include "storage/WindowPreferences.h"

#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class PreferencesFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DataLocationsCompute(m_temp.Text(), "/opt/tallyhour/tallyhour");
        WindowPreferencesFree();
    }
    void TearDown() override
    {
        WindowPreferencesFree();
        TWindowPreferences::BackgroundImageChangedHookSet(nullptr);
    }
    std::string IniName() const
    {
        return DataLocations().IniFileName;
    }
    TTempFolder m_temp;
};

} // namespace

TEST_F(PreferencesFile, NoFileGivesTheDefaultsAndWritesNothing)
{
    auto& preferences = WindowPreferences();
    EXPECT_EQ(preferences.AlignGet(), 1);
    EXPECT_EQ(preferences.AlignVerticalGet(), 0);
    EXPECT_FALSE(preferences.AutohideGet());
    EXPECT_EQ(preferences.BackgroundColorGet(), 0);
    EXPECT_EQ(preferences.TextColorGet(), 0xFFFFFF);
    EXPECT_EQ(preferences.TransparencyGet(), 10);
    EXPECT_EQ(preferences.BackgroundImageGet(), "");
    EXPECT_TRUE(preferences.Show5MinButtonGet());
    EXPECT_FALSE(std::filesystem::exists(IniName()));
}

TEST_F(PreferencesFile, ValuesSurviveAFreshObjectAndNamesIgnoreCase)
{
    {
        auto& preferences = WindowPreferences();
        preferences.AlignSet(2);
        preferences.AutohideSet(true);
        preferences.BackgroundColorSet(0x123456);
        preferences.TransparencySet(35);
        preferences.BackgroundImageSet("/home/u/My Pictures/sky=blue.png");
    }
    WindowPreferencesFree();
    auto& preferences = WindowPreferences();
    EXPECT_EQ(preferences.AlignGet(), 2);
    EXPECT_TRUE(preferences.AutohideGet());
    EXPECT_EQ(preferences.BackgroundColorGet(), 0x123456);
    EXPECT_EQ(preferences.TransparencyGet(), 35);
    EXPECT_EQ(preferences.BackgroundImageGet(), "/home/u/My Pictures/sky=blue.png");
    EXPECT_EQ(preferences.File().ReadInteger("position", "ALIGN", 0), 2);
    EXPECT_NE(FileText(IniName()).find("[Position]"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(IniName() + ".tmp"));
}

TEST_F(PreferencesFile, AlignStoredAsZeroIsReadAgainOnEveryRequest)
{
    {
        std::ofstream out(IniName());
        out << "[Position]\nAlign=0\n";
    }
    auto& preferences = WindowPreferences();
    EXPECT_EQ(preferences.AlignGet(), 0);
    preferences.File().WriteInteger("Position", "Align", 2);
    EXPECT_EQ(preferences.AlignGet(), 2);
    // Now cached: a change behind its back is not seen any more.
    preferences.File().WriteInteger("Position", "Align", 1);
    EXPECT_EQ(preferences.AlignGet(), 2);
}

TEST_F(PreferencesFile, SettingAlignToItsCachedValueWritesNothing)
{
    auto& preferences = WindowPreferences();
    preferences.AlignSet(2);
    std::filesystem::remove(IniName());
    preferences.AlignSet(2);
    EXPECT_FALSE(std::filesystem::exists(IniName()));
    preferences.AlignSet(1);
    EXPECT_TRUE(std::filesystem::exists(IniName()));
}

TEST_F(PreferencesFile, MalformedValuesGiveTheDefaultAndOddLinesAreSkipped)
{
    {
        std::ofstream out(IniName());
        out << "garbage line without section\n[Background]\nTransparency=abc\nColor=$FF\nTextColor=12x\n"
               "[Common]\nShow5MinButton=0\nTimeLimitSeconds=99999999999\n";
    }
    auto& preferences = WindowPreferences();
    EXPECT_EQ(preferences.TransparencyGet(), 10);
    EXPECT_EQ(preferences.BackgroundColorGet(), 0xFF);
    EXPECT_EQ(preferences.TextColorGet(), 0xFFFFFF);
    EXPECT_FALSE(preferences.Show5MinButtonGet());
    EXPECT_EQ(preferences.File().ReadInteger(kIniSectionCommon, "TimeLimitSeconds", -1), -1);

    // A key outside any section that begins with a UTF-8 signature comes first in the file once
    // it is written again; a write elsewhere must not let the signature be taken for the file's.
    {
        std::ofstream out(IniName(), std::ios::binary | std::ios::trunc);
        out << "\n\xEF\xBB\xBFOdd=1\n";
    }
    ASSERT_EQ(TIniFile(IniName()).ReadInteger("", "\xEF\xBB\xBFOdd", -1), 1);
    ASSERT_TRUE(TIniFile(IniName()).WriteInteger("Other", "Key", 2));
    EXPECT_EQ(TIniFile(IniName()).ReadInteger("", "\xEF\xBB\xBFOdd", -1), 1);
}

TEST_F(PreferencesFile, ImageSetterCallsTheHookAndAMissingPictureKeepsThePath)
{
    std::string seen;
    TWindowPreferences::BackgroundImageChangedHookSet([&seen](const std::string& path) { seen = path; });
    WindowPreferences().BackgroundImageSet("/no/such/picture.png");
    EXPECT_EQ(seen, "/no/such/picture.png");
    WindowPreferencesFree();
    EXPECT_EQ(WindowPreferences().BackgroundImageGet(), "/no/such/picture.png");
}

TEST_F(PreferencesFile, CommonSectionsKeepPathKeysAndEraseWhole)
{
    auto& file = WindowPreferences().File();
    const std::string path = "/opt/Some Editor/bin/editor";
    file.WriteString(kIniSectionApplications, path, path);
    file.WriteString(kIniSectionWebSites, "example.com/news", "example.com/news");
    file.WriteBool(kIniSectionCommon, "TimeLimitSecondsChanged", true);
    file.WriteInteger(kIniSectionCommon, "TimeLimitSeconds", 14400);

    WindowPreferencesFree();
    auto& again = WindowPreferences().File();
    const auto pairs = again.SectionValuesRead(kIniSectionApplications);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].first, path);
    EXPECT_EQ(pairs[0].second, path);
    EXPECT_TRUE(again.ReadBool("COMMON", "timelimitsecondschanged", false));
    EXPECT_TRUE(again.SectionExists("websites"));

    again.DeleteKey(kIniSectionCommon, "TimeLimitSeconds");
    EXPECT_FALSE(again.ValueExists(kIniSectionCommon, "TimeLimitSeconds"));
    again.EraseSection(kIniSectionCommon);
    EXPECT_FALSE(again.SectionExists(kIniSectionCommon));
    EXPECT_TRUE(again.SectionExists(kIniSectionApplications));
}

TEST_F(PreferencesFile, HandEditsBetweenReadsAreSeen)
{
    auto& file = WindowPreferences().File();
    EXPECT_TRUE(file.ReadBool(kIniSectionCommon, "Show5MinButton", true));
    {
        std::ofstream out(IniName());
        out << "[Common]\nShow5MinButton=0\n";
    }
    EXPECT_FALSE(file.ReadBool(kIniSectionCommon, "Show5MinButton", true));
}

TEST_F(PreferencesFile, UnwritableFileKeepsTheCachedValueForTheRun)
{
    TIniFile file(m_temp.Text() + "no-such-folder/prefs.ini");
    EXPECT_FALSE(file.WriteInteger("Background", "Color", 5));
    EXPECT_EQ(file.ReadInteger("Background", "Color", 7), 7);

    TWindowPreferences preferences(m_temp.Text() + "no-such-folder/prefs.ini");
    preferences.TransparencySet(40);
    EXPECT_EQ(preferences.TransparencyGet(), 40);
}

TEST_F(PreferencesFile, UnreadableFileIsNotReplacedByTheFewValuesOfThisRun)
{
    const std::string fileName = m_temp.Text() + "prefs.ini";
    {
        TIniFile file(fileName);
        ASSERT_TRUE(file.WriteInteger("Position", "Align", 2));
        ASSERT_TRUE(file.WriteString("WebSites", "news.example", "news.example"));
    }
    const auto writeWhileUnreadable = [&fileName] {
        std::filesystem::permissions(fileName, std::filesystem::perms::none);
        TIniFile file(fileName);
        const bool written = file.WriteInteger("Background", "Color", 5);
        std::filesystem::permissions(
            fileName, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        return written;
    };
    if (::geteuid() != 0) {
        EXPECT_FALSE(writeWhileUnreadable());
    } else {
        // Root reads every file, so the unreadable case runs in a child as an ordinary user.
        ASSERT_EQ(::chown(m_temp.Text().c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(fileName.c_str(), 65534, 65534), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            ::_exit(dropped && !writeWhileUnreadable() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the unreadable file was written over";
    }
    TIniFile again(fileName);
    EXPECT_EQ(again.ReadInteger("Position", "Align", 1), 2);
    EXPECT_TRUE(again.ValueExists("WebSites", "news.example"));
    EXPECT_FALSE(again.ValueExists("Background", "Color"));
}

TEST_F(PreferencesFile, NulByteMakesTheFileUnreadableAndItIsKeptWhole)
{
    LogFileNameSet("");
    const std::string fileName = m_temp.Text() + "prefs.ini";
    const std::string text
        = std::string("[Position]\nAlign=2\n\0stray\n", 26) + "[WebSites]\nnews.example=news.example\n";
    {
        std::ofstream out(fileName, std::ios::binary);
        out << text;
    }
    TIniFile file(fileName);
    EXPECT_FALSE(file.WriteInteger("Background", "Color", 5));
    file.EraseSection("WebSites");
    EXPECT_EQ(FileText(fileName), text);
    const std::string log = FileText(DataLocations().LogFileName);
    EXPECT_NE(log.find("The preferences file \"" + fileName + "\" cannot be read (it holds a NUL byte at offset 19)"),
        std::string::npos)
        << log;

    // Mended by hand, it is read and written again.
    {
        std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
        out << "[Position]\nAlign=2\n";
    }
    EXPECT_TRUE(file.WriteInteger("Background", "Color", 5));
    EXPECT_EQ(file.ReadInteger("Position", "Align", 1), 2);
}

TEST_F(PreferencesFile, FolderInThePlaceOfTheFileIsUnreadableAndLeftAlone)
{
    LogFileNameSet("");
    const std::string fileName = m_temp.Text() + "prefs.ini";
    std::filesystem::create_directory(fileName);
    std::ofstream(fileName + "/inside") << "kept";
    TIniFile file(fileName);
    EXPECT_EQ(file.ReadInteger("Position", "Align", 1), 1);
    EXPECT_FALSE(file.WriteInteger("Position", "Align", 2));
    EXPECT_TRUE(std::filesystem::is_directory(fileName));
    EXPECT_EQ(FileText(fileName + "/inside"), "kept");
    const std::string log = FileText(DataLocations().LogFileName);
    EXPECT_NE(
        log.find("The preferences file \"" + fileName + "\" cannot be read (it is not a file)"), std::string::npos)
        << log;
}

TEST_F(PreferencesFile, AnEntryTheFileCannotHoldIsRefusedAndTheOthersStay)
{
    LogFileNameSet("");
    TIniFile file(IniName());
    ASSERT_TRUE(file.WriteString("WebSites", "example.com", "example.com"));
    ASSERT_TRUE(file.WriteInteger("Common", "TimeLimitSeconds", 3600));
    // A picture path with a line break would open a section of its own and take over the keys
    // behind it; a site name with "=" or a leading "[" would read back as another key.
    EXPECT_FALSE(file.WriteString("Background", "Image", "/tmp/a\n[Common]\nTimeLimitSeconds=86399"));
    EXPECT_FALSE(file.WriteString("WebSites", "example.org/?a=b", "example.org/?a=b"));
    EXPECT_FALSE(file.WriteString("WebSites", "[x]", "[x]"));
    EXPECT_FALSE(file.WriteString("WebSites", "", "x"));
    EXPECT_FALSE(file.WriteString("Background", "Image", " padded "));

    TIniFile fresh(IniName());
    EXPECT_EQ(fresh.ReadInteger("Common", "TimeLimitSeconds", 0), 3600);
    EXPECT_EQ(fresh.SectionValuesRead("WebSites"),
        (std::vector<std::pair<std::string, std::string>> { { "example.com", "example.com" } }));
    EXPECT_FALSE(fresh.ValueExists("Background", "Image"));
    EXPECT_NE(FileText(DataLocations().LogFileName).find("cannot hold the value of \"Image\" in [Background]"),
        std::string::npos);
}
