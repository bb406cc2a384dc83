#pragma once
// What the deep scan offers besides the volumes: each disk as a whole, and each stretch of a
// partitioned disk that no partition covers and that is larger than 1 MiB, read as a window of
// the disk.

#include "disk/drive_item.h"
#include "disk/volume_item.h"

#include <vector>

namespace tarn {

inline constexpr std::uint64_t deep_scan_least_gap = 1 << 20;

// The names the entries are shown with: whole for a disk, free_space ("%1" the disk, "%2" the size,
// "%3" where it starts) for a gap. Taken on the interface thread and passed in, since this probes
// each drive's partition table (it reads the disks) on a thread of its own.
struct deep_scan_labels_s {
    QString whole;
    QString free_space;
};

std::vector<volume_item_s> build_deep_scan_extras(const std::vector<drive_item_s>& drives,
                                                  const deep_scan_labels_s& labels);

} // namespace tarn
