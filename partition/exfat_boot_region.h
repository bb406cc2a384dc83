#pragma once
// Recognising an exFAT boot region among raw disk sectors: the boot sector, and where the
// sectors are at hand the checksum sector that closes the region's twelve.

#include "partition/partition_item.h"

#include <cstdint>
#include <optional>
#include <span>

namespace tarn {

inline constexpr std::uint64_t exfat_region_sectors = 12; // the backup region follows the main

// The geometry an exFAT boot sector gives, in 512-byte sectors from the volume's start.
struct exfat_boot_s {
    std::uint64_t length = 0;      // sectors of the volume
    std::uint64_t fat_at = 0;      // first sector of the first FAT
    std::uint64_t heap_at = 0;     // first sector of the cluster heap
    std::uint64_t cluster_sectors = 0;
    std::uint32_t root_cluster = 0;
};

// The boot sector of an exFAT region ("EXFAT   ", the must-be-zero field, sound fields); when
// sectors holds the whole region of twelve 512-byte sectors its checksum is checked too.
std::optional<exfat_boot_s> exfat_boot(std::span<const std::byte> sectors);

// Whether a FAT sector starts as every exFAT FAT does: the media entry and an end of chain.
bool exfat_fat_start(std::span<const std::byte> sector);

// The volume label from the entries of a root folder's first cluster; empty when none.
QString exfat_label(std::span<const std::byte> entries);

} // namespace tarn
