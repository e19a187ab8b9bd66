#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

// A property that does not hold is a finding: print what is needed to reproduce it and stop,
// so libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition, detail)                                                                                  \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "Property failed: %s\n%s\n", #condition, std::string(detail).c_str());                \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

// Shows bytes of a text readably in a finding.
inline std::string FuzzQuoted(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c < 32 || c >= 127 || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}
