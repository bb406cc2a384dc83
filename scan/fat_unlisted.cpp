// Unlisted files: entries never marked deleted that the file system in place no longer lists.
// After a format the FAT is empty and each such file is read as one run of clusters; after a
// FAT that lost only some folders their files keep their chains. Whichever way a file is read,
// a cluster the file system in place now uses holds somebody else's bytes.

#include "scan/fat_recovery.h"

#include "scan/diagnostic_log.h"

#include <algorithm>

namespace tarn {

namespace {

constexpr std::uint32_t disk_failure = 0xFFFFFFFF;

std::uint32_t clusters_of(const fat_fs_s& fs, const fat_record_s& record)
{
    const std::uint64_t cluster_bytes = std::uint64_t{fs.sectors_per_cluster} * fat_sector_size;
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(1, (record.size + cluster_bytes - 1) / cluster_bytes));
}

// Whether the chain from start is exactly count clusters long, each link inside the volume.
// Every FAT entry looked at is taken from budget.
bool chain_fits(fat_fs_s& fs, std::uint32_t start, std::uint32_t count, std::uint64_t& budget)
{
    std::uint32_t at = start;
    for (std::uint32_t k = 1; k < count; ++k, --budget) {
        if (budget == 0)
            return false;
        at = fat_detail::get_fat(fs, at);
        if (at < 2 || at >= fs.max_cluster)
            return false;
    }
    const std::uint32_t last = fat_detail::get_fat(fs, at);
    return last != disk_failure && last >= fs.max_cluster;
}

} // namespace

void fat_recovery_c::judge_unlisted()
{
    // Files on a real volume do not overlap, so their clusters together are about the volume's;
    // crafted entries that all claim the volume (or start along one long chain) would make the
    // look quadratic. Past this many FAT entries the rest are read as one run, unjudged.
    std::uint64_t budget = 4 * std::uint64_t{fat_volume_object().max_cluster} + (1u << 20);
    for (auto& [key, record] : findings_) {
        if (!record.unlisted || (record.attributes & fat_attr_directory) || !control_.keep_running())
            continue;
        if (budget == 0) {
            log_error("fat", __LINE__, "unlisted files past cluster budget left unjudged (read as one run each)");
            return;
        }
        judge_unlisted(record, budget);
    }
}

void fat_recovery_c::judge_unlisted(fat_record_s& record, std::uint64_t& budget)
{
    fat_fs_s& fs = fat_volume_object();
    const std::uint32_t count = clusters_of(fs, record);
    const std::uint32_t start = record.start_cluster;
    const std::uint32_t link = fat_detail::get_fat(fs, start);
    if (link == disk_failure)
        return;
    if (link != 0) {
        // Its chain survives only when it still describes exactly this file; else the start
        // cluster went to a file written since.
        const bool fits = chain_fits(fs, start, count, budget);
        if (budget == 0)
            return; // not judged: read as one run, unmarked
        record.by_chain = fits ? 1 : 0;
        record.overwritten = fits ? 0 : 1;
        return;
    }
    const std::uint32_t end = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{start} + count, fs.max_cluster));
    for (std::uint32_t c = start + 1; c < end && budget != 0; ++c, --budget) {
        const std::uint32_t next = fat_detail::get_fat(fs, c);
        if (next == disk_failure)
            return;
        if (next != 0) {
            record.overwritten = 1;
            return;
        }
    }
}

} // namespace tarn
