// The FAT engine's second look: folder clusters that the walk could not reach, read as part of
// the folder they continue, or as a folder of their own, or as lost entries.

#include "scan/diagnostic_log.h"
#include "scan/fat_date.h"
#include "scan/fat_recovery.h"

#include <chrono>

namespace tarn {

namespace {

// A run placed can make others placeable (a folder it holds, or an open end it leaves), so
// the placing passes repeat while they place something, up to this many times.
constexpr int placing_passes = 8;

} // namespace

void fat_recovery_c::adopt_orphans()
{
    const auto began = std::chrono::steady_clock::now();
    fat_fs_s& fs = fat_volume_object();
    bool ok = true;
    const std::vector<fat_orphan_run_s> runs =
        find_fat_orphan_runs(fs, visited_, [this] { return control_.keep_running(); }, orphan_stats_, ok);
    if (!ok)
        log_error("fat", __LINE__, "search for unreached folder clusters stopped by a read failure after %llu clusters",
                  static_cast<unsigned long long>(orphan_stats_.free_clusters));
    if (runs.size() == fat_orphan_runs_max)
        log_error("fat", __LINE__, "search for unreached folder clusters stopped at %zu runs", runs.size());
    std::vector<bool> placed(runs.size());
    for (int pass = 0; pass < placing_passes; ++pass) {
        bool any = false;
        for (std::size_t i = 0; i < runs.size() && control_.keep_running(); ++i)
            if (!placed[i] && place_run(runs[i], false))
                placed[i] = any = true;
        if (!any)
            break;
    }
    for (std::size_t i = 0; i < runs.size() && control_.keep_running(); ++i)
        if (!placed[i])
            place_run(runs[i], true);
    orphan_stats_.nanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - began).count();
}

bool fat_recovery_c::place_run(const fat_orphan_run_s& run, bool last_resort)
{
    // Read since the search, as part of a folder placed before it.
    if (visited_.contains(run.first))
        return true;
    if (run.folder_start) {
        const bool parent_known = known_folder(run.parent);
        if (!parent_known && !last_resort)
            return false;
        adopt_folder(run, !parent_known);
        return true;
    }
    // A folder's entries go on where its contiguous read stopped; the file system took the next
    // free cluster when the folder grew, so the run belongs to the nearest folder left open
    // before it.
    auto open = open_ends_.lower_bound(run.first);
    if (open != open_ends_.begin()) {
        --open;
        const std::uint32_t owner = open->second;
        open_ends_.erase(open);
        read_run(run, owner, false);
        return true;
    }
    if (!last_resort)
        return false;
    read_run(run, 0, true);
    return true;
}

bool fat_recovery_c::known_folder(std::uint32_t cluster) const
{
    const fat_fs_s& fs = fat_volume_object();
    if (cluster == 0 || (fs.fs_type == fat_32 && cluster == fs.dir_base))
        return true;
    const auto it = findings_.find(cluster);
    return it != findings_.end() && (it->second.attributes & fat_attr_directory);
}

void fat_recovery_c::read_run(const fat_orphan_run_s& run, std::uint32_t owner, bool lost)
{
    frame_s frame;
    frame.start = run.first;
    frame.owner = owner;
    frame.lost = lost;
    frame.in_deleted = true;
    std::vector<frame_s> stack;
    if (push_frame(frame, stack))
        drain(stack);
}

// A folder whose own entry is gone: its "." and ".." entries give its cluster, its parent and
// its dates, but no name, so it is named by its cluster.
void fat_recovery_c::adopt_folder(const fat_orphan_run_s& run, bool lost)
{
    // The cluster is already the start of a deleted file's finding: the folder cannot have a
    // record of its own, and its entries join the lost ones.
    if (findings_.contains(run.first)) {
        read_run(run, 0, true);
        return;
    }
    const fat_fs_s& fs = fat_volume_object();
    fat_record_s record;
    record.start_cluster = run.first;
    record.parent_cluster = lost || (fs.fs_type == fat_32 && run.parent == fs.dir_base) ? 0 : run.parent;
    record.lost = lost ? 1 : 0;
    record.attributes = fat_attr_directory | fat_attr_deleted;
    record.in_deleted_dir = 1;
    record.modified = fat_time_to_unix(run.wdate, run.wtime);
    record.created = fat_time_to_unix(run.cdate, run.ctime);
    record.name = QStringLiteral("#%1").arg(run.first, 8, 10, QLatin1Char('0'));
    resolve(std::move(record));
    frame_s frame;
    frame.start = run.first;
    frame.owner = run.first;
    frame.in_deleted = true;
    std::vector<frame_s> stack;
    if (push_frame(frame, stack))
        drain(stack);
}

} // namespace tarn
