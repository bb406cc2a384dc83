#pragma once
// A read-only view of an exFAT volume over a byte source: its boot region's layout, the FAT
// (read through a small cache of blocks, so that a chain costs a read per 64 KiB of table, not
// per link), and the clusters of a file or folder laid out as runs. Nothing here ever writes.

#include "platform/byte_source.h"
#include "scan/exfat_bitmap.h"
#include "scan/exfat_boot.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tarn {

enum : std::uint32_t { exfat_fat_free = 0, exfat_fat_bad = 0xFFFFFFF7, exfat_fat_end = 0xFFFFFFFF };

// How a file's or folder's clusters are found: one after another from the first (the NoFatChain
// flag), along the FAT, or, where a deleted one's chain is gone, guessed: the clusters after the
// first that are free in the bitmap, one after another. A cluster in use belongs to a file that
// still exists, so it cannot hold the deleted one's bytes; passing over it is what finds a file
// written in turns with another that was kept.
enum class exfat_layout_e : std::uint8_t { contiguous, chain, guessed };

// Clusters first, first + 1, ... first + count - 1.
struct exfat_run_s {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// Why a walk over clusters ended before it had all it asked for; none also when the chain's end
// mark came first.
enum class exfat_cut_e : std::uint8_t {
    none,
    io_error,    // the FAT could not be read
    broken,      // a link leads outside the heap, or to a free or bad cluster
    heap_end,    // clusters that follow one another ran past the heap's last cluster
    refused,     // the caller's test refused a cluster (read already, or in use by another file)
};

class exfat_volume_c {
public:
    // Reads the boot region of the volume on source; the source must outlive this object, which
    // reads it from one thread at a time. The layout's cluster count ends where the source does;
    // damaged when the root folder lies past it.
    exfat_status_e open(byte_source_c& source);
    const exfat_layout_s& layout() const { return layout_; }
    byte_source_c& source() const { return *source_; }
    // The bitmap a guessed layout passes over the clusters in use by; it must outlive this
    // object. Without one, a guess takes every cluster after the first.
    void use_bitmap(const exfat_bitmap_c& bitmap) { bitmap_ = &bitmap; }

    // The FAT entry of cluster c into value; false when the FAT could not be read there.
    bool fat_entry(std::uint32_t c, std::uint32_t& value);

    // Up to count clusters from first, one after another or along the FAT, as runs; accept (when
    // given) may refuse a cluster, which ends the walk before it. cut says why fewer came back.
    template <class Accept>
    std::vector<exfat_run_s> runs(std::uint32_t first, std::uint64_t count, exfat_layout_e layout, Accept accept,
                                  exfat_cut_e& cut);
    std::vector<exfat_run_s> runs(std::uint32_t first, std::uint64_t count, exfat_layout_e layout, exfat_cut_e& cut)
    {
        return runs(first, count, layout, [](std::uint32_t) { return true; }, cut);
    }

    // Reads the bytes of the runs, at most limit of them, appending to out; false when a read
    // failed or came back short (what was read stays in out).
    bool read_runs(std::span<const exfat_run_s> runs, std::uint64_t limit, std::vector<std::byte>& out);

private:
    static constexpr std::size_t block_entries = 16384; // 64 KiB of FAT
    static constexpr std::size_t cached_blocks = 8;
    struct fat_block_s {
        std::uint64_t index = UINT64_MAX;
        std::vector<std::byte> bytes;
    };
    // The next cluster after c by the layout; false when there is none (cut says why).
    bool step(std::uint32_t c, exfat_layout_e layout, std::uint32_t& next, exfat_cut_e& cut);

    byte_source_c* source_ = nullptr;
    const exfat_bitmap_c* bitmap_ = nullptr;
    exfat_layout_s layout_;
    std::array<fat_block_s, cached_blocks> fat_cache_;
};

template <class Accept>
std::vector<exfat_run_s> exfat_volume_c::runs(std::uint32_t first, std::uint64_t count, exfat_layout_e layout,
                                              Accept accept, exfat_cut_e& cut)
{
    std::vector<exfat_run_s> out;
    cut = exfat_cut_e::none;
    if (count == 0)
        return out;
    if (!layout_.in_heap(first)) {
        cut = exfat_cut_e::broken;
        return out;
    }
    // No file or folder has more clusters than the volume. A chain that loops is ended by the
    // caller's test, or read only up to the count the caller checked it against.
    count = std::min<std::uint64_t>(count, layout_.cluster_count);
    std::uint32_t c = first;
    for (std::uint64_t taken = 0;;) {
        if (!accept(c)) {
            cut = exfat_cut_e::refused;
            return out;
        }
        if (!out.empty() && out.back().first + out.back().count == c)
            ++out.back().count;
        else
            out.push_back({c, 1});
        if (++taken == count)
            return out;
        if (!step(c, layout, c, cut))
            return out;
    }
}

} // namespace tarn
