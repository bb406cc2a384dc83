#pragma once
// Recognising an ext2/3/4 superblock among raw disk sectors: the primary, 1 KiB into the file
// system, or one of the copies kept at the start of later block groups, from which the file
// system's start follows.

#include "partition/partition_item.h"

#include <cstdint>
#include <optional>
#include <span>

namespace tarn {

// The file system whose superblock starts at disk sector `sector`, its start worked back from
// the superblock's own block group; nothing when the sector is no superblock or the start would
// lie before sector 0.
std::optional<partition_item_s> ext_partition_at(std::span<const std::byte> sector, std::uint64_t at);

// The cheap first test: the superblock's magic number.
inline bool may_be_ext_superblock(const std::byte* sector)
{
    return sector[56] == std::byte{0x53} && sector[57] == std::byte{0xEF};
}

} // namespace tarn
