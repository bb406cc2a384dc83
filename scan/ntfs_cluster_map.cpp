#include "scan/ntfs_cluster_map.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <utility>

namespace tarn {

namespace {

// The 64 bits of clusters [64 word, 64 word + 64); bits past the bitmap read as 0.
std::uint64_t word_at(const std::vector<std::uint8_t>& bitmap, std::uint64_t word)
{
    std::uint64_t value = 0;
    for (std::uint64_t i = 0; i < 8; ++i) {
        const std::uint64_t at = word * 8 + i;
        if (at < bitmap.size())
            value |= std::uint64_t{bitmap[at]} << (8 * i);
    }
    return value;
}

// Sorted and merged where ranges touch, so that one binary search answers for any offset.
void merge_tail(std::vector<std::pair<std::uint64_t, std::uint64_t>>& tail)
{
    std::sort(tail.begin(), tail.end());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> merged;
    for (const auto& [from, length] : tail) {
        if (!merged.empty() && from <= merged.back().first + merged.back().second)
            merged.back().second = std::max(merged.back().second, from + length - merged.back().first);
        else
            merged.emplace_back(from, length);
    }
    tail = std::move(merged);
}

} // namespace

ntfs_cluster_map_c::ntfs_cluster_map_c(ntfs_layout_s layout) : layout_(std::move(layout))
{
    // Bits past the last cluster pad the bitmap's last byte and count for nothing.
    const std::uint64_t words = (layout_.clusters + 63) / 64;
    used_before_word_.resize(words + 1);
    for (std::uint64_t w = 0; w < words; ++w) {
        std::uint64_t bits = word_at(layout_.bitmap, w);
        if (const std::uint64_t left = layout_.clusters - w * 64; left < 64)
            bits &= (std::uint64_t{1} << left) - 1;
        used_before_word_[w + 1] = used_before_word_[w] + static_cast<std::uint64_t>(std::popcount(bits));
    }
    merge_tail(layout_.mft_tail);
}

bool ntfs_cluster_map_c::used(std::uint64_t cluster) const
{
    return cluster < layout_.clusters && (layout_.bitmap[cluster / 8] >> (cluster % 8)) & 1;
}

std::uint64_t ntfs_cluster_map_c::used_before(std::uint64_t cluster) const
{
    cluster = std::min(cluster, layout_.clusters);
    const std::uint64_t word = cluster / 64, in_word = cluster % 64;
    const std::uint64_t bits = in_word == 0 ? 0 : word_at(layout_.bitmap, word) & ((std::uint64_t{1} << in_word) - 1);
    return used_before_word_[word] + static_cast<std::uint64_t>(std::popcount(bits));
}

std::uint64_t ntfs_cluster_map_c::used_in(std::uint64_t first, std::uint64_t count) const
{
    if (first >= layout_.clusters)
        return 0;
    const std::uint64_t last = count > layout_.clusters - first ? layout_.clusters : first + count;
    return used_before(last) - used_before(first);
}

bool ntfs_cluster_map_c::in_tail(std::uint64_t at, std::uint64_t bytes) const
{
    // The last range that starts before the asked bytes end is the only one that can reach them.
    const auto& tail = layout_.mft_tail;
    auto after = std::upper_bound(tail.begin(), tail.end(), at + bytes,
                                  [](std::uint64_t end, const auto& range) { return end <= range.first; });
    return after != tail.begin() && at < std::prev(after)->first + std::prev(after)->second;
}

bool ntfs_cluster_map_c::searchable(std::uint64_t at) const
{
    if (layout_.cluster_bytes == 0)
        return false;
    const std::uint64_t cluster = at / layout_.cluster_bytes;
    return (cluster < layout_.clusters && !used(cluster)) || in_tail(at, 1);
}

bool ntfs_cluster_map_c::any_searchable(std::uint64_t at, std::uint64_t bytes) const
{
    if (layout_.cluster_bytes == 0 || bytes == 0)
        return false;
    const std::uint64_t first = at / layout_.cluster_bytes;
    const std::uint64_t count = (at + bytes - 1) / layout_.cluster_bytes - first + 1;
    const std::uint64_t inside = first >= layout_.clusters ? 0 : std::min(count, layout_.clusters - first);
    return used_in(first, count) < inside || in_tail(at, bytes);
}

} // namespace tarn
