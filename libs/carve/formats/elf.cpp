// ELF: 32 and 64 bit, either byte order. The header is checked field by field (class, byte order,
// both versions, type, and the header and table entry sizes the class implies); the file ends at
// the furthest of the section header table's end, every section's data and every segment's data.

#include "libs/carve/carve_format.h"

#include <algorithm>

namespace tarn {

namespace {

constexpr unsigned section_nobits = 8;

// Loads of either byte order and of the class's word size.
struct elf_loads_s {
    carve_reader_c& in;
    bool big;
    bool wide;
    bool ok = true;

    std::uint32_t u16(std::uint64_t at) { return big ? in.be16(at, ok) : in.le16(at, ok); }
    std::uint32_t u32(std::uint64_t at) { return big ? in.be32(at, ok) : in.le32(at, ok); }
    std::uint64_t word(std::uint64_t at)
    {
        if (wide)
            return big ? in.be64(at, ok) : in.le64(at, ok);
        return u32(at);
    }
};

struct table_s {
    std::uint64_t offset;
    std::uint32_t entry;
    std::uint32_t count;
};

// The furthest end of the data that the table's entries place in the file.
std::uint64_t furthest_data(elf_loads_s& elf, std::uint64_t start, const table_s& table, bool sections)
{
    std::uint64_t furthest = 0;
    for (std::uint32_t i = 0; i < table.count && elf.ok; ++i) {
        const std::uint64_t at = start + table.offset + std::uint64_t{i} * table.entry;
        std::uint64_t offset = 0, size = 0;
        if (sections) {
            if (elf.u32(at + 4) == section_nobits) // takes no room in the file
                continue;
            offset = elf.word(at + (elf.wide ? 24 : 16));
            size = elf.word(at + (elf.wide ? 32 : 20));
        } else {
            offset = elf.word(at + (elf.wide ? 8 : 4));
            size = elf.word(at + (elf.wide ? 32 : 16));
        }
        if (offset > UINT64_MAX - size)
            return UINT64_MAX;
        furthest = std::max(furthest, offset + size);
    }
    return elf.ok ? furthest : UINT64_MAX;
}

std::uint64_t table_end(const table_s& t)
{
    if (t.count == 0)
        return 0;
    const std::uint64_t bytes = std::uint64_t{t.entry} * t.count;
    return t.offset > UINT64_MAX - bytes ? UINT64_MAX : t.offset + bytes;
}

carve_found_s measure_elf(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const int word_class = in.byte_at(start + 4);
    const int order = in.byte_at(start + 5);
    if (word_class < 1 || word_class > 2 || order < 1 || order > 2 || in.byte_at(start + 6) != 1)
        return 0;
    elf_loads_s elf{in, order == 2, word_class == 2};
    const std::uint32_t type = elf.u16(start + 16);
    const std::uint32_t version = elf.u32(start + 20);
    const std::uint64_t field = elf.wide ? 24 + 8 : 24 + 4; // past the entry point
    const table_s segments{elf.word(start + field), elf.u16(start + field + (elf.wide ? 22 : 14)),
                           elf.u16(start + field + (elf.wide ? 24 : 16))};
    const table_s sections{elf.word(start + field + (elf.wide ? 8 : 4)), elf.u16(start + field + (elf.wide ? 26 : 18)),
                           elf.u16(start + field + (elf.wide ? 28 : 20))};
    const std::uint32_t header_size = elf.u16(start + field + (elf.wide ? 20 : 12));
    const std::uint32_t names = elf.u16(start + field + (elf.wide ? 30 : 22));
    if (!elf.ok || type < 1 || type > 4 || version != 1 || header_size != (elf.wide ? 64u : 52u))
        return 0;
    if ((segments.count != 0 && (segments.entry != (elf.wide ? 56u : 32u) || segments.offset < header_size))
        || (sections.count != 0 && (sections.entry != (elf.wide ? 64u : 40u) || sections.offset < header_size
                                    || names >= sections.count))
        || (segments.count == 0 && sections.count == 0))
        return 0;
    // Each table must lie inside the limit before its entries are read.
    const std::uint64_t tables = std::max(table_end(segments), table_end(sections));
    if (tables > limit)
        return 0;
    const std::uint64_t end = std::max({tables, std::uint64_t{header_size}, furthest_data(elf, start, segments, false),
                                        furthest_data(elf, start, sections, true)});
    return end <= limit ? end : 0;
}

} // namespace

const carve_format_s carve_elf{"elf", {"\x7F" "ELF"}, 1ull << 30, measure_elf};

} // namespace tarn
