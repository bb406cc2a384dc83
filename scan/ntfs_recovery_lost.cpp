// The NTFS engine's search for lost files: the file records of an earlier file system found
// outside the current MFT, added to the findings under ids of their own, and written out from
// their own run lists.

#include "libs/ntfs_scan/ntfs_scan.h"
#include "libs/ntfs_scan/ntfs_scan_source.h"
#include "scan/diagnostic_log.h"
#include "scan/ntfs_cluster_map.h"
#include "scan/ntfs_lost_copy.h"
#include "scan/ntfs_lost_parents.h"
#include "scan/ntfs_recovery.h"

#include <QFile>

#include <algorithm>
#include <map>
#include <string>
#include <unordered_set>

namespace tarn {

namespace {

// The parent of a lost record that sits at the top of the folder of lost files: no finding has it.
constexpr std::uint64_t no_lost_parent = ~std::uint64_t{0};

// The 576-byte record the tree and the rows read, made from a decoded one.
ntfs_record_s lost_finding(const ntfs_decoded_record_s& found, std::uint64_t id, std::uint64_t parent)
{
    ntfs_record_s record;
    const std::span<std::byte> raw(record.raw);
    store_le64(raw, 0, id);
    store_le64(raw, 8, parent);
    // Without its $DATA here (held in an extension record), the size its name last recorded.
    store_le64(raw, 16, found.directory ? 0 : found.has_data ? found.data_size : found.name_size);
    store_le64(raw, 24, static_cast<std::uint64_t>(found.created));
    store_le64(raw, 40, static_cast<std::uint64_t>(found.modified));
    store_le32(raw, 48, (found.directory ? ntfs_flag_directory : ntfs_flag_file) | ntfs_flag_deleted);
    store_le16(raw, 52, found.sequence);
    store_le16(raw, 54, found.parent_sequence);
    const std::size_t count = std::min<std::size_t>(found.name.size(), 259);
    for (std::size_t i = 0; i < count; ++i)
        store_le16(raw, 56 + 2 * i, static_cast<std::uint16_t>(found.name[i]));
    return record;
}

// The cluster size the earlier file system most of the records tell, where any do; else the
// volume's own (a format that kept the cluster size).
std::uint64_t usual_cluster_size(const std::vector<ntfs_lost_found_s>& records, std::uint64_t current)
{
    std::map<std::uint64_t, std::size_t> votes;
    for (const ntfs_lost_found_s& r : records)
        if (r.record.cluster_bytes != 0)
            ++votes[r.record.cluster_bytes];
    const auto most = std::max_element(votes.begin(), votes.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    return most != votes.end() ? most->first : current;
}

// The same record found twice (an MFT copied before the format, the mirror of its first records)
// is listed once.
std::u16string identity(const ntfs_decoded_record_s& r)
{
    std::u16string key;
    for (const std::uint64_t n : {r.number, std::uint64_t{r.sequence}, r.parent, std::uint64_t{r.parent_sequence}})
        for (int shift = 0; shift < 64; shift += 16)
            key += static_cast<char16_t>(n >> shift);
    return key + r.name;
}

} // namespace

// The walk reads the MFT's records, the search the whole volume: each fills the progress bar in
// proportion to what it reads (records of 1 KiB).
double ntfs_recovery_c::walk_share()
{
    const double records = static_cast<double>(load_le64(context_, NTFS_SCAN_CONTEXT_TOTAL)) * 1024.0;
    const byte_source_c* volume = ntfs_scan_volume(context_.data());
    const double bytes = volume != nullptr ? static_cast<double>(volume->size()) : 0.0;
    return records + bytes > 0 ? records / (records + bytes) : 1.0;
}

void ntfs_recovery_c::search_lost()
{
    ntfs_layout_s layout;
    byte_source_c* volume = ntfs_scan_volume(context_.data());
    if (volume == nullptr || ntfs_scan_layout(context_.data(), layout) != 0) {
        // Without the cluster bitmap nothing tells free space from the files in place: no search.
        log_error("ntfs_recovery", __LINE__, "lost-file search: the volume's cluster bitmap cannot be read");
        failure_ = scan_failure_e::damaged;
        return;
    }
    const ntfs_cluster_map_c map(std::move(layout));
    ntfs_lost_search_s found = ntfs_lost_search_c(*volume, map, control_, walk_share_).run();
    log_unreadable("ntfs_recovery", __LINE__, "lost-file search", found.failures);
    if (found.capped)
        log_error("ntfs_recovery", __LINE__, "lost-file search: more than %zu records, the rest not read",
                  ntfs_lost_search_c::records_kept);
    if (found.torn != 0)
        log_error("ntfs_recovery", __LINE__, "lost-file search: %llu torn records passed over",
                  static_cast<unsigned long long>(found.torn));
    keep_lost(std::move(found.records), map.cluster_bytes());
}

// The current MFT holds the record when its entry of that number has the same sequence, name and
// folder: the file was never lost.
bool ntfs_recovery_c::held_by_mft(const ntfs_decoded_record_s& record) const
{
    if (!record.has_number)
        return false;
    const auto current = findings_.find(record.number);
    if (current == findings_.end())
        return false;
    const ntfs_record_s& r = current->second;
    return r.sequence() == record.sequence && r.parent_number() == record.parent
           && r.parent_sequence() == record.parent_sequence
           && r.name() == QString::fromUtf16(record.name.data(), static_cast<qsizetype>(record.name.size()));
}

void ntfs_recovery_c::keep_lost(std::vector<ntfs_lost_found_s> found, std::uint64_t cluster_bytes)
{
    std::unordered_set<std::u16string> seen;
    for (ntfs_lost_found_s& f : found)
        if (!held_by_mft(f.record) && seen.insert(identity(f.record)).second)
            lost_.push_back(std::move(f));
    // Records whose runs do not tell their cluster size (resident data, attribute lists) take
    // the one most of the others tell.
    const std::uint64_t usual = usual_cluster_size(lost_, cluster_bytes);
    const std::vector<std::size_t> parents = ntfs_lost_parents(lost_);
    for (std::size_t i = 0; i < lost_.size(); ++i) {
        ntfs_decoded_record_s& r = lost_[i].record;
        if (r.cluster_bytes == 0)
            r.cluster_bytes = usual;
        const std::uint64_t parent = parents[i] == ntfs_lost_top ? no_lost_parent : ntfs_lost_id | parents[i];
        ntfs_record_s record = lost_finding(r, ntfs_lost_id | i, parent);
        record.overwritten = lost_[i].overwritten ? 1 : 0;
        if (!r.directory)
            ++control_.found_count;
        findings_.insert_or_assign(ntfs_lost_id | i, std::move(record));
    }
}

// The record is read again from where it was found: its data was not kept. One that no longer
// decodes to the same file (the volume changed since the scan) is not copied.
std::int32_t ntfs_recovery_c::recover_lost(std::uint64_t id, const QString& destination)
{
    const std::uint64_t index = id & ~ntfs_lost_id;
    byte_source_c* volume = ntfs_scan_volume(context_.data());
    if (index >= lost_.size() || volume == nullptr)
        return recovery_not_found;
    const ntfs_lost_found_s& found = lost_[index];
    std::vector<std::byte> raw(found.record.record_bytes);
    ntfs_decoded_record_s record;
    const ntfs_decode_e decoded = volume->read_at(found.at, raw) == static_cast<std::int64_t>(raw.size())
                                      ? ntfs_decode_record(raw, record)
                                      : ntfs_decode_e::no_record;
    if ((decoded != ntfs_decode_e::ok && decoded != ntfs_decode_e::damaged) || identity(record) != identity(found.record))
        return recovery_not_found;
    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return recovery_unwritable;
    const std::uint64_t cluster_bytes = record.cluster_bytes != 0 ? record.cluster_bytes : found.record.cluster_bytes;
    const std::int32_t result = copy_lost_file(*volume, cluster_bytes, record, out);
    if (result == recovery_incomplete)
        log_error("ntfs_recovery", __LINE__,
                  "lost record %llu: the copy ended early (runs outside the volume, compressed, or held in "
                  "records not found)",
                  static_cast<unsigned long long>(index));
    return result;
}

} // namespace tarn
