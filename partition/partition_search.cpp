#include "partition/partition_search.h"

#include "partition/boot_sector.h"
#include "partition/ext_superblock.h"
#include "platform/read_failures.h"
#include "scan/diagnostic_log.h"

#include <algorithm>
#include <optional>

namespace tarn {

namespace {

constexpr std::uint64_t block_sectors = search_read_bytes / sector_bytes;

// What a block read gave: the block whole, the block with its unreadable sectors zeroed, or
// nothing to examine (the disk's last, incomplete block, a stop, or a disk that stopped
// answering).
enum class block_e { whole, pieced, none };

// The search's record of a failing disk: the unreadable ranges, and how many sectors in a row
// have failed up to now.
struct disk_health_s {
    read_failures_c failures;
    std::uint64_t dead_run = 0;
};

// The 256 sectors from `sector` on in one read, or an empty span when the read failed or came
// up short. The device is read from the aligned offset below the sector so that uncached I/O
// needs no bounce copy; the buffer's slack holds the extra bytes.
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

// After a failed block read: the block again, one sector at a time, so that one bad sector
// does not hide the rest. An unreadable sector is zeroed (zeros never pass a boot-sector test)
// and noted. False on a stop, or once the disk has stopped answering.
bool read_sectors(byte_source_c& disk, std::uint64_t sector, std::span<std::byte> block, disk_health_s& health,
                  const search_control_s& control)
{
    for (std::uint64_t j = 0; j < block_sectors; ++j) {
        if (control.stop.load(std::memory_order_relaxed))
            return false;
        const std::span<std::byte> one = block.subspan(j * sector_bytes, sector_bytes);
        if (disk.read_at((sector + j) * sector_bytes, one) == static_cast<std::int64_t>(sector_bytes)) {
            health.dead_run = 0;
            continue;
        }
        std::ranges::fill(one, std::byte{0});
        health.failures.note((sector + j) * sector_bytes, sector_bytes);
        if (++health.dead_run >= search_dead_run_sectors)
            return false;
    }
    return true;
}

block_e read_search_block(byte_source_c& disk, std::uint64_t sector, std::uint64_t size, std::span<std::byte> buffer,
                          disk_health_s& health, const search_control_s& control, std::span<const std::byte>& block)
{
    // The last, incomplete block of the disk is not examined; it is no failure.
    if (sector * sector_bytes + search_read_bytes > size)
        return block_e::none;
    block = read_block(disk, sector, buffer);
    if (!block.empty()) {
        health.dead_run = 0;
        return block_e::whole;
    }
    // A failed or short read of a block that lies wholly inside the disk.
    const std::span<std::byte> pieces = buffer.first(search_read_bytes);
    block = pieces;
    return read_sectors(disk, sector, pieces, health, control) ? block_e::pieced : block_e::none;
}

// The first find among the block's examined sectors that begins at or after floor (a superblock
// copy or a boot sector's backup may name a start before the sector it lies in; one inside a
// partition already found is no new find).
std::optional<partition_item_s> first_find(std::span<const std::byte> block, std::uint64_t sector, std::uint64_t floor,
                                           const sector_reader& read)
{
    for (std::uint64_t j = 0; j < search_sectors_examined; ++j) {
        const std::byte* first = block.data() + j * sector_bytes;
        std::optional<partition_item_s> item;
        // Every boot sector ends in 0x55 0xAA, every ext superblock holds its magic number at 56:
        // cheap first tests that nearly every sector fails. The tests may look at the sectors
        // after this one in the block, and through read beyond it.
        if (first[sector_bytes - 2] == std::byte{0x55} && first[sector_bytes - 1] == std::byte{0xAA})
            item = partition_at(block.subspan(j * sector_bytes), sector + j, read);
        else if (may_be_ext_superblock(first))
            item = ext_partition_at(block.subspan(j * sector_bytes), sector + j);
        if (item && item->start_sector >= floor)
            return item;
    }
    return std::nullopt;
}

void log_search_end(const disk_health_s& health)
{
    log_unreadable("partition_search", __LINE__, "lost-partition search", health.failures);
    if (health.dead_run >= search_dead_run_sectors && !health.failures.ranges().empty()) {
        const unreadable_range_s& last = health.failures.ranges().back();
        log_error("partition_search", __LINE__,
                  "lost-partition search: the disk stopped answering (%llu sectors in a row unreadable up to byte "
                  "offset %llu); the search ends there",
                  static_cast<unsigned long long>(health.dead_run),
                  static_cast<unsigned long long>(last.at + last.bytes));
    }
}

} // namespace

int search_disk(byte_source_c& disk, std::uint64_t size, std::span<std::byte> buffer, const search_control_s& control)
{
    // "Sector C lies at or past the end" without forming C * 512, which a huge length field
    // could overflow.
    const std::uint64_t end = size / sector_bytes + (size % sector_bytes != 0 ? 1 : 0);
    disk_health_s health;
    bool stopped = false;
    std::uint64_t sector = 0;
    std::uint64_t floor = 0; // the first sector after the last find
    const sector_reader read = [&disk](std::uint64_t at, std::span<std::byte> out) {
        return at <= UINT64_MAX / sector_bytes
               && disk.read_at(at * sector_bytes, out) == static_cast<std::int64_t>(out.size());
    };
    while (sector < end) {
        if ((stopped = control.stop.load(std::memory_order_relaxed)))
            break;
        std::span<const std::byte> block;
        if (read_search_block(disk, sector, size, buffer, health, control, block) == block_e::none) {
            stopped = control.stop.load(std::memory_order_relaxed);
            break;
        }
        const auto item = first_find(block, sector, floor, read);
        if (!item) {
            sector += search_sectors_examined;
        } else {
            control.found(*item);
            // A partition reaching the end of the disk ends the search.
            if (item->end_sector >= end - 1)
                break;
            // The interior is never examined; a find reported from a copy near its end (an NTFS
            // backup boot sector) leaves nothing before it to examine either.
            sector = std::max(sector + 1, item->end_sector + 1);
            floor = item->end_sector + 1;
        }
        if (sector < end)
            control.progress.store(static_cast<double>(sector) * sector_bytes / static_cast<double>(size));
    }
    log_search_end(health);
    if (stopped)
        return search_stopped;
    control.progress.store(1.0);
    return health.dead_run >= search_dead_run_sectors ? search_disk_silent : search_done;
}

} // namespace tarn
