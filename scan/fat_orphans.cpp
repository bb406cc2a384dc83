// The FAT engine's second look: folder clusters that the walk could not reach, read as part of
// the folder they continue, or as a folder of their own, or as lost entries.

#include "scan/diagnostic_log.h"
#include "scan/fat_date.h"
#include "scan/fat_recovery.h"

#include <algorithm>
#include <chrono>
#include <iterator>

namespace tarn {

namespace {

// A run placed can make others placeable (a folder it holds, or an open end it leaves), so
// the placing passes repeat while they place something, up to this many times.
constexpr int placing_passes = 64;
// How far after an open folder's last data a run's first entry may start and still continue it.
constexpr std::uint32_t data_slack = 2;

} // namespace

void fat_recovery_c::adopt_orphans()
{
    const auto began = std::chrono::steady_clock::now();
    fat_fs_s& fs = fat_volume_object();
    bool ok = true;
    // The furthest cluster a finding names: the allocator reached at least that far.
    const std::uint64_t cluster_bytes = std::uint64_t{fs.sectors_per_cluster} * fat_sector_size;
    std::uint64_t reach = 0;
    for (const auto& [key, record] : findings_)
        reach = std::max(reach, std::uint64_t{record.start_cluster} + (record.size + cluster_bytes - 1) / cluster_bytes);
    searching_ = true;
    const auto keep_going = [this](double done) {
        if (lost_search_)
            control_.progress = fat_walk_share + (1.0 - fat_walk_share) * 0.99 * done;
        return control_.keep_running();
    };
    const std::vector<fat_orphan_run_s> runs =
        find_fat_orphan_runs(fs, visited_, static_cast<std::uint32_t>(std::min<std::uint64_t>(reach, fs.max_cluster)),
                             lost_search_, keep_going, orphan_stats_, ok);
    if (!ok)
        log_error("fat", __LINE__, "search for unreached folder clusters stopped by a read failure after %llu clusters",
                  static_cast<unsigned long long>(orphan_stats_.free_clusters));
    if (orphan_stats_.unreadable_clusters != 0)
        log_error("fat", __LINE__, "search for unreached folder clusters passed over %llu unreadable clusters",
                  static_cast<unsigned long long>(orphan_stats_.unreadable_clusters));
    if (runs.size() == fat_orphan_runs_max)
        log_error("fat", __LINE__, "search for unreached folder clusters stopped at %zu runs", runs.size());
    // The surest rule first, and back to it after anything placed: reading one run can reach
    // the entry of a folder whose own clusters are another run (a folder grows after the
    // folders made in it), which then keeps its name and its own continuations.
    std::vector<bool> placed(runs.size());
    const auto place_all = [&](placing_e how) {
        bool any = false;
        for (std::size_t i = 0; i < runs.size() && control_.keep_running(); ++i)
            if (!placed[i] && place_run(runs[i], how))
                placed[i] = any = true;
        return any;
    };
    constexpr placing_e rules[] = {placing_e::by_data, placing_e::by_parent, placing_e::by_place, placing_e::to_lost};
    for (int pass = 0; pass < placing_passes; ++pass)
        if (std::none_of(std::begin(rules), std::end(rules), place_all))
            break;
    place_all(placing_e::anything);
    searching_ = false;
    orphan_stats_.nanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - began).count();
}

bool fat_recovery_c::place_run(const fat_orphan_run_s& run, placing_e how)
{
    // Read since the search, as part of a folder placed before it.
    if (visited_.contains(run.first))
        return true;
    if (run.folder_start) {
        const bool known = parent_known(run.parent);
        if (how == placing_e::anything || how == placing_e::to_lost || (how == placing_e::by_parent && known)) {
            adopt_folder(run, !known);
            return true;
        }
        return false;
    }
    // A folder never lists itself: a run that lists the open folder is its parent's.
    if (const auto open = owner_of(run, how); open != open_ends_.end() && open->second.owner != run.first_folder) {
        const auto [last_cluster, end] = *open;
        take_open_end(open);
        continue_folder(run, last_cluster, end);
        return true;
    }
    if (how != placing_e::anything)
        return false;
    read_run(run, 0, true);
    return true;
}

std::map<std::uint32_t, fat_recovery_c::open_end_s>::iterator fat_recovery_c::owner_of(const fat_orphan_run_s& run,
                                                                                        placing_e how)
{
    if (how == placing_e::by_data) {
        // Files go where the file system found free clusters, which is mostly right after the
        // last file (or after the folder's own new cluster): the run's first entry then starts
        // just after the data of the last entry an open folder holds.
        if (run.first_data < 2)
            return open_ends_.end();
        const auto from = open_by_data_.lower_bound(run.first_data - std::min(run.first_data, data_slack));
        const auto to = open_by_data_.upper_bound(run.first_data);
        return from == to ? open_ends_.end() : open_ends_.find(std::prev(to)->second);
    }
    if (how == placing_e::by_place || how == placing_e::anything) {
        // Else the file system took the next free cluster when the folder grew: the run belongs
        // to the nearest folder left open before it.
        auto open = open_ends_.lower_bound(run.first);
        return open == open_ends_.begin() ? open_ends_.end() : std::prev(open);
    }
    return open_ends_.end();
}

void fat_recovery_c::take_open_end(std::map<std::uint32_t, open_end_s>::iterator open)
{
    const auto [from, to] = open_by_data_.equal_range(open->second.next_data);
    for (auto it = from; it != to; ++it)
        if (it->second == open->first) {
            open_by_data_.erase(it);
            break;
        }
    open_ends_.erase(open);
}

bool fat_recovery_c::parent_known(std::uint32_t cluster) const
{
    const fat_fs_s& fs = fat_volume_object();
    const bool root = cluster == 0 || (fs.fs_type == fat_32 && cluster == fs.dir_base);
    return known_folder(cluster) && !(lost_search_ && root);
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
    frame.keep_all = true;
    std::vector<frame_s> stack;
    if (push_frame(frame, stack))
        drain(stack);
}

void fat_recovery_c::continue_folder(const fat_orphan_run_s& run, std::uint32_t last_cluster, const open_end_s& open)
{
    if (open.resume == 0xFFFF) {
        read_run(run, open.owner, false);
        return;
    }
    frame_s frame;
    frame.start = last_cluster;
    frame.owner = open.owner;
    frame.in_deleted = true;
    frame.keep_all = true;
    if (open_frame(frame, false) != fr_ok)
        return;
    frame.dir.contiguous = 1;
    frame.dir.visited = &visited_;
    if (f_dir_resume(frame.dir, last_cluster, open.resume, run.first) != fr_ok) {
        read_run(run, open.owner, false);
        return;
    }
    std::vector<frame_s> stack{frame};
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
    record.unnamed = 1;
    resolve(std::move(record));
    frame_s frame;
    frame.start = run.first;
    frame.owner = run.first;
    frame.in_deleted = true;
    frame.keep_all = true;
    std::vector<frame_s> stack;
    if (push_frame(frame, stack))
        drain(stack);
}

} // namespace tarn
