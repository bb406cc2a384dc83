#include "scan/exfat_bitmap.h"

#include <algorithm>
#include <bit>

namespace tarn {

bool exfat_bitmap_c::assign(std::vector<std::byte> bytes, std::uint32_t cluster_count)
{
    const std::uint64_t needed = (std::uint64_t{cluster_count} + 7) / 8;
    bits_.clear();
    free_runs_.clear();
    cluster_count_ = 0;
    if (cluster_count == 0 || bytes.size() < needed)
        return false;
    bytes.resize(static_cast<std::size_t>(needed));
    bits_ = std::move(bytes);
    cluster_count_ = cluster_count;
    return true;
}

bool exfat_bitmap_c::in_use(std::uint32_t cluster) const
{
    if (cluster < 2 || cluster - 2 >= cluster_count_)
        return false;
    const std::uint32_t bit = cluster - 2;
    return (std::to_integer<unsigned>(bits_[bit / 8]) >> (bit % 8) & 1) != 0;
}

std::uint64_t exfat_bitmap_c::free_clusters() const
{
    if (!known())
        return 0;
    std::uint64_t used = 0;
    const std::size_t whole = cluster_count_ / 8;
    for (std::size_t i = 0; i < whole; ++i)
        used += static_cast<std::uint64_t>(std::popcount(std::to_integer<unsigned char>(bits_[i])));
    // The last byte's bits past the last cluster mean nothing.
    for (std::uint32_t bit = static_cast<std::uint32_t>(whole) * 8; bit < cluster_count_; ++bit)
        used += (std::to_integer<unsigned>(bits_[bit / 8]) >> (bit % 8)) & 1;
    return cluster_count_ - used;
}

void exfat_bitmap_c::make_free_runs() const
{
    if (!free_runs_.empty())
        return;
    for (std::uint64_t n = 2; n < std::uint64_t{cluster_count_} + 2; ++n) {
        if (in_use(static_cast<std::uint32_t>(n)))
            continue;
        if (!free_runs_.empty() && free_runs_.back().end == n)
            ++free_runs_.back().end;
        else
            free_runs_.push_back({n, n + 1});
    }
    // Marks the search as made even where nothing is free.
    free_runs_.push_back({UINT64_MAX, UINT64_MAX});
}

std::uint64_t exfat_bitmap_c::next_free(std::uint64_t c) const
{
    if (!known())
        return c;
    make_free_runs();
    const auto run = std::upper_bound(free_runs_.begin(), free_runs_.end(), c,
                                      [](std::uint64_t at, const free_run_s& r) { return at < r.end; });
    if (run->first == UINT64_MAX)
        return std::uint64_t{cluster_count_} + 2;
    return std::max(c, run->first);
}

bool exfat_bitmap_c::any_in_use(std::uint64_t first, std::uint64_t count) const
{
    const std::uint64_t described = std::uint64_t{cluster_count_} + 2;
    if (!known() || count == 0 || first >= described)
        return false;
    first = std::max<std::uint64_t>(first, 2);
    const std::uint64_t end = std::min(described, first + std::min(count, described));
    // All free exactly when one free run holds the whole range.
    return next_free(first) != first || std::upper_bound(free_runs_.begin(), free_runs_.end(), first, [](std::uint64_t at, const free_run_s& r) {
               return at < r.end;
           })->end < end;
}

} // namespace tarn
