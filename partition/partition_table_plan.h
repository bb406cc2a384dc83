#pragma once
// The partition table a repair writes, planned from the table on the disk now and the finds of
// the search, so that the repair loses no entry it has no reason to drop.

#include "partition/master_boot_record.h"
#include "partition/partition_item.h"

#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tarn {

// One entry of a table, read from its 16 bytes.
struct table_entry_s {
    entry_bytes_s bytes{};

    std::uint8_t status() const { return std::to_integer<std::uint8_t>(bytes[0]); }
    std::uint8_t type() const { return std::to_integer<std::uint8_t>(bytes[4]); }
    std::uint32_t first_sector() const;
    std::uint32_t sector_count() const;
    // Last sector, inclusive; only meaningful for a used entry.
    std::uint64_t last_sector() const { return std::uint64_t{first_sector()} + sector_count() - 1; }
    // Type 0 or no sectors: the slot holds no partition.
    bool used() const { return type() != 0 && sector_count() != 0; }
    bool operator==(const table_entry_s&) const = default;
};

// What the repair does with an entry of the current table.
enum class entry_fate_e {
    empty,    // the slot held no partition
    kept,     // written again, byte for byte, in the same slot
    replaced, // a written find overlaps it
    lost,     // no find overlaps it, but the finds needed its slot
};

// Where a slot of the planned table comes from.
enum class slot_origin_e { empty, kept, found };

struct planned_slot_s {
    table_entry_s entry;
    slot_origin_e origin = slot_origin_e::empty;
    QString fs_name; // of a find
    bool operator==(const planned_slot_s&) const = default;
};

struct partition_plan_s {
    // False when sector 0 holds no partition table: then nothing of it is kept.
    bool has_current = false;
    std::array<table_entry_s, partition_entries> current{};
    std::array<entry_fate_e, partition_entries> fate{};
    std::array<planned_slot_s, partition_entries> planned{};

    table_entries_s entries() const;
    bool operator==(const partition_plan_s&) const = default;
};

// Whether a sector 0 holds a partition table: the boot signature, and status bytes of 0x00 or
// 0x80 only (a boot sector of a partitionless volume fails that test on its code bytes).
bool holds_partition_table(std::span<const std::byte, sector_bytes> sector);

// The four entries of sector 0's table, whatever they hold.
std::array<table_entry_s, partition_entries> read_table_entries(std::span<const std::byte, sector_bytes> sector);

// Entries of the current table that no written find overlaps keep their slots; the first four
// finds, in list order, fill the free slots in slot order. When they do not all fit, the finds
// win and kept entries give up their slots from the last slot down. The first find is active
// unless a kept entry already is, so that the table never holds two active entries.
partition_plan_s plan_partition_table(std::span<const std::byte, sector_bytes> current,
                                      const std::vector<partition_item_s>& finds, std::uint32_t sectors_per_track,
                                      std::uint32_t heads);

} // namespace tarn
