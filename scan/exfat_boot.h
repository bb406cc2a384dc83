#pragma once
// The boot region of an exFAT volume: the main copy in its first 12 sectors and the backup in
// the 12 after them, each with a checksum sector. The layout a boot sector gives is checked
// against itself before anything is read through it, so that a crafted one cannot point a read
// outside the volume's structures or make a count overflow.

#include "platform/byte_source.h"

#include <cstdint>
#include <span>

namespace tarn {

// How reading a structure of the volume went. An I/O failure is kept apart from bytes that were
// read but do not hold what they should.
enum class exfat_status_e { ok, io_error, not_exfat, damaged };

inline constexpr std::uint32_t exfat_boot_sectors = 12; // of each copy: 9 boot sectors, OEM, reserved, checksum

struct exfat_layout_s {
    std::uint32_t sector_shift = 9;  // bytes per sector: 512 to 4096
    std::uint32_t cluster_shift = 9; // bytes per cluster: up to 32 MiB
    std::uint64_t volume_bytes = 0;  // the volume's length as its boot sector gives it
    std::uint64_t fat_offset = 0;    // bytes from the volume's start to the FAT in use
    std::uint64_t fat_bytes = 0;     // of one FAT
    std::uint64_t heap_offset = 0;   // bytes from the volume's start to cluster 2
    std::uint32_t cluster_count = 0;
    std::uint32_t root_cluster = 0;
    std::uint32_t serial = 0;
    std::uint8_t fat_count = 1;
    std::uint8_t active_fat = 0;     // the second FAT and bitmap are the ones in use (1)
    bool from_backup = false;        // the main boot region was damaged or unreadable
    bool checksum_ok = false;        // false: both copies failed their checksum; the main one was used

    std::uint64_t cluster_bytes() const { return std::uint64_t{1} << cluster_shift; }
    // Whether cluster c is one of the volume's (the heap starts at cluster 2).
    bool in_heap(std::uint64_t c) const { return c >= 2 && c - 2 < cluster_count; }
    // The byte offset of cluster c, which must be in the heap.
    std::uint64_t cluster_offset(std::uint32_t c) const
    {
        return heap_offset + (std::uint64_t{c - 2} << cluster_shift);
    }
    // The heap's bytes from cluster c (in the heap) to its end.
    std::uint64_t heap_bytes_from(std::uint32_t c) const
    {
        return std::uint64_t{cluster_count - (c - 2)} << cluster_shift;
    }
};

// Reads the boot region of the exFAT volume that begins at offset 0 of source into out. The main
// copy is taken when its boot sector is sound and its checksum holds, else the backup when it
// is; failing both, the copy whose boot sector is sound. io_error when no copy could be read at
// all, damaged when a copy names itself exFAT but none is sound, not_exfat otherwise.
exfat_status_e read_exfat_boot(byte_source_c& source, exfat_layout_s& out);

// One step of the 32-bit rotating sum exFAT keeps over its boot region and its up-case table.
inline std::uint32_t exfat_sum32(std::uint32_t sum, std::byte b)
{
    return ((sum & 1) != 0 ? 0x80000000u : 0) + (sum >> 1) + std::to_integer<std::uint32_t>(b);
}

// The 32-bit checksum of a boot region's first 11 sectors (sector_bytes each); the volume flags
// and the share in use (bytes 106, 107 and 112), which change while the volume is used, are left
// out.
std::uint32_t exfat_boot_checksum(std::span<const std::byte> region, std::size_t sector_bytes);

} // namespace tarn
