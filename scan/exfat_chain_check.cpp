#include "scan/exfat_chain_check.h"

#include <vector>

namespace tarn {

const exfat_chain_check_c::known_s& exfat_chain_check_c::measure(std::uint32_t first)
{
    std::vector<std::uint32_t> path;
    known_s tail{broken, false}; // what follows the last cluster of the path
    for (std::uint32_t c = first;;) {
        const auto [it, fresh] = known_.try_emplace(c);
        if (!fresh) {
            if (it->second.length != walking) // else a loop: no chain on it ends
                tail = it->second;
            break;
        }
        path.push_back(c);
        std::uint32_t next = 0;
        if (!volume_.fat_entry(c, next) || (next != exfat_fat_end && !volume_.layout().in_heap(next)))
            break;
        if (next == exfat_fat_end) {
            tail = {0, false};
            break;
        }
        c = next;
    }
    // Back along the path: each cluster's length is one more than its successor's.
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        // No chain is longer than the volume has clusters, so a length never reaches broken.
        tail = {tail.length == broken ? broken : tail.length + 1, tail.touches_used || bitmap_.in_use(*it)};
        known_[*it] = tail;
    }
    return known_.at(first);
}

bool exfat_chain_check_c::intact(std::uint32_t first, std::uint64_t clusters, bool free_only)
{
    const exfat_layout_s& layout = volume_.layout();
    if (!layout.in_heap(first) || clusters == 0 || clusters > layout.cluster_count)
        return false;
    const auto it = known_.find(first);
    const known_s& chain = it != known_.end() ? it->second : measure(first);
    return chain.length == clusters && !(free_only && bitmap_.known() && chain.touches_used);
}

} // namespace tarn
