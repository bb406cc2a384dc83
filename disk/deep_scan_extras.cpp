#include "disk/deep_scan_extras.h"

#include "common/format_size.h"
#include "platform/found_volume.h"
#include "platform/partition_probe.h"
#include "platform/physical_drives.h"

#include <algorithm>

namespace tarn {

namespace {

constexpr std::uint64_t sector = 512;

volume_item_s window_item(const drive_item_s& drive, std::uint64_t start, std::uint64_t bytes, const QString& label)
{
    volume_item_s item;
    item.volume_path = found_volume_path(drive.path, start / sector, bytes / sector);
    item.device = item.volume_path;
    item.mount_path = drive.path;
    item.label = QString(label).arg(drive.path, format_size(bytes), format_size(start));
    item.total_bytes = bytes;
    item.disk_number = physical_drive_index(drive.path);
    return item;
}

// The stretches between and after the partitions, from the disk's first byte, on whole sectors.
void add_gaps(const drive_item_s& drive, const QString& label, std::vector<volume_item_s>& out)
{
    // A disk without a table, or whose table lists nothing, is offered whole only.
    const partition_table_s table = probe_partition_table(drive.path);
    if (table.type.isEmpty() || table.entries.empty())
        return;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> used;
    for (const partition_entry_s& entry : table.entries)
        used.emplace_back(entry.start, entry.start + entry.size);
    std::sort(used.begin(), used.end());
    std::uint64_t at = 0;
    const auto gap_to = [&](std::uint64_t end) {
        const std::uint64_t first = (at + sector - 1) / sector * sector, last = end / sector * sector;
        if (last > first && last - first > deep_scan_least_gap)
            out.push_back(window_item(drive, first, last - first, label));
    };
    for (const auto& [start, end] : used) {
        gap_to(start);
        at = std::max(at, end);
    }
    gap_to(drive.size);
}

} // namespace

std::vector<volume_item_s> build_deep_scan_extras(const std::vector<drive_item_s>& drives,
                                                  const deep_scan_labels_s& labels)
{
    std::vector<volume_item_s> out;
    for (const drive_item_s& drive : drives) {
        if (drive.path.isEmpty() || drive.size == 0)
            continue;
        volume_item_s whole;
        whole.device = drive.path;
        whole.volume_path = drive.path;
        whole.mount_path = drive.path;
        whole.label = labels.whole;
        whole.total_bytes = drive.size;
        whole.disk_number = physical_drive_index(drive.path);
        out.push_back(whole);
        add_gaps(drive, labels.free_space, out);
    }
    return out;
}

} // namespace tarn
