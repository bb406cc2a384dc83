#include "partition/gpt_plan.h"

#include "partition/partition_types.h"
#include "platform/byte_source.h"

#include <algorithm>

namespace tarn {

namespace {

constexpr std::uint64_t mbr_limit = 0xFFFFFFFF;
// A new table: the header and 32 sectors of entries at each end.
constexpr std::uint64_t new_array_sectors = std::uint64_t{gpt_new_entry_count} * gpt_new_entry_bytes / sector_bytes;
constexpr std::uint64_t new_first_usable = 2 + new_array_sectors;

bool fits_mbr(const partition_item_s& find)
{
    return find.end_sector <= mbr_limit && find.length_sectors() <= mbr_limit;
}

gpt_row_s row_of(const gpt_entry_s& e)
{
    gpt_row_s row;
    row.slot = e.slot;
    row.type = e.type;
    row.first_lba = e.first_lba;
    row.last_lba = e.last_lba;
    return row;
}

// A copy's header followed or preceded by its entries, as runs of sectors.
void add_copy(std::vector<sector_write_s>& writes, const gpt_header_s& header, std::span<const std::byte> entries)
{
    std::vector<std::byte> array(static_cast<std::size_t>(header.array_sectors() * sector_bytes));
    std::copy_n(entries.begin(), std::min(entries.size(), array.size()), array.begin());
    const auto head = build_gpt_header(header);
    std::vector<std::byte> sector(head.begin(), head.end());
    if (header.entries_lba == header.my_lba + 1) {
        sector.insert(sector.end(), array.begin(), array.end());
        writes.push_back({header.my_lba, std::move(sector)});
    } else if (header.entries_lba + header.array_sectors() == header.my_lba) {
        array.insert(array.end(), sector.begin(), sector.end());
        writes.push_back({header.entries_lba, std::move(array)});
    } else {
        writes.push_back({header.entries_lba, std::move(array)});
        writes.push_back({header.my_lba, std::move(sector)});
    }
}

// Sector 0 of a GPT disk: our boot code (it finds no active entry and hands back to the
// firmware), no disk signature, and one 0xEE entry over the whole disk as far as 32 bits reach.
sector_write_s protective_mbr(std::uint64_t disk_sectors, std::uint32_t sectors_per_track, std::uint32_t heads)
{
    const std::uint64_t last = std::min(disk_sectors - 1, mbr_limit);
    entry_bytes_s entry{};
    const chs_s first_chs = chs_encode(1, sectors_per_track, heads);
    std::ranges::copy(first_chs, entry.begin() + 1);
    entry[4] = std::byte{type_gpt_protective};
    // A last sector beyond what CHS reaches is marked as such rather than wrapped.
    const bool chs_reaches = last < std::uint64_t{1024} * sectors_per_track * heads;
    const chs_s last_chs = chs_reaches ? chs_encode(last, sectors_per_track, heads)
                                       : chs_s{std::byte{0xFF}, std::byte{0xFF}, std::byte{0xFF}};
    std::ranges::copy(last_chs, entry.begin() + 5);
    store_le32(entry, 8, 1);
    store_le32(entry, 12, static_cast<std::uint32_t>(last));
    const sector_s blank{};
    const sector_s record = build_master_boot_record(blank, {entry, {}, {}, {}});
    return {0, std::vector<std::byte>(record.begin(), record.end())};
}

// The entries of sector 0's MBR other than a protective one, with the GPT types their codes
// map to.
std::vector<gpt_row_s> mbr_rows(const sector_s& sector0)
{
    std::vector<gpt_row_s> rows;
    if (!holds_partition_table(sector0))
        return rows;
    const auto table = read_table_entries(sector0);
    for (std::size_t slot = 0; slot < table.size(); ++slot) {
        if (!table[slot].used() || table[slot].type() == type_gpt_protective)
            continue;
        gpt_row_s row;
        row.slot = slot;
        row.type = gpt_type_for_mbr(table[slot].type());
        row.mbr_type = table[slot].type();
        row.first_lba = table[slot].first_sector();
        row.last_lba = table[slot].last_sector();
        rows.push_back(row);
    }
    return rows;
}

gpt_plan_s plan_existing(const disk_table_s& disk, std::uint32_t sectors_per_track, std::uint32_t heads)
{
    gpt_plan_s plan;
    plan.current_kind = table_kind_e::gpt;
    // The primary rules when both are sound but disagree, as firmware reads it first.
    const bool primary_rules = disk.primary.sound;
    const gpt_copy_s& source = primary_rules ? disk.primary : disk.backup;
    if (!gpt_copies_agree(disk.primary, disk.backup)) {
        plan.action = primary_rules ? gpt_action_e::restore_backup : gpt_action_e::restore_primary;
        add_copy(plan.writes, mirrored_header(*source.header), source.entries);
    }
    for (const gpt_entry_s& e : source.used)
        plan.current.push_back(row_of(e));
    plan.planned = plan.current;
    if (!has_protective_entry(disk.sector0)) {
        plan.protective_mbr = true;
        // An MBR written over the protective one, by a tool that did not know the GPT: its
        // entries go, and the confirmation must say so.
        plan.mbr_overwritten = mbr_rows(disk.sector0);
        for (gpt_row_s& row : plan.mbr_overwritten)
            row.fate = entry_fate_e::lost;
        plan.writes.push_back(protective_mbr(disk.sectors, sectors_per_track, heads));
    }
    return plan;
}

// The entries a new table may keep: a copy whose header and array survive (its entries may not
// all be sound), else sector 0's MBR entries, else none. `kind` becomes the kind of table they
// come from.
std::vector<gpt_row_s> surviving_rows(const disk_table_s& disk, table_kind_e& kind, std::vector<gpt_entry_s>& entries)
{
    for (const gpt_copy_s* copy : {&disk.primary, &disk.backup}) {
        if (!copy->entries_intact)
            continue;
        kind = table_kind_e::gpt;
        entries = copy->used;
        std::vector<gpt_row_s> rows;
        for (const gpt_entry_s& e : entries)
            rows.push_back(row_of(e));
        return rows;
    }
    std::vector<gpt_row_s> rows = mbr_rows(disk.sector0);
    if (!rows.empty())
        kind = table_kind_e::mbr;
    return rows;
}

bool overlaps(const gpt_row_s& row, const partition_item_s& find)
{
    return row.first_lba <= find.end_sector && find.start_sector <= row.last_lba;
}

// Hands out the fresh GUIDs in order; an empty optional once they run out.
class guid_supply_c {
public:
    explicit guid_supply_c(std::span<const guid_s> fresh) : fresh_(fresh) {}
    std::optional<guid_s> next() { return used_ < fresh_.size() ? std::optional(fresh_[used_++]) : std::nullopt; }

private:
    std::span<const guid_s> fresh_;
    std::size_t used_ = 0;
};

// The slots of the new array, each with the row the confirmation shows for it.
struct new_array_s {
    std::vector<std::byte> bytes = std::vector<std::byte>(gpt_new_entry_count * gpt_new_entry_bytes);
    std::vector<gpt_row_s> rows;

