// The page reader that salvages rows from a damaged database file, on files of any content: it
// must end, read nothing outside the file, and hand over only rows of the tables asked for.
#include "FuzzSupport.h"
#include "storage/DatabasePages.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static const std::string fileName = "/tmp/fuzz_database_pages." + std::to_string(getpid());
    FILE* file = std::fopen(fileName.c_str(), "wb");
    if (!file) {
        return 0;
    }
    std::fwrite(bytes, 1, size, file);
    std::fclose(file);
    const std::set<std::string> tables = { "applications", "applications_list" };
    DatabasePageRowsRead(
        fileName, tables,
        [](const std::vector<TPageValue>& values) { return values.size() == 3 ? "applications_list" : "other"; },
        [&](const std::string& table, int64_t, const std::vector<TPageValue>& values) {
            FUZZ_CHECK(tables.count(table) == 1, table);
            for (const TPageValue& value : values) {
                FUZZ_CHECK(value.Bytes.size() <= size, std::to_string(value.Bytes.size()));
            }
        });
    return 0;
}
