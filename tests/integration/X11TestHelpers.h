#pragma once

#include "platform/linux/x11/X11WindowSystem.h"
#include "support/desktop/TestDesktop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>

// Skips the running test when a program the desktop needs is not installed (CI installs all).
#define TH_REQUIRE_PROGRAMS(...)                                                                                       \
    do {                                                                                                               \
        for (const char* program : { __VA_ARGS__ }) {                                                                  \
            if (TTestDesktop::ProgramFind(program).empty())                                                            \
                GTEST_SKIP() << program << " is not installed (scripts/deps.sh --browsers installs it)";               \
        }                                                                                                              \
    } while (false)

// The "key: value" lines of the tallyhour-sample command's output; other lines under "?<n>".
inline std::map<std::string, std::string> SampleLinesParse(const std::string& output)
{
    std::map<std::string, std::string> values;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string text = output.substr(start, end - start);
        start = end + 1;
        while (!text.empty() && text.back() == '\r')
            text.pop_back();
        const size_t colon = text.find(": ");
        if (colon != std::string::npos)
            values[text.substr(0, colon)] = text.substr(colon + 2);
        else if (text.size() && text.back() == ':')
            values[text.substr(0, text.size() - 1)] = "";
        else
            values["?" + std::to_string(values.size())] = text;
    }
    return values;
}

// Runs the tallyhour-sample command on the current desktop and returns its "key: value" lines.
inline std::map<std::string, std::string> SampleCommandRun(const std::string& arguments = "")
{
    const char* binDir = std::getenv("TALLYHOUR_BIN_DIR");
    const std::string command = std::string(binDir ? binDir : ".") + "/tallyhour-sample " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {};
    std::string output;
    char buffer[4096];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, read);
    auto values = SampleLinesParse(output);
    values["exit"] = std::to_string(pclose(pipe));
    return values;
}

// Runs the tallyhour-sample command as the desktop's programs run (its own account where it has
// one: its session bus and XWayland admit no other). "output" holds everything it wrote.
inline std::map<std::string, std::string> DesktopSampleRun(TTestDesktop& desktop)
{
    const char* binDir = std::getenv("TALLYHOUR_BIN_DIR");
    std::string output;
    const int status = desktop.ProgramRun(
        { std::string(binDir ? binDir : ".") + "/tallyhour-sample" }, "tallyhour-sample", 30, output);
    auto values = SampleLinesParse(output);
    values["exit"] = std::to_string(status);
    values["output"] = output;
    return values;
}

// The titles of the desktop's top-level windows, for a failure's message.
inline std::string WindowTitles(TTestDesktop& desktop)
{
    std::string titles;
    for (TWindowHandle window : desktop.Windows().TopLevelWindowsGet())
        titles += "\"" + desktop.Windows().WindowTextGet(window) + "\" ";
    return titles;
}

inline std::string WindowHandleText(uint64_t window)
{
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(window));
    return text;
}

// Sends keys to the window in front as a user types them (xdotool through the X test extension),
// e.g. KeysSend("key ctrl+t") or KeysSend("type --delay 30 'text'"). True when xdotool ran.
inline bool KeysSend(const std::string& arguments)
{
    return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// Reads `read` every 200 ms until it gives `wanted` or `seconds` have passed; returns the last
// value read.
inline std::string ValueWait(const std::string& wanted, double seconds, const std::function<std::string()>& read)
{
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    std::string value = read();
    while (value != wanted && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        value = read();
    }
    return value;
}
