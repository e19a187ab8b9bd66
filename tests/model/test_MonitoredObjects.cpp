#include "model/Exceptions.h"
#include "model/MonitoredObjects.h"
#include "model/PackagedPaths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

TMonitoredItem* NewItem(
    const std::string& caption, const std::string& name, TMonitoredItemType type, bool active = true)
{
    auto* item = new TMonitoredItem;
    item->Caption = caption;
    item->Name = name;
    item->ItemType = type;
    item->Active = active;
    return item;
}

void AddItem(TMonitoredList& list, const std::string& caption, const std::string& name, TMonitoredItemType type,
    bool active = true)
{
    list.Add(caption, NewItem(caption, name, type, active));
}

std::vector<std::string> Captions(const TMonitoredList& list)
{
    std::vector<std::string> result;
    for (int i = 0; i < list.Count(); ++i) {
        result.push_back(list.Items(i)->Caption);
    }
    return result;
}

class RecordingListBox : public TListBoxSink
{
public:
    int Brackets = 0;
    int Open = 0;
    int CapacityAsked = -1;
    std::vector<std::pair<std::string, TMonitoredItem*>> Rows;

    void BeginUpdate() override
    {
        ++Brackets;
        ++Open;
    }
    void EndUpdate() override
    {
        --Open;
    }
    void ItemsClear() override
    {
        EXPECT_EQ(Open, 1);
        Rows.clear();
    }
    void ItemsCapacitySet(int capacity) override
    {
        CapacityAsked = capacity;
    }
    void ItemAppend(const std::string& caption, TMonitoredItem* item) override
    {
        EXPECT_EQ(Open, 1);
        Rows.emplace_back(caption, item);
    }
};

} // namespace

TEST(SiteRule, MatchesHostWithSchemeWwwAndSubdomainButNotInPathOrQuery)
{
    EXPECT_TRUE(SiteUrlMatch("example.com", "https://www.example.com/home"));
    EXPECT_TRUE(SiteUrlMatch("example.com", "m.example.com/x"));
    EXPECT_TRUE(SiteUrlMatch("http://www.example.com", "example.com"));
    EXPECT_FALSE(SiteUrlMatch("example.com", "example.org/search?q=example.com"));
    EXPECT_FALSE(SiteUrlMatch("example.com", "example.org?q=example.com"));
    // A site named in a query or fragment is not visited, "www." or not.
    EXPECT_FALSE(SiteUrlMatch("facebook.com", "https://news.example.org/r?to=www.facebook.com"));
    EXPECT_FALSE(SiteUrlMatch("facebook.com", "news.example.org/www.facebook.com"));
    EXPECT_FALSE(SiteUrlMatch("facebook.com", "news.example.org#www.facebook.com"));
    EXPECT_TRUE(SiteUrlMatch("facebook.com", "https://www.facebook.com/?next=www.example.org"));
    // A name with a path matches only where it starts in the host part.
    EXPECT_TRUE(SiteUrlMatch("example.com/news", "https://example.com/news/today"));
    EXPECT_FALSE(SiteUrlMatch("example.com/news", "https://example.com/sport"));
}

TEST(SiteRule, IsCaseSensitiveAndNeverMatchesEmptyNames)
{
    EXPECT_FALSE(SiteUrlMatch("Example.com", "example.com"));
    EXPECT_FALSE(SiteUrlMatch("example.com", "WWW.EXAMPLE.COM"));
    EXPECT_FALSE(SiteUrlMatch("", "example.com"));
    EXPECT_FALSE(SiteUrlMatch("   ", "example.com"));
    EXPECT_FALSE(SiteUrlMatch("https://www.", "example.com"));
}

TEST(SiteRule, NormalisationTrimsAndDropsSchemeAndFirstWww)
{
    EXPECT_EQ(UrlNormalize("  \t https://www.example.com:8080/Path/ \r\n"), "example.com:8080/Path/");
    EXPECT_EQ(UrlNormalize("ftp://WWW.example.com"), "WWW.example.com");
    // Only a "www." of the host is dropped.
    EXPECT_EQ(UrlNormalize("example.org/go?to=www.other.net"), "example.org/go?to=www.other.net");
    EXPECT_EQ(UrlNormalize("example.org#www.other.net"), "example.org#www.other.net");
    EXPECT_EQ(UrlNormalize("m.www.example.com/www.x"), "example.com/www.x");
    EXPECT_EQ(UrlNormalize("a://b://c"), "b://c");
}

