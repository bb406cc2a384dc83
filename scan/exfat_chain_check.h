#pragma once
// Whether a deleted file's FAT chain is still there: from its first cluster, exactly as many
// links as its size needs, ending in the end mark, through clusters that nothing has taken since
// (free in the allocation bitmap). Many files may share a chain's tail, so the length from each
// cluster walked to its chain's end is remembered: the checks of a whole volume walk each
// cluster once at most, whatever its files claim, and a chain that loops is found once. What is
// remembered grows with the clusters walked, not with the volume.

#include "scan/exfat_bitmap.h"
#include "scan/exfat_volume.h"

#include <cstdint>
#include <unordered_map>

namespace tarn {

class exfat_chain_check_c {
public:
    // The volume and bitmap must outlive this object.
    exfat_chain_check_c(exfat_volume_c& volume, const exfat_bitmap_c& bitmap) : volume_(volume), bitmap_(bitmap) {}

    // Whether the chain from first holds exactly clusters clusters; free_only: every one of them
    // must be free in the bitmap (where the bitmap is known).
    bool intact(std::uint32_t first, std::uint64_t clusters, bool free_only);

private:
    // Stored per cluster walked: being walked, or no sound chain from here; else the length.
    static constexpr std::uint32_t walking = UINT32_MAX;
    static constexpr std::uint32_t broken = UINT32_MAX - 1;
    struct known_s {
        std::uint32_t length = walking; // clusters from here to the end mark, this one included
        bool touches_used = false;      // whether one of them is in use
    };

    // Fills the lengths along the chain from first; returns first's.
    const known_s& measure(std::uint32_t first);

    exfat_volume_c& volume_;
    const exfat_bitmap_c& bitmap_;
    std::unordered_map<std::uint32_t, known_s> known_;
};

} // namespace tarn
