// The FAT module over a volume made of the input: mount, a walk of every folder it can reach
// (deleted ones read on over the clusters that follow, and taken up again where they ended
// open), and every file read both by its FAT chain and as clusters that follow one another.

#include "scan/disk_sector_layer.h"
#include "scan/fat_volume.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

using namespace tarn;

namespace {

// Bounds that keep one input quick whatever loops its folders make.
constexpr int most_folders = 64;
constexpr int most_entries = 4096;
constexpr std::uint32_t most_file_bytes = 1 << 16;

void read_file(fat_fs_s& fs, const fat_info_s& info, int deleted)
{
    fat_file_s file;
    file.fs = &fs;
    file.id = fs.id;
    file.flag = fat_file_read;
    file.fsize = std::min(info.size, most_file_bytes);
    file.sclust = info.sclust;
    // Not a whole number of sectors, so that reads mix whole sectors with pieces of one.
    std::array<std::byte, 1300> buffer{};
    std::uint32_t got = 0;
    while (f_read(file, buffer, got, deleted) == fr_ok && got > 0) {
    }
}

struct folder_s {
    std::uint32_t cluster = 0; // 0: the root
    bool deleted = false;
};

// Reads one folder's entries, queueing the folders found in it; false once the bounds are hit.
bool read_folder(fat_dir_s& dir, std::vector<folder_s>& todo, int& entries, bool deleted)
{
    std::array<char16_t, fat_lfn_capacity> lfn{};
    for (bool resumed = false;;) {
        fat_info_s info;
        info.lfname = lfn.data();
        info.lfsize = lfn.size();
        if (++entries > most_entries)
            return false;
        if (f_readdir(dir, &info) != fr_ok || info.fname[0] == 0) {
            // A folder that ended open is taken up once more, as the scan does with its runs.
            if (resumed || !fat_dir_end_open(dir.end))
                return true;
            resumed = true;
            if (f_dir_resume(dir, dir.clust, 0, dir.clust + 2) != fr_ok)
                return true;
            continue;
        }
        if (info.fname[0] == u'.' || info.sclust == 0)
            continue;
        const bool gone = deleted || (info.attr & fat_attr_deleted);
        if (info.attr & fat_attr_directory)
            todo.push_back({info.sclust, gone});
        else
            read_file(*dir.fs, info, gone ? 1 : 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Large enough for the smallest FAT32 volume; what lies past the input reads as zeros.
    auto disk = std::make_unique<fuzz::sparse_source_c>(std::max<std::uint64_t>(size, 40 << 20));
    disk->place(0, {data, size});
    if (disk_attach(0, std::move(disk)) != 0)
        return 0;
    // Sector 0 may be a partition table: the volume is then looked for at sector 8.
    fat_partition_table()[0] = fat_partition_s{0, 0, 8};
    static fat_fs_s fs;
    f_mount(0, &fs);
    fat_dir_s root;
    if (f_opendir(root, u"/") != fr_ok)
        return 0;
    fat_cluster_set_c visited;
    visited.reset(fs.max_cluster);
    std::vector<folder_s> todo;
    int entries = 0;
    if (!read_folder(root, todo, entries, false))
        return 0;
    for (int folders = 0; !todo.empty() && folders < most_folders; ++folders) {
        const folder_s folder = todo.back();
        todo.pop_back();
        fat_dir_s dir;
        if (f_opendir(dir, u"/") != fr_ok)
            break;
        dir.sclust = folder.cluster;
        dir.clust = folder.cluster;
        dir.contiguous = folder.deleted ? 1 : 0;
        dir.visited = &visited;
        if (f_readdir(dir, nullptr) == fr_ok && !read_folder(dir, todo, entries, folder.deleted))
            break;
    }
    return 0;
}
