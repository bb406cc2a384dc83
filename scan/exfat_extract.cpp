// Writing a found file out of an exFAT volume: its clusters as its finding lays them out, the
// bytes past its valid length as zeros, and never more than the volume holds from its first
// cluster.

#include "scan/diagnostic_log.h"
#include "scan/exfat_recovery.h"
#include "scan/file_sink.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace tarn {

std::int32_t exfat_recovery_c::recover_file(std::uint64_t id, QString destination)
{
    const auto it = findings_.find(id);
    if (id == 0 || it == findings_.end() || it->second.directory() || !source_)
        return recovery_not_found;
    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return recovery_unwritable;
    source_->take_failures(); // failures of earlier reads are not this file's
    const std::int32_t result = copy_file(it->second, out);
    return result == recovery_ok && !out.flush() ? recovery_incomplete : result;
}

std::int32_t exfat_recovery_c::copy_file(const exfat_record_s& record, QFile& out)
{
    const exfat_layout_s& layout = reader_.layout();
    exfat_cut_e cut = exfat_cut_e::none;
    const std::vector<exfat_run_s> runs =
        reader_.runs(record.first_cluster, (record.size + layout.cluster_bytes() - 1) >> layout.cluster_shift, record.layout, cut);
    std::uint64_t available = 0;
    for (const exfat_run_s& run : runs)
        available += std::uint64_t{run.count} << layout.cluster_shift;
    const std::uint64_t total = std::min(record.size, available);
    // A file larger than one part is written behind its reading; a smaller one through a buffer
    // no bigger than the file, so that thousands of small files do not each clear a large one.
    const bool behind = total > write_behind_c::part_bytes;
    if (behind && writer_ == nullptr)
        writer_ = std::make_unique<write_behind_c>();
    const std::size_t own = behind ? 0 : static_cast<std::size_t>(std::max<std::uint64_t>(total, 1));
    const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(own);
    file_sink_c sink(out, behind ? writer_.get() : nullptr, std::span<char>(buffer.get(), own));
    std::uint64_t done = 0;
    for (const exfat_run_s& run : runs) {
        std::uint64_t at = layout.cluster_offset(run.first);
        for (std::uint64_t left = std::uint64_t{run.count} << layout.cluster_shift; left > 0 && done < total;) {
            const std::span<char> part = sink.next();
            const auto n = static_cast<std::size_t>(std::min({left, total - done, std::uint64_t{part.size()}}));
            // Bytes past the valid length were never written: they read as zeros, whatever the
            // clusters hold.
            const auto valid = static_cast<std::size_t>(done < record.valid_size ? std::min<std::uint64_t>(n, record.valid_size - done) : 0);
            if (valid != 0 && source_->read_at(at, std::as_writable_bytes(part.first(valid))) != static_cast<std::int64_t>(valid)) {
                log_error("exfat", __LINE__, "file at cluster %u: read failed at byte %llu of %llu", record.first_cluster,
                          static_cast<unsigned long long>(done), static_cast<unsigned long long>(record.size));
                log_unreadable("exfat", __LINE__, "file recovery", source_->take_failures());
                return recovery_incomplete;
            }
            std::memset(part.data() + valid, 0, n - valid);
            if (!sink.put(n))
                return recovery_incomplete;
            done += n;
            at += n;
            left -= n;
        }
    }
    if (!sink.finish())
        return recovery_incomplete;
    if (total < record.size) {
        log_error("exfat", __LINE__, "file at cluster %u claims %llu bytes; %llu were written, as its clusters end there (%s)",
                  record.first_cluster, static_cast<unsigned long long>(record.size), static_cast<unsigned long long>(total),
                  cut == exfat_cut_e::heap_end ? "the volume ends" : "its chain ends");
        return recovery_incomplete;
    }
    return recovery_ok;
}

} // namespace tarn
