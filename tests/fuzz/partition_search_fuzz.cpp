// The boot-sector tests, the lost-partition search and the partition table the repair would plan
// from what it found, with the file systems' own checks (exFAT's region, ext's superblock, the
// copies an NTFS or exFAT volume keeps). The input lies at the start of a disk of a few megabytes and once more so
// that its first sector is the last one of a 128 KiB read, where a boot sector opens the next read.

#include "partition/boot_sector.h"
#include "partition/exfat_boot_region.h"
#include "partition/ext_superblock.h"
#include "partition/partition_search.h"
#include "partition/partition_table_plan.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <atomic>
#include <vector>

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto input = std::as_bytes(std::span(data, size));
    is_ntfs_boot(input);
    is_fat32_boot(input);
    fat12_16_kind(input);
    partition_at(input, 0);
    ext_partition_at(input, 1u << 20);
    exfat_label(input);
    // The input again as the disk the copies' checks read: a boot sector that names its own MFT,
    // FAT or root folder anywhere in it.
    partition_at(input, 12, [input](std::uint64_t sector, std::span<std::byte> out) {
        if (sector > input.size() / sector_bytes || out.size() > input.size() - sector * sector_bytes)
            return false;
        std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(sector * sector_bytes), out.size(), out.begin());
        return true;
    });

    fuzz::sparse_source_c disk((std::uint64_t{4} << 20) + size);
    disk.place(0, {data, size});
    disk.place(2 * search_read_bytes - sector_bytes, {data, size});
    static aligned_buffer_c buffer(search_buffer_bytes);
    std::atomic<bool> stop{false};
    std::atomic<double> progress{0};
    std::vector<partition_item_s> finds;
    search_disk(disk, disk.size(), buffer.span(), {stop, progress, [&](const partition_item_s& p) { finds.push_back(p); }});

    std::array<std::byte, sector_bytes> sector0{};
    disk.read_at(0, sector0);
    holds_partition_table(sector0);
    plan_partition_table(sector0, finds, 63, 255);
    return 0;
}
