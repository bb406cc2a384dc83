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

// Where a volume lies on its disk.
struct partition_info_s {
    std::int32_t partition_number = 0; // 0 for a file system on the whole disk
    std::uint64_t starting_offset = 0; // bytes from the start of the disk
    std::uint64_t length = 0;          // bytes
};

} // namespace tarn
