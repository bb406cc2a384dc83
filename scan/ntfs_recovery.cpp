#include "scan/ntfs_recovery.h"

#include "libs/ntfs_scan/ntfs_scan.h"
#include "libs/ntfs_scan/ntfs_scan_source.h"
#include "scan/diagnostic_log.h"

#include <QFile>

namespace tarn {

namespace {

// Parent chains of a damaged MFT can loop; no real path is this deep.
constexpr int path_depth_limit = 4096;

std::uint32_t counter(const std::array<std::byte, 8248>& context, std::size_t at)
{
    return load_le32(context, at);
}

} // namespace

ntfs_recovery_c::~ntfs_recovery_c()
{
    control_.stop = stop_abandon;
    wait();
    close_context();
}

QString ntfs_recovery_c::device_name(const volume_item_s& volume)
{
    return QStringLiteral("/dev/hd%1%2").arg(QChar(u'a' + volume.disk_number)).arg(volume.partition_number);
}

void ntfs_recovery_c::reset()
{
    control_.clear();
    findings_.clear();
    orphans_.children.clear();
    orphans_.has_files = 0;
    lost_.clear();
    failure_ = scan_failure_e::none;
}

bool ntfs_recovery_c::context_open() const
{
    return load_le32(context_, 0) != 0;
}

void ntfs_recovery_c::close_context()
{
    if (!context_open())
        return;
    ntfs_scan_cleanup(context_.data());
    context_.fill(std::byte{0});
}

void ntfs_recovery_c::run()
{
    // As the FAT engine: the page reset the engine before starting it, and a stop pressed while
    // the thread was starting must survive.
    control_.clear_counters();
    findings_.clear();
    lost_.clear();
    orphans_ = {};
    orphans_.raw[48] = std::byte{ntfs_flag_directory};
    failure_ = scan_failure_e::none;
    close_context();
    const QByteArray name = device_name(volume_).toLocal8Bit();
    if (volume_.disk_number < 0 || volume_.disk_number > 25) {
        failure_ = scan_failure_e::volume_missing;
        return;
    }
    if (const int result = ntfs_scan_startup(name.constData(), context_.data()); result < 0) {
        log_error("ntfs_recovery", 105, "ntfs_scan_startup failed with return value (%d)", result);
        failure_ = result == NTFS_SCAN_NO_DEVICE         ? scan_failure_e::volume_missing
                   : result == NTFS_SCAN_LARGE_CLUSTERS ? scan_failure_e::unsupported
                                                        : scan_failure_e::no_file_system;
        context_.fill(std::byte{0});
        return;
    }
    walk_share_ = lost_search_ ? walk_share() : 1.0;
    read_records();
    // MFT entries behind an unreadable range were passed over; the log says where.
    log_unreadable("ntfs_recovery", __LINE__, QByteArray("scan of " + volume_.volume_path.toUtf8()).constData(),
                   ntfs_scan_take_failures(context_.data()));
    if (lost_search_ && control_.keep_running())
        search_lost();
    link();
    mark();
}

void ntfs_recovery_c::read_records()
{
    const auto total = static_cast<double>(load_le64(context_, NTFS_SCAN_CONTEXT_TOTAL));
    ntfs_record_s record;
    while (control_.keep_running()) {
        record.raw.fill(std::byte{0});
        if (ntfs_scan_next(context_.data(), record.raw.data()) == 0)
            break;
        const double done = counter(context_, NTFS_SCAN_CONTEXT_C3)
                            + 8.0 * (counter(context_, NTFS_SCAN_CONTEXT_C1) + counter(context_, NTFS_SCAN_CONTEXT_C2));
        control_.progress = total > 0 ? walk_share_ * std::min(done / total, 1.0) : 0.0;
        ++control_.read_count;
        // Live files are kept too (the page shows them on request: a partition that only the
        // search found lost all of them with its table); only deleted ones count as found.
        if (record.is_deleted() || !record.is_file())
            ++control_.found_count;
        findings_.insert_or_assign(record.record_number(), record);
    }
}

// Each record joins its folder's children. A record whose folder is missing, or whose folder's
// entry now holds a file (it was reused), would be reachable from nowhere: it joins the orphans.
void ntfs_recovery_c::link()
{
    for (auto& [number, record] : findings_) {
        if (number == ntfs_root_record || number <= ntfs_last_system_record)
            continue;
        const auto parent = findings_.find(record.parent_number());
        if (parent != findings_.end() && parent->second.is_directory() && parent->first != number)
            parent->second.children.push_back(&record);
        else
            orphans_.children.push_back(&record);
    }
}

// Every file marks the folders above it as holding deleted or live files; the walk stops at a
// folder already so marked, which also ends a loop of parents.
void ntfs_recovery_c::mark()
{
    const auto flag = [](ntfs_record_s& r, bool deleted) -> std::uint8_t& { return deleted ? r.has_files : r.has_live_files; };
    for (const auto& [number, record] : findings_) {
        if (!record.is_file() || number <= ntfs_last_system_record)
            continue;
        const bool deleted = record.is_deleted();
        auto parent = findings_.find(record.parent_number());
        while (parent != findings_.end() && !flag(parent->second, deleted)) {
            flag(parent->second, deleted) = 1;
            parent = findings_.find(parent->second.parent_number());
        }
    }
    for (const ntfs_record_s* orphan : orphans_.children) {
        if ((orphan->is_file() && orphan->is_deleted()) || orphan->has_files)
            orphans_.has_files = 1;
        if ((orphan->is_file() && !orphan->is_deleted()) || orphan->has_live_files)
            orphans_.has_live_files = 1;
    }
}

std::int32_t ntfs_recovery_c::recover_file(std::uint64_t id, QString destination)
{
    QFile::remove(destination);
    if (id & ntfs_lost_id)
        return recover_lost(id, destination);
    ntfs_scan_take_failures(context_.data()); // earlier reads' failures are not this file's
    const QByteArray path = QFile::encodeName(destination);
    const int result = ntfs_scan_recover(context_.data(), static_cast<std::uint32_t>(id & 0xFFFFFFFF),
                                         static_cast<std::uint32_t>(id >> 32), path.constData(), nullptr);
    switch (result) {
    case 0: return recovery_ok;
    case NTFS_SCAN_UNWRITABLE: return recovery_unwritable;
    case NTFS_SCAN_SHORT:
        log_error("ntfs_recovery", __LINE__, "record %llu: the copy ended early", static_cast<unsigned long long>(id));
        log_unreadable("ntfs_recovery", __LINE__, "file recovery", ntfs_scan_take_failures(context_.data()));
        return recovery_incomplete;
    default: return recovery_not_found;
    }
}

std::int32_t ntfs_recovery_c::get_file_path(std::uint64_t id, QString& path)
{
    QStringList names;
    std::uint64_t at = id;
    while (at != ntfs_root_record) {
        const auto it = findings_.find(at);
        if (it == findings_.end() || names.size() >= path_depth_limit)
            return -1;
        names.prepend(it->second.name());
        at = it->second.parent_number();
    }
    return live_path(names, path) ? 0 : -1;
}

} // namespace tarn
