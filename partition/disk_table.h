#pragma once
// What partition table a disk holds, read before the repair plans anything: sector 0 and both
// copies of a GPT, each copy checked on its own.

#include "partition/gpt_entries.h"
#include "partition/gpt_header.h"
#include "partition/master_boot_record.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tarn {

class byte_source_c;

enum class table_kind_e { none, mbr, gpt };

inline constexpr std::uint8_t type_gpt_protective = 0xEE;

struct gpt_copy_s {
    std::optional<gpt_header_s> header; // only a header that passed every check
    std::vector<std::byte> entries;     // the array the header names, as read
    bool entries_intact = false;        // read whole, and its CRC is the header's
    std::vector<gpt_entry_s> used;      // the used entries of an intact array
    bool sound = false;                 // intact, and its entries lie in the usable sectors without overlapping
    bool operator==(const gpt_copy_s&) const = default;
};

struct disk_table_s {
    std::uint64_t sectors = 0; // whole sectors on the disk
    sector_s sector0{};
    gpt_copy_s primary;        // at sector 1
    gpt_copy_s backup;         // where the primary says, else at the last sector
    bool operator==(const disk_table_s&) const = default;
};

// Reads sector 0 and both GPT copies of a disk of `size` bytes. -1 when sector 0 cannot be read;
// a GPT sector that cannot be read leaves its copy damaged.
int read_disk_table(byte_source_c& disk, std::uint64_t size, disk_table_s& out);

// Sector 0 holds a partition table with a GPT protective (0xEE) entry.
bool has_protective_entry(std::span<const std::byte, sector_bytes> sector0);

// Both copies sound and describing the same table from either end.
bool gpt_copies_agree(const gpt_copy_s& primary, const gpt_copy_s& backup);

// GPT when a copy is sound or sector 0 protects a GPT; MBR when sector 0 holds a table with an
// entry; none otherwise.
table_kind_e table_kind(const disk_table_s& table);

// "GPT", "MBR" or "none", as the command line and the window show it.
const char* table_kind_name(table_kind_e kind);

} // namespace tarn
