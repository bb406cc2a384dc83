// OLE2 compound files (Word, Excel and PowerPoint documents before their XML formats, Outlook
// messages, ...): the header's fields checked, the sectors of the allocation table found through
// its list (and the list's own chain), each marked as such in the table; the file ends after the
// last sector the table has in use. The document type is named from the streams in its directory.

#include "libs/carve/carve_format.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace tarn {

namespace {

constexpr std::uint32_t free_sector = 0xFFFFFFFF, table_sector = 0xFFFFFFFD, most_regular = 0xFFFFFFFA;
constexpr std::uint32_t most_table_sectors = 1 << 16;
constexpr std::size_t header_list = 109;

struct compound_s {
    std::uint64_t start = 0;
    unsigned shift = 9;
    std::vector<std::uint32_t> tables; // the allocation table's sectors, in order
    std::uint64_t sector_at(std::uint32_t s) const { return start + ((std::uint64_t{s} + 1) << shift); }
    std::uint32_t per_sector() const { return (1u << shift) / 4; }
};

// The header and the list of table sectors; false when anything is out of place.
bool read_header(carve_reader_c& in, std::uint64_t start, std::uint64_t limit, compound_s& file)
{
    bool ok = true;
    const unsigned major = in.le16(start + 26, ok);
    const unsigned order = in.le16(start + 28, ok);
    const unsigned shift = in.le16(start + 30, ok);
    const unsigned mini_shift = in.le16(start + 32, ok);
    const std::uint32_t tables = in.le32(start + 44, ok);
    std::uint32_t list = in.le32(start + 68, ok);
    const std::uint32_t list_count = in.le32(start + 72, ok);
    if (!ok || order != 0xFFFE || mini_shift != 6 || !((major == 3 && shift == 9) || (major == 4 && shift == 12))
        || tables == 0 || tables > most_table_sectors || list_count > most_table_sectors)
        return false;
    file.start = start;
    file.shift = shift;
    const std::uint64_t sectors = limit >> shift;
    for (std::size_t i = 0; i < std::min<std::size_t>(tables, header_list); ++i)
        file.tables.push_back(in.le32(start + 76 + 4 * i, ok));
    for (std::uint32_t n = 0; n < list_count && file.tables.size() < tables && ok; ++n) {
        if (list >= sectors)
            return false;
        for (std::uint32_t i = 0; i + 1 < file.per_sector() && file.tables.size() < tables; ++i)
            file.tables.push_back(in.le32(file.sector_at(list) + 4 * i, ok));
        list = in.le32(file.sector_at(list) + 4 * (file.per_sector() - 1), ok);
    }
    return ok && file.tables.size() == tables
           && std::all_of(file.tables.begin(), file.tables.end(), [&](std::uint32_t s) { return s < sectors; });
}

// The entry the allocation table holds for sector s; free_sector when it cannot be read.
std::uint32_t next_sector(carve_reader_c& in, const compound_s& file, std::uint32_t s)
{
    const std::uint32_t table = s / file.per_sector();
    bool ok = true;
    const std::uint32_t entry = table < file.tables.size()
                                    ? in.le32(file.sector_at(file.tables[table]) + 4ull * (s % file.per_sector()), ok)
                                    : free_sector;
    return ok ? entry : free_sector;
}

// The number of sectors in use (one past the last that is not free); 0 when the table is unsound.
std::uint32_t sectors_in_use(carve_reader_c& in, const compound_s& file, std::uint64_t limit)
{
    const std::uint64_t sectors = (limit >> file.shift) - 1;
    std::uint32_t used = 0;
    std::array<std::uint8_t, 4096> entries{};
    for (std::uint32_t t = 0; t < file.tables.size(); ++t) {
        const std::size_t bytes = std::size_t{1} << file.shift;
        if (!in.read(file.sector_at(file.tables[t]), std::as_writable_bytes(std::span<std::uint8_t>(entries.data(), bytes))))
            return 0;
        for (std::uint32_t i = 0; i < file.per_sector(); ++i) {
            const std::uint8_t* p = entries.data() + 4 * i;
            const std::uint32_t entry = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
            const std::uint32_t s = t * file.per_sector() + i;
            if (entry == free_sector)
                continue;
            if (s >= sectors || (entry <= most_regular && entry >= sectors) || entry == 0xFFFFFFFB)
                return 0;
            used = s + 1;
        }
    }
    for (const std::uint32_t s : file.tables)
        if (next_sector(in, file, s) != table_sector)
            return 0;
    return used;
}

carve_found_s measure_ole(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    compound_s file;
    if (limit < 1024 || !read_header(in, start, limit, file))
        return 0;
    const std::uint32_t used = sectors_in_use(in, file, limit);
    const std::uint64_t size = (std::uint64_t{used} + 1) << file.shift;
    return used == 0 || size > limit ? 0 : size;
}

// The type a directory entry's name gives the file, none when it tells nothing.
const char* stream_type(std::u16string_view name)
{
    if (name == u"WordDocument")
        return "doc";
    if (name == u"Workbook" || name == u"Book")
        return "xls";
    if (name == u"PowerPoint Document")
        return "ppt";
    if (name.starts_with(u"__substg1.0_") || name == u"__properties_version1.0")
        return "msg";
    return nullptr;
}

const char* name_ole(carve_reader_c& in, std::uint64_t start, std::uint64_t size)
{
    compound_s file;
    bool ok = true;
    std::uint32_t s = in.le32(start + 48, ok);
    if (!ok || !read_header(in, start, size, file))
        return nullptr;
    const std::uint32_t entries = (1u << file.shift) / 128;
    // The directory's chain, each sector's entries in turn; the chain is capped, never trusted.
    for (std::uint32_t sectors = 0; s <= most_regular && sectors < (size >> file.shift); ++sectors) {
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint64_t entry = file.sector_at(s) + 128ull * i;
            std::array<char16_t, 32> name{};
            const unsigned length = in.le16(entry + 64, ok);
            if (!ok || length < 2 || length > 64)
                continue;
            for (unsigned c = 0; c + 1 < length / 2; ++c)
                name[c] = static_cast<char16_t>(in.le16(entry + 2 * c, ok));
            if (const char* type = ok ? stream_type(std::u16string_view(name.data(), length / 2 - 1)) : nullptr)
                return type;
        }
        s = next_sector(in, file, s);
    }
    return nullptr;
}

} // namespace

const carve_format_s carve_ole{"ole", {std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)}, 1ull << 30, measure_ole, name_ole};

} // namespace tarn