    bool free(std::size_t slot) const
    {
        return std::ranges::none_of(rows, [&](const gpt_row_s& r) { return r.slot == slot; });
    }
    void put(const gpt_row_s& row, const gpt_entry_bytes_s& entry)
    {
        std::ranges::copy(entry, bytes.begin() + static_cast<std::ptrdiff_t>(row.slot * gpt_new_entry_bytes));
        rows.push_back(row);
    }
};

// Decides each current entry's fate and puts the kept ones in their slots: replaced when a
// written find overlaps it, lost when it cannot stand in the new table (no GPT type for its MBR
// code, outside the usable sectors, overlapping an entry kept before it), kept otherwise.
bool keep_entries(gpt_plan_s& plan, std::span<const gpt_entry_s> entries,
                  std::span<const partition_item_s> written, std::uint64_t first, std::uint64_t last,
                  guid_supply_c& guids, new_array_s& array)
{
    for (std::size_t i = 0; i < plan.current.size(); ++i) {
        gpt_row_s& row = plan.current[i];
        const bool clashes = std::ranges::any_of(array.rows, [&](const gpt_row_s& kept) {
            return kept.first_lba <= row.last_lba && row.first_lba <= kept.last_lba;
        });
        if (std::ranges::any_of(written, [&](const partition_item_s& f) { return overlaps(row, f); })) {
            row.fate = entry_fate_e::replaced;
        } else if (!row.type || row.slot >= gpt_new_entry_count || row.first_lba < first || row.last_lba > last
                   || row.first_lba > row.last_lba || clashes) {
            row.fate = entry_fate_e::lost;
        } else {
            row.fate = entry_fate_e::kept;
            // A GPT entry comes through byte for byte; an MBR entry gets its first GUID here.
            const std::optional<guid_s> unique = i < entries.size() ? entries[i].unique : guids.next();
            if (!unique)
                return false;
            array.put(row, i < entries.size() ? entries[i].bytes
                                              : build_gpt_entry(*row.type, *unique, row.first_lba, row.last_lba));
        }
    }
    return true;
}

// The written finds in the free slots, in list order; a find without a free slot is left out.
bool add_finds(gpt_plan_s& plan, std::span<const partition_item_s> written, guid_supply_c& guids,
               new_array_s& array)
{
    std::size_t slot = 0;
    for (const partition_item_s& find : written) {
        while (slot < gpt_new_entry_count && !array.free(slot))
            ++slot;
        if (slot == gpt_new_entry_count) {
            plan.left_out.push_back(find);
            continue;
        }
        const std::optional<guid_s> unique = guids.next();
        if (!unique)
            return false;
        gpt_row_s row;
        row.slot = slot;
        row.type = gpt_type_for_fs(find.fs_name);
        row.first_lba = find.start_sector;
        row.last_lba = find.end_sector;
        row.origin = slot_origin_e::found;
        row.fs_name = find.fs_name;
        array.put(row, build_gpt_entry(*row.type, *unique, row.first_lba, row.last_lba));
    }
    return true;
}

std::optional<gpt_plan_s> plan_new(const disk_table_s& disk, gpt_reason_e reason,
                                   const std::vector<partition_item_s>& finds, std::span<const guid_s> fresh,
                                   std::uint32_t sectors_per_track, std::uint32_t heads)
{
    const std::uint64_t n = disk.sectors;
    if (n < 2 * new_first_usable + 1)
        return std::nullopt;
    const std::uint64_t first = new_first_usable;
    const std::uint64_t last = n - new_first_usable;
    gpt_plan_s plan;
    plan.action = gpt_action_e::new_table;
    plan.reason = reason;
    std::vector<gpt_entry_s> entries;
    plan.current_kind = table_kind(disk);
    plan.current = surviving_rows(disk, plan.current_kind, entries);
    std::vector<partition_item_s> written;
    for (const partition_item_s& f : finds) {
        const bool fits = f.start_sector >= first && f.end_sector <= last && f.start_sector <= f.end_sector;
        (fits && gpt_type_for_fs(f.fs_name) ? written : plan.left_out).push_back(f);
    }
    guid_supply_c guids(fresh);
    const std::optional<guid_s> disk_guid = guids.next();
    new_array_s array;
    if (!disk_guid || !keep_entries(plan, entries, written, first, last, guids, array)
        || !add_finds(plan, written, guids, array) || array.rows.empty())
        return std::nullopt;
    plan.planned = array.rows;
    std::ranges::sort(plan.planned, {}, &gpt_row_s::slot);

    gpt_header_s primary;
    primary.my_lba = 1;
    primary.alternate_lba = n - 1;
    primary.first_usable = first;
    primary.last_usable = last;
    primary.disk_guid = *disk_guid;
    primary.entries_lba = 2;
    primary.entry_count = gpt_new_entry_count;
    primary.entry_bytes = gpt_new_entry_bytes;
    primary.entries_crc = gpt_crc32(array.bytes);
    // The backup first and sector 0 last: a write cut short leaves the old sector 0 in place.
    add_copy(plan.writes, mirrored_header(primary), array.bytes);
    add_copy(plan.writes, primary, array.bytes);
    plan.protective_mbr = true;
    plan.writes.push_back(protective_mbr(n, sectors_per_track, heads));
    return plan;
}

} // namespace

std::optional<gpt_reason_e> gpt_needed(const disk_table_s& disk, const std::vector<partition_item_s>& finds)
{
    if (disk.primary.sound || disk.backup.sound)
        return gpt_reason_e::gpt_on_disk;
    if (has_protective_entry(disk.sector0))
        return gpt_reason_e::protective_mbr;
    if (disk.sectors > mbr_limit + 1)
        return gpt_reason_e::disk_over_2tib;
    if (!std::ranges::all_of(finds, fits_mbr))
        return gpt_reason_e::find_over_32_bits;
    return std::nullopt;
}

std::optional<gpt_plan_s> plan_gpt(const disk_table_s& disk, gpt_reason_e reason,
                                   const std::vector<partition_item_s>& finds, std::span<const guid_s> fresh,
                                   std::uint32_t sectors_per_track, std::uint32_t heads)
{
    if (reason == gpt_reason_e::gpt_on_disk)
        return plan_existing(disk, sectors_per_track, heads);
    return plan_new(disk, reason, finds, fresh, sectors_per_track, heads);
}

} // namespace tarn
