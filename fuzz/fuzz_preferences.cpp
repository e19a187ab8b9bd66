// The preferences file as anyone may have left it: reading it never fails, and a write of one
// key keeps every other key of every section, as a fresh reader of the file sees it.
#include "FuzzSupport.h"
#include "storage/WindowPreferences.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::string Lower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return text;
}

std::string FileName()
{
    static const std::string name = "/dev/shm/th-fuzz-preferences-" + std::to_string(::getpid()) + ".ini";
    return name;
}

// The section names that a line of the text may open, trimmed; names that open no section
// simply read as empty.
std::vector<std::string> SectionNamesSeen(const std::string& text)
{
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        const size_t open = line.find_first_not_of(" \t");
        if (open != std::string::npos && line[open] == '[') {
            const size_t close = line.find(']', open);
            std::string name = line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
                name.pop_back();
            }
            while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) {
                name.erase(0, 1);
            }
            names.push_back(name);
        }
        start = end + 1;
    }
    return names;
}

using TSnapshot = std::map<std::pair<std::string, std::string>, std::string>;

TSnapshot Snapshot(const std::vector<std::string>& sections)
{
    TIniFile file(FileName());
    TSnapshot values;
    for (const std::string& section : sections) {
        for (const auto& [key, value] : file.SectionValuesRead(section)) {
            values.emplace(std::pair { Lower(section), Lower(key) }, file.ReadString(section, key, "\x01"));
        }
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    std::string section = data.ConsumeRandomLengthString(10);
    std::string key = data.ConsumeRandomLengthString(10);
    const std::string value = data.ConsumeRandomLengthString(20);
    const std::string text = data.ConsumeRemainingBytesAsString();
    {
        std::ofstream out(FileName(), std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::vector<std::string> sections = SectionNamesSeen(text);
    sections.push_back(section);
    const TSnapshot before = Snapshot(sections);

    bool written = false;
    {
        TIniFile file(FileName());
        written = file.WriteString(section, key, value);
    }
    const TSnapshot after = Snapshot(sections);
    const std::string detail = "section " + FuzzQuoted(section) + " key " + FuzzQuoted(key) + " value "
        + FuzzQuoted(value) + "\nfile " + FuzzQuoted(text);
    for (const auto& [where, old] : before) {
        if (written && where == std::pair { Lower(section), Lower(key) }) {
            continue;
        }
        const auto found = after.find(where);
        FUZZ_CHECK(found != after.end() && found->second == old,
            detail + "\nlost [" + where.first + "] " + where.second + " = " + FuzzQuoted(old));
    }
    if (written) {
        TIniFile file(FileName());
        const std::string readBack = file.ReadString(section, key, "\x01");
        FUZZ_CHECK(readBack == value, detail + "\nread back " + FuzzQuoted(readBack));
    }
    std::remove(FileName().c_str());
    return 0;
}
