#include "model/ZaraveDezeZurirevuzorDefs.h"

#include "model/Assert.h"
#include "model/TextHelpers.h"

#include <cerrno>
#include <sys/stat.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr const char* kUnitName = "ZaraveDezeZurirevuzorDefs";
constexpr int64_t kMSecsPerDay = 86'400'000;

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil-date algorithm).
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

constexpr int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int year)
{
    return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month)
{
    static const int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool ReadDecimal(std::string_view text, int& value)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// A stat() that gives up after a second: a hung network mount must not freeze the one
// user-interface thread. A probe that never returns stays parked in its own thread; after a
// few of those every further probe answers false at once instead of piling up threads.
struct TProbe
{
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    TPathState state = TPathState::Unknown;
};

std::atomic<int> g_stuckProbes { 0 };
std::atomic<int> g_probeDelayMs { 0 };

TPathState PathProbe(const std::string& path, bool folder)
{
    if (path.empty() || g_stuckProbes.load() >= 4) {
        return TPathState::Unknown;
    }
    auto probe = std::make_shared<TProbe>();
    std::thread([probe, path, folder, delay = g_probeDelayMs.load()] {
        if (delay > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        }
        struct stat info
        {
        };
        TPathState state = TPathState::Unknown;
        if (::stat(path.c_str(), &info) == 0) {
            // Something of the other kind stands there: not the entry asked for, yet not absent.
            state
                = (folder ? S_ISDIR(info.st_mode) : !S_ISDIR(info.st_mode)) ? TPathState::Present : TPathState::Unknown;
        } else if (errno == ENOENT) {
            // Only "no such entry" proves absence; a refused or failing look proves nothing.
            state = TPathState::Absent;
        }
        std::lock_guard<std::mutex> guard(probe->lock);
        if (probe->finished) {
            --g_stuckProbes; // the caller gave up on us earlier
        }
        probe->finished = true;
        probe->state = state;
        probe->done.notify_one();
    }).detach();
    std::unique_lock<std::mutex> guard(probe->lock);
    if (!probe->done.wait_for(guard, std::chrono::seconds(1), [&] { return probe->finished; })) {
        probe->finished = true;
        ++g_stuckProbes;
        return TPathState::Unknown;
    }
    return probe->state;
}

std::string TwoDigits(int value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

} // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
        return false;
    }
    result = static_cast<TDateTime>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochOffset);
    return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int milliSecond)
{
    TDateTime date = 0;
    if (!TryEncodeDate(year, month, day, date)) {
        throw EConvertError("Invalid argument to date encode");
    }
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || milliSecond < 0
        || milliSecond > 999) {
        throw EConvertError("Invalid argument to time encode");
    }
    const double time = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + milliSecond) / kMSecsPerDay;
    return date + time;
}

