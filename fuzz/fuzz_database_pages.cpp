// The page reader that salvages rows from a damaged database file, on files of any content: it
// must end, read nothing outside the file, and hand over only rows of the tables asked for.
#include "FuzzSupport.h"
#include "storage/DatabasePages.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

uint32_t Get16(const uint8_t* p)
{
    return (uint32_t(p[0]) << 8) | p[1];
}

void Put32(uint8_t* p, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = uint8_t(value >> (24 - 8 * i));
    }
}

// A varint as it stands in a page; false when it runs past `end`.
bool VarintSkip(const uint8_t*& p, const uint8_t* end, uint64_t& value)
{
    value = 0;
    for (int i = 0; i < 9; ++i) {
        if (p >= end) {
            return false;
        }
        const uint8_t byte = *p++;
        value = i == 8 ? (value << 8) | byte : (value << 7) | (byte & 0x7F);
        if (i == 8 || (byte & 0x80) == 0) {
            return true;
        }
    }
    return true;
}

void Varint9Put(uint8_t* p, uint64_t value)
{
    p[8] = uint8_t(value);
    value >>= 8;
    for (int i = 7; i >= 0; --i) {
        p[i] = uint8_t(0x80 | (value & 0x7F));
        value >>= 7;
    }
}

// Rewrites the record of one cell on the leaf page at `page` with two to four values whose sizes
// add up, past 2^64, to the body's length: what no byte flip finds and a crafted file has.
void RecordSizesWrap(uint8_t* page, uint32_t header, uint32_t pageSize, std::minstd_rand& random)
{
    const uint32_t cells = Get16(page + header + 3);
    if (cells == 0 || header + 8 + cells * 2 > pageSize) {
        return;
    }
    const uint32_t offset = Get16(page + header + 8 + (random() % cells) * 2);
    if (offset >= pageSize) {
        return;
    }
    const uint8_t* p = page + offset;
    uint64_t size = 0;
    uint64_t rowid = 0;
    if (!VarintSkip(p, page + pageSize, size) || !VarintSkip(p, page + pageSize, rowid)) {
        return;
    }
    const uint64_t values = 2 + random() % 3;
    const uint64_t headerSize = 1 + 9 * values;
    if (size > pageSize - 35 || size <= headerSize || p + size > page + pageSize) {
        return;
    }
    uint8_t* record = page + (p - page);
    const uint64_t body = size - headerSize;
    constexpr uint64_t kLargest = (uint64_t(1) << 63) - 7; // (type - 12) / 2 of the largest type
    std::uniform_int_distribution<uint64_t> any(kLargest / 2, kLargest);
    uint64_t sum = 0;
    record[0] = uint8_t(headerSize);
    for (uint64_t i = 0; i + 1 < values; ++i) {
        const uint64_t part = any(random);
        sum += part;
        Varint9Put(record + 1 + 9 * i, 2 * part + 12 + random() % 2);
    }
    const uint64_t last = body - sum; // wraps: the sizes' sum meets the body's length
    if (last > kLargest) {
        return;
    }
    Varint9Put(record + 1 + 9 * (values - 1), 2 * last + 12 + random() % 2);
}

} // namespace

// Knows the file's layout: half the time it damages one field as files of the field are damaged
// (a record's value sizes, a child pointer, the free list's first trunk, the page size in the
// header), the other half it leaves the bytes to libFuzzer's own mutations.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    std::minstd_rand random(seed);
    if (size < 1024 || random() % 2 == 0) {
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    const uint32_t stated = Get16(data + 16);
    uint32_t pageSize = stated == 1 ? 65536 : stated;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0 || pageSize > size) {
        pageSize = 512;
    }
    const uint32_t pages = uint32_t(size / pageSize);
    const uint32_t pageNumber = 1 + uint32_t(random() % pages);
    uint8_t* page = data + size_t(pageNumber - 1) * pageSize;
    const uint32_t header = pageNumber == 1 ? 100 : 0;
    switch (random() % 4) {
    case 0:
        if (page[header] == 0x0D) {
            RecordSizesWrap(page, header, pageSize, random);
        }
        break;
    case 1:
        if (page[header] == 0x05 && header + 12 + Get16(page + header + 3) * 2 <= pageSize) {
            const uint32_t cells = Get16(page + header + 3);
            const uint32_t slot = uint32_t(random() % (cells + 1));
            const uint32_t offset = slot == cells ? header + 8 : Get16(page + header + 12 + slot * 2);
            if (offset + 4 <= pageSize) {
                Put32(page + offset, 1 + uint32_t(random() % pages)); // often a page reached already
            }
        }
        break;
    case 2:
        Put32(data + 32, 1 + uint32_t(random() % pages));
        Put32(data + 36, uint32_t(random() % (pages + 1)));
        break;
    default: {
        const uint32_t newSize = 512u << (random() % 8);
        data[16] = uint8_t(newSize == 65536 ? 0 : newSize >> 8);
        data[17] = uint8_t(newSize == 65536 ? 1 : 0);
    }
    }
    return size;
}

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
