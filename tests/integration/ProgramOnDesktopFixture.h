#pragma once

// What the tests of the real program on a private desktop share: the program chooses its Qt
// platform itself, as started from the desktop (the offscreen platform the widget tests ask for is
// put aside), its data folder is the one it computes for the desktop's fresh HOME, and the checks
// read its log and its exit status.

#include "X11TestHelpers.h"

#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/TestSupport.h"

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

inline void Pause(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

class ProgramOnDesktopFixture : public ::testing::Test
{
protected:
    // Before the desktop starts.
    void PlatformPutAside()
    {
        if (const char* platform = std::getenv("QT_QPA_PLATFORM")) {
            m_platform = platform;
            unsetenv("QT_QPA_PLATFORM");
        }
    }
    // Once the desktop runs: the program and the data folder it will compute for itself.
    void ProgramLocate()
    {
        const char* binDir = std::getenv("TALLYHOUR_BIN_DIR");
        m_program = std::string(binDir ? binDir : ".") + "/tallyhour";
        m_locations = DataLocationsCompute({}, m_program);
    }
    void TearDown() override
    {
        OptionsInstanceFree();
        WindowPreferencesFree();
        LogFileNameSet({});
        m_desktop.Stop();
        if (!m_platform.empty())
            setenv("QT_QPA_PLATFORM", m_platform.c_str(), 1);
    }

    std::string LogText() const
    {
        return FileText(m_locations.LogFileName);
    }
    // Polls the program's log until a line contains `part`; returns that line, or empty.
    std::string LogLineWait(const std::string& part, double seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            const std::string text = LogText();
            const size_t at = text.find(part);
            if (at != std::string::npos) {
                const size_t begin = text.rfind('\n', at);
                const size_t start = begin == std::string::npos ? 0 : begin + 1;
                const size_t end = text.find('\n', at);
                return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            }
            Pause(100);
        } while (std::chrono::steady_clock::now() < deadline);
        return {};
    }
    // The program's exit status once it ended, or -1 when it still runs after `seconds`.
    static int ExitWait(pid_t pid, double seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            Pause(50);
        } while (std::chrono::steady_clock::now() < deadline);
        return -1;
    }

    TTestDesktop m_desktop;
    std::string m_program;
    TDataLocations m_locations;
    std::string m_platform;
};
