#pragma once
// A small read-only FAT12/16/32 reader that works below the operating system's file system:
// directory reading returns deleted entries (flagged), a directory object can be pointed at
// any cluster, and file reading can assume that a deleted file's clusters follow one another.
// Sectors come from the disk sector layer. Nothing here ever writes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarn {

enum fat_result_e : int {
    fr_ok = 0,
    fr_disk_err = 1,
    fr_int_err = 2, // broken or exhausted cluster chain
    fr_not_ready = 3,
    fr_no_file = 4, // end of directory
    fr_no_path = 5,
    fr_invalid_name = 6,
    fr_denied = 7,
    fr_invalid_object = 9,
    fr_invalid_drive = 11,
    fr_not_enabled = 12,
    fr_no_filesystem = 13,
    fr_not_enough_core = 17,
};

enum : std::uint8_t { fat_none = 0, fat_12 = 1, fat_16 = 2, fat_32 = 3 };

enum : std::uint8_t {
    fat_attr_read_only = 0x01,
    fat_attr_volume = 0x08,
    fat_attr_directory = 0x10,
    fat_attr_deleted = 0x40, // not on disk: added for entries with the deletion mark
};

inline constexpr std::uint32_t fat_sector_size = 512;
inline constexpr std::uint32_t fat_volumes = 10;
inline constexpr std::size_t fat_lfn_capacity = 256; // 255 characters and the terminator

// Where volume N lies: physical drive, partition number and the partition's first sector.
struct fat_partition_s {
    std::uint8_t drive = 0;
    std::uint8_t partition = 0;
    std::uint32_t start_sector = 0;
};
std::array<fat_partition_s, fat_volumes>& fat_partition_table();

struct fat_fs_s {
    std::uint8_t fs_type = fat_none;
    std::uint8_t drive = 0;
    std::uint8_t sectors_per_cluster = 0;
    std::uint8_t fat_count = 0;
    std::uint16_t id = 0;
    std::uint16_t root_entries = 0;
    std::uint32_t max_cluster = 0; // cluster count + 2
    std::uint32_t fat_size = 0;
    std::uint32_t fat_base = 0;   // absolute sector
    std::uint32_t dir_base = 0;   // absolute sector (FAT12/16) or cluster (FAT32)
    std::uint32_t data_base = 0;  // absolute sector
    std::uint32_t win_sector = 0;
    bool win_valid = false;
    std::array<std::byte, fat_sector_size> win{};
};

// One bit per cluster: the clusters the directory reader has entered during a scan.
class fat_cluster_set_c {
public:
    void reset(std::uint32_t clusters) { bits_.assign((clusters + 63) / 64, 0); }
    bool contains(std::uint32_t c) const { return c / 64 < bits_.size() && (bits_[c / 64] >> (c % 64) & 1) != 0; }
    void insert(std::uint32_t c)
    {
        if (c / 64 < bits_.size())
            bits_[c / 64] |= std::uint64_t{1} << (c % 64);
    }

private:
    std::vector<std::uint64_t> bits_;
};

// Why a directory read in contiguous mode ended. The last three leave the folder open: its
// entries may go on in a cluster somewhere else.
enum fat_dir_end_e : std::uint8_t {
    dir_end_none = 0,
    dir_end_mark,        // a never-used entry, or the end of a surviving chain
    dir_end_limit,       // the most entries a folder can hold, or the end of the volume
    dir_end_allocated,   // the next cluster belongs to something else in the FAT
    dir_end_taken,       // the next cluster was read already, or starts a folder of its own
    dir_end_unparsable,  // the next sector does not read as entries, or the next cluster holds none
};

inline bool fat_dir_end_open(std::uint8_t end)
{
    return end >= dir_end_allocated;
}

