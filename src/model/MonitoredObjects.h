#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/ProgramClock.h"

// The kind of a time-limit entry; mitAll is only a filter value that passes every kind.
enum TMonitoredItemType : uint8_t
{
    mitAll = 0,
    mitApp = 1,
    mitWeb = 2,
};

// Raises EConvertError "AMonitoredItemType type = %d is not allowed" for a value from outside
// that is no kind.
TMonitoredItemType MonitoredItemTypeFromInt(int value);

// One entry of a time-limit list: a site (address fragment) or an application (executable path).
class TMonitoredItem
{
public:
    bool Active = true;
    std::string Caption;
    TMonitoredItemType ItemType = mitAll;
    std::string Name;
    bool Checked = false;
    int32_t Duration = 0; // seconds spent in the period the owning list was loaded for

    void ItemAssign(const TMonitoredItem& source);
    std::string ItemTypeNameGet() const;
    TDateTime DurationAsDateTime() const;
};

// Where an item stands relative to a list (see TMonitoredList::ItemStatusGet).
enum TItemStatus : int
{
    isNotListed = 0,
    isActiveChecked = 1,
    isOwnProgram = 2,
    isInactive = 3,
    isActiveUnchecked = 5,
};

// Charges are stored with the origin of the match: 1 an application by its path, 2 a site.
enum TMatchOrigin : int
{
    moApplication = 1,
    moSite = 2,
};

struct TActivityMatchResult
{
    int Index = -1;
    TMatchOrigin Origin = moApplication;
};

// What ListBoxFill needs of a list box; the window framework supplies the Qt one.
class TListBoxSink
{
public:
    virtual ~TListBoxSink() = default;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    virtual void ItemsClear() = 0;
    virtual void ItemsCapacitySet(int capacity) = 0;
    // The list box shows `caption` and keeps `item` as its object without owning it.
    virtual void ItemAppend(const std::string& caption, TMonitoredItem* item) = 0;
};

// The sorted list that owns its entries. Keys are compared ignoring case in the user's locale
// collation; equal keys are allowed and a new one goes in front of its equals. A key is fixed
// when its entry is added (a later Caption change does not re-sort).
class TMonitoredList
{
public:
    TMonitoredList();
    ~TMonitoredList();
    TMonitoredList(const TMonitoredList&) = delete;
    TMonitoredList& operator=(const TMonitoredList&) = delete;

    void Add(const std::string& key, TMonitoredItem* item); // takes ownership
    void Add(const std::string& key, std::unique_ptr<TMonitoredItem> item);
    void Delete(int index);
    void Clear();
    int Count() const;
    int Capacity() const;
    void CapacitySet(int capacity);
    TMonitoredItem* Items(int index) const;
    const std::string& Keys(int index) const;

    int NameIndexGet(std::string_view name) const;
    int NameIndexGet(const TMonitoredItem& item) const;
    TActivityMatchResult ActivityMatch(std::string_view exePath, std::string_view address) const;
    // Returns the status; `index` is written for every status but isOwnProgram.
    // `ownExePath` is this program's own executable (the data locations' ProgramFileName).
    TItemStatus ItemStatusGet(const TMonitoredItem* item, int& index, std::string_view ownExePath) const;
    void InactiveItemsDelete();
    void ItemsCopy(const TMonitoredList& source, int kindFilter, std::string_view keyFilter);
    void MissingItemsAdd(const TMonitoredList* source, std::string_view keyFilter);

private:
    struct TEntry
    {
        std::string Key;
        std::wstring SortKey; // collation key of the lower-cased key, so comparing is a memcmp
        std::unique_ptr<TMonitoredItem> Item;
    };
    std::vector<TEntry> m_entries;
};

// The text of an address as the site rule compares it: trimmed, without scheme and without a
// "www." in its host part.
std::string_view UrlNormalize(std::string_view text);
// A site matches by the host only: its name must begin in the host part of the address (a
// subdomain in front is fine), never in a path, query or fragment.
bool SiteUrlMatch(std::string_view name, std::string_view address);

// The exact text the list is sorted by for `key` (exposed for tests of the order).
std::wstring MonitoredKeySortKey(std::string_view key);

// Adds each "path=display name" line whose path no entry matches, as an active application.
void NameValueItemsAdd(const std::vector<std::string>& lines, TMonitoredList& list);

void ListBoxFill(TListBoxSink& listBox, const TMonitoredList& list, int kindFilter);

// The fields of a sample that matching reads; the monitor's sample provides them. Views, so a
// scan matches its sample without copying it; they must outlive the SampleMatch call.
struct TSampleMatchInput
{
    std::string_view ExeName;
    std::string_view BrowserUrl;
};

struct TSampleMatchResult
{
    bool Found = false;
    int Index = -1;
    TMatchOrigin Origin = moApplication;
    std::string Caption;
};

TSampleMatchResult SampleMatch(const TSampleMatchInput& sample, const TMonitoredList* list);
