#include "model/MonitoredObjects.h"

#include "model/Assert.h"
#include "model/PackagedPaths.h"
#include "model/TextHelpers.h"

#include <algorithm>

namespace {

constexpr const char* kUnitName = "MonitoredObjects";

TActivityMatchResult MatchResult(int siteIndex, int applicationIndex)
{
    if (siteIndex >= 0) {
        return { siteIndex, moSite };
    }
    return { applicationIndex, moApplication };
}

// Where the host part of an address without scheme ends: at its first "/", "?" or "#", or at
// its end.
size_t HostEnd(std::string_view address)
{
    return std::min(address.find_first_of("/?#"), address.size());
}

// The site rule on normalised texts: the name must begin inside the host part, so a subdomain
// in front ("m.") still matches while the name inside a path or query does not.
bool NormalizedSiteMatch(std::string_view name, std::string_view address, size_t hostEnd)
{
    return !name.empty() && address.substr(0, hostEnd + name.size()).find(name) != std::string_view::npos;
}

bool PassesKeyFilter(const std::string& key, const std::string& lowerFilter)
{
    return lowerFilter.empty() || AsciiLowerCase(key).find(lowerFilter) != std::string::npos;
}

} // namespace

TMonitoredItemType MonitoredItemTypeFromInt(int value)
{
    if (value < mitAll || value > mitWeb) {
        throw EConvertError(Format("AMonitoredItemType type = %d is not allowed", value));
    }
    return static_cast<TMonitoredItemType>(value);
}

void TMonitoredItem::ItemAssign(const TMonitoredItem& source)
{
    Active = source.Active;
    Caption = source.Caption;
    ItemType = source.ItemType;
    Name = source.Name;
    Duration = source.Duration;
    Checked = source.Checked;
}

std::string TMonitoredItem::ItemTypeNameGet() const
{
    switch (ItemType) {
    case mitAll:
        return "all";
    case mitApp:
        return "App";
    case mitWeb:
        return "Web";
    }
    return {};
}

TDateTime TMonitoredItem::DurationAsDateTime() const
{
    return Duration / 86400.0;
}

TMonitoredList::TMonitoredList() = default;
TMonitoredList::~TMonitoredList() = default;

void TMonitoredList::Add(const std::string& key, TMonitoredItem* item)
{
    Add(key, std::unique_ptr<TMonitoredItem>(item));
}

void TMonitoredList::Add(const std::string& key, std::unique_ptr<TMonitoredItem> item)
{
    TH_ASSERT(item != nullptr, kUnitName);
    TEntry entry { key, MonitoredKeySortKey(key), std::move(item) };
    // The first position whose key is not less than the new one: a duplicate goes in front.
    auto position = std::lower_bound(m_entries.begin(), m_entries.end(), entry.SortKey,
        [](const TEntry& existing, const std::wstring& sortKey) { return existing.SortKey < sortKey; });
    m_entries.insert(position, std::move(entry));
}

void TMonitoredList::Delete(int index)
{
    TH_ASSERT(index >= 0 && index < Count(), kUnitName);
    m_entries.erase(m_entries.begin() + index);
}

void TMonitoredList::Clear()
{
    m_entries.clear();
}

int TMonitoredList::Count() const
{
    return static_cast<int>(m_entries.size());
}

int TMonitoredList::Capacity() const
{
    return static_cast<int>(m_entries.capacity());
}

void TMonitoredList::CapacitySet(int capacity)
{
    if (capacity > 0) {
        m_entries.reserve(static_cast<size_t>(capacity));
    }
}

TMonitoredItem* TMonitoredList::Items(int index) const
{
    TH_ASSERT(index >= 0 && index < Count(), kUnitName);
    TH_ASSERT(m_entries[static_cast<size_t>(index)].Item != nullptr, kUnitName);
    return m_entries[static_cast<size_t>(index)].Item.get();
}

const std::string& TMonitoredList::Keys(int index) const
{
    TH_ASSERT(index >= 0 && index < Count(), kUnitName);
    return m_entries[static_cast<size_t>(index)].Key;
}

