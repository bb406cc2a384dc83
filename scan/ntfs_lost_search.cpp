#include "scan/ntfs_lost_search.h"

#include <algorithm>
#include <cstring>

namespace tarn {

namespace {

constexpr std::size_t block_bytes = 4u << 20;
constexpr std::size_t record_step = 512;
// A record that starts near a block's end is read whole: each block overlaps the next by the
// largest record.
constexpr std::size_t overlap = 4096;
constexpr std::uint64_t root_record = 5, last_system_record = 11;

} // namespace

bool ntfs_lost_overwritten(const ntfs_decoded_record_s& record, const ntfs_cluster_map_c& map)
{
    const std::uint64_t now_bytes = map.cluster_bytes();
    const std::uint64_t old_bytes = record.cluster_bytes != 0 ? record.cluster_bytes : now_bytes;
    if (old_bytes == 0 || now_bytes == 0)
        return false;
    const std::uint64_t volume_bytes = map.clusters() * now_bytes;
    for (const ntfs_run_s& run : record.runs) {
        // Runs from the disk: compare in clusters before multiplying; what lies past the volume
        // is not overwritten, only unreadable.
        if (run.lcn < 0 || static_cast<std::uint64_t>(run.lcn) >= volume_bytes / old_bytes)
            continue;
        const std::uint64_t from = static_cast<std::uint64_t>(run.lcn) * old_bytes;
        const std::uint64_t bytes = std::min(run.clusters, (volume_bytes - from) / old_bytes + 1) * old_bytes;
        const std::uint64_t first = from / now_bytes;
        if (map.used_in(first, (from + bytes + now_bytes - 1) / now_bytes - first) != 0)
            return true;
    }
    return false;
}

ntfs_lost_search_c::ntfs_lost_search_c(byte_source_c& volume, const ntfs_cluster_map_c& map, recovery_control_s& control,
                                       double progress_from)
    : volume_(volume), map_(map), control_(control), progress_from_(progress_from)
{
}

// A file or folder a user made: named, a base record (extensions hold only attributes of their
// base), and none of the file system's own files (records 0 to 11 and the files of $Extend).
bool ntfs_lost_search_c::worth_keeping(const ntfs_decoded_record_s& record)
{
    if (record.name.empty() || record.base_record != 0)
        return false;
    if (record.has_number && record.number <= last_system_record)
        return false;
    return record.parent == root_record || record.parent > last_system_record;
}

void ntfs_lost_search_c::search_block(std::uint64_t at, std::span<const std::byte> block, std::size_t searched,
                                      ntfs_lost_search_s& out)
{
    ntfs_decoded_record_s record;
    for (std::size_t off = 0; off < searched && off + 4 <= block.size(); off += record_step) {
        if (std::memcmp(block.data() + off, "FILE", 4) != 0 || !map_.searchable(at + off))
            continue;
        const ntfs_decode_e result = ntfs_decode_record(block.subspan(off), record);
        if (result == ntfs_decode_e::bad_fixup)
            ++out.torn;
        if (result != ntfs_decode_e::ok && result != ntfs_decode_e::damaged)
            continue;
        // A damaged record still gives what it decoded before the fault (its name, the runs read).
        const std::uint64_t found_at = at + off;
        off += record.record_bytes - record_step;
        if (!worth_keeping(record))
            continue;
        if (out.records.size() >= records_kept) {
            out.capped = true;
            return;
        }
        ntfs_lost_found_s found{std::move(record), found_at, false};
        found.overwritten = ntfs_lost_overwritten(found.record, map_);
        found.record.runs = {};
        found.record.resident_bytes = {};
        out.records.push_back(std::move(found));
    }
}

ntfs_lost_search_s ntfs_lost_search_c::run()
{
    ntfs_lost_search_s out;
    const std::uint64_t size = volume_.size();
    std::vector<std::byte> buffer(block_bytes + overlap);
    for (std::uint64_t at = 0; at < size && !out.capped; at += block_bytes) {
        if (!control_.keep_running()) {
            out.stopped = true;
            break;
        }
        const std::size_t searched = static_cast<std::size_t>(std::min<std::uint64_t>(block_bytes, size - at));
        if (map_.any_searchable(at, searched)) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - at));
            const std::int64_t got = volume_.read_at(at, std::span(buffer.data(), want));
            if (got < static_cast<std::int64_t>(std::min(want, searched)))
                out.failures.note(at, searched); // passed over: the rest of the volume may still read
            else
                search_block(at, std::span<const std::byte>(buffer.data(), static_cast<std::size_t>(got)), searched, out);
        }
        control_.progress = progress_from_ + (1.0 - progress_from_) * static_cast<double>(std::min(at + searched, size)) / size;
    }
    return out;
}

} // namespace tarn
