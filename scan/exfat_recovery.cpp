#include "scan/exfat_recovery.h"

#include "common/debug_print.h"
#include "platform/device.h"
#include "scan/diagnostic_log.h"
#include "scan/fat_date.h"

namespace tarn {

namespace {

// No folder of exFAT is larger: a chain or length that claims more is damage.
constexpr std::uint64_t folder_max_bytes = 256ull << 20;

const char* cut_text(exfat_cut_e cut)
{
    switch (cut) {
    case exfat_cut_e::io_error: return "the FAT could not be read";
    case exfat_cut_e::broken: return "its chain is broken";
    case exfat_cut_e::heap_end: return "it runs past the volume's last cluster";
    case exfat_cut_e::refused: return "its next cluster was read already or is in use";
    default: return "its chain ended";
    }
}

// The byte offset on the volume of byte `index` of what was read from runs.
std::uint64_t volume_offset(const exfat_layout_s& layout, std::span<const exfat_run_s> runs, std::uint64_t index)
{
    for (const exfat_run_s& run : runs) {
        const std::uint64_t bytes = std::uint64_t{run.count} << layout.cluster_shift;
        if (index < bytes)
            return layout.cluster_offset(run.first) + index;
        index -= bytes;
    }
    return 0;
}

} // namespace

exfat_recovery_c::~exfat_recovery_c()
{
    control_.stop = stop_abandon;
    wait();
}

void exfat_recovery_c::reset()
{
    control_.clear();
    findings_.clear();
    lost_ = {};
    failure_ = scan_failure_e::none;
}

void exfat_recovery_c::run()
{
    // The caller resets the engine before it starts it; a stop pressed while the thread was
    // starting must survive, so only the counters are cleared here.
    control_.clear_counters();
    findings_.clear();
    failure_ = scan_failure_e::none;
    metadata_ = {};
    chains_.reset();
    source_.reset(); // a volume that cannot be opened now is not read through the last one's
    debug_print("Start exFAT Scan.\n");
    exfat_record_s root;
    root.attributes = exfat_attr_directory;
    findings_.emplace(0, std::move(root));
    lost_ = {};
    lost_.key = exfat_lost_key;
    lost_.attributes = exfat_attr_directory;
    lost_stats_ = {};
    if (open_volume())
        walk();
    if (lost_search_ && failure_ == scan_failure_e::none && control_.keep_running())
        search_lost();
    if (source_)
        log_unreadable("exfat", __LINE__, QByteArray("scan of " + volume_.volume_path.toUtf8()).constData(),
                       source_->take_failures());
    if (failure_ != scan_failure_e::none)
        log_error("exfat", __LINE__, "volume %s not scanned: %s", qUtf8Printable(volume_.volume_path),
                  qUtf8Printable(scan_failure_text(failure_)));
    mark();
}

bool exfat_recovery_c::open_volume()
{
    QString path = volume_.volume_path;
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    std::unique_ptr<byte_source_c> device = given_source_ ? std::move(given_source_) : device_c::open(path, access_e::read);
    if (!device) {
        failure_ = scan_failure_e::volume_missing;
        return false;
    }
    source_ = std::make_unique<noting_source_c>(std::move(device));
    switch (reader_.open(*source_)) {
    case exfat_status_e::ok: break;
    case exfat_status_e::io_error: failure_ = scan_failure_e::unreadable; return false;
    case exfat_status_e::damaged: failure_ = scan_failure_e::damaged; return false;
    case exfat_status_e::not_exfat: failure_ = scan_failure_e::no_file_system; return false;
    }
    const exfat_layout_s& layout = reader_.layout();
    if (layout.from_backup)
        log_error("exfat", __LINE__, "volume %s: the main boot region is damaged or unreadable; its backup is used",
                  qUtf8Printable(volume_.volume_path));
    else if (!layout.checksum_ok)
        log_error("exfat", __LINE__, "volume %s: neither boot region's checksum holds; the main one is used",
                  qUtf8Printable(volume_.volume_path));
    return true;
}

// Depth first on an explicit stack, so that folders nested without end cannot exhaust the
// thread's stack; every cluster is read as part of one folder at most, which also ends loops.
void exfat_recovery_c::walk()
{
    const exfat_layout_s& layout = reader_.layout();
    visited_.assign(std::size_t{layout.cluster_count} + 2, false);
    folder_s root;
    root.first = layout.root_cluster;
    root.clusters = folder_max_bytes >> layout.cluster_shift;
    std::vector<exfat_run_s> runs;
    std::vector<std::byte> bytes;
    if (!read_folder(root, runs, bytes) && bytes.empty()) {
        failure_ = scan_failure_e::unreadable;
        return;
    }
    read_exfat_metadata(reader_, bytes, metadata_);
    if (!metadata_.bitmap.known())
        log_error("exfat", __LINE__, "volume %s: no sound allocation bitmap; every cluster counts as free",
                  qUtf8Printable(volume_.volume_path));
    if (!metadata_.upcase->from_volume())
        log_error("exfat", __LINE__, "volume %s: no sound up-case table; names are checked with the simple mapping",
                  qUtf8Printable(volume_.volume_path));
    chains_ = std::make_unique<exfat_chain_check_c>(reader_, metadata_.bitmap);
    reader_.use_bitmap(metadata_.bitmap);
    std::vector<folder_s> pending;
    read_entries(root, runs, bytes, pending);
    while (!pending.empty() && control_.keep_running()) {
        const folder_s folder = pending.back();
        pending.pop_back();
        read_folder(folder, runs, bytes);
        read_entries(folder, runs, bytes, pending);
    }
}

bool exfat_recovery_c::read_folder(const folder_s& folder, std::vector<exfat_run_s>& runs, std::vector<std::byte>& out)
{
    out.clear();
    exfat_cut_e cut = exfat_cut_e::none;
    // A cluster read already belongs to another folder; a deleted folder's cluster that is in
    // use again belongs to whatever took it.
    runs = reader_.runs(folder.first, folder.clusters, folder.layout, [&](std::uint32_t c) {
        if (visited_[c] || (folder.free_only && metadata_.bitmap.in_use(c)))
            return false;
        visited_[c] = true;
        return true;
    }, cut);
    const bool read = reader_.read_runs(runs, UINT64_MAX, out);
    if (!read || (cut != exfat_cut_e::none && !folder.in_deleted))
        log_error("exfat", __LINE__, "folder at cluster %u: read %zu of its bytes; %s", folder.first, out.size(),
                  read ? cut_text(cut) : "a read failed");
    return read;
}

void exfat_recovery_c::read_entries(const folder_s& folder, std::span<const exfat_run_s> runs,
                                    std::span<const std::byte> bytes, std::vector<folder_s>& pending)
{
    const std::uint8_t file_kind = exfat_entry_file & static_cast<std::uint8_t>(~exfat_entry_in_use);
    exfat_file_set_s set;
    for (std::size_t at = 0; at + exfat_entry_bytes <= bytes.size();) {
        const auto type = std::to_integer<std::uint8_t>(bytes[at]);
        if (type == exfat_entry_end)
            return;
        if ((type & static_cast<std::uint8_t>(~exfat_entry_in_use)) != file_kind) {
            at += exfat_entry_bytes;
            continue;
        }
        if (!control_.keep_running())
            return;
        const std::int64_t before = control_.read_count.fetch_add(1);
        control_.progress = fat_scan_progress(before);
        const exfat_set_e result = read_exfat_file_set(bytes.subspan(at), *metadata_.upcase, set);
        if (result != exfat_set_e::none)
            take_set(folder, volume_offset(reader_.layout(), runs, at), set, pending);
        at += set.entries * exfat_entry_bytes;
    }
}

exfat_layout_e exfat_recovery_c::layout_of(const exfat_file_set_s& set, std::uint64_t clusters)
{
    if (clusters == 0 || (set.stream_flags & exfat_flag_no_fat_chain) != 0)
        return exfat_layout_e::contiguous;
    // A live set's chain is the FAT's own; a deleted one's holds only if nothing has broken or
    // taken it since.
    if (!set.deleted)
        return exfat_layout_e::chain;
    return chains_->intact(set.first_cluster, clusters, true) ? exfat_layout_e::chain : exfat_layout_e::guessed;
}

void exfat_recovery_c::take_set(const folder_s& folder, std::uint64_t at, const exfat_file_set_s& set,
                                std::vector<folder_s>& pending)
{
    const bool deleted = set.deleted || folder.in_deleted;
    const exfat_layout_s& layout = reader_.layout();
    const bool placed = layout.in_heap(set.first_cluster);
    // A file with data but no first cluster on the volume was never on it: what a damaged or
    // foreign cluster reads as. Such a folder is kept, but not read.
    if (set.data_length != 0 && !placed && !set.directory())
        return;
    const std::uint64_t clusters = (set.data_length + layout.cluster_bytes() - 1) >> layout.cluster_shift;
    exfat_record_s record = make_record(at, set);
    record.parent = folder.key;
    record.deleted = deleted ? 1 : 0;
    record.in_deleted_dir = folder.in_deleted ? 1 : 0;
    record.layout = placed ? layout_of(set, clusters) : exfat_layout_e::contiguous;
    const auto [it, inserted] = findings_.try_emplace(at, std::move(record));
    const auto parent = findings_.find(folder.key);
    if (!inserted || parent == findings_.end())
        return;
    // Files that still exist are kept too (the page shows them on request: a partition that only
    // the search found lost all of them with its table); only the rest count as found.
    if (deleted || set.directory())
        ++control_.found_count;
    parent->second.children.push_back(&it->second);
    if (set.directory() && placed && clusters != 0)
        pending.push_back({at, set.first_cluster, std::min(clusters, folder_max_bytes >> layout.cluster_shift),
                           it->second.layout, set.deleted, deleted});
}

exfat_record_s exfat_recovery_c::make_record(std::uint64_t at, const exfat_file_set_s& set) const
{
    exfat_record_s record;
    record.key = at;
    record.size = set.data_length;
    record.valid_size = set.valid_length;
    record.first_cluster = set.first_cluster;
    record.created = set.created;
    record.modified = set.modified;
    record.accessed = set.accessed;
    record.attributes = set.attributes;
    record.sound = set.sound() ? 1 : 0;
    record.name = set.name.empty() ? QStringLiteral("unnamed_%1").arg(at) : QString::fromStdU16String(set.name);
    return record;
}

exfat_record_s* exfat_recovery_c::folder_of(std::uint64_t key)
{
    if (key == exfat_lost_key)
        return &lost_;
    const auto it = findings_.find(key);
    return it != findings_.end() ? &it->second : nullptr;
}

// Every file marks the folders above it as holding deleted or live files; the climb stops at a
// folder already so marked, and at a top folder.
void exfat_recovery_c::mark()
{
    for (const auto& [key, record] : findings_) {
        if (key == 0 || record.directory())
            continue;
        const auto flag = record.deleted != 0 ? &exfat_record_s::has_files : &exfat_record_s::has_live_files;
        for (exfat_record_s* parent = folder_of(record.parent); parent != nullptr && !(parent->*flag);
             parent = parent->key == 0 || parent == &lost_ ? nullptr : folder_of(parent->parent))
            parent->*flag = 1;
    }
}

std::int32_t exfat_recovery_c::get_file_path(std::uint64_t id, QString& path)
{
    QStringList names;
    for (std::uint64_t at = id; at != 0;) {
        const auto it = findings_.find(at);
        // Every folder is read once, so parents cannot loop; the bound is for safety's sake.
        if (it == findings_.end() || names.size() > static_cast<qsizetype>(findings_.size()))
            return -1;
        names.prepend(it->second.name);
        at = it->second.parent;
    }
    return !names.isEmpty() && live_path(names, path) ? 0 : -1;
}

} // namespace tarn