struct fat_dir_s {
    fat_fs_s* fs = nullptr;
    std::uint16_t id = 0;
    std::uint16_t index = 0;
    std::uint32_t sclust = 0; // 0 = FAT12/16 root directory
    std::uint32_t clust = 0;
    std::uint32_t sect = 0;   // 0 = end reached
    std::uint32_t entry = 0;  // offset of the current 32-byte entry inside the window
    std::array<std::byte, 12> fn{};
    std::uint16_t lfn_idx = 0xFFFF;
    std::uint16_t deleted = 0;
    std::uint8_t pending = 0; // error of the step past the last returned entry, reported next
    // Set by the caller before the rewind for a folder whose FAT chain was cleared (a deleted
    // folder and everything below it): where no chain survives, its clusters are assumed to
    // follow one another for as long as they read as directory entries.
    std::uint8_t contiguous = 0;
    std::uint8_t end = dir_end_none; // why a contiguous read ended
    // The entry that began the long-name parts still waiting for their short entry (0xFFFF:
    // none): where a folder that ends open must be taken up again so that a name split between
    // its clusters stays whole.
    std::uint16_t lfn_start = 0xFFFF;
    std::uint32_t jump = 0; // the cluster a contiguous read goes on at after its current one
    // When set, every cluster the reader enters is added, and an assumed cluster already in it
    // ends the folder: no cluster is read as part of two folders.
    fat_cluster_set_c* visited = nullptr;
};

struct fat_info_s {
    std::uint32_t size = 0;
    std::uint32_t sclust = 0;
    std::uint16_t wdate = 0;
    std::uint16_t wtime = 0;
    std::uint16_t cdate = 0;
    std::uint16_t ctime = 0;
    std::uint16_t adate = 0; // last access date (no time is kept)
    std::uint8_t attr = 0;
    std::array<char16_t, 13> fname{}; // empty = end of directory
    char16_t* lfname = nullptr;       // caller's buffer for the long name
    std::size_t lfsize = 0;
};

struct fat_file_s {
    fat_fs_s* fs = nullptr;
    std::uint16_t id = 0;
    std::uint8_t flag = 0; // bit 0 open for reading, bit 7 error
    std::uint8_t csect = 0;
    std::uint32_t fptr = 0;
    std::uint32_t fsize = 0;
    std::uint32_t sclust = 0;
    std::uint32_t curr_clust = 0;
    std::uint32_t dsect = 0;
    bool buf_valid = false;
    std::array<std::byte, fat_sector_size> buf{};
};
enum : std::uint8_t { fat_file_read = 0x01, fat_file_error = 0x80 };

// Registers fs (or nothing) as volume vol; it mounts on its next access.
int f_mount(std::uint32_t vol, fat_fs_s* fs);
// "/" (or empty) is the root; "N:" selects volume N. A path naming a file gives fr_no_path.
int f_opendir(fat_dir_s& dir, const char16_t* path);
// Without info: rewind to the first entry (after the caller changed sclust/clust).
// With it: the next entry; at the end the 8.3 name comes back empty with fr_ok.
int f_readdir(fat_dir_s& dir, fat_info_s* info);
// Takes up a folder read in contiguous mode again at entry `entry` of its cluster `cluster`
// (counted from that cluster's start) and goes on at cluster `then` after it: the folder's
// entries continue there.
int f_dir_resume(fat_dir_s& dir, std::uint32_t cluster, std::uint16_t entry, std::uint32_t then);
// deleted != 0 reads the clusters after the start cluster in order, ignoring the FAT.
int f_read(fat_file_s& file, std::span<std::byte> out, std::uint32_t& bytes_read, int deleted);

// Internals shared by the module's files.
namespace fat_detail {
int move_window(fat_fs_s& fs, std::uint32_t sector);
std::uint32_t get_fat(fat_fs_s& fs, std::uint32_t cluster); // 0xFFFFFFFF on disk error
std::uint32_t clust2sect(const fat_fs_s& fs, std::uint32_t cluster); // 0 when it has no sector
int mount_volume(const char16_t*& path, fat_fs_s*& fs);
int dir_rewind(fat_dir_s& dir);
int dir_next(fat_dir_s& dir);
int dir_read(fat_dir_s& dir, char16_t* lfn);
void get_fileinfo(const fat_dir_s& dir, const char16_t* lfn, fat_info_s& info);
} // namespace fat_detail

} // namespace tarn