TDateParts DecodeDateTime(TDateTime value)
{
    // Whole days and milliseconds of the day; a time that rounds up to midnight belongs to the
    // next day rather than showing as hour 24.
    int64_t days = static_cast<int64_t>(std::floor(value));
    int64_t ms = std::llround((value - std::floor(value)) * kMSecsPerDay);
    if (ms >= kMSecsPerDay) {
        ms -= kMSecsPerDay;
        ++days;
    }
    TDateParts parts;
    CivilFromDays(days + kEpochOffset, parts.Year, parts.Month, parts.Day);
    parts.Hour = static_cast<int>(ms / 3'600'000);
    parts.Minute = static_cast<int>(ms / 60'000 % 60);
    parts.Second = static_cast<int>(ms / 1000 % 60);
    parts.MilliSecond = static_cast<int>(ms % 1000);
    return parts;
}

std::string DateToDbText(TDateTime value)
{
    const TDateParts p = DecodeDateTime(value);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", p.Year, p.Month, p.Day);
    return buffer;
}

std::string DateTimeToDbText(TDateTime value)
{
    // Always ":", whatever the region says: the period queries compare these texts, so one
    // database must never hold two spellings of a time.
    const TDateParts p = DecodeDateTime(value);
    char buffer[48];
    std::snprintf(
        buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
    return buffer;
}

std::string LogTimeStampText(TDateTime value)
{
    const TDateParts p = DecodeDateTime(value);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%s.%03d ", DateTimeToDbText(value).c_str(), p.MilliSecond);
    return buffer;
}

std::string DurationText(TDateTime dayFraction)
{
    // Whole hours past 24 (a week's 30 hours read "30:00", not "06:00"); a negative duration
    // shows its size.
    const int64_t ms = std::llround(std::fabs(dayFraction) * kMSecsPerDay);
    return TwoDigits(static_cast<int>(ms / 3'600'000)) + TimeSeparator()
        + TwoDigits(static_cast<int>(ms / 60'000 % 60));
}

std::string DurationText(int64_t seconds)
{
    return DurationText(static_cast<double>(seconds) / kSecondsPerDay);
}

TDateTime DbTextToDate(const std::string& text)
{
    std::vector<std::string_view> parts;
    std::string_view rest(text);
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
        const bool separator = i == rest.size() || rest[i] == '-' || static_cast<unsigned char>(rest[i]) <= 32;
        if (separator) {
            if (i > start) {
                parts.push_back(rest.substr(start, i - start));
            }
            start = i + 1;
        }
    }
    TH_ASSERT(parts.size() == 3, kUnitName);
    int year = 0;
    int month = 0;
    int day = 0;
    for (auto [part, target] :
        { std::pair { parts[0], &year }, std::pair { parts[1], &month }, std::pair { parts[2], &day } }) {
        if (!ReadDecimal(part, *target)) {
            throw EConvertError("'" + std::string(part) + "' is not a valid integer value");
        }
    }
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return result;
}

const TFormatSettings& ProgramFormatSettings()
{
    static const TFormatSettings settings { ',', TimeSeparator() };
    return settings;
}

std::string FloatToProgramText(double value)
{
    return FloatToText(value, ProgramFormatSettings());
}

bool ProgramTextToFloat(std::string_view text, double& value)
{
    return TextToFloat(text, value, ProgramFormatSettings());
}

std::string FloatToText(double value, const TFormatSettings& settings)
{
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "INF" : "-INF";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    std::string text(buffer);
    // The general form writes exponents as "E+05"; ours is "E5", as the stored values always were.
    const size_t e = text.find('E');
    if (e != std::string::npos) {
        std::string mantissa = text.substr(0, e);
        std::string exponent = text.substr(e + 1);
        bool negative = !exponent.empty() && exponent[0] == '-';
        if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) {
            exponent.erase(0, 1);
        }
        exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
        text = mantissa + "E" + (negative ? "-" : "") + exponent;
    }
    for (char& ch : text) {
        if (ch == '.') {
            ch = settings.DecimalSeparator;
        }
    }
    return text;
}

bool TextToFloat(std::string_view text, double& value, const TFormatSettings& settings)
{
    std::string work(TrimView(text));
    // Only the format's own separator counts; another one means the text came from elsewhere.
    if (work.empty() || (settings.DecimalSeparator != '.' && work.find('.') != std::string::npos)) {
        return false;
    }
    for (char& ch : work) {
        if (ch == settings.DecimalSeparator) {
            ch = '.';
        }
    }
    const char* begin = work.data();
    if (*begin == '+') {
        ++begin;
    }
    const char* end = work.data() + work.size();
    double parsed = 0;
    auto [ptr, ec] = std::from_chars(begin, end, parsed);
    if (ec != std::errc() || ptr != end || !std::isfinite(parsed)) {
        return false;
    }
    value = parsed;
    return true;
}

bool FileExistsOnVolume(const std::string& path)
{
    return PathProbe(path, false) == TPathState::Present;
}

bool FolderExistsOnVolume(const std::string& path)
{
    return PathProbe(path, true) == TPathState::Present;
}

TPathState FileStateOnVolume(const std::string& path)
{
    return PathProbe(path, false);
}

void PathProbeDelaySet(int milliseconds)
{
    g_probeDelayMs = milliseconds;
}

std::string TrailingCharEnsure(const std::string& text, char ch)
{
    if (text.empty() || text.back() == ch) {
        return text;
    }
    return text + ch;
}

std::string IfThenText(bool flag, const std::string& whenTrue, const std::string& whenFalse)
{
    return flag ? whenTrue : whenFalse;
}

int64_t RoundHalfEven(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > 9.2e18) {
        throw ERangeError("Range check error");
    }
    // nearbyint honours the default rounding mode, round-to-nearest-even.
    return static_cast<int64_t>(std::nearbyint(value));
}
