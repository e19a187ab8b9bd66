#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The sectioned key=value preferences file. Section and key names ignore case. Every write
// reaches the disk at once: the whole file is written to a temporary file that is renamed over
// the old one, so a crash never leaves a torn file. Reads pick up changes made by others (a
// value edited by hand) because the file is parsed again whenever it changed on disk.
// A file that cannot be read counts as empty; a write that fails is dropped silently (the
// callers keep their cached value for the run).
class TIniFile
{
public:
    explicit TIniFile(std::string fileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const
    {
        return m_fileName;
    }

    // An absent key, or one that does not read as a 32-bit integer, gives the default.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue);
    // Read as an integer: any non-zero value is true.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue);
    std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue);
    bool ValueExists(const std::string& section, const std::string& key);

    // Each returns whether the file was written. An entry the file cannot hold as written (no
    // section name, a line break, a blank at either end, "=" or a leading ";", "#", "[" in the
    // key) is refused with a log line, so it never changes another entry.
    bool WriteInteger(const std::string& section, const std::string& key, int32_t value);
    bool WriteBool(const std::string& section, const std::string& key, bool value);
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool DeleteKey(const std::string& section, const std::string& key);
    bool EraseSection(const std::string& section);

    bool SectionExists(const std::string& section);
    // The key=value pairs of a section, in file order.
    std::vector<std::pair<std::string, std::string>> SectionValuesRead(const std::string& section);

private:
    struct TImpl;
    void Refresh();
    bool Store();
    std::string m_fileName;
    std::unique_ptr<TImpl> m_impl;
};

// The window preferences: docking, auto-hide and the skinned windows' background, cached as
// the program has always cached them, plus direct access to the file for the sections
// "Common", "Applications" and "WebSites".
class TWindowPreferences
{
public:
    explicit TWindowPreferences(const std::string& fileName);

    TIniFile& File()
    {
        return m_file;
    }

    // "Position"
    bool AutohideGet(); // read from the file on every call
    void AutohideSet(bool value);
    int32_t AlignGet(); // 1 right edge, anything else left; re-read while the cache is 0
    void AlignSet(int32_t value);
    int32_t AlignVerticalGet(); // 0 top, 1 bottom, 2 top
    void AlignVerticalSet(int32_t value);

    // "Background"; colours are 0x00BBGGRR, transparency in percent.
    int32_t BackgroundColorGet();
    void BackgroundColorSet(int32_t value);
    int32_t TextColorGet();
    void TextColorSet(int32_t value);
    int32_t TransparencyGet();
    void TransparencySet(int32_t value);
    std::string BackgroundImageGet();
    // Also calls the image-changed hook with the new path so the cached picture is reloaded.
    void BackgroundImageSet(const std::string& path);

    // The window framework keeps the decoded picture; it learns of a new path through this.
    // The hook is process-wide: it outlives WindowPreferencesFree.
    static void BackgroundImageChangedHookSet(std::function<void(const std::string&)> hook);

    // "Common"/"Show5MinButton", default true.
    bool Show5MinButtonGet();

private:
    TIniFile m_file;
    int32_t m_align = 0;
    int32_t m_alignVertical = 0;
    int32_t m_color = -1;
    int32_t m_textColor = -1;
    int32_t m_transparency = -1;
    std::string m_image;
};

// Section and key names shared by the units that use the file directly.
inline constexpr const char* kIniSectionCommon = "Common";
inline constexpr const char* kIniSectionApplications = "Applications";
inline constexpr const char* kIniSectionWebSites = "WebSites";

// The one preferences object, for the data locations' IniFileName. Created on first use; made
// again when the data locations point elsewhere (tests switch data folders).
TWindowPreferences& WindowPreferences();
// Drops the object and its caches (program end, tests).
void WindowPreferencesFree();
