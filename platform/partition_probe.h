#pragma once
// Reads partition tables and file-system signatures with libblkid. Used by the volume facts
// of both backends (image files and the system's block devices).

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tarn {

struct partition_entry_s {
    int number = 0;
    std::uint64_t start = 0; // bytes
    std::uint64_t size = 0;  // bytes
    QString uuid;            // the table's own identifier of the entry, when it has one
};

struct partition_table_s {
    QString type; // "dos", "gpt", ... ; empty when the disk has no partition table
    QString id;   // disk signature or disk GUID
    std::vector<partition_entry_s> entries;
    std::vector<std::uint64_t> extended_starts; // bytes; the containers left out of entries
};

struct filesystem_probe_s {
    QString type;    // program's name: "NTFS", "FAT12", "FAT16", "FAT32", "exFAT" or the probe's type
    QString label;
    QString uuid;
    // The file system's own free count where it is cheap to read; absent when not known.
    std::optional<std::uint64_t> free_bytes;
};

// The partitions of a disk file. Entries that start beyond the disk are dropped and entries
// running past its end are cut at the end, so that no window reaches outside the disk.
// Extended-partition containers are not volumes and are left out.
partition_table_s probe_partition_table(const QString& disk_path);

// The file system in the byte window [offset, offset + size) of path, if any is recognised.
std::optional<filesystem_probe_s> probe_filesystem(const QString& path, std::uint64_t offset, std::uint64_t size);

} // namespace tarn
