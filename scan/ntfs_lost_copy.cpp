#include "scan/ntfs_lost_copy.h"

#include "scan/recovery_base.h"

#include <algorithm>
#include <vector>

namespace tarn {

namespace {

constexpr std::uint64_t copy_step = 1 << 20;

struct copy_s {
    byte_source_c& volume;
    QFile& out;
    std::vector<std::byte> buffer = std::vector<std::byte>(copy_step);
    std::uint64_t done = 0;        // bytes of the file written
    std::uint64_t initialized = 0; // bytes from here on read as zeros
};

// Writes count bytes of the file from the volume at at (or zeros: at < 0). False on a read or
// write that failed.
bool put(copy_s& copy, std::int64_t at, std::uint64_t count)
{
    while (count > 0) {
        const auto want = static_cast<std::size_t>(std::min(count, copy_step));
        std::fill(copy.buffer.begin(), copy.buffer.begin() + static_cast<std::ptrdiff_t>(want), std::byte{0});
        const std::uint64_t readable =
            at < 0 || copy.done >= copy.initialized ? 0 : std::min<std::uint64_t>(want, copy.initialized - copy.done);
        if (readable > 0
            && copy.volume.read_at(static_cast<std::uint64_t>(at), std::span(copy.buffer.data(), readable))
                   != static_cast<std::int64_t>(readable))
            return false;
        if (copy.out.write(reinterpret_cast<const char*>(copy.buffer.data()), static_cast<qint64>(want))
            != static_cast<qint64>(want))
            return false;
        copy.done += want;
        count -= want;
        if (at >= 0)
            at += static_cast<std::int64_t>(want);
    }
    return true;
}

// The runs in order, each as far as the file reaches; false where one leaves the volume or a
// read fails.
bool copy_runs(copy_s& copy, std::uint64_t cluster_bytes, const ntfs_decoded_record_s& record, std::uint64_t wanted)
{
    const std::uint64_t volume_clusters = copy.volume.size() / cluster_bytes;
    for (const ntfs_run_s& run : record.runs) {
        if (copy.done >= wanted)
            break;
        // Lengths come from the disk: compare in clusters before multiplying.
        const std::uint64_t left = wanted - copy.done;
        const std::uint64_t bytes = run.clusters > left / cluster_bytes ? left : run.clusters * cluster_bytes;
        const bool hole = run.lcn < 0;
        if (!hole && (static_cast<std::uint64_t>(run.lcn) > volume_clusters
                      || (bytes + cluster_bytes - 1) / cluster_bytes > volume_clusters - static_cast<std::uint64_t>(run.lcn)))
            return false;
        if (!put(copy, hole ? -1 : static_cast<std::int64_t>(static_cast<std::uint64_t>(run.lcn) * cluster_bytes), bytes))
            return false;
    }
    return copy.done == wanted;
}

} // namespace

std::int32_t copy_lost_file(byte_source_c& volume, std::uint64_t cluster_bytes, const ntfs_decoded_record_s& record,
                            QFile& out)
{
    // A file without data is empty, unless its data lies in an extension record the attribute
    // list names, which is not read: then nothing of it was copied.
    if (!record.has_data)
        return record.directory ? recovery_not_found : record.attribute_list ? recovery_incomplete : recovery_ok;
    if (record.resident) {
        const auto size = static_cast<qint64>(record.resident_bytes.size());
        return out.write(reinterpret_cast<const char*>(record.resident_bytes.data()), size) == size ? recovery_ok
                                                                                                   : recovery_unwritable;
    }
    if (record.compressed || cluster_bytes == 0)
        return recovery_incomplete;
    // A size past the volume's is damage: writing it out would fill the target with what is not there.
    const std::uint64_t wanted = std::min(record.data_size, volume.size());
    copy_s copy{volume, out};
    copy.initialized = record.initialized_size;
    const bool whole = copy_runs(copy, cluster_bytes, record, wanted);
    return whole && wanted == record.data_size && out.flush() ? recovery_ok : recovery_incomplete;
}

} // namespace tarn
