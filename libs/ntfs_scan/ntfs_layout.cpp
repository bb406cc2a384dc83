#include "libs/ntfs_scan/ntfs_layout.h"

#include "libs/ntfs_scan/ntfs_scan.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <memory>

namespace tarn {

namespace {

constexpr TSK_INUM_T mft_record = 0, bitmap_record = 6;
constexpr std::size_t read_step = 1 << 20;

struct file_closer {
    void operator()(TSK_FS_FILE* file) const { tsk_fs_file_close(file); }
};
using file_ptr = std::unique_ptr<TSK_FS_FILE, file_closer>;

// The bitmap holds one bit per cluster; a shorter one (damage) leaves the rest marked in use, so
// that nothing unknown passes for free space.
int read_bitmap(TSK_FS_INFO* fs, ntfs_layout_s& out)
{
    file_ptr file(tsk_fs_file_open_meta(fs, nullptr, bitmap_record));
    const TSK_FS_ATTR* bits = file ? tsk_fs_file_attr_get(file.get()) : nullptr;
    if (bits == nullptr)
        return NTFS_SCAN_NOT_NTFS;
    const auto wanted = static_cast<TSK_OFF_T>((out.clusters + 7) / 8);
    out.bitmap.assign(static_cast<std::size_t>(wanted), 0xFF);
    TSK_OFF_T done = 0;
    const TSK_OFF_T readable = std::min(wanted, bits->size);
    while (done < readable) {
        const auto want = static_cast<std::size_t>(std::min<TSK_OFF_T>(read_step, readable - done));
        const ssize_t got = tsk_fs_attr_read(bits, done, reinterpret_cast<char*>(out.bitmap.data() + done), want,
                                             TSK_FS_FILE_READ_FLAG_NONE);
        if (got <= 0)
            return NTFS_SCAN_SHORT;
        done += got;
    }
    return 0;
}

// The MFT's clusters from its data size to its allocated size, as volume byte ranges.
void read_mft_tail(TSK_FS_INFO* fs, ntfs_layout_s& out)
{
    file_ptr file(tsk_fs_file_open_meta(fs, nullptr, mft_record));
    const TSK_FS_ATTR* data = file ? tsk_fs_file_attr_get(file.get()) : nullptr;
    if (data == nullptr || !(data->flags & TSK_FS_ATTR_NONRES))
        return;
    const auto block = static_cast<std::uint64_t>(fs->block_size);
    const auto end = static_cast<std::uint64_t>(std::max<TSK_OFF_T>(data->size, 0));
    // A damaged $MFT can list runs without end; the room past a sound one's end is a few runs.
    constexpr std::size_t most_ranges = 4096;
    for (const TSK_FS_ATTR_RUN* run = data->nrd.run; run != nullptr && out.mft_tail.size() < most_ranges; run = run->next) {
        if (run->flags & (TSK_FS_ATTR_RUN_FLAG_SPARSE | TSK_FS_ATTR_RUN_FLAG_FILLER) || run->addr >= out.clusters
            || run->len > out.clusters - run->addr)
            continue;
        const std::uint64_t first = run->offset * block, last = (run->offset + run->len) * block;
        if (last <= end)
            continue;
        const std::uint64_t from = std::max(first, end);
        out.mft_tail.emplace_back(run->addr * block + (from - first), last - from);
    }
}

} // namespace

int read_ntfs_layout(TSK_FS_INFO* fs, ntfs_layout_s& out)
{
    out = {};
    if (fs == nullptr || fs->block_size == 0)
        return NTFS_SCAN_NOT_OPEN;
    out.cluster_bytes = fs->block_size;
    // A damaged boot sector can claim far more clusters than the volume holds; the bitmap is
    // sized by what is there.
    const auto volume = static_cast<std::uint64_t>(std::max<TSK_OFF_T>(fs->img_info->size, 0));
    out.clusters = std::min<std::uint64_t>(fs->block_count, volume / out.cluster_bytes + 1);
    const int result = read_bitmap(fs, out);
    if (result == 0)
        read_mft_tail(fs, out);
    tsk_error_reset();
    return result;
}

} // namespace tarn
