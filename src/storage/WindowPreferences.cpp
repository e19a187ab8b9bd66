#include "storage/WindowPreferences.h"

#include "model/DataLocations.h"
#include "model/PrivateFiles.h"
#include "model/ProgramLog.h"
#include "storage/PreferencesFileIo.h"

// Only the single-byte variant is used, so no wide-character conversion is compiled in.
#define SI_NO_CONVERSION
// The template bodies are compiled here; no other unit includes the header.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// Decimal, or hexadecimal with "$" or "0x" as the program's integer reading has always allowed.
bool IntegerTextRead(const char* text, int32_t& value)
{
    if (!text) {
        return false;
    }
    std::string t(text);
    int base = 10;
    std::string digits = t;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits.erase(0, 1);
    }
    if (!digits.empty() && digits[0] == '$') {
        base = 16;
        digits.erase(0, 1);
    } else if (digits.size() > 1 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.erase(0, 2);
    }
    if (digits.empty() || digits[0] == '-' || digits[0] == '+' || digits[0] == ' ') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(digits.c_str(), &end, base);
    if (errno != 0 || *end != '\0') {
        return false;
    }
    const long long signedValue = negative ? -parsed : parsed;
    if (base == 10 && (signedValue < INT32_MIN || signedValue > INT32_MAX)) {
        return false;
    }
    // Hexadecimal texts name bit patterns (colours): 32 bits at most, taken as signed.
    if (base == 16 && (parsed > 0xFFFFFFFFLL)) {
        return false;
    }
    value = base == 16 ? int32_t(uint32_t(signedValue)) : int32_t(signedValue);
    return true;
}

bool IniBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IniLineSafe(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos
        && (text.empty() || (!IniBlank(text.front()) && !IniBlank(text.back())));
}

// Whether the file can hold this entry so that it reads back as written and leaves every other
// entry alone. Every entry belongs to a named section. A line break would start a line of its
// own (a value could open a section and take over the keys behind it), "=" in a key splits it
// elsewhere, a leading ";", "#" or "[" makes the line a comment or a section, and the reader
// trims blanks at either end.
bool IniEntryStorable(const std::string& section, const std::string& key, const std::string& value)
{
    return !section.empty() && IniLineSafe(section) && section.find(']') == std::string::npos && !key.empty()
        && IniLineSafe(key) && key.find('=') == std::string::npos && key.find_first_of(";#[") != 0
        && IniLineSafe(value);
}

std::function<void(const std::string&)>& ImageChangedHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}

std::unique_ptr<TWindowPreferences>& PreferencesObject()
{
    static std::unique_ptr<TWindowPreferences> object;
    return object;
}

} // namespace

struct TIniFile::TImpl
{
    CSimpleIniA Ini { false, false, false };
    TFileStamp Stamp;
    bool Loaded = false;
    // The file is there but could not be opened: writing now would replace every preference in
    // it with the few this run knows, so writes wait until it can be read again.
    bool Unreadable = false;
};

TIniFile::TIniFile(std::string fileName)
    : m_fileName(std::move(fileName))
    , m_impl(std::make_unique<TImpl>())
{
    m_impl->Ini.SetSpaces(false);
}

TIniFile::~TIniFile() = default;

void TIniFile::Refresh()
{
    const TFileStamp stamp = FileStampGet(m_fileName);
    if (m_impl->Loaded && stamp == m_impl->Stamp) {
        return;
    }
    m_impl->Ini.Reset();
    m_impl->Ini.SetSpaces(false);
    const bool wasUnreadable = m_impl->Unreadable;
    m_impl->Unreadable = false;
    if (stamp.Exists) {
        std::string text;
        std::string reason;
        // A malformed file reads as whatever could be parsed, else as empty.
        if (!PreferencesTextRead(m_fileName, text, reason)) {
            m_impl->Unreadable = true;
        } else if (m_impl->Ini.LoadData(text.data(), text.size()) < 0) {
            m_impl->Unreadable = true;
            reason = "it could not be parsed";
        }
        if (m_impl->Unreadable) {
            m_impl->Ini.Reset();
            if (!wasUnreadable) {
                LogMessageWrite("The preferences file \"" + m_fileName + "\" cannot be read (" + reason
                    + "); its values are not changed until it can be read again.");
            }
        }
    }
    m_impl->Stamp = stamp;
    m_impl->Loaded = true;
}

