#include "storage/DatabasePages.h"

#include "storage/MappedFile.h"

#include <sqlite3.h>

#include <cstring>
#include <optional>
#include <string_view>

namespace {

constexpr unsigned char kLeafTable = 0x0D;
constexpr unsigned char kInteriorTable = 0x05;

class TPageFile
{
public:
    // Mapped rather than read: a file of months of charges would otherwise sit in memory twice.
    explicit TPageFile(const std::string& fileName)
        : m_mapping(fileName)
        , m_bytes(m_mapping.Bytes())
    {
        const bool header = m_bytes.size() >= 100 && std::memcmp(m_bytes.data(), "SQLite format 3", 16) == 0;
        if (header) {
            const unsigned size = Read16(16);
            m_pageSize = size == 1 ? 65536 : size;
            m_reserved = Byte(20);
        }
        m_headerSound = header && m_pageSize >= 512 && m_pageSize <= 65536 && (m_pageSize & (m_pageSize - 1)) == 0
            && m_reserved < 100;
        if (!m_headerSound) {
            m_reserved = 0;
        }
        // A header can be sound and still give the wrong size (one changed byte): the pages
        // themselves tell, and a size under which they read clearly better wins over it.
        m_pageSize = PageSizeGuess(m_headerSound ? m_pageSize : 0);
        m_usable = m_pageSize - m_reserved;
    }

    TPageFile(const TPageFile&) = delete;
    TPageFile& operator=(const TPageFile&) = delete;

    uint32_t PageCount() const
    {
        return m_pageSize == 0 ? 0 : uint32_t(m_bytes.size() / m_pageSize);
    }
    bool HeaderSound() const
    {
        return m_headerSound;
    }
    uint32_t Usable() const
    {
        return m_usable;
    }
    // The bytes of page `page` (1-based), or none when the file does not hold it whole.
    const unsigned char* Page(uint32_t page) const
    {
        if (page == 0 || page > PageCount()) {
            return nullptr;
        }
        return reinterpret_cast<const unsigned char*>(m_bytes.data()) + size_t(page - 1) * m_pageSize;
    }
    // Where the b-tree header of a page begins: page 1 carries the file header first.
    static uint32_t HeaderOffset(uint32_t page)
    {
        return page == 1 ? 100 : 0;
    }
    unsigned char PageType(uint32_t page) const
    {
        const unsigned char* data = Page(page);
        return data ? data[HeaderOffset(page)] : 0;
    }
    uint32_t Read32(size_t offset) const
    {
        return offset + 4 <= m_bytes.size() ? Get32(reinterpret_cast<const unsigned char*>(m_bytes.data()) + offset)
                                            : 0;
    }
    static uint32_t Get32(const unsigned char* p)
    {
        return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    }
    static uint32_t Get16(const unsigned char* p)
    {
        return (uint32_t(p[0]) << 8) | p[1];
    }

private:
    unsigned Byte(size_t offset) const
    {
        return static_cast<unsigned char>(m_bytes[offset]);
    }
    unsigned Read16(size_t offset) const
    {
        return (Byte(offset) << 8) | Byte(offset + 1);
    }
    // The page size under which the pages read best: the file's pages are those that begin with
    // a sound b-tree page header. Scored by sound pages times their share, since every page
    // start under the true size is also one under half of it (more sound pages, half the share)
    // and every other one under twice it (the same share, half the pages): the true size scores
    // about twice either. `stated` (the header's, 0 for none) wins a tie, then SQLite's default,
    // which the program's files use.
    uint32_t PageSizeGuess(uint32_t stated) const
    {
        uint32_t best = stated != 0 ? stated : 4096;
        double bestScore = PageSizeScore(best);
        for (uint32_t size = 512; size <= 65536; size *= 2) {
            const double score = PageSizeScore(size);
            if (score > bestScore) {
                best = size;
                bestScore = score;
            }
        }
        return best;
    }
    double PageSizeScore(uint32_t size) const
    {
        size_t pages = 0;
        size_t sound = 0;
        for (size_t offset = size; offset + size <= m_bytes.size(); offset += size) {
            ++pages;
            sound += PageHeaderSound(offset, size);
        }
        return pages == 0 ? 0 : double(sound) * double(sound) / double(pages);
    }
    bool PageHeaderSound(size_t offset, uint32_t size) const
    {
        const unsigned type = Byte(offset);
        if (type != kLeafTable && type != kInteriorTable && type != 0x0A && type != 0x02) {
            return false;
        }
        const uint32_t header = type == kLeafTable || type == 0x0A ? 8 : 12;
        const uint32_t cells = Read16(offset + 3);
        const uint32_t content = Read16(offset + 5) == 0 ? 65536 : Read16(offset + 5);
        if (header + cells * 2 > content || content > size || Byte(offset + 7) > 60) {
            return false;
        }
        // Every cell lies in the content area: bytes in the middle of a page seldom pass this.
        for (uint32_t i = 0; i < cells; ++i) {
            const uint32_t cell = Read16(offset + header + i * 2);
            if (cell < content || cell >= size) {
                return false;
            }
        }
        return true;
    }

