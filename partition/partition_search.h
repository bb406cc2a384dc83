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
// One read plus room to start it at any sector while the device sees aligned I/O.
inline constexpr std::size_t search_buffer_bytes = search_read_bytes + direct_io_alignment;

struct search_control_s {
    const std::atomic<bool>& stop;          // tested before each read
    std::atomic<double>& progress;          // fraction of `size` searched
    std::function<void(const partition_item_s&)> found;
};

// Searches `disk` up to `size` bytes, reusing `buffer` (at least search_buffer_bytes, aligned
// for direct I/O) for every read. A read failure or a short read ends the search as the end of
// the disk does; the search then sets progress to 1. A stop leaves progress where it stood.
// Returns 0 when the search reached its end, 1 when it was stopped.
int search_disk(byte_source_c& disk, std::uint64_t size, std::span<std::byte> buffer, const search_control_s& control);

} // namespace tarn
