#pragma once
// The lost-partition search itself: walks a disk from sector 0 in 128 KiB blocks looking for
// NTFS and FAT32 boot sectors, and skips the interior of every partition it finds.

#include "partition/partition_item.h"
#include "platform/aligned_buffer.h"
#include "platform/byte_source.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

namespace tarn {

inline constexpr std::size_t search_read_bytes = 131072;   // 256 sectors per read
inline constexpr std::uint64_t search_sectors_examined = 255; // the last sector opens the next read
// Unreadable sectors in a row after which the disk counts as no longer answering and the search
// ends: 8 MiB. A worn disk's bad sectors and a damaged patch of its surface come in runs of a
// few sectors to some hundreds of KiB, which the search reads past; a disk that fails every read
// over 8 MiB has stopped answering, and going on would try each remaining sector of it in vain.
inline constexpr std::uint64_t search_dead_run_sectors = 16384;
// One read plus room to start it at any sector while the device sees aligned I/O.
inline constexpr std::size_t search_buffer_bytes = search_read_bytes + direct_io_alignment;

struct search_control_s {
    const std::atomic<bool>& stop;          // tested before each read
    std::atomic<double>& progress;          // fraction of `size` searched
    std::function<void(const partition_item_s&)> found;
};

enum search_end_e : int {
    search_done = 0,       // the search reached the end of the disk
    search_stopped = 1,    // a stop was asked
    search_disk_silent = 2 // the disk stopped answering before its end
};

// Searches `disk` up to `size` bytes, reusing `buffer` (at least search_buffer_bytes, aligned
// for direct I/O) for every read. A block that cannot be read whole is read again sector by
// sector: its readable sectors are examined, its unreadable ones skipped, and the search goes
// on. Every unreadable range is logged with its byte offset when the search ends. The disk's
// last, incomplete block is not examined. Progress ends at 1 unless a stop was asked, which
// leaves it where it stood. Returns a search_end_e.
int search_disk(byte_source_c& disk, std::uint64_t size, std::span<std::byte> buffer, const search_control_s& control);

} // namespace tarn
