#include "partition/partition_search.h"

#include "partition/boot_sector.h"

#include <optional>

namespace tarn {

namespace {

// The 256 sectors from `sector` on, or an empty span when the read failed or came up short.
// The device is read from the aligned offset below the sector so that uncached I/O needs no
// bounce copy; the buffer's slack holds the extra bytes.
std::span<const std::byte> read_block(byte_source_c& disk, std::uint64_t sector, std::span<std::byte> buffer)
{
    const std::uint64_t at = sector * sector_bytes;
    const std::uint64_t first = at / direct_io_alignment * direct_io_alignment;
    const auto skip = static_cast<std::size_t>(at - first);
    const std::size_t want = (skip + search_read_bytes + direct_io_alignment - 1) / direct_io_alignment * direct_io_alignment;
    const std::int64_t got = disk.read_at(first, buffer.first(want));
    if (got < 0 || static_cast<std::uint64_t>(got) < skip + search_read_bytes)
        return {};
    return buffer.subspan(skip, search_read_bytes);
}

std::optional<partition_item_s> first_find(std::span<const std::byte> block, std::uint64_t sector)
{
    for (std::uint64_t j = 0; j < search_sectors_examined; ++j) {
        // Every boot sector ends in 0x55 0xAA: a cheap first test that nearly every sector fails.
        const std::byte* end = block.data() + j * sector_bytes + sector_bytes - 2;
        if (end[0] != std::byte{0x55} || end[1] != std::byte{0xAA})
            continue;
        // Each test may look at the following sector too, which the block always holds.
        if (auto item = partition_at(block.subspan(j * sector_bytes), sector + j))
            return item;
    }
    return std::nullopt;
}

} // namespace

int search_disk(byte_source_c& disk, std::uint64_t size, std::span<std::byte> buffer, const search_control_s& control)
{
    // "Sector C lies at or past the end" without forming C * 512, which a huge length field
    // could overflow.
    const std::uint64_t end = size / sector_bytes + (size % sector_bytes != 0 ? 1 : 0);
    std::uint64_t sector = 0;
    while (sector < end) {
        if (control.stop.load(std::memory_order_relaxed))
            return 1;
        const auto block = read_block(disk, sector, buffer);
        if (block.empty())
            break;
        const auto item = first_find(block, sector);
        if (!item) {
            sector += search_sectors_examined;
        } else {
            control.found(*item);
            // A partition reaching the end of the disk ends the search.
            if (item->end_sector >= end - 1)
                break;
            sector = item->end_sector + 1; // the interior is never examined
        }
        if (sector < end)
            control.progress.store(static_cast<double>(sector) * sector_bytes / static_cast<double>(size));
    }
    control.progress.store(1.0);
    return 0;
}

} // namespace tarn
