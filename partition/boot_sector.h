#pragma once
// Recognising the boot sectors of NTFS, FAT and exFAT partitions among raw disk sectors.

#include "partition/partition_item.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>

namespace tarn {

// Reads whole 512-byte sectors of the disk from `sector` into out; false when they cannot be read.
// What the search gives the tests that look past the sectors at hand.
using sector_reader = std::function<bool(std::uint64_t sector, std::span<std::byte> out)>;

// An NTFS boot sector: "NTFS    " at offset 3 and 0x55 0xAA at its end. Reads 512 bytes;
// a shorter span is never a boot sector.
bool is_ntfs_boot(std::span<const std::byte> sector);

// A FAT32 boot sector followed by its information sector; reads 1024 bytes. Both sectors end
// in 0x55 0xAA, and either the OEM name starts "MSWIN" or "MSDOS", or the BIOS parameter block
// is a sound FAT32 one whatever the OEM name.
bool is_fat32_boot(std::span<const std::byte> sectors);

// A FAT12 or FAT16 boot sector with a sound parameter block; "FAT12" or "FAT16" by its cluster
// count, nothing otherwise. Reads 512 bytes.
std::optional<QString> fat12_16_kind(std::span<const std::byte> sector);

// The partition described by a boot sector lying at disk sector `start` (NTFS, FAT32, FAT12/16,
// exFAT, in that order), with its label where the boot sector or, through read, the volume
// keeps one. A boot sector may be the copy an NTFS volume keeps in its last sector or an exFAT
// volume in its backup region: when read shows the volume's own structures where the copy says
// they are, the partition starts where the copy belongs. Nothing when the sector is no boot
// sector, or when its length field gives no usable extent (zero sectors, or an end beyond the
// largest sector number).
std::optional<partition_item_s> partition_at(std::span<const std::byte> sectors, std::uint64_t start,
                                             const sector_reader& read = {});

} // namespace tarn
