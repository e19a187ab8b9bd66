#pragma once

#include "model/ProgramClock.h"

#include <cstdint>
#include <filesystem>
#include <string>

// A tick source the test moves by hand: the program clock then reads exactly what the test set.
// One tick is one millisecond. Installing it restarts the program clock at `base`.
class TFakeClock
{
public:
    explicit TFakeClock(TDateTime base);
    ~TFakeClock();
    void Advance(double seconds);
    void AdvanceMs(int64_t milliseconds);
    int64_t Ticks() const;

private:
    static int64_t s_ticks;
};

// The whole content of a file, byte for byte; empty when it cannot be read.
std::string FileText(const std::string& fileName);
// Writes `text` as the whole content of a file, byte for byte.
void FileWrite(const std::string& fileName, const std::string& text);

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TTempFolder
{
public:
    TTempFolder();
    ~TTempFolder();
    const std::filesystem::path& Path() const
    {
        return m_path;
    }
    // The folder as a text with a trailing "/".
    std::string Text() const;

private:
    std::filesystem::path m_path;
};
