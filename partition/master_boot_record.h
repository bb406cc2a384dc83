#pragma once
// The master boot record that the partition table repair writes into sector 0.

#include "partition/partition_item.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarn {

inline constexpr std::size_t boot_code_bytes = 440;
inline constexpr std::size_t partition_table_at = 446;
inline constexpr std::size_t partition_entry_bytes = 16;
inline constexpr std::size_t partition_entries = 4;

using chs_s = std::array<std::byte, 3>;
using sector_s = std::array<std::byte, sector_bytes>;
using entry_bytes_s = std::array<std::byte, partition_entry_bytes>;
using table_entries_s = std::array<entry_bytes_s, partition_entries>;

// The three CHS bytes of a sector: head; sector number with cylinder bits 8-9 in bits 6-7;
// cylinder bits 0-7. Only the low 32 bits of the sector count, as a signed value, and the
// cylinder is not clamped: the LBA fields are what carry the true position. A geometry with
// no sectors or no heads gives zeros.
chs_s chs_encode(std::uint64_t sector, std::uint32_t sectors_per_track, std::uint32_t heads);

// The program's 440 bytes of real-mode boot code.
std::span<const std::byte, boot_code_bytes> boot_code();

// The 16-byte table entry of a find: status 0x80 when active, CHS of its first and last
// sector, its type code, and the low 32 bits of its start and length.
entry_bytes_s encode_entry(const partition_item_s& p, bool active, std::uint32_t sectors_per_track,
                           std::uint32_t heads);

// Sector 0 rewritten: our boot code, the current disk signature and the two bytes after it,
// the four given entries and the boot signature.
sector_s build_master_boot_record(std::span<const std::byte, sector_bytes> current, const table_entries_s& entries);

} // namespace tarn