TEST(ActivityMatch, PathMatchIgnoresAsciiCaseAndLastEqualPathWins)
{
    TMonitoredList list;
    AddItem(list, "Editor A", "C:\\Program Files\\A\\a.exe", mitApp);
    AddItem(list, "Editor B", "c:\\program files\\a\\A.EXE", mitApp);
    auto match = list.ActivityMatch("c:\\program files\\a\\a.exe", "");
    EXPECT_EQ(match.Index, 1);
    EXPECT_EQ(match.Origin, moApplication);
}

TEST(ActivityMatch, SiteBeatsPathEvenWhenPathEntryComesFirst)
{
    TMonitoredList list;
    AddItem(list, "A browser", "/usr/bin/firefox", mitApp);
    AddItem(list, "B news", "news.example", mitWeb);
    AddItem(list, "C also news", "example", mitWeb);
    auto match = list.ActivityMatch("/usr/bin/firefox", "https://news.example/today");
    EXPECT_EQ(match.Index, 1); // the first site match in key order stops the walk
    EXPECT_EQ(match.Origin, moSite);
}

TEST(ActivityMatch, BlankAddressMatchesByPathOnlyAndNothingGivesMinusOneOriginOne)
{
    TMonitoredList list;
    AddItem(list, "Site", "example.com", mitWeb);
    AddItem(list, "Browser", "/usr/bin/chromium", mitApp);
    auto match = list.ActivityMatch("/usr/bin/chromium", " \t ");
    EXPECT_EQ(match.Index, list.NameIndexGet("/usr/bin/chromium"));
    EXPECT_EQ(match.Origin, moApplication);
    auto none = list.ActivityMatch("/usr/bin/xterm", "https://other.org/");
    EXPECT_EQ(none.Index, -1);
    EXPECT_EQ(none.Origin, moApplication);
}

TEST(ActivityMatch, InactiveEntriesAndEitherKindStillMatch)
{
    TMonitoredList list;
    AddItem(list, "Old site", "example.com", mitApp, false);
    auto match = list.ActivityMatch("/bin/x", "example.com/page");
    EXPECT_EQ(match.Index, 0);
    EXPECT_EQ(match.Origin, moSite);
}

TEST(ActivityMatch, SnapEntryListedUnderARevisionMatchesEveryRevisionAndNothingElse)
{
    TMonitoredList list;
    AddItem(list, "Firefox", "/snap/firefox/4793/usr/lib/firefox/firefox", mitApp);
    AddItem(list, "Local", "/var/lib/snapd/snap/tool/x2/bin/tool", mitApp);
    // The sample names a snap by its "current" link; a refreshed or an older revision is the
    // same program.
    for (const char* sample : { "/snap/firefox/current/usr/lib/firefox/firefox",
             "/snap/firefox/4901/usr/lib/firefox/firefox", "/SNAP/firefox/4793/usr/lib/firefox/firefox" })
        EXPECT_EQ(list.ActivityMatch(sample, "").Index, 0) << sample;
    EXPECT_EQ(list.ActivityMatch("/var/lib/snapd/snap/tool/current/bin/tool", "").Index, 1);
    EXPECT_EQ(list.ActivityMatch("/var/lib/snapd/snap/tool/7/bin/tool", "").Index, 1);
    // Another snap, another file, a folder that is no revision, or a snap-like path elsewhere.
    for (const char* sample : { "/snap/firefox-esr/current/usr/lib/firefox/firefox",
             "/snap/firefox/current/usr/lib/firefox/plugin-container", "/snap/firefox/common/usr/lib/firefox/firefox",
             "/opt/snap/firefox/4793/usr/lib/firefox/firefox", "/snap/firefox/47a3/usr/lib/firefox/firefox" })
        EXPECT_EQ(list.ActivityMatch(sample, "").Index, -1) << sample;
    // An entry already named by "current" (as the list names snaps now) works the same way.
    TMonitoredList current;
    AddItem(current, "Firefox", "/snap/firefox/current/usr/lib/firefox/firefox", mitApp);
    EXPECT_EQ(current.ActivityMatch("/snap/firefox/4793/usr/lib/firefox/firefox", "").Index, 0);
    EXPECT_EQ(SnapRevisionPathToCurrent("/tmp/root/snap/a/12/bin/a", "/tmp/root/"), "/tmp/root/snap/a/current/bin/a");
    EXPECT_EQ(SnapRevisionPathToCurrent("/snap/a/12", ""), "/snap/a/current");
    EXPECT_EQ(SnapRevisionPathToCurrent("/snap/bin/12/a", ""), "/snap/bin/12/a");
}