    TMappedFile m_mapping;
    std::string_view m_bytes;
    uint32_t m_pageSize = 4096;
    uint32_t m_reserved = 0;
    uint32_t m_usable = 4096;
    bool m_headerSound = false;
};

// SQLite's variable-length integer; false when it runs past `end`.
bool VarintRead(const unsigned char*& p, const unsigned char* end, uint64_t& value)
{
    value = 0;
    for (int i = 0; i < 9; ++i) {
        if (p >= end) {
            return false;
        }
        const unsigned char byte = *p++;
        if (i == 8) {
            value = (value << 8) | byte;
            return true;
        }
        value = (value << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) {
            return true;
        }
    }
    return true;
}

std::optional<std::vector<TPageValue>> RecordDecode(const std::string& payload)
{
    const auto* begin = reinterpret_cast<const unsigned char*>(payload.data());
    const unsigned char* end = begin + payload.size();
    const unsigned char* p = begin;
    uint64_t headerSize = 0;
    if (!VarintRead(p, end, headerSize) || headerSize > payload.size() || headerSize < uint64_t(p - begin)) {
        return std::nullopt;
    }
    const unsigned char* headerEnd = begin + headerSize;
    const uint64_t bodyLength = uint64_t(end - headerEnd);
    std::vector<uint64_t> types;
    uint64_t bodySize = 0;
    while (p < headerEnd) {
        uint64_t type = 0;
        if (!VarintRead(p, headerEnd, type) || type == 10 || type == 11) {
            return std::nullopt;
        }
        static const uint64_t kSizes[] = { 0, 1, 2, 3, 4, 6, 8, 8, 0, 0 };
        const uint64_t size = type < 10 ? kSizes[type] : (type - 12) / 2;
        // Each value must fit in what is left of the body: sizes near 2^64 would otherwise wrap
        // the sum round to the body's length and send the reads past the record.
        if (size > bodyLength - bodySize) {
            return std::nullopt;
        }
        bodySize += size;
        types.push_back(type);
    }
    // A record that does not fill its payload exactly is rubbish that happens to parse.
    if (p != headerEnd || bodySize != bodyLength) {
        return std::nullopt;
    }
    std::vector<TPageValue> values;
    const unsigned char* body = headerEnd;
    for (const uint64_t type : types) {
        TPageValue value;
        if (type == 0) {
            value.Type = SQLITE_NULL;
        } else if (type == 8 || type == 9) {
            value.Type = SQLITE_INTEGER;
            value.Integer = int64_t(type - 8);
        } else if (type <= 7) {
            static const int kBytes[] = { 0, 1, 2, 3, 4, 6, 8, 8 };
            const int bytes = kBytes[type];
            uint64_t raw = 0;
            for (int i = 0; i < bytes; ++i) {
                raw = (raw << 8) | body[i];
            }
            body += bytes;
            if (type == 7) {
                value.Type = SQLITE_FLOAT;
                std::memcpy(&value.Real, &raw, sizeof raw);
            } else {
                value.Type = SQLITE_INTEGER;
                const int shift = 64 - bytes * 8;
                value.Integer = shift == 0 ? int64_t(raw) : int64_t(raw << shift) >> shift; // sign-extended
            }
        } else {
            const size_t size = size_t((type - 12) / 2);
            value.Type = type % 2 == 0 ? SQLITE_BLOB : SQLITE_TEXT;
            value.Bytes.assign(reinterpret_cast<const char*>(body), size);
            body += size;
        }
        values.push_back(std::move(value));
    }
    return values;
}

class TPageScan
{
public:
    explicit TPageScan(const TPageFile& file)
        : m_file(file)
    {
    }

