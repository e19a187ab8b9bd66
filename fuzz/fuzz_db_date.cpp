// Date texts: any text the reader accepts names a date that writes back to a text it reads as
// the same date; any date of the program's range writes to a text that reads back to its own
// whole day. A text it refuses is refused with the program's own error, never anything else.
#include "FuzzSupport.h"
#include "model/Exceptions.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    // Days from 30 December 1899 to 31 December 9999; before 1899 a date-time counts its time of
    // day the other way, which no stored text needs.
    const double day = data.ConsumeFloatingPointInRange(0.0, 2958465.999);
    const std::string written = DateToDbText(day);
    const std::string writtenTime = DateTimeToDbText(day);
    FUZZ_CHECK(written.size() == 10 && writtenTime.size() == 19 && writtenTime.compare(0, 10, written) == 0,
        written + " / " + writtenTime);
    const double back = DbTextToDate(written);
    FUZZ_CHECK(back == std::floor(day), written);

    const std::string text = data.ConsumeRemainingBytesAsString();
    double parsed = 0;
    try {
        parsed = DbTextToDate(text);
    } catch (const EConvertError&) {
        return 0;
    } catch (const EAssertionFailed&) {
        return 0;
    }
    FUZZ_CHECK(parsed == std::floor(parsed), FuzzQuoted(text));
    const std::string again = DateToDbText(parsed);
    FUZZ_CHECK(DbTextToDate(again) == parsed, FuzzQuoted(text) + " -> " + again);
    return 0;
}
