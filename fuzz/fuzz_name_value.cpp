// The running programs' lines join a list: a line whose path the list already matches adds
// nothing, every other line adds one active application under its display name, split at the
// first "=". The list stays sorted and every entry it held stays.
#include "FuzzSupport.h"
#include "model/MonitoredObjects.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    TMonitoredList list;
    const int entries = data.ConsumeIntegralInRange(0, 5);
    for (int i = 0; i < entries; ++i) {
        auto item = std::make_unique<TMonitoredItem>();
        item->Name = data.ConsumeRandomLengthString(12);
        item->Caption = data.ConsumeRandomLengthString(8);
        const std::string key = item->Caption;
        list.Add(key, std::move(item));
    }
    std::vector<std::string> lines;
    const int count = data.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < count; ++i) {
        lines.push_back(data.ConsumeRandomLengthString(16));
    }

    std::vector<std::string> before;
    for (int i = 0; i < list.Count(); ++i) {
        before.push_back(list.Items(i)->Name);
    }
    // What each line must do, worked out one line at a time on a copy of the names seen so far.
    int expectedAdded = 0;
    TMonitoredList shadow;
    for (int i = 0; i < list.Count(); ++i) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemAssign(*list.Items(i));
        shadow.Add(list.Keys(i), std::move(item));
    }
    for (const std::string& line : lines) {
        const size_t equals = line.find('=');
        const std::string path = equals == std::string::npos ? std::string() : line.substr(0, equals);
        if (shadow.ActivityMatch(path, {}).Index < 0) {
            ++expectedAdded;
            auto item = std::make_unique<TMonitoredItem>();
            item->Name = path;
            shadow.Add(line, std::move(item));
        }
    }

    NameValueItemsAdd(lines, list);
    FUZZ_CHECK(list.Count() == int(before.size()) + expectedAdded, std::to_string(list.Count()));
    int kept = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const TMonitoredItem& item = *list.Items(i);
        FUZZ_CHECK(list.Keys(i) == item.Caption || item.ItemType != mitApp || !item.Active, FuzzQuoted(list.Keys(i)));
        if (i > 0) {
            FUZZ_CHECK(MonitoredKeySortKey(list.Keys(i - 1)) <= MonitoredKeySortKey(list.Keys(i)),
                FuzzQuoted(list.Keys(i - 1)) + " before " + FuzzQuoted(list.Keys(i)));
        }
        if (item.ItemType == mitApp && item.Active && item.Caption == list.Keys(i)) {
            bool fromLine = false;
            for (const std::string& line : lines) {
                const size_t equals = line.find('=');
                const std::string path = equals == std::string::npos ? std::string() : line.substr(0, equals);
                const std::string shown = equals == std::string::npos ? line : line.substr(equals + 1);
                fromLine = fromLine || (item.Name == path && item.Caption == shown);
            }
            FUZZ_CHECK(fromLine, FuzzQuoted(item.Name) + " = " + FuzzQuoted(item.Caption));
        } else {
            ++kept;
        }
    }
    FUZZ_CHECK(kept == int(before.size()), std::to_string(kept));
    return 0;
}