    // The rows of a leaf table page: rowid and payload; cells that do not read are left out.
    std::vector<std::pair<int64_t, std::string>> LeafRows(uint32_t page) const
    {
        std::vector<std::pair<int64_t, std::string>> rows;
        const unsigned char* data = m_file.Page(page);
        if (!data) {
            return rows;
        }
        const uint32_t usable = m_file.Usable();
        const uint32_t header = TPageFile::HeaderOffset(page);
        if (data[header] != kLeafTable) {
            return rows;
        }
        const uint32_t cells = TPageFile::Get16(data + header + 3);
        if (header + 8 + cells * 2 > usable) {
            return rows;
        }
        for (uint32_t i = 0; i < cells; ++i) {
            const uint32_t offset = TPageFile::Get16(data + header + 8 + i * 2);
            if (offset < header + 8 + cells * 2 || offset >= usable) {
                continue;
            }
            const unsigned char* p = data + offset;
            const unsigned char* end = data + usable;
            uint64_t size = 0;
            uint64_t rowid = 0;
            if (!VarintRead(p, end, size) || !VarintRead(p, end, rowid) || size > 1000000000) {
                continue;
            }
            std::string payload;
            if (PayloadRead(p, end, size, payload)) {
                rows.emplace_back(int64_t(rowid), std::move(payload));
            }
        }
        return rows;
    }

    // The interior page's children, or none when `page` is no interior table page.
    std::optional<std::vector<uint32_t>> Children(uint32_t page) const
    {
        const unsigned char* data = m_file.Page(page);
        const uint32_t header = TPageFile::HeaderOffset(page);
        if (!data || data[header] != kInteriorTable) {
            return std::nullopt;
        }
        const uint32_t usable = m_file.Usable();
        const uint32_t cells = TPageFile::Get16(data + header + 3);
        if (header + 12 + cells * 2 > usable) {
            return std::nullopt;
        }
        std::vector<uint32_t> children;
        for (uint32_t i = 0; i < cells; ++i) {
            const uint32_t offset = TPageFile::Get16(data + header + 12 + i * 2);
            if (offset + 4 <= usable) {
                children.push_back(TPageFile::Get32(data + offset));
            }
        }
        children.push_back(TPageFile::Get32(data + header + 8));
        return children;
    }

private:
    // The payload of a cell whose local part starts at `p`, with its overflow pages.
    bool PayloadRead(const unsigned char* p, const unsigned char* end, uint64_t size, std::string& payload) const
    {
        const uint64_t usable = m_file.Usable();
        const uint64_t maxLocal = usable - 35;
        uint64_t local = size;
        if (size > maxLocal) {
            const uint64_t minLocal = (usable - 12) * 32 / 255 - 23;
            local = minLocal + (size - minLocal) % (usable - 4);
            if (local > maxLocal) {
                local = minLocal;
            }
        }
        const bool overflow = local < size;
        if (p + local + (overflow ? 4 : 0) > end) {
            return false;
        }
        payload.assign(reinterpret_cast<const char*>(p), local);
        if (!overflow) {
            return true;
        }
        uint32_t next = TPageFile::Get32(p + local);
        std::set<uint32_t> seen;
        while (payload.size() < size) {
            const unsigned char* data = m_file.Page(next);
            if (!data || !seen.insert(next).second) {
                return false;
            }
            const uint64_t take = std::min<uint64_t>(size - payload.size(), usable - 4);
            payload.append(reinterpret_cast<const char*>(data + 4), take);
            next = TPageFile::Get32(data);
        }
        return true;
    }

