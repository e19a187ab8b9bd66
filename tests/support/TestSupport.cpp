#include "support/TestSupport.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

int64_t TFakeClock::s_ticks = 0;

std::string FileText(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void FileWrite(const std::string& fileName, const std::string& text)
{
    std::ofstream out(fileName, std::ios::binary);
    out << text;
}

TFakeClock::TFakeClock(TDateTime base)
{
    s_ticks = 0;
    ClockTickSourceSet([] { return s_ticks; }, 1000, base);
}

TFakeClock::~TFakeClock()
{
    // Later tests in the same process get a clock that moves with real time again.
    ClockTickSourceSet(
        [] {
            return std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count();
        },
        1'000'000'000, SystemNow());
}

void TFakeClock::Advance(double seconds)
{
    s_ticks += static_cast<int64_t>(seconds * 1000.0);
}

void TFakeClock::AdvanceMs(int64_t milliseconds)
{
    s_ticks += milliseconds;
}

int64_t TFakeClock::Ticks() const
{
    return s_ticks;
}

TTempFolder::TTempFolder()
{
    // create_directory fails on a name taken already, so the folder is this test's own, as
    // mkdtemp makes it (which not every C library has).
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = std::filesystem::temp_directory_path() / ("tallyhour-test-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            std::filesystem::permissions(
                candidate, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace, error);
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TTempFolder::~TTempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TTempFolder::Text() const
{
    return m_path.string() + "/";
}