bool TIniFile::Store()
{
    if (m_impl->Unreadable) {
        m_impl->Loaded = false; // try the disk again at the next read
        return false;
    }
    std::string text;
    if (m_impl->Ini.Save(text) < 0) {
        return false;
    }
    // A reader takes a UTF-8 signature at the very start for the file's own and drops it, so a
    // first key that begins with one would lose it: such a file gets a signature of its own.
    constexpr std::string_view kUtf8Signature = "\xEF\xBB\xBF";
    if (text.starts_with(kUtf8Signature)) {
        text.insert(0, kUtf8Signature);
    }
    if (!FileDurablyReplace(m_fileName, text)) {
        m_impl->Loaded = false; // memory is ahead of the disk now; read the disk again next time
        return false;
    }
    m_impl->Stamp = FileStampGet(m_fileName);
    return true;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue)
{
    Refresh();
    int32_t value = defaultValue;
    if (IntegerTextRead(m_impl->Ini.GetValue(section.c_str(), key.c_str(), nullptr), value)) {
        return value;
    }
    return defaultValue;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue)
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& defaultValue)
{
    Refresh();
    const char* value = m_impl->Ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return value ? std::string(value) : defaultValue;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key)
{
    Refresh();
    return m_impl->Ini.GetValue(section.c_str(), key.c_str(), nullptr) != nullptr;
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value)
{
    return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(const std::string& section, const std::string& key, bool value)
{
    return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    if (!IniEntryStorable(section, key, value)) {
        LogMessageWrite("The preferences file \"" + m_fileName + "\" cannot hold the value of \"" + key + "\" in ["
            + section + "] (a line break, a blank at an end, or \"=\" in the name); it is not written.");
        return false;
    }
    Refresh();
    if (m_impl->Ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0) {
        return false;
    }
    return Store();
}

bool TIniFile::DeleteKey(const std::string& section, const std::string& key)
{
    Refresh();
    if (!m_impl->Ini.Delete(section.c_str(), key.c_str(), true)) {
        return true; // nothing to delete
    }
    return Store();
}

bool TIniFile::EraseSection(const std::string& section)
{
    Refresh();
    if (!m_impl->Ini.Delete(section.c_str(), nullptr)) {
        return true;
    }
    return Store();
}

bool TIniFile::SectionExists(const std::string& section)
{
    Refresh();
    return m_impl->Ini.GetSection(section.c_str()) != nullptr;
}

std::vector<std::pair<std::string, std::string>> TIniFile::SectionValuesRead(const std::string& section)
{
    Refresh();
    std::vector<std::pair<std::string, std::string>> result;
    CSimpleIniA::TNamesDepend keys;
    m_impl->Ini.GetAllKeys(section.c_str(), keys);
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& key : keys) {
        const char* value = m_impl->Ini.GetValue(section.c_str(), key.pItem, "");
        result.emplace_back(key.pItem, value ? value : "");
    }
    return result;
}

TWindowPreferences::TWindowPreferences(const std::string& fileName)
    : m_file(fileName)
{
}

bool TWindowPreferences::AutohideGet()
{
    return m_file.ReadBool("Position", "Autohide", false);
}

void TWindowPreferences::AutohideSet(bool value)
{
    m_file.WriteBool("Position", "Autohide", value);
}

int32_t TWindowPreferences::AlignGet()
{
    if (m_align == 0) {
        m_align = m_file.ReadInteger("Position", "Align", 1);
    }
    return m_align;
}

void TWindowPreferences::AlignSet(int32_t value)
{
    if (value == m_align) {
        return;
    }
    m_align = value;
    m_file.WriteInteger("Position", "Align", value);
}

int32_t TWindowPreferences::AlignVerticalGet()
{
    if (m_alignVertical == 0) {
        m_alignVertical = m_file.ReadInteger("Position", "AlignVertical", 0);
    }
    return m_alignVertical;
}

void TWindowPreferences::AlignVerticalSet(int32_t value)
{
    if (value == m_alignVertical) {
        return;
    }
    m_alignVertical = value;
    m_file.WriteInteger("Position", "AlignVertical", value);
}

int32_t TWindowPreferences::BackgroundColorGet()
{
    if (m_color == -1) {
        m_color = m_file.ReadInteger("Background", "Color", 0);
    }
    return m_color;
}

void TWindowPreferences::BackgroundColorSet(int32_t value)
{
    m_color = value;
    m_file.WriteInteger("Background", "Color", value);
}

int32_t TWindowPreferences::TextColorGet()
{
    if (m_textColor == -1) {
        m_textColor = m_file.ReadInteger("Background", "TextColor", 0xFFFFFF);
    }
    return m_textColor;
}

void TWindowPreferences::TextColorSet(int32_t value)
{
    m_textColor = value;
    m_file.WriteInteger("Background", "TextColor", value);
}

int32_t TWindowPreferences::TransparencyGet()
{
    if (m_transparency == -1) {
        m_transparency = m_file.ReadInteger("Background", "Transparency", 10);
    }
    return m_transparency;
}

void TWindowPreferences::TransparencySet(int32_t value)
{
    m_transparency = value;
    m_file.WriteInteger("Background", "Transparency", value);
}

std::string TWindowPreferences::BackgroundImageGet()
{
    if (m_image.empty()) {
        m_image = m_file.ReadString("Background", "Image", "");
    }
    return m_image;
}

void TWindowPreferences::BackgroundImageSet(const std::string& path)
{
    m_image = path;
    m_file.WriteString("Background", "Image", path);
    if (ImageChangedHook()) {
        ImageChangedHook()(path);
    }
}

void TWindowPreferences::BackgroundImageChangedHookSet(std::function<void(const std::string&)> hook)
{
    ImageChangedHook() = std::move(hook);
}

bool TWindowPreferences::Show5MinButtonGet()
{
    return m_file.ReadBool(kIniSectionCommon, "Show5MinButton", true);
}

TWindowPreferences& WindowPreferences()
{
    auto& object = PreferencesObject();
    const std::string& fileName = DataLocations().IniFileName;
    if (!object || object->File().FileName() != fileName) {
        object = std::make_unique<TWindowPreferences>(fileName);
    }
    return *object;
}

void WindowPreferencesFree()
{
    PreferencesObject().reset();
}
