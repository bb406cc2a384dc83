#include "scan/fat_recovery.h"

#include "common/debug_print.h"
#include "scan/diagnostic_log.h"
#include "scan/disk_sector_layer.h"
#include "platform/device.h"
#include "scan/fat_date.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <vector>

namespace tarn {

namespace {

// Large steps keep the per-call cost small against the copy itself.
constexpr std::uint32_t recover_step = 1 << 20;
// A drive number the sector layer never has, so that a volume that cannot be located fails to
// mount instead of scanning whatever the table held before.
constexpr std::uint8_t no_drive = 0xFF;

bool is_dir(const fat_record_s& r)
{
    return r.attributes & fat_attr_directory;
}

bool is_deleted(const fat_record_s& r)
{
    return r.attributes & fat_attr_deleted;
}

// Which of two records with one start cluster stays; true when the new one replaces the old.
// Deleted things are judged by creation time, the newer winning; a live directory always wins.
bool new_record_wins(const fat_record_s& e, const fat_record_s& n)
{
    // A folder known by its cluster alone takes the name its entry gives it.
    if (e.unnamed && is_dir(n))
        return true;
    // An entry never deleted tells where a file is; a deleted one with its start cluster is the
    // stale copy a move leaves behind.
    if (e.unlisted != n.unlisted && !is_dir(e) && !is_dir(n))
        return n.unlisted != 0;
    const bool newer = n.created > e.created;
    if (!e.in_deleted_dir && n.in_deleted_dir)
        return false;
    if (!is_dir(n))
        return is_deleted(n) && newer;
    if (is_deleted(n))
        return !(is_dir(e) && !is_deleted(e)) && newer;
    return true;
}

// What a failed opening of the root folder says about the volume.
scan_failure_e mount_failure(int result)
{
    switch (result) {
    case fr_disk_err:
    case fr_not_ready: return scan_failure_e::unreadable;
    case fr_int_err: return scan_failure_e::damaged;
    default: return scan_failure_e::no_file_system;
    }
}

} // namespace

fat_fs_s& fat_volume_object()
{
    static fat_fs_s fs;
    return fs;
}

fat_recovery_c::~fat_recovery_c()
{
    control_.stop = stop_abandon;
    wait();
}

void fat_recovery_c::reset()
{
    control_.clear();
    clear_findings();
    failure_ = scan_failure_e::none;
}

void fat_recovery_c::clear_findings()
{
    findings_.clear();
    live_files_.clear();
    lost_ = {};
    lost_.attributes = fat_attr_directory;
    visited_.reset(0);
    open_ends_.clear();
    open_by_data_.clear();
    orphan_stats_ = {};
}

void fat_recovery_c::run()
{
    // The caller resets the engine before it starts it; clearing stop and pause again here
    // would lose a stop pressed while the thread was still starting.
    control_.clear_counters();
    clear_findings();
    failure_ = scan_failure_e::none;
    if (!locate_volume())
        failure_ = scan_failure_e::volume_missing;
    const std::uint8_t drive = fat_partition_table()[0].drive;
    disk_take_failures(drive); // failures of earlier reads are not this scan's
    f_mount(0, &fat_volume_object());
    debug_print("Start Fat Scan.\n");
    walk();
    // Folders and entries behind an unreadable sector were passed over; the log says where.
    log_unreadable("fat", __LINE__, QByteArray("scan of " + volume_.volume_path.toUtf8()).constData(),
                   disk_take_failures(drive));
    if (failure_ != scan_failure_e::none)
        log_error("fat", __LINE__, "volume %s (disk %d, partition %d) not scanned: %s", qUtf8Printable(volume_.volume_path),
                  volume_.disk_number, volume_.partition_number, qUtf8Printable(scan_failure_text(failure_)));
    fat_record_s root;
    root.attributes = fat_attr_directory;
    findings_.insert_or_assign(0u, std::move(root));
    link();
    mark();
}

bool fat_recovery_c::locate_volume()
{
    QString path = volume_.volume_path;
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    fat_partition_s& entry = fat_partition_table()[0];
    entry = fat_partition_s{no_drive, 0, 0};
    const std::unique_ptr<device_c> device = device_c::open(path, access_e::read, true);
    partition_info_s info;
    std::int32_t disk = -1;
    if (!device || device->partition_info(info) != 0 || device->disk_extents(disk) != 0 || disk < 0 || disk > 0xFF
        || info.partition_number < 0 || info.partition_number > 0xFF
        || info.starting_offset / fat_sector_size > UINT32_MAX)
        return false;
    entry.drive = static_cast<std::uint8_t>(disk);
    entry.partition = static_cast<std::uint8_t>(info.partition_number);
    entry.start_sector = static_cast<std::uint32_t>(info.starting_offset / fat_sector_size);
    return true;
}


// Depth first, like a recursive walk, but on an explicit stack so that a hostile volume with
// deeply nested directories cannot exhaust the thread's stack.
void fat_recovery_c::walk()
{
    std::vector<frame_s> stack(1);
    frame_s& root = stack.back();
    root.root = true;
    if (const int result = open_frame(root, true); result != fr_ok) {
        debug_print("f_opendir failed 1.\n");
        if (failure_ == scan_failure_e::none)
            failure_ = mount_failure(result);
        return;
    }
    visited_.reset(root.dir.fs->max_cluster);
    if (root.dir.clust != 0)
        visited_.insert(root.dir.clust);
    root.dir.visited = &visited_;
    drain(stack);
    if (failure_ == scan_failure_e::none && control_.keep_running())
        adopt_orphans();
    judge_unlisted();
}

void fat_recovery_c::drain(std::vector<frame_s>& stack)
{
    while (!stack.empty()) {
        if (!control_.keep_running())
            return;
        if (!read_entry(stack.back(), stack)) {
            note_end(stack.back());
            stack.pop_back();
        }
    }
}

int fat_recovery_c::open_frame(frame_s& frame, bool root)
{
    if (const int result = f_opendir(frame.dir, u"/"); result != fr_ok)
        return result;
    if (!root) {
        frame.dir.sclust = frame.start;
        frame.dir.clust = frame.start;
    }
    return fr_ok;
}

bool fat_recovery_c::push_frame(frame_s frame, std::vector<frame_s>& stack)
{
    if (open_frame(frame, false) != fr_ok) {
        debug_print("f_opendir failed 2.\n");
        return false;
    }
    // A deleted folder's chain was cleared, and so, as a rule, were the chains of everything
    // below it.
    frame.dir.contiguous = frame.in_deleted ? 1 : 0;
    frame.dir.visited = &visited_;
    // A start cluster outside the volume cannot be rewound to: stored, but not read.
    if (f_readdir(frame.dir, nullptr) != fr_ok)
        return false;
    stack.push_back(frame);
    return true;
}

bool fat_recovery_c::read_entry(frame_s& frame, std::vector<frame_s>& stack)
{
    const std::int64_t before = control_.read_count.fetch_add(1);
    debug_print("file count:%d\n", static_cast<int>(before + 1));
    // The search for lost files reads the whole volume after the walk and reports its own share.
    if (!searching_)
        control_.progress = fat_scan_progress(before) * (lost_search_ ? fat_walk_share : 1.0);

    fat_info_s info;
    info.lfname = lfn_.data();
    info.lfsize = lfn_.size();
    if (const int result = f_readdir(frame.dir, &info); result != fr_ok) {
        debug_print("f_readdir failed 1.\n");
        // A root folder that cannot be read at all is a volume that could not be scanned; a
        // folder that breaks off later is logged and the walk goes on with the others.
        if (frame.root && !frame.read_any)
            failure_ = mount_failure(result);
        else
            log_error("fat", __LINE__, "folder at cluster %u: reading stopped after entry %u (module result %d)",
                      frame.start, static_cast<unsigned>(frame.dir.index), result);
        return false;
    }
    frame.read_any = true;
    if (info.fname[0] == 0)
        return false;
    if (info.sclust != 0 && info.fname[0] != u'.') {
        // Where the next file of this folder was likely put: right after this entry's data.
        const std::uint64_t cluster_bytes = std::uint64_t{frame.dir.fs->sectors_per_cluster} * fat_sector_size;
        const std::uint64_t clusters = std::max<std::uint64_t>(1, (info.size + cluster_bytes - 1) / cluster_bytes);
        frame.next_data = static_cast<std::uint32_t>(std::min<std::uint64_t>(info.sclust + clusters, UINT32_MAX));
    }
    if (info.sclust == 0 || info.fname[0] == u'.')
        return true;
    if (!(info.attr & fat_attr_directory) && !fits_volume(*frame.dir.fs, info))
        return true;
    // Files that still exist are kept apart, by their own start clusters (a deleted file may share
    // one with a live file that reused its clusters): a partition that only the search found lost
    // all of them with its table, and the page shows them on request. A live entry inside a deleted
    // or lost folder is not a live file.
    if (!(info.attr & (fat_attr_directory | fat_attr_deleted)) && !frame.keep_all) {
        if (!frame.in_deleted && !frame.lost)
            live_files_.try_emplace(info.sclust, make_record(frame, info));
        return true;
    }

    // A live folder whose first cluster the FAT calls free lost its chain to damage: it is read
    // as a deleted one, and what it holds is unlisted.
    const bool freed = (info.attr & fat_attr_directory) && !(info.attr & fat_attr_deleted) && !frame.in_deleted
                       && fat_detail::get_fat(*frame.dir.fs, info.sclust) == 0;
    fat_record_s record = make_record(frame, info);
    const bool directory = is_dir(record);
    if (!resolve(std::move(record)) || !directory)
        return true;
    frame_s child;
    child.start = info.sclust;
    child.owner = info.sclust;
    child.in_deleted = frame.in_deleted || (info.attr & fat_attr_deleted) || freed;
    child.keep_all = frame.keep_all || freed;
    push_frame(child, stack);
    return true;
}

// A file that starts past the volume's last cluster, or is larger than all its clusters together,
// was never on this volume: such entries are what noise or a damaged folder cluster reads as.
bool fat_recovery_c::fits_volume(const fat_fs_s& fs, const fat_info_s& info)
{
    const std::uint64_t cluster_bytes = std::uint64_t{fs.sectors_per_cluster} * fat_sector_size;
    const std::uint64_t data_bytes = std::uint64_t{fs.max_cluster - 2} * cluster_bytes;
    return info.sclust >= 2 && info.sclust < fs.max_cluster && info.size <= data_bytes;
}

fat_record_s fat_recovery_c::make_record(const frame_s& frame, const fat_info_s& info) const
{
    fat_record_s record;
    record.start_cluster = info.sclust;
    record.parent_cluster = frame.lost ? 0 : frame.owner;
    record.lost = frame.lost ? 1 : 0;
    record.size = info.size;
    record.in_deleted_dir = frame.in_deleted ? 1 : 0;
    record.unlisted = frame.keep_all && !(info.attr & fat_attr_deleted) ? 1 : 0;
    // Unlisted entries count as deleted: the file system in place no longer has them.
    record.attributes =
        static_cast<std::uint8_t>(info.attr | (frame.in_deleted || record.unlisted ? fat_attr_deleted : 0));
    record.modified = fat_time_to_unix(info.wdate, info.wtime);
    record.created = fat_time_to_unix(info.cdate, info.ctime);
    record.access_date = info.adate;
    const bool long_name = info.lfname[0] != 0;
    record.name = long_name ? QString::fromUtf16(info.lfname) : QString::fromUtf16(info.fname.data());
    record.name.truncate(fat_record_name_max);
    if (is_deleted(record) && !record.unlisted && !record.name.isEmpty()) {
        // A long name keeps its first character, and so does the short name of an entry that is
        // not itself deleted; only a deleted short name lost it to the mark. "#" marks both.
        if (long_name || !(info.attr & fat_attr_deleted))
            record.kept_first = record.name.at(0).unicode();
        record.name[0] = QLatin1Char('#');
    }
    return record;
}

void fat_recovery_c::note_end(const frame_s& frame)
{
    const fat_dir_s& dir = frame.dir;
    if (!dir.contiguous || frame.lost || !fat_dir_end_open(dir.end))
        return;
    open_end_s open;
    open.owner = frame.owner;
    open.next_data = frame.next_data;
    // A long name whose parts began in the last cluster is read again from its first part.
    const std::uint32_t per_cluster = fat_sector_size / 32 * dir.fs->sectors_per_cluster;
    const std::uint32_t last_cluster_first = dir.index - dir.index % per_cluster;
    if (dir.lfn_start != 0xFFFF && dir.lfn_start >= last_cluster_first)
        open.resume = static_cast<std::uint16_t>(dir.lfn_start - last_cluster_first);
    if (const auto old = open_ends_.find(dir.clust); old != open_ends_.end())
        take_open_end(old);
    open_ends_[dir.clust] = open;
    if (open.next_data != 0)
        open_by_data_.emplace(open.next_data, dir.clust);
}

bool fat_recovery_c::resolve(fat_record_s&& record)
{
    const auto [it, inserted] = findings_.try_emplace(record.start_cluster);
    if (inserted) {
        it->second = std::move(record);
        ++control_.found_count;
        return true;
    }
    fat_record_s& existing = it->second;
    // A folder named by its cluster whose own entry turns up inside itself (the root's next
    // cluster read on as the folder's, after a format took the root): the name is right, the
    // place is not.
    if (existing.unnamed && is_dir(record) && record.parent_cluster == record.start_cluster && !record.lost) {
        existing.name = std::move(record.name);
        existing.kept_first = record.kept_first;
        existing.unnamed = 0;
        return false;
    }
    if (new_record_wins(existing, record)) {
        record.children = std::move(existing.children);
        existing = std::move(record);
    }
    return false;
}

fat_record_s* fat_recovery_c::parent_of(const fat_record_s& record)
{
    if (&record == &lost_)
        return nullptr;
    if (record.lost)
        return &lost_;
    const auto parent = findings_.find(record.parent_cluster);
    return parent == findings_.end() ? nullptr : &parent->second;
}

// Links each record to its parent's children. A record whose chain of parents never reaches
// the root or the lost entries (a missing parent, or a cycle built from damaged entries) stays
// unlinked, so that the tree is always a tree.
void fat_recovery_c::link()
{
    enum : std::uint8_t { unknown, visiting, reaches_top, detached };
    std::unordered_map<std::uint32_t, std::uint8_t> state;
    state.reserve(findings_.size());
    state[0] = reaches_top;
    std::vector<std::uint32_t> chain;
    for (const auto& [key, record] : findings_) {
        std::uint32_t at = key;
        chain.clear();
        std::uint8_t verdict = detached;
        for (;;) {
            const std::uint8_t s = state[at];
            if (s == reaches_top || s == detached) {
                verdict = s;
                break;
            }
            if (s == visiting)
                break;
            state[at] = visiting;
            chain.push_back(at);
            const fat_record_s& r = findings_.at(at);
            if (r.lost) {
                verdict = reaches_top;
                break;
            }
            const auto parent = findings_.find(r.parent_cluster);
            if (parent == findings_.end())
                break;
            at = parent->first;
        }
        for (std::uint32_t c : chain)
            state[c] = verdict;
    }
    for (auto& [key, record] : findings_)
        if (key != 0 && state[key] == reaches_top)
            parent_of(record)->children.push_back(&record);
    for (auto& [key, record] : live_files_)
        if (fat_record_s* parent = parent_of(record); parent != nullptr && is_dir(*parent) && state[record.parent_cluster] == reaches_top)
            parent->children.push_back(&record);
}

void fat_recovery_c::mark()
{
    const fat_record_s* root = &findings_.at(0);
    const auto mark_above = [&](const fat_record_s& record, std::uint8_t fat_record_s::*flag) {
        for (fat_record_s* parent = parent_of(record); parent != nullptr && !(parent->*flag);
             parent = parent == root ? nullptr : parent_of(*parent))
            parent->*flag = 1;
    };
    for (const auto& [key, record] : findings_)
        if (key != 0 && !is_dir(record))
            mark_above(record, &fat_record_s::has_files);
    for (const auto& [key, record] : live_files_)
        mark_above(record, &fat_record_s::has_live_files);
}

const fat_record_s* fat_recovery_c::file_of(std::uint64_t id) const
{
    const auto& records = (id & fat_live_id) != 0 ? live_files_ : findings_;
    const auto it = records.find(static_cast<std::uint32_t>(id & 0xFFFFFFFF));
    return it == records.end() ? nullptr : &it->second;
}

std::int32_t fat_recovery_c::recover_file(std::uint64_t id, QString destination)
{
    const fat_record_s* found = file_of(id);
    if (found == nullptr)
        return recovery_not_found;
    const fat_record_s& record = *found;
    fat_fs_s& fs = fat_volume_object();
    fat_file_s file;
    file.fs = &fs;
    file.id = fs.id;
    file.flag = fat_file_read;
    file.fsize = record.size;
    file.sclust = record.start_cluster;
    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return recovery_unwritable;
    disk_take_failures(fs.drive);
    // No bigger than the file: recovering thousands of small files must not clear a step's
    // worth of memory for each.
    std::vector<std::byte> buffer(std::clamp<std::size_t>(record.size, 1, recover_step));
    const int deleted = (record.attributes & fat_attr_deleted) && !record.by_chain ? 1 : 0;
    std::uint32_t got = 0;
    do {
        // What was read before a failure is still written: a partial file beats none.
        const int result = f_read(file, buffer, got, deleted);
        if (got != 0 && out.write(reinterpret_cast<const char*>(buffer.data()), got) != got)
            return recovery_incomplete;
        if (result != fr_ok) {
            log_error("fat", __LINE__, "file at cluster %u: read failed at byte %u of %u (module result %d)",
                      record.start_cluster, file.fptr, file.fsize, result);
            log_unreadable("fat", __LINE__, "file recovery", disk_take_failures(fs.drive));
            return recovery_incomplete;
        }
    } while (got != 0);
    return file.fptr == file.fsize && out.flush() ? recovery_ok : recovery_incomplete;
}

std::int32_t fat_recovery_c::get_file_path(std::uint64_t id, QString& path)
{
    QStringList names;
    const fat_record_s* file = file_of(id);
    if (file == nullptr || file->lost)
        return -1;
    names.prepend(file->name);
    std::uint32_t at = file->parent_cluster;
    while (at != 0) {
        const auto it = findings_.find(at);
        // Lost entries have no place on the live volume.
        if (it == findings_.end() || it->second.lost || names.size() > static_cast<qsizetype>(findings_.size()))
            return -1;
        names.prepend(it->second.name);
        at = it->second.parent_cluster;
    }
    return live_path(names, path) ? 0 : -1;
}

} // namespace tarn
