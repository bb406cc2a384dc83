#pragma once
// Whether a deleted file's FAT chain is still there: from its first cluster, exactly as many
// links as its size needs, ending in the end mark, through clusters that nothing has taken since
// (free in the allocation bitmap). Many files may share a chain's tail, so the length from each
// cluster to its chain's end is remembered: the checks of a whole volume cost one pass over its
// FAT, whatever its files claim, and a chain that loops is found once.

#include "scan/exfat_bitmap.h"
#include "scan/exfat_volume.h"

#include <cstdint>
#include <vector>

namespace tarn {

class exfat_chain_check_c {
public:
    // The volume and bitmap must outlive this object.
    exfat_chain_check_c(exfat_volume_c& volume, const exfat_bitmap_c& bitmap) : volume_(volume), bitmap_(bitmap) {}

    // Whether the chain from first holds exactly clusters clusters; free_only: every one of them
    // must be free in the bitmap (where the bitmap is known).
    bool intact(std::uint32_t first, std::uint64_t clusters, bool free_only);

private:
    // Stored per cluster: not yet known, being walked, or no sound chain from here.
    static constexpr std::uint32_t unknown = 0;
    static constexpr std::uint32_t walking = UINT32_MAX;
    static constexpr std::uint32_t broken = UINT32_MAX - 1;

    // Fills the lengths along the chain from first; returns first's.
    std::uint32_t measure(std::uint32_t first);

    exfat_volume_c& volume_;
    const exfat_bitmap_c& bitmap_;
    std::vector<std::uint32_t> length_; // clusters from here to the end mark, this one included
    std::vector<bool> touches_used_;    // whether one of them is in use
};

} // namespace tarn
