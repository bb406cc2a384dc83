#pragma once
// Facts a disk or volume handle answers, in the shapes the program was designed around.

#include <cstdint>

namespace tarn {

// Media type codes of the disk geometry block.
enum : std::uint32_t { media_removable = 11, media_fixed = 12 };

// Same layout as the system's 24-byte disk geometry block.
struct disk_geometry_s {
    std::int64_t cylinders = 0;
    std::uint32_t media_type = 0;
    std::uint32_t tracks_per_cylinder = 0;
    std::uint32_t sectors_per_track = 0;
    std::uint32_t bytes_per_sector = 0;
};
static_assert(sizeof(disk_geometry_s) == 24, "disk geometry block is 24 bytes");

// The geometry the system reports for modern disks: 255 heads, 63 sectors per track, and as many
// whole cylinders as the size holds.
inline disk_geometry_s synthetic_geometry(std::uint64_t size, std::uint32_t sector_size, bool removable)
{
    constexpr std::uint32_t heads = 255;
    constexpr std::uint32_t sectors = 63;
    disk_geometry_s g;
    g.bytes_per_sector = sector_size;
    g.sectors_per_track = sectors;
    g.tracks_per_cylinder = heads;
    g.cylinders = sector_size ? static_cast<std::int64_t>(size / (std::uint64_t{heads} * sectors * sector_size)) : 0;
    g.media_type = removable ? media_removable : media_fixed;
    return g;
}

// Where a volume lies on its disk.
struct partition_info_s {
    std::int32_t partition_number = 0; // 0 for a file system on the whole disk
    std::uint64_t starting_offset = 0; // bytes from the start of the disk
    std::uint64_t length = 0;          // bytes
};

} // namespace tarn
