#include "partition/gpt_entries.h"

#include "platform/byte_source.h"

#include <algorithm>

namespace tarn {

namespace {

gpt_entry_s read_entry(std::span<const std::byte> at, std::size_t slot)
{
    gpt_entry_s e;
    e.slot = slot;
    std::copy_n(at.begin(), e.type.size(), e.type.begin());
    std::copy_n(at.begin() + 16, e.unique.size(), e.unique.begin());
    e.first_lba = load_le64(at, 32);
    e.last_lba = load_le64(at, 40);
    std::copy_n(at.begin(), e.bytes.size(), e.bytes.begin());
    return e;
}

} // namespace

std::vector<gpt_entry_s> used_gpt_entries(std::span<const std::byte> array, const gpt_header_s& header)
{
    std::vector<gpt_entry_s> out;
    if (array.size() < header.array_bytes() || header.entry_bytes < gpt_new_entry_bytes)
        return out;
    for (std::size_t slot = 0; slot < header.entry_count; ++slot) {
        const auto at = array.subspan(slot * header.entry_bytes, header.entry_bytes);
        if (std::ranges::any_of(at.first(16), [](std::byte b) { return b != std::byte{0}; }))
            out.push_back(read_entry(at, slot));
    }
    return out;
}

bool gpt_entries_sound(std::span<const gpt_entry_s> entries, std::uint64_t first_usable, std::uint64_t last_usable)
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
    for (const gpt_entry_s& e : entries) {
        if (e.first_lba > e.last_lba || e.first_lba < first_usable || e.last_lba > last_usable)
            return false;
        extents.emplace_back(e.first_lba, e.last_lba);
    }
    std::ranges::sort(extents);
    for (std::size_t i = 1; i < extents.size(); ++i)
        if (extents[i].first <= extents[i - 1].second)
            return false;
    return true;
}

gpt_entry_bytes_s build_gpt_entry(const guid_s& type, const guid_s& unique, std::uint64_t first_lba,
                                  std::uint64_t last_lba)
{
    gpt_entry_bytes_s out{};
    std::ranges::copy(type, out.begin());
    std::ranges::copy(unique, out.begin() + 16);
    store_le64(out, 32, first_lba);
    store_le64(out, 40, last_lba);
    return out;
}

} // namespace tarn
