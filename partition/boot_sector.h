#pragma once
// Recognising the boot sectors of NTFS and FAT32 partitions among raw disk sectors.

#include "partition/partition_item.h"

#include <cstddef>
#include <optional>
#include <span>

namespace tarn {

// An NTFS boot sector: "NTFS    " at offset 3 and 0x55 0xAA at its end. Reads 512 bytes;
// a shorter span is never a boot sector.
bool is_ntfs_boot(std::span<const std::byte> sector);

// A FAT32 boot sector followed by its information sector; reads 1024 bytes. Both sectors end
// in 0x55 0xAA, and either the OEM name starts "MSWIN" or "MSDOS", or the BIOS parameter block
// is a sound FAT32 one whatever the OEM name.
bool is_fat32_boot(std::span<const std::byte> sectors);

// The partition described by a boot sector lying at disk sector `start`, NTFS tested before
// FAT32. Nothing when the sector is no boot sector, or when its length field gives no usable
// extent (zero sectors, or an end beyond the largest sector number).
std::optional<partition_item_s> partition_at(std::span<const std::byte> sectors, std::uint64_t start);

} // namespace tarn
