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

bool read_failures_c::covers(std::uint64_t at, std::uint64_t bytes) const
{
    return std::any_of(ranges_.begin(), ranges_.end(),
                       [&](const unreadable_range_s& r) { return r.at <= at && r.bytes >= bytes + (at - r.at); });
}

void read_failures_c::give_back(std::uint64_t at, std::uint64_t bytes)
{
    const std::uint64_t end = bytes > UINT64_MAX - at ? UINT64_MAX : at + bytes;
    const auto overlaps = [&](const unreadable_range_s& r) { return at < r.at + r.bytes && end > r.at; };
    if (std::none_of(ranges_.begin(), ranges_.end(), overlaps))
        return;
    std::vector<unreadable_range_s> left;
    for (const unreadable_range_s& r : ranges_) {
        if (!overlaps(r)) {
            left.push_back(r);
            continue;
        }
        if (r.at < at)
            left.push_back({r.at, at - r.at});
        if (end < r.at + r.bytes)
            left.push_back({end, r.at + r.bytes - end});
    }
    for (; left.size() > ranges_kept; left.pop_back())
        ++ranges_dropped_;
    ranges_ = std::move(left);
}

} // namespace tarn
