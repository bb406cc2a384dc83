#include "partition/partition_table_plan.h"

#include "platform/byte_source.h"

#include <algorithm>

namespace tarn {

std::uint32_t table_entry_s::first_sector() const
{
    return load_le32(bytes, 8);
}

std::uint32_t table_entry_s::sector_count() const
{
    return load_le32(bytes, 12);
}

table_entries_s partition_plan_s::entries() const
{
    table_entries_s out{};
    for (std::size_t i = 0; i < partition_entries; ++i)
        out[i] = planned[i].entry.bytes;
    return out;
}

bool holds_partition_table(std::span<const std::byte, sector_bytes> sector)
{
    if (sector[510] != std::byte{0x55} || sector[511] != std::byte{0xAA})
        return false;
    for (std::size_t i = 0; i < partition_entries; ++i) {
        const auto status = sector[partition_table_at + i * partition_entry_bytes];
        if (status != std::byte{0x00} && status != std::byte{0x80})
            return false;
    }
    return true;
}

std::array<table_entry_s, partition_entries> read_table_entries(std::span<const std::byte, sector_bytes> sector)
{
    std::array<table_entry_s, partition_entries> out{};
    for (std::size_t i = 0; i < partition_entries; ++i) {
        const auto from = sector.begin() + partition_table_at + i * partition_entry_bytes;
        std::copy(from, from + partition_entry_bytes, out[i].bytes.begin());
    }
    return out;
}

namespace {

bool overlaps(const table_entry_s& entry, const partition_item_s& find)
{
    return entry.first_sector() <= find.end_sector && find.start_sector <= entry.last_sector();
}

// Kept, replaced or empty for each current entry, then as many kept entries lost, from the
// last slot down, as the written finds need slots.
void decide_fates(partition_plan_s& plan, std::span<const partition_item_s> written)
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < partition_entries; ++i) {
        const table_entry_s& entry = plan.current[i];
        if (!entry.used()) {
            plan.fate[i] = entry_fate_e::empty;
        } else if (std::ranges::any_of(written, [&](const partition_item_s& f) { return overlaps(entry, f); })) {
            plan.fate[i] = entry_fate_e::replaced;
        } else {
            plan.fate[i] = entry_fate_e::kept;
            ++kept;
        }
    }
    for (std::size_t i = partition_entries; i-- > 0 && kept + written.size() > partition_entries;) {
        if (plan.fate[i] == entry_fate_e::kept) {
            plan.fate[i] = entry_fate_e::lost;
            --kept;
        }
    }
}

} // namespace

partition_plan_s plan_partition_table(std::span<const std::byte, sector_bytes> current,
                                      const std::vector<partition_item_s>& finds, std::uint32_t sectors_per_track,
                                      std::uint32_t heads)
{
    partition_plan_s plan;
    plan.has_current = holds_partition_table(current);
    if (plan.has_current)
        plan.current = read_table_entries(current);
    const std::span<const partition_item_s> written(finds.data(), std::min(finds.size(), partition_entries));
    decide_fates(plan, written);

    bool active_kept = false;
    for (std::size_t i = 0; i < partition_entries; ++i) {
        if (plan.fate[i] != entry_fate_e::kept)
            continue;
        plan.planned[i] = {plan.current[i], slot_origin_e::kept, {}};
        active_kept = active_kept || plan.current[i].status() == 0x80;
    }
    std::size_t next = 0;
    for (auto& slot : plan.planned) {
        if (slot.origin != slot_origin_e::empty || next == written.size())
            continue;
        const partition_item_s& find = written[next];
        const bool active = next == 0 && !active_kept;
        slot = {{encode_entry(find, active, sectors_per_track, heads)}, slot_origin_e::found, find.fs_name};
        ++next;
    }
    return plan;
}

} // namespace tarn
