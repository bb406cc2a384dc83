#include "scan/fat_volume.h"

#include "scan/disk_sector_layer.h"

#include <algorithm>
#include <cstring>

namespace tarn {

namespace {

using namespace fat_detail;

int fail(fat_file_s& file, int result)
{
    file.flag |= fat_file_error;
    return result;
}

// Moves to the cluster that holds the file position at a cluster boundary. A deleted file's
// FAT chain was cleared, so its clusters are assumed to follow one another.
int next_cluster(fat_file_s& file, int deleted)
{
    std::uint32_t cluster = 0;
    if (file.fptr == 0)
        cluster = file.sclust;
    else if (deleted)
        cluster = file.curr_clust + 1;
    else
        cluster = get_fat(*file.fs, file.curr_clust);
    if (cluster == 0xFFFFFFFF)
        return fail(file, fr_disk_err);
    if (cluster < 2 || clust2sect(*file.fs, cluster) == 0)
        return fail(file, fr_int_err);
    file.curr_clust = cluster;
    return fr_ok;
}

// Whole sectors from the file position on, up to `wanted`: the rest of the current cluster and,
// while the next cluster directly follows it, further clusters, so that long runs go to the
// disk in few requests (never more than the disk layer's 128 sectors). Leaves curr_clust on
// the last cluster included; a break in the run is left for next_cluster to judge.
std::uint32_t contiguous_sectors(fat_file_s& file, std::uint32_t wanted, int deleted)
{
    fat_fs_s& fs = *file.fs;
    constexpr std::uint32_t most = disk_bounce_size / fat_sector_size;
    std::uint32_t sectors = std::min<std::uint32_t>(wanted, fs.sectors_per_cluster - file.csect);
    while (sectors < wanted && sectors + fs.sectors_per_cluster <= most) {
        const std::uint32_t next = deleted ? file.curr_clust + 1 : get_fat(fs, file.curr_clust);
        if (next != file.curr_clust + 1 || clust2sect(fs, next) == 0)
            break;
        file.curr_clust = next;
        sectors += std::min<std::uint32_t>(wanted - sectors, fs.sectors_per_cluster);
    }
    return sectors;
}

} // namespace

int f_read(fat_file_s& file, std::span<std::byte> out, std::uint32_t& bytes_read, int deleted)
{
    bytes_read = 0;
    if (!file.fs || file.fs->fs_type == fat_none || file.id != file.fs->id)
        return fr_invalid_object;
    fat_fs_s& fs = *file.fs;
    if (disk_status(fs.drive) & disk_status_not_ready)
        return fr_not_ready;
    if (file.flag & fat_file_error)
        return fr_int_err;
    if (!(file.flag & fat_file_read))
        return fr_denied;
    const std::uint32_t remain = file.fptr < file.fsize ? file.fsize - file.fptr : 0;
    std::uint32_t left = static_cast<std::uint32_t>(std::min<std::size_t>(out.size(), remain));
    std::byte* dest = out.data();
    while (left > 0) {
        const std::uint32_t in_sector = file.fptr % fat_sector_size;
        file.csect = static_cast<std::uint8_t>((file.fptr / fat_sector_size) % fs.sectors_per_cluster);
        if (in_sector == 0 && file.csect == 0)
            if (const int result = next_cluster(file, deleted); result != fr_ok)
                return result;
        const std::uint32_t base = clust2sect(fs, file.curr_clust);
        if (base == 0)
            return fail(file, fr_int_err);
        const std::uint32_t sector = base + file.csect;
        std::uint32_t count = 0;
        if (in_sector == 0 && left >= fat_sector_size) {
            // Whole sectors go straight to the caller, up to the end of the cluster.
            const std::uint32_t sectors = contiguous_sectors(file, left / fat_sector_size, deleted);
            count = sectors * fat_sector_size;
            if (disk_read(fs.drive, std::span<std::byte>(dest, count), sector, sectors) != disk_ok)
                return fail(file, fr_disk_err);
        } else {
            if (!file.buf_valid || file.dsect != sector) {
                file.buf_valid = false;
                if (disk_read(fs.drive, file.buf, sector, 1) != disk_ok)
                    return fail(file, fr_disk_err);
                file.dsect = sector;
                file.buf_valid = true;
            }
            count = std::min(fat_sector_size - in_sector, left);
            std::memcpy(dest, file.buf.data() + in_sector, count);
        }
        dest += count;
        file.fptr += count;
        bytes_read += count;
        left -= count;
    }
    return fr_ok;
}

} // namespace tarn
