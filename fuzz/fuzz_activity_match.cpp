// The site rule and the matching rule against a second statement of them, written from the
// rule's wording rather than from the product's code:
// - an address is trimmed of every byte up to 32 at both ends, loses everything through the
//   first "://", then everything through the first "www." when no "/", "?" or "#" stands in
//   front of it;
// - a site name matches when its normalised text is not empty and its first occurrence in the
//   normalised address has no "/", "?" or "#" in front of it;
// - the walk in key order stops at the first site match (origin 2); otherwise the last entry
//   whose name equals the path without regard to ASCII case wins (origin 1), -1 when none.
#include "FuzzSupport.h"
#include "model/MonitoredObjects.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <string>
#include <vector>

namespace {

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

std::string ReferenceTrim(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool HasHostEnd(const std::string& text)
{
    return text.find_first_of("/?#") != std::string::npos;
}

std::string ReferenceNormalize(const std::string& text)
{
    std::string result = ReferenceTrim(text);
    if (const size_t scheme = result.find("://"); scheme != std::string::npos) {
        result = result.substr(scheme + 3);
    }
    if (const size_t www = result.find("www."); www != std::string::npos && !HasHostEnd(result.substr(0, www))) {
        result = result.substr(www + 4);
    }
    return result;
}

bool ReferenceSiteMatch(const std::string& name, const std::string& address)
{
    const std::string n = ReferenceNormalize(name);
    const std::string u = ReferenceNormalize(address);
    if (n.empty()) {
        return false;
    }
    const size_t p = u.find(n);
    return p != std::string::npos && !HasHostEnd(u.substr(0, p));
}

bool SameAsciiCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = char(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = char(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

// Short texts built from the pieces addresses are made of, so matches are frequent.
std::string UrlishText(FuzzedDataProvider& data)
{
    static const char* const pieces[] = { "://", "www.", "http", "example.com", "m.", "/", "?", "#", "=", ".", " ",
        "\t", "EXAMPLE", "a", "W", "ww", "c:\\p\\a.exe", "C:\\P\\A.EXE", "%", "\xc3\xa9" };
    std::string text;
    const int count = data.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < count && data.remaining_bytes() > 0; ++i) {
        if (data.ConsumeBool()) {
            text += pieces[data.ConsumeIntegralInRange<size_t>(0, std::size(pieces) - 1)];
        } else {
            text += data.ConsumeRandomLengthString(6);
        }
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    TMonitoredList list;
    const int entries = data.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < entries; ++i) {
        auto item = std::make_unique<TMonitoredItem>();
        item->Name = UrlishText(data);
        item->Caption = data.ConsumeRandomLengthString(4);
        item->Active = data.ConsumeBool();
        item->ItemType = data.ConsumeBool() ? mitWeb : mitApp;
        const std::string key = item->Caption;
        list.Add(key, std::move(item));
    }
    const std::string exePath = UrlishText(data);
    const std::string address = UrlishText(data);

    const std::string detail = "address " + FuzzQuoted(address) + " path " + FuzzQuoted(exePath);
    FUZZ_CHECK(std::string(UrlNormalize(address)) == ReferenceNormalize(address), detail);

    int site = -1;
    int application = -1;
    for (int i = 0; i < list.Count() && site < 0; ++i) {
        const std::string& name = list.Items(i)->Name;
        FUZZ_CHECK(
            SiteUrlMatch(name, address) == ReferenceSiteMatch(name, address), detail + " name " + FuzzQuoted(name));
        if (!ReferenceTrim(address).empty() && ReferenceSiteMatch(name, address)) {
            site = i;
        } else if (SameAsciiCase(name, exePath)) {
            application = i;
        }
    }
    const TActivityMatchResult result = list.ActivityMatch(exePath, address);
    const int expectedIndex = site >= 0 ? site : application;
    const TMatchOrigin expectedOrigin = site >= 0 ? moSite : moApplication;
    FUZZ_CHECK(result.Index == expectedIndex && result.Origin == expectedOrigin,
        detail + " index " + std::to_string(result.Index) + " expected " + std::to_string(expectedIndex));
    return 0;
}