    const TPageFile& m_file;
};

// The pages of the free list; none when the header cannot be trusted.
std::set<uint32_t> FreePagesRead(const TPageFile& file)
{
    std::set<uint32_t> pages;
    if (!file.HeaderSound()) {
        return pages;
    }
    uint32_t trunk = file.Read32(32);
    while (trunk != 0 && !pages.count(trunk)) {
        const unsigned char* data = file.Page(trunk);
        if (!data) {
            break;
        }
        pages.insert(trunk);
        const uint32_t leaves = TPageFile::Get32(data + 4);
        for (uint32_t i = 0; i < leaves && 8 + i * 4 + 4 <= file.Usable(); ++i) {
            pages.insert(TPageFile::Get32(data + 8 + i * 4));
        }
        trunk = TPageFile::Get32(data);
    }
    return pages;
}

// Walks a table's tree from its root: its leaf pages go to `leaves`; false when a page on the way
// is missing or no table page, or was reached before (a damaged pointer names it in place of the
// page it named), so some of its leaves may lie unreached.
bool TreeWalk(const TPageScan& scan, const TPageFile& file, uint32_t root, std::set<uint32_t>& leaves,
    std::set<uint32_t>& visited)
{
    bool whole = true;
    std::vector<uint32_t> pending = { root };
    while (!pending.empty()) {
        const uint32_t page = pending.back();
        pending.pop_back();
        if (!visited.insert(page).second) {
            whole = false;
            continue;
        }
        if (file.PageType(page) == kLeafTable) {
            leaves.insert(page);
        } else if (auto children = scan.Children(page)) {
            pending.insert(pending.end(), children->begin(), children->end());
        } else {
            whole = false;
        }
    }
    return whole;
}

} // namespace

void DatabasePageRowsRead(const std::string& fileName, const std::set<std::string>& tables,
    const std::function<std::string(const std::vector<TPageValue>& values)>& shapeTable,
    const std::function<void(const std::string& table, int64_t rowid, const std::vector<TPageValue>& values)>& row)
{
    const TPageFile file(fileName);
    const TPageScan scan(file);

    // The schema: each table's root page, when the first page still reads.
    std::map<std::string, uint32_t> roots;
    std::set<uint32_t> schemaLeaves;
    std::set<uint32_t> visited;
    bool whole = file.HeaderSound() && TreeWalk(scan, file, 1, schemaLeaves, visited);
    for (const uint32_t page : schemaLeaves) {
        for (const auto& [rowid, payload] : scan.LeafRows(page)) {
            const auto values = RecordDecode(payload);
            if (values && values->size() >= 4 && (*values)[0].Bytes == "table" && (*values)[3].Type == SQLITE_INTEGER) {
                roots[(*values)[1].Bytes] = uint32_t((*values)[3].Integer);
            }
        }
    }
    whole = whole && !roots.empty();

    std::map<uint32_t, std::string> owner;
    for (const auto& [table, root] : roots) {
        std::set<uint32_t> leaves;
        whole = TreeWalk(scan, file, root, leaves, visited) && whole;
        for (const uint32_t page : leaves) {
            owner[page] = table;
        }
    }
    // A free list that names a page a table reaches is wrong there; the table's tree is believed.
    // The rest of it still keeps stale rows of freed pages out.
    const std::set<uint32_t> freePages = FreePagesRead(file);
    for (uint32_t page = 2; page <= file.PageCount(); ++page) {
        const auto known = owner.find(page);
        if (known == owner.end() && (whole || visited.count(page) || freePages.count(page))) {
            continue; // every table was walked whole: a page outside them holds no live row
        }
        for (auto& [rowid, payload] : scan.LeafRows(page)) {
            auto values = RecordDecode(payload);
            if (!values) {
                continue;
            }
            const std::string table = known != owner.end() ? known->second : shapeTable(*values);
            if (tables.count(table)) {
                row(table, rowid, *values);
            }
        }
    }
}
