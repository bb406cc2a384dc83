#include "scan/exfat_chain_check.h"

namespace tarn {

std::uint32_t exfat_chain_check_c::measure(std::uint32_t first)
{
    std::vector<std::uint32_t> path;
    std::uint32_t c = first;
    std::uint32_t tail = broken; // the length after the last cluster of the path
    bool tail_used = false;
    for (;;) {
        const std::uint32_t known = length_[c];
        if (known == walking)
            break; // a loop: no chain on it ends
        if (known != unknown) {
            tail = known;
            tail_used = touches_used_[c];
            break;
        }
        length_[c] = walking;
        path.push_back(c);
        std::uint32_t next = 0;
        if (!volume_.fat_entry(c, next) || (next != exfat_fat_end && !volume_.layout().in_heap(next)))
            break;
        if (next == exfat_fat_end) {
            tail = 0;
            break;
        }
        c = next;
    }
    // Back along the path: each cluster's length is one more than its successor's.
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        const bool used = tail_used || bitmap_.in_use(*it);
        tail = tail == broken ? broken : tail + 1; // no chain is longer than the volume's clusters
        length_[*it] = tail;
        touches_used_[*it] = used;
        tail_used = used;
    }
    return length_[first];
}

bool exfat_chain_check_c::intact(std::uint32_t first, std::uint64_t clusters, bool free_only)
{
    const exfat_layout_s& layout = volume_.layout();
    if (!layout.in_heap(first) || clusters == 0 || clusters > layout.cluster_count)
        return false;
    if (length_.empty()) {
        length_.assign(std::size_t{layout.cluster_count} + 2, unknown);
        touches_used_.assign(std::size_t{layout.cluster_count} + 2, false);
    }
    const std::uint32_t length = length_[first] == unknown ? measure(first) : length_[first];
    return length == clusters && !(free_only && bitmap_.known() && touches_used_[first]);
}

} // namespace tarn
