#pragma once
// A GPT header: read from its sector and checked against the disk it lies on, and written back.
// The checks are what make the rest safe to trust: a header that passes them describes an entry
// array of bounded size, inside the disk, that overlaps neither header nor the usable sectors.

#include "partition/guid.h"
#include "partition/partition_item.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tarn {

inline constexpr std::uint32_t gpt_revision = 0x00010000;
inline constexpr std::uint32_t gpt_header_min_bytes = 92;
inline constexpr std::uint32_t gpt_entry_min_bytes = 128;
// No table made by any tool comes near this (128 entries of 128 bytes is the rule); it bounds
// what a header read from a damaged disk can make the repair read and hold.
inline constexpr std::uint64_t gpt_array_max_bytes = 1u << 20;

struct gpt_header_s {
    std::uint32_t header_bytes = gpt_header_min_bytes;
    std::uint64_t my_lba = 0;
    std::uint64_t alternate_lba = 0;
    std::uint64_t first_usable = 0;
    std::uint64_t last_usable = 0;
    guid_s disk_guid{};
    std::uint64_t entries_lba = 0;
    std::uint32_t entry_count = 0;
    std::uint32_t entry_bytes = gpt_entry_min_bytes;
    std::uint32_t entries_crc = 0;
    // Bytes 92 up to header_bytes, kept as read so that a copy made from this header has them too.
    std::vector<std::byte> reserved;

    std::uint64_t array_bytes() const { return std::uint64_t{entry_count} * entry_bytes; }
    std::uint64_t array_sectors() const { return (array_bytes() + sector_bytes - 1) / sector_bytes; }
    // The primary copy lies before the usable sectors, the backup after them.
    bool is_primary() const { return my_lba < first_usable; }
    // Where the other copy keeps its entries: right after the primary header, right before the
    // backup header.
    std::uint64_t mirror_entries_lba() const
    {
        return is_primary() ? alternate_lba - array_sectors() : alternate_lba + 1;
    }
    bool operator==(const gpt_header_s&) const = default;
};

std::uint32_t gpt_crc32(std::span<const std::byte> bytes);

// The header in `sector`, read at `lba` of a disk of `disk_sectors`: signature, revision 1.x,
// size 92 to 512 bytes, header CRC, its own LBA, entries of 128 bytes or a multiple and an array
// of at most gpt_array_max_bytes, and a layout (both headers, both arrays, the usable sectors)
// whose parts lie inside the disk without overlapping. Nothing when any check fails.
std::optional<gpt_header_s> parse_gpt_header(std::span<const std::byte, sector_bytes> sector, std::uint64_t lba,
                                             std::uint64_t disk_sectors);

// The header's sector with both CRC fields: entries_crc as given, the header CRC computed.
std::array<std::byte, sector_bytes> build_gpt_header(const gpt_header_s& header);

// The same table as seen from its other copy: own and alternate LBA swapped, the entries where
// that copy keeps them. The entry CRC stays, as the entries do.
gpt_header_s mirrored_header(const gpt_header_s& header);

} // namespace tarn