TEST(ActivityMatch, AgreesWithTheSiteRuleOnLongAddresses)
{
    // Each address names the one site a reader of the rule finds in it (none: empty), worked
    // out by hand; no two names fit one address, so the list's order does not matter.
    TMonitoredList list;
    const std::vector<std::string> names = { "example.com", "b/c", "?x", "news.org/", "zz", "facebook.com" };
    for (const auto& name : names) {
        AddItem(list, name, name, mitWeb);
    }
    const std::string longHost(3000, 'a');
    const std::vector<std::pair<std::string, std::string>> cases = {
        { "example.com", "example.com" },
        { "https://x.example.com/p", "example.com" },
        { "example.com/a?b=1", "example.com" },
        { "a.b/c", "b/c" },
        { "www.b/c", "b/c" },
        { "host?x", "?x" },
        { "https://news.org/", "news.org/" },
        { "news.org", "" },
        { "q/example.com", "" },
        { "host#example.com", "" },
        { "e.zz?y=1", "zz" },
        { "https://news.example.org/r?to=www.facebook.com", "" },
        { longHost + "zz", "zz" },
        { longHost + ".example.com/" + std::string(3000, 'b'), "example.com" },
        { "x.org/" + longHost + "?q=www.example.com", "" },
        { "https://" + longHost + ".org/" + longHost + "#www.facebook.com", "" },
    };
    for (const auto& [address, site] : cases) {
        const int expected = site.empty() ? -1 : list.NameIndexGet(site);
        EXPECT_EQ(list.ActivityMatch("", address).Index, expected) << address.substr(0, 80);
        for (const auto& name : names) {
            EXPECT_EQ(SiteUrlMatch(name, address), name == site) << name << " in " << address.substr(0, 80);
        }
    }
}

TEST(MonitoredList, StaysSortedIgnoringCaseAndPutsDuplicatesInFront)
{
    TMonitoredList list;
    AddItem(list, "beta", "1", mitApp);
    AddItem(list, "Alpha", "2", mitApp);
    AddItem(list, "gamma", "3", mitApp);
    AddItem(list, "ALPHA", "4", mitApp);
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(Captions(list), (std::vector<std::string> { "ALPHA", "Alpha", "beta", "gamma" }));
    EXPECT_EQ(list.Items(0)->Name, "4"); // added later, stands in front of its equal
    // The key is fixed at insertion.
    list.Items(3)->Caption = "aaa";
    EXPECT_EQ(list.Keys(3), "gamma");
}

TEST(MonitoredList, NonAsciiKeysSortWithoutCrashing)
{
    TMonitoredList list;
    AddItem(list, "Zeta", "1", mitApp);
    AddItem(list, "\xC3\x89t\xC3\xA9", "2", mitApp); // "Été"
    AddItem(list, "\xFF\xFE broken", "3", mitApp); // not UTF-8
    AddItem(list, "\xC3\xA9t\xC3\xA9", "4", mitApp); // "été"
    EXPECT_EQ(list.Count(), 4);
    // Upper and lower case of the same word are equal keys: the later one stands in front.
    int upper = -1;
    int lower = -1;
    for (int i = 0; i < list.Count(); ++i) {
        if (list.Items(i)->Name == "2") {
            upper = i;
        }
        if (list.Items(i)->Name == "4") {
            lower = i;
        }
    }
    EXPECT_EQ(lower + 1, upper);
}

