#include "scan/exfat_volume.h"

#include <algorithm>

namespace tarn {

namespace {

// Reads of a file's bytes go in steps this large: few calls, little memory.
constexpr std::uint64_t read_step = 1 << 20;

} // namespace

exfat_status_e exfat_volume_c::open(byte_source_c& source)
{
    source_ = &source;
    bitmap_ = nullptr;
    for (fat_block_s& block : fat_cache_)
        block.index = UINT64_MAX;
    const exfat_status_e status = read_exfat_boot(source, layout_);
    if (status != exfat_status_e::ok)
        return status;
    // Clusters past the source's end cannot be read: a volume cut short (an image of part of a
    // disk) is read as far as it goes, and nothing is sized by a count its bytes do not back.
    const std::uint64_t size = source.size();
    const std::uint64_t held = size > layout_.heap_offset ? (size - layout_.heap_offset) >> layout_.cluster_shift : 0;
    if (held < layout_.cluster_count)
        layout_.cluster_count = static_cast<std::uint32_t>(held);
    return layout_.in_heap(layout_.root_cluster) ? exfat_status_e::ok : exfat_status_e::damaged;
}

bool exfat_volume_c::fat_entry(std::uint32_t c, std::uint32_t& value)
{
    const std::uint64_t index = c / block_entries;
    fat_block_s& block = fat_cache_[index % cached_blocks];
    if (block.index != index) {
        block.index = UINT64_MAX;
        const std::uint64_t at = index * block_entries * 4;
        if (at >= layout_.fat_bytes)
            return false;
        block.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(block_entries * 4, layout_.fat_bytes - at)));
        if (source_->read_at(layout_.fat_offset + at, block.bytes) != static_cast<std::int64_t>(block.bytes.size()))
            return false;
        block.index = index;
    }
    const std::size_t at = (c % block_entries) * 4;
    if (at + 4 > block.bytes.size())
        return false;
    value = load_le32(block.bytes, at);
    return true;
}

bool exfat_volume_c::step(std::uint32_t c, exfat_layout_e layout, std::uint32_t& next, exfat_cut_e& cut)
{
    if (layout != exfat_layout_e::chain) {
        std::uint64_t n = std::uint64_t{c} + 1;
        if (layout == exfat_layout_e::guessed && bitmap_ != nullptr)
            n = bitmap_->next_free(n);
        if (!layout_.in_heap(n)) {
            cut = exfat_cut_e::heap_end;
            return false;
        }
        next = static_cast<std::uint32_t>(n);
        return true;
    }
    std::uint32_t value = 0;
    if (!fat_entry(c, value)) {
        cut = exfat_cut_e::io_error;
        return false;
    }
    if (value == exfat_fat_end)
        return false;
    if (!layout_.in_heap(value)) {
        cut = exfat_cut_e::broken;
        return false;
    }
    next = value;
    return true;
}

bool exfat_volume_c::read_runs(std::span<const exfat_run_s> runs, std::uint64_t limit, std::vector<std::byte>& out)
{
    for (const exfat_run_s& run : runs) {
        std::uint64_t at = layout_.cluster_offset(run.first);
        std::uint64_t left = std::min<std::uint64_t>(std::uint64_t{run.count} << layout_.cluster_shift, limit);
        limit -= left;
        while (left > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min(left, read_step));
            const std::size_t old = out.size();
            out.resize(old + n);
            const std::int64_t got = source_->read_at(at, std::span<std::byte>(out).subspan(old));
            if (got != static_cast<std::int64_t>(n)) {
                out.resize(old + static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
                return false;
            }
            at += n;
            left -= n;
        }
        if (limit == 0)
            break;
    }
    return true;
}

} // namespace tarn
