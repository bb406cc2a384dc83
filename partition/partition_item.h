#pragma once
// A partition found by the lost-partition search: what the list shows and what the repair
// writes back into the partition table.

#include <QMetaType>
#include <QString>

#include <cstdint>

namespace tarn {

inline constexpr std::uint32_t sector_bytes = 512;
inline constexpr int type_ntfs = 0x07; // also exFAT's
inline constexpr int type_fat32 = 0x0C;
inline constexpr int type_fat12 = 0x01;
inline constexpr int type_fat16 = 0x06;

struct partition_item_s {
    QString fs_name;                // "NTFS", "FAT12", "FAT16", "FAT32", "exFAT", "ext2", "ext3", "ext4"
    std::int32_t type = 0;          // partition type code written by the repair
    std::uint64_t start_sector = 0; // first sector on the disk
    std::uint64_t end_sector = 0;   // last sector, inclusive
    QString label;                  // where the file system keeps one that the search reads

    std::uint64_t length_sectors() const { return end_sector - start_sector + 1; }
    std::uint64_t size_bytes() const { return length_sectors() * sector_bytes; }
    bool operator==(const partition_item_s&) const = default;
};

// Registers the record under the name "partition_item_s" so that it can travel in a QVariant.
void register_partition_item_type();

} // namespace tarn

Q_DECLARE_METATYPE(tarn::partition_item_s)