TEST(MonitoredList, DeleteClearAndBadIndexesAreAssertions)
{
    TMonitoredList list;
    AddItem(list, "a", "1", mitApp);
    EXPECT_THROW(list.Delete(1), EAssertionFailed);
    EXPECT_THROW(list.Items(-1), EAssertionFailed);
    EXPECT_THROW(list.Add("x", static_cast<TMonitoredItem*>(nullptr)), EAssertionFailed);
    EXPECT_THAT([&] { list.Delete(5); },
        ::testing::ThrowsMessage<EAssertionFailed>(::testing::HasSubstr("Assertion failure (MonitoredObjects, line ")));
    list.Delete(0);
    EXPECT_EQ(list.Count(), 0);
}

TEST(MonitoredList, InactiveItemsDeleteLeavesOnlyActive)
{
    TMonitoredList list;
    AddItem(list, "a", "1", mitApp, false);
    AddItem(list, "b", "2", mitApp, true);
    AddItem(list, "c", "3", mitWeb, false);
    list.InactiveItemsDelete();
    EXPECT_EQ(Captions(list), std::vector<std::string> { "b" });
    list.Items(0)->Active = false;
    list.InactiveItemsDelete();
    EXPECT_EQ(list.Count(), 0);
}

TEST(MonitoredList, ItemsCopyFiltersByKindAndKeyAndMakesNewEntries)
{
    TMonitoredList source;
    AddItem(source, "News Site", "news.org", mitWeb);
    AddItem(source, "Newsreader", "/usr/bin/newsreader", mitApp);
    AddItem(source, "Game", "/usr/games/game", mitApp);
    source.Items(source.NameIndexGet("news.org"))->Duration = 42;
    source.Items(source.NameIndexGet("news.org"))->Checked = true;

    TMonitoredList copy;
    AddItem(copy, "stale", "x", mitApp);
    copy.ItemsCopy(source, mitAll, "NEWS");
    EXPECT_EQ(Captions(copy), (std::vector<std::string> { "News Site", "Newsreader" }));
    EXPECT_NE(copy.Items(0), source.Items(0));
    EXPECT_EQ(copy.Items(0)->Duration, 42);
    EXPECT_TRUE(copy.Items(0)->Checked);

    copy.ItemsCopy(source, mitApp, "");
    EXPECT_EQ(Captions(copy), (std::vector<std::string> { "Game", "Newsreader" }));
}

TEST(MonitoredList, MissingItemsAddSkipsNamesAlreadyPresentAndLaterDuplicates)
{
    TMonitoredList target;
    AddItem(target, "Game", "/usr/games/game", mitApp);
    TMonitoredList source;
    AddItem(source, "Game again", "/USR/GAMES/GAME", mitApp);
    AddItem(source, "Tool 1", "/usr/bin/tool", mitApp);
    AddItem(source, "Tool 2", "/usr/bin/tool", mitApp);
    target.MissingItemsAdd(&source, "");
    EXPECT_EQ(Captions(target), (std::vector<std::string> { "Game", "Tool 1" }));
    EXPECT_THROW(target.MissingItemsAdd(nullptr, ""), EAssertionFailed);
}

TEST(MonitoredList, ItemStatusFollowsTheTableOrder)
{
    TMonitoredList list;
    AddItem(list, "active", "/a", mitApp);
    AddItem(list, "inactive", "/b", mitApp, false);
    list.Items(0)->Checked = true;
    TMonitoredItem probe;
    int index = 99;

    probe.Name = "/usr/bin/tallyhour";
    EXPECT_EQ(TMonitoredList().ItemStatusGet(&probe, index, "/USR/BIN/TALLYHOUR"), isOwnProgram);
    EXPECT_EQ(index, 99); // not written
    probe.Name = "/none";
    EXPECT_EQ(list.ItemStatusGet(&probe, index, "/usr/bin/tallyhour"), isNotListed);
    EXPECT_EQ(index, -1);
    probe.Name = "/B";
    EXPECT_EQ(list.ItemStatusGet(&probe, index, "/usr/bin/tallyhour"), isInactive);
    EXPECT_EQ(index, 1);
    probe.Name = "/a";
    EXPECT_EQ(list.ItemStatusGet(&probe, index, "/usr/bin/tallyhour"), isActiveChecked);
    list.Items(0)->Checked = false;
    EXPECT_EQ(list.ItemStatusGet(&probe, index, "/usr/bin/tallyhour"), isActiveUnchecked);
    EXPECT_THROW(list.ItemStatusGet(nullptr, index, ""), EAssertionFailed);
}

