#pragma once
// What the system knows about each volume: the facts the volume list is built from. The
// program applies its own filters and order; this layer only answers.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace tarn {

enum drive_type_e : int { drive_unknown = 0, drive_removable = 2, drive_fixed = 3, drive_remote = 4, drive_optical = 5 };

struct volume_facts_s {
    QString volume_path;     // "\\?\Volume{ID}\", stable across runs
    QString device;          // partition device node, or "IMAGE.img#N" for partition N of an image
    QStringList mount_paths; // the device itself when the volume is not mounted
    int drive_type = drive_unknown;
    bool info_ok = false;    // file system information could be read
    QString label;
    QString fs_name;         // "NTFS", "FAT12", "FAT16", "FAT32", "exFAT", or the probe's type name
    bool size_ok = false;
    std::uint64_t total_bytes = 0;
    std::uint64_t free_bytes = 0;
    bool free_ok = false;    // free_bytes was counted (mounted, or the file system keeps a count)
};

// The volumes on the listed physical disks (partitions, and whole disks holding a file system
// without a partition table). Also refreshes the table that resolves volume paths to devices.
std::vector<volume_facts_s> enumerate_volume_facts();

} // namespace tarn
