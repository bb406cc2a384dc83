#include "scan/fat_volume.h"

#include "platform/byte_source.h"
#include "scan/disk_sector_layer.h"
#include "scan/fat_entry_check.h"

#include <utility>

namespace tarn {

namespace {

std::array<fat_fs_s*, fat_volumes> registered{};
std::uint16_t mount_counter = 0;

enum boot_kind_e { boot_fat, boot_other, boot_none, boot_disk_error };

std::span<const std::byte> window(const fat_fs_s& fs)
{
    return fs.win;
}

// What the sector holds: a FAT boot sector, another boot record, no boot record, or unreadable.
boot_kind_e check_fs(fat_fs_s& fs, std::uint32_t sector)
{
    fs.win_valid = false;
    if (fat_detail::move_window(fs, sector) != fr_ok)
        return boot_disk_error;
    const auto w = window(fs);
    if (load_le16(w, 510) != 0xAA55)
        return boot_none;
    const auto says_fat = [&](std::size_t at) {
        return w[at] == std::byte{'F'} && w[at + 1] == std::byte{'A'} && w[at + 2] == std::byte{'T'};
    };
    return says_fat(54) || says_fat(82) ? boot_fat : boot_other;
}

bool power_of_two(unsigned v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

// Reads the boot sector's parameters into fs; fr_ok or fr_no_filesystem. All arithmetic is
// 64-bit so that a hostile boot sector cannot wrap a sector number.
int read_bpb(fat_fs_s& fs, std::uint32_t offset)
{
    const auto w = window(fs);
    const std::uint64_t fat_size = load_le16(w, 22) != 0 ? load_le16(w, 22) : load_le32(w, 36);
    const unsigned fat_count = std::to_integer<unsigned>(w[16]);
    const unsigned spc = std::to_integer<unsigned>(w[13]);
    const unsigned root_entries = load_le16(w, 17);
    const std::uint64_t total = load_le16(w, 19) != 0 ? load_le16(w, 19) : load_le32(w, 32);
    const unsigned reserved = load_le16(w, 14);
    if (load_le16(w, 11) != fat_sector_size || (fat_count != 1 && fat_count != 2) || !power_of_two(spc)
        || root_entries % 16 != 0 || reserved == 0)
        return fr_no_filesystem;
    const std::uint64_t system = reserved + fat_count * fat_size + root_entries / 16;
    if (total < system)
        return fr_no_filesystem;
    const std::uint64_t clusters = (total - system) / spc;
    if (clusters == 0 || offset + total > UINT32_MAX)
        return fr_no_filesystem;
    const std::uint8_t type = clusters < 4086 ? fat_12 : clusters <= 65525 ? fat_16 : fat_32;
    std::uint64_t fat_bytes = 0;
    if (type == fat_32) {
        if (root_entries != 0)
            return fr_no_filesystem;
        fs.dir_base = load_le32(w, 44);
        fat_bytes = (clusters + 2) * 4;
    } else {
        if (root_entries == 0)
            return fr_no_filesystem;
        fs.dir_base = static_cast<std::uint32_t>(offset + reserved + fat_count * fat_size);
        fat_bytes = type == fat_16 ? (clusters + 2) * 2 : ((clusters + 2) * 3 + 1) / 2;
    }
    if (fat_size < (fat_bytes + fat_sector_size - 1) / fat_sector_size)
        return fr_no_filesystem;
    fs.sectors_per_cluster = static_cast<std::uint8_t>(spc);
    fs.fat_count = static_cast<std::uint8_t>(fat_count);
    fs.root_entries = static_cast<std::uint16_t>(root_entries);
    fs.max_cluster = static_cast<std::uint32_t>(clusters + 2);
    fs.fat_size = static_cast<std::uint32_t>(fat_size);
    fs.fat_base = offset + reserved;
    fs.data_base = static_cast<std::uint32_t>(offset + system);
    fs.fs_type = type;
    return fr_ok;
}

} // namespace

std::array<fat_partition_s, fat_volumes>& fat_partition_table()
{
    static std::array<fat_partition_s, fat_volumes> table{};
    return table;
}

namespace fat_detail {

int move_window(fat_fs_s& fs, std::uint32_t sector)
{
    if (fs.win_valid && fs.win_sector == sector)
        return fr_ok;
    fs.win_valid = false;
    if (disk_read(fs.drive, fs.win, sector, 1) != disk_ok)
        return fr_disk_err;
    fs.win_sector = sector;
    fs.win_valid = true;
    return fr_ok;
}

std::uint32_t clust2sect(const fat_fs_s& fs, std::uint32_t cluster)
{
    if (cluster < 2 || cluster >= fs.max_cluster)
        return 0;
    return (cluster - 2) * fs.sectors_per_cluster + fs.data_base;
}

std::uint32_t get_fat(fat_fs_s& fs, std::uint32_t cluster)
{
    constexpr std::uint32_t disk_failure = 0xFFFFFFFF;
    if (cluster < 2 || cluster >= fs.max_cluster)
        return 1;
    const auto byte_at = [&](std::uint32_t offset, std::uint32_t& value) {
        if (move_window(fs, fs.fat_base + offset / fat_sector_size) != fr_ok)
            return false;
        value = std::to_integer<std::uint32_t>(fs.win[offset % fat_sector_size]);
        return true;
    };
    switch (fs.fs_type) {
    case fat_12: {
        // The 12-bit entry may straddle two sectors, so it is read as two single bytes.
        const std::uint32_t at = cluster + cluster / 2;
        std::uint32_t lo = 0, hi = 0;
        if (!byte_at(at, lo) || !byte_at(at + 1, hi))
            return disk_failure;
        const std::uint32_t v = lo | hi << 8;
        return cluster & 1 ? v >> 4 : v & 0xFFF;
    }
    case fat_16:
        if (move_window(fs, fs.fat_base + cluster / (fat_sector_size / 2)) != fr_ok)
            return disk_failure;
        return load_le16(window(fs), cluster % (fat_sector_size / 2) * 2);
    case fat_32:
        if (move_window(fs, fs.fat_base + cluster / (fat_sector_size / 4)) != fr_ok)
            return disk_failure;
        return load_le32(window(fs), cluster % (fat_sector_size / 4) * 4) & 0x0FFFFFFF;
    default:
        return 1;
    }
}

int mount_volume(const char16_t*& path, fat_fs_s*& fs)
{
    std::uint32_t vol = 0;
    if (path[0] >= u'0' && path[0] <= u'9' && path[1] == u':') {
        vol = path[0] - u'0';
        path += 2;
    }
    fs = registered[vol];
    if (!fs)
        return fr_not_enabled;
    if (fs->fs_type != fat_none && !(disk_status(fs->drive) & disk_status_not_ready))
        return fr_ok;
    fs->fs_type = fat_none;
    const fat_partition_s& part = fat_partition_table()[vol];
    fs->drive = part.drive;
    if (disk_init(fs->drive) & disk_status_not_ready)
        return fr_not_ready;
    // The volume's own first sector, whatever the disk's sector 0 holds: a wiped partition table
    // must not hide a partition that the search found or that the system still knows.
    const std::uint32_t offset = part.start_sector;
    const boot_kind_e kind = check_fs(*fs, offset);
    if (kind == boot_disk_error)
        return fr_disk_err;
    if (kind != boot_fat)
        return fr_no_filesystem;
    if (const int result = read_bpb(*fs, offset); result != fr_ok)
        return result;
    fs->id = ++mount_counter;
    fs->win_valid = false;
    return fr_ok;
}

int dir_rewind(fat_dir_s& dir)
{
    fat_fs_s& fs = *dir.fs;
    dir.index = 0;
    dir.end = dir_end_none;
    dir.lfn_start = 0xFFFF;
    dir.jump = 0;
    std::uint32_t cluster = dir.sclust;
    if (cluster == 1 || cluster >= fs.max_cluster)
        return fr_int_err;
    if (cluster == 0 && fs.fs_type == fat_32)
        cluster = fs.dir_base;
    dir.clust = cluster;
    dir.sect = cluster == 0 ? fs.dir_base : clust2sect(fs, cluster);
    dir.entry = 0;
    if (dir.visited && cluster != 0)
        dir.visited->insert(cluster);
    return dir.sect == 0 ? fr_int_err : fr_ok;
}

} // namespace fat_detail

namespace {

using namespace fat_detail;

// Ends a contiguous read: fr_no_file with the reason kept.
int end_folder(fat_dir_s& dir, fat_dir_end_e why)
{
    dir.end = why;
    return fr_no_file;
}

// Whether the sector reads as directory entries that go on from the ones before, rather than
// as file data or the start of another folder. A file system gives a folder a new cluster only
// to put an entry in it, so a cluster that begins never-used is not the folder's: it ended with
// the full cluster before, or goes on elsewhere. fr_ok, fr_no_file (with the reason) or a disk
// error.
int check_assumed_sector(fat_dir_s& dir, std::uint32_t sector, bool cluster_start)
{
    if (const int result = move_window(*dir.fs, sector); result != fr_ok)
        return result;
    const fat_slots_s slots = check_fat_slots(dir.fs->win, *dir.fs, false);
    if (!slots.entries || (cluster_start && slots.used == 0))
        return end_folder(dir, dir_end_unparsable);
    if (slots.folder_start || (cluster_start && lists_folder(dir.fs->win, *dir.fs, dir.sclust)))
        return end_folder(dir, dir_end_taken);
    return fr_ok;
}

// The cluster after dir.clust of a folder read in contiguous mode: the FAT's link where a chain
// survives (a folder whose own entry is live inside a deleted one), else the following cluster,
// as a deleted file's clusters are assumed to follow one another. That cluster must be free in
// the FAT, read by no other folder, and read as entries; else the folder ends.
int next_assumed_cluster(fat_dir_s& dir, std::uint32_t& next)
{
    fat_fs_s& fs = *dir.fs;
    constexpr std::uint32_t disk_failure = 0xFFFFFFFF;
    const std::uint32_t link = dir.jump != 0 ? 0 : get_fat(fs, dir.clust);
    if (link == disk_failure)
        return fr_disk_err;
    if (dir.jump != 0) {
        next = std::exchange(dir.jump, 0);
    } else if (link >= 2 && link < fs.max_cluster) {
        next = link;
    } else if (link >= 2) {
        return end_folder(dir, dir_end_mark); // the chain's end
    } else {
        next = dir.clust + 1;
        if (next >= fs.max_cluster)
            return end_folder(dir, dir_end_limit);
        const std::uint32_t owner = get_fat(fs, next);
        if (owner == disk_failure)
            return fr_disk_err;
        if (owner != 0)
            return end_folder(dir, dir_end_allocated);
    }
    if (dir.visited && dir.visited->contains(next))
        return end_folder(dir, dir_end_taken);
    return check_assumed_sector(dir, clust2sect(fs, next), true);
}

} // namespace

namespace fat_detail {

int dir_next(fat_dir_s& dir)
{
    fat_fs_s& fs = *dir.fs;
    const std::uint16_t i = static_cast<std::uint16_t>(dir.index + 1);
    if (dir.sect == 0)
        return fr_no_file;
    if (i == 0)
        return end_folder(dir, dir_end_limit);
    if (i % (fat_sector_size / 32) == 0) {
        const std::uint32_t sector_index = i / (fat_sector_size / 32);
        ++dir.sect;
        if (dir.clust == 0) {
            if (i >= fs.root_entries)
                return fr_no_file;
        } else if (sector_index % fs.sectors_per_cluster == 0) {
            std::uint32_t next = 0;
            if (dir.contiguous) {
                if (const int result = next_assumed_cluster(dir, next); result != fr_ok)
                    return result;
            } else {
                next = get_fat(fs, dir.clust);
                if (next == 0xFFFFFFFF)
                    return fr_disk_err;
                if (next < 2)
                    return fr_int_err;
                if (next >= fs.max_cluster)
                    return fr_no_file;
            }
            dir.clust = next;
            dir.sect = clust2sect(fs, next);
            if (dir.visited)
                dir.visited->insert(next);
        } else if (dir.contiguous && sector_index >= fs.sectors_per_cluster) {
            // Past the first cluster every sector must still read as entries.
            if (const int result = check_assumed_sector(dir, dir.sect, false); result != fr_ok)
                return result;
        }
    }
    dir.index = i;
    dir.entry = (i % (fat_sector_size / 32)) * 32;
    return fr_ok;
}

} // namespace fat_detail

int f_mount(std::uint32_t vol, fat_fs_s* fs)
{
    if (vol >= fat_volumes)
        return fr_invalid_drive;
    if (registered[vol])
        registered[vol]->fs_type = fat_none;
    if (fs)
        fs->fs_type = fat_none;
    registered[vol] = fs;
    return fr_ok;
}

} // namespace tarn
