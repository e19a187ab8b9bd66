#include "ui/framework/TimeEntry.h"

#include "model/Exceptions.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <cctype>
#include <vector>

namespace {

constexpr int kLastMinuteSeconds = 1439 * 60;

// The time in whole seconds, or -1 when the text is no time.
int TextToSeconds(const std::string& text)
{
    std::vector<int> parts;
    size_t pos = 0;
    const char separator = TimeSeparator();
    while (true) {
        while (pos < text.size() && text[pos] == ' ') {
            ++pos;
        }
        int value = 0;
        int digits = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && digits < 9) {
            value = value * 10 + (text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0) {
            return -1;
        }
        parts.push_back(value);
        while (pos < text.size() && text[pos] == ' ') {
            ++pos;
        }
        if (pos == text.size()) {
            break;
        }
        if (text[pos] != separator || parts.size() == 3) {
            return -1;
        }
        ++pos;
    }
    if (parts.size() < 2) {
        return -1;
    }
    const int hours = parts[0];
    const int minutes = parts[1];
    const int seconds = parts.size() == 3 ? parts[2] : 0;
    if (hours > 23 || minutes > 59 || seconds > 59) {
        return -1;
    }
    return hours * 3600 + minutes * 60 + seconds;
}

} // namespace

TDateTime TextToTime(const std::string& text)
{
    const int seconds = TextToSeconds(text);
    if (seconds < 0) {
        throw EConvertError("'" + text + "' is not a valid time");
    }
    return seconds / kSecondsPerDay;
}

std::string TimeEntryMessage(const std::string& text)
{
    int seconds = 0;
    try {
        seconds = int(RoundHalfEven(TextToTime(text) * kSecondsPerDay));
    } catch (const EConvertError& error) {
        return error.what();
    }
    if (seconds == 0) {
        return "Limit can't be empty";
    }
    // Whole seconds, not day fractions: 23:59 computed two ways may differ in the last bit.
    if (seconds > kLastMinuteSeconds) {
        return "Limit can't be greater than " + DurationText(int64_t(kLastMinuteSeconds));
    }
    return {};
}
