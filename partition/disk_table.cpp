#include "partition/disk_table.h"

#include "partition/partition_table_plan.h"
#include "platform/byte_source.h"

#include <algorithm>

namespace tarn {

namespace {

gpt_copy_s read_copy(byte_source_c& disk, std::uint64_t lba, std::uint64_t disk_sectors)
{
    gpt_copy_s copy;
    sector_s sector{};
    if (lba == 0 || lba >= disk_sectors || disk.read_at(lba * sector_bytes, sector) != sector_bytes)
        return copy;
    copy.header = parse_gpt_header(sector, lba, disk_sectors);
    if (!copy.header)
        return copy;
    // The header's checks bound the array's size and keep it inside the disk.
    const gpt_header_s& h = *copy.header;
    copy.entries.resize(static_cast<std::size_t>(h.array_bytes()));
    const auto got = disk.read_at(h.entries_lba * sector_bytes, copy.entries);
    copy.entries_intact =
        got == static_cast<std::int64_t>(copy.entries.size()) && gpt_crc32(copy.entries) == h.entries_crc;
    if (!copy.entries_intact)
        return copy;
    copy.used = used_gpt_entries(copy.entries, h);
    copy.sound = gpt_entries_sound(copy.used, h.first_usable, h.last_usable);
    return copy;
}

} // namespace

int read_disk_table(byte_source_c& disk, std::uint64_t size, disk_table_s& out)
{
    out = {};
    out.sectors = size / sector_bytes;
    if (out.sectors == 0 || disk.read_at(0, out.sector0) != sector_bytes)
        return -1;
    out.primary = read_copy(disk, 1, out.sectors);
    out.backup = read_copy(disk, out.primary.header ? out.primary.header->alternate_lba : out.sectors - 1, out.sectors);
    return 0;
}

bool has_protective_entry(std::span<const std::byte, sector_bytes> sector0)
{
    return holds_partition_table(sector0)
        && std::ranges::any_of(read_table_entries(sector0),
                               [](const table_entry_s& e) { return e.type() == type_gpt_protective; });
}

bool gpt_copies_agree(const gpt_copy_s& primary, const gpt_copy_s& backup)
{
    if (!primary.sound || !backup.sound)
        return false;
    return mirrored_header(*primary.header) == *backup.header && primary.entries == backup.entries;
}

table_kind_e table_kind(const disk_table_s& table)
{
    if (table.primary.sound || table.backup.sound || has_protective_entry(table.sector0))
        return table_kind_e::gpt;
    if (holds_partition_table(table.sector0)
        && std::ranges::any_of(read_table_entries(table.sector0), &table_entry_s::used))
        return table_kind_e::mbr;
    return table_kind_e::none;
}

const char* table_kind_name(table_kind_e kind)
{
    switch (kind) {
    case table_kind_e::gpt:
        return "GPT";
    case table_kind_e::mbr:
        return "MBR";
    case table_kind_e::none:
        break;
    }
    return "none";
}

} // namespace tarn
