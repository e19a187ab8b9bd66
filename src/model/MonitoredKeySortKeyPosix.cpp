#include "model/MonitoredObjects.h"

#include <clocale>
#include <cwctype>
#include <locale.h>
#include <wchar.h>

namespace {

// Lower-casing needs a Unicode character table whatever the user's locale is; the order comes
// from the user's own collation, falling back to code points when the locale has none.
struct TCollation
{
    locale_t ctype = nullptr;
    locale_t collate = nullptr;

    TCollation()
    {
        ctype = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        collate = newlocale(LC_COLLATE_MASK, "", static_cast<locale_t>(nullptr));
        if (!collate) {
            collate = newlocale(LC_COLLATE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        }
    }
};

const TCollation& Collation()
{
    static const TCollation collation;
    return collation;
}

// UTF-8 to code points; a malformed byte becomes U+FFFD so odd captions still sort.
std::wstring DecodeUtf8(std::string_view text)
{
    std::wstring result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        wchar_t code = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = static_cast<wchar_t>((code << 6) | (next & 0x3F));
        }
        if (!valid) {
            result.push_back(0xFFFD);
            ++i;
            continue;
        }
        result.push_back(code);
        i += length;
    }
    return result;
}

} // namespace

std::wstring MonitoredKeySortKey(std::string_view key)
{
    const TCollation& collation = Collation();
    std::wstring lower = DecodeUtf8(key);
    for (wchar_t& ch : lower) {
        ch = collation.ctype ? towlower_l(static_cast<wint_t>(ch), collation.ctype) : std::towlower(ch);
    }
    if (!collation.collate) {
        return lower;
    }
    const size_t size = wcsxfrm_l(nullptr, lower.c_str(), 0, collation.collate);
    std::wstring transformed(size + 1, L'\0');
    wcsxfrm_l(transformed.data(), lower.c_str(), transformed.size(), collation.collate);
    transformed.resize(size);
    return transformed;
}
