#pragma once
// What the deep scan offers besides the volumes: each disk as a whole, and each stretch of a
// partitioned disk that no partition covers and that is larger than 1 MiB, read as a window of
// the disk.

#include "disk/drive_item.h"
#include "disk/volume_item.h"

#include <vector>

namespace tarn {

inline constexpr std::uint64_t deep_scan_least_gap = 1 << 20;

// Probes each drive's partition table (it reads the disks: not on the interface thread).
std::vector<volume_item_s> build_deep_scan_extras(const std::vector<drive_item_s>& drives);

} // namespace tarn