int TMonitoredList::NameIndexGet(std::string_view name) const
{
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (SameTextAscii(m_entries[i].Item->Name, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int TMonitoredList::NameIndexGet(const TMonitoredItem& item) const
{
    return NameIndexGet(item.Name);
}

TActivityMatchResult TMonitoredList::ActivityMatch(std::string_view exePath, std::string_view address) const
{
    // The address is the same for every entry, so it is normalised once.
    const bool haveAddress = !TrimView(address).empty();
    const std::string_view normalizedAddress = haveAddress ? UrlNormalize(address) : std::string_view();
    const size_t hostEnd = HostEnd(normalizedAddress);

    // A snap's program is sampled under its "current" link; an entry listed under the revision
    // it had then still names the same program after every refresh.
    const bool snapSample = exePath.find("/snap/") != std::string_view::npos;
    const std::string currentExePath = snapSample ? SnapRevisionPathToCurrent(exePath) : std::string();
    int applicationIndex = -1;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const TMonitoredItem& item = *m_entries[i].Item;
        if (haveAddress && NormalizedSiteMatch(UrlNormalize(item.Name), normalizedAddress, hostEnd)) {
            return MatchResult(static_cast<int>(i), applicationIndex);
        }
        if (SameTextAscii(item.Name, exePath)
            || (snapSample && item.Name.find("/snap/") != std::string::npos
                && SameTextAscii(SnapRevisionPathToCurrent(item.Name), currentExePath))) {
            applicationIndex = static_cast<int>(i);
        }
    }
    return MatchResult(-1, applicationIndex);
}

TItemStatus TMonitoredList::ItemStatusGet(const TMonitoredItem* item, int& index, std::string_view ownExePath) const
{
    TH_ASSERT(item != nullptr, kUnitName);
    if (SameTextAscii(item->Name, ownExePath)) {
        return isOwnProgram;
    }
    index = NameIndexGet(*item);
    if (index < 0) {
        return isNotListed;
    }
    const TMonitoredItem& found = *Items(index);
    if (!found.Active) {
        return isInactive;
    }
    return found.Checked ? isActiveChecked : isActiveUnchecked;
}

void TMonitoredList::InactiveItemsDelete()
{
    for (int i = Count() - 1; i >= 0; --i) {
        if (!Items(i)->Active) {
            Delete(i);
        }
    }
}

void TMonitoredList::ItemsCopy(const TMonitoredList& source, int kindFilter, std::string_view keyFilter)
{
    TH_ASSERT(&source != this, kUnitName);
    Clear();
    const std::string lowerFilter = AsciiLowerCase(keyFilter);
    for (int i = 0; i < source.Count(); ++i) {
        const TMonitoredItem& item = *source.Items(i);
        if ((kindFilter == mitAll || kindFilter == item.ItemType) && PassesKeyFilter(source.Keys(i), lowerFilter)) {
            auto copy = std::make_unique<TMonitoredItem>();
            copy->ItemAssign(item);
            Add(source.Keys(i), std::move(copy));
        }
    }
}

void TMonitoredList::MissingItemsAdd(const TMonitoredList* source, std::string_view keyFilter)
{
    TH_ASSERT(source != nullptr && source != this, kUnitName);
    const std::string lowerFilter = AsciiLowerCase(keyFilter);
    for (int i = 0; i < source->Count(); ++i) {
        const TMonitoredItem& item = *source->Items(i);
        if (PassesKeyFilter(source->Keys(i), lowerFilter) && NameIndexGet(item) < 0) {
            auto copy = std::make_unique<TMonitoredItem>();
            copy->ItemAssign(item);
            Add(source->Keys(i), std::move(copy));
        }
    }
}

std::string_view UrlNormalize(std::string_view text)
{
    std::string_view result = TrimView(text);
    if (const size_t scheme = result.find("://"); scheme != std::string_view::npos) {
        result.remove_prefix(scheme + 3);
    }
    // Only a "www." of the host is dropped: one further on (a link in a query) would otherwise
    // make the address look like the site it merely names.
    if (const size_t www = result.substr(0, HostEnd(result)).find("www."); www != std::string_view::npos) {
        result.remove_prefix(www + 4);
    }
    return result;
}

bool SiteUrlMatch(std::string_view name, std::string_view address)
{
    const std::string_view normalizedAddress = UrlNormalize(address);
    return NormalizedSiteMatch(UrlNormalize(name), normalizedAddress, HostEnd(normalizedAddress));
}

void NameValueItemsAdd(const std::vector<std::string>& lines, TMonitoredList& list)
{
    for (const std::string& line : lines) {
        const size_t equals = line.find('=');
        const std::string path = equals == std::string::npos ? std::string() : line.substr(0, equals);
        const std::string displayName = equals == std::string::npos ? line : line.substr(equals + 1);
        if (list.ActivityMatch(path, {}).Index >= 0) {
            continue;
        }
        auto item = std::make_unique<TMonitoredItem>();
        item->Name = path;
        item->Caption = displayName;
        item->ItemType = mitApp;
        item->Active = true;
        list.Add(displayName, std::move(item));
    }
}

void ListBoxFill(TListBoxSink& listBox, const TMonitoredList& list, int kindFilter)
{
    listBox.BeginUpdate();
    try {
        listBox.ItemsClear();
        listBox.ItemsCapacitySet(list.Count());
        for (int i = 0; i < list.Count(); ++i) {
            TMonitoredItem* item = list.Items(i);
            if (!item->Active) {
                item->Checked = false;
            }
            if (kindFilter == mitAll || kindFilter == item->ItemType) {
                listBox.ItemAppend(item->Caption, item);
            }
        }
    } catch (...) {
        listBox.EndUpdate();
        throw;
    }
    listBox.EndUpdate();
}

TSampleMatchResult SampleMatch(const TSampleMatchInput& sample, const TMonitoredList* list)
{
    TH_ASSERT(list != nullptr, kUnitName);
    const TActivityMatchResult match = list->ActivityMatch(sample.ExeName, sample.BrowserUrl);
    TSampleMatchResult result;
    result.Index = match.Index;
    result.Origin = match.Origin;
    result.Found = match.Index >= 0;
    if (result.Found) {
        result.Caption = list->Items(match.Index)->Caption;
    }
    return result;
}
