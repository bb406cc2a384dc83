#include "platform/read_failures.h"

#include <algorithm>

namespace tarn {

void read_failures_c::note(std::uint64_t at, std::uint64_t bytes)
{
    ++failed_reads_;
    const std::uint64_t end = bytes > UINT64_MAX - at ? UINT64_MAX : at + bytes;
    // Reads fail again where they failed before (a retry in smaller pieces, a cache that asks
    // twice) and go on right after: both join a range already kept.
    for (unreadable_range_s& r : ranges_) {
        if (at > r.at + r.bytes || end < r.at)
            continue;
        const std::uint64_t first = std::min(r.at, at);
        r.bytes = std::max(r.at + r.bytes, end) - first;
        r.at = first;
        return;
    }
    if (ranges_.size() == ranges_kept) {
        ++ranges_dropped_;
        return;
    }
    ranges_.push_back({at, end - at});
}

} // namespace tarn