TEST(MonitoredList, NameValueItemsAddAddsOnlyUnmatchedPaths)
{
    TMonitoredList list;
    AddItem(list, "Shell", "/bin/bash", mitApp);
    NameValueItemsAdd({ "/BIN/BASH=bash", "/usr/bin/xterm=xterm=extra", "no equals sign" }, list);
    ASSERT_EQ(list.Count(), 3);
    const int xterm = list.NameIndexGet("/usr/bin/xterm");
    ASSERT_GE(xterm, 0);
    EXPECT_EQ(list.Items(xterm)->Caption, "xterm=extra");
    EXPECT_EQ(list.Items(xterm)->ItemType, mitApp);
    EXPECT_EQ(list.Keys(list.NameIndexGet("")), "no equals sign");
}

TEST(MonitoredList, ListBoxFillUnchecksInactiveAndFiltersByKind)
{
    TMonitoredList list;
    AddItem(list, "a site", "a.org", mitWeb, false);
    AddItem(list, "b app", "/b", mitApp);
    list.Items(0)->Checked = true;
    list.Items(1)->Checked = true;
    RecordingListBox box;
    box.Rows.emplace_back("old", nullptr);
    ListBoxFill(box, list, mitApp);
    EXPECT_EQ(box.Brackets, 1);
    EXPECT_EQ(box.Open, 0);
    EXPECT_EQ(box.CapacityAsked, 2);
    ASSERT_EQ(box.Rows.size(), 1u);
    EXPECT_EQ(box.Rows[0].second, list.Items(1));
    EXPECT_FALSE(list.Items(0)->Checked); // unchecked even though filtered out
    EXPECT_TRUE(list.Items(1)->Checked);
}

TEST(MonitoredItem, AssignTypeNamesAndDuration)
{
    TMonitoredItem a;
    EXPECT_TRUE(a.Active);
    EXPECT_EQ(a.ItemTypeNameGet(), "all");
    a.ItemType = mitWeb;
    EXPECT_EQ(a.ItemTypeNameGet(), "Web");
    a.Duration = 43200;
    EXPECT_DOUBLE_EQ(a.DurationAsDateTime(), 0.5);
    TMonitoredItem b;
    b.ItemAssign(a);
    EXPECT_EQ(b.ItemType, mitWeb);
    EXPECT_EQ(b.Duration, 43200);
    EXPECT_THROW(MonitoredItemTypeFromInt(3), EConvertError);
    EXPECT_THAT([] { MonitoredItemTypeFromInt(7); },
        ::testing::ThrowsMessage<EConvertError>(::testing::StrEq("AMonitoredItemType type = 7 is not allowed")));
}

TEST(SampleMatch, GivesCaptionOfMatchedEntryAndAssertsOnMissingList)
{
    TMonitoredList list;
    AddItem(list, "Videos", "video.example", mitWeb);
    auto found = SampleMatch({ "/usr/bin/firefox-esr", "https://video.example/watch" }, &list);
    EXPECT_TRUE(found.Found);
    EXPECT_EQ(found.Caption, "Videos");
    EXPECT_EQ(found.Origin, moSite);
    auto missing = SampleMatch({ "/usr/bin/xterm", "" }, &list);
    EXPECT_FALSE(missing.Found);
    EXPECT_TRUE(missing.Caption.empty());
    EXPECT_THROW(SampleMatch({}, nullptr), EAssertionFailed);
}
