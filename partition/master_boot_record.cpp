#include "partition/master_boot_record.h"

#include "platform/byte_source.h"

#include <algorithm>

namespace tarn {

chs_s chs_encode(std::uint64_t sector, std::uint32_t sectors_per_track, std::uint32_t heads)
{
    if (sectors_per_track == 0 || heads == 0)
        return {};
    // Signed 32-bit arithmetic truncating towards zero, as the tables written by other tools for
    // the same geometry expect.
    const auto l = static_cast<std::int32_t>(static_cast<std::uint32_t>(sector));
    const auto s = static_cast<std::int64_t>(sectors_per_track);
    const auto h = static_cast<std::int64_t>(heads);
    const std::int64_t sector_number = l % s + 1;
    const std::int64_t track = l / s;
    const std::int64_t head = track % h;
    const std::int64_t cylinder = track / h;
    return {static_cast<std::byte>(head & 0xFF),
            static_cast<std::byte>((sector_number & 0xFF) | ((cylinder >> 2) & 0xC0)),
            static_cast<std::byte>(cylinder & 0xFF)};
}

entry_bytes_s encode_entry(const partition_item_s& p, bool active, std::uint32_t sectors_per_track,
                           std::uint32_t heads)
{
    const chs_s first = chs_encode(p.start_sector, sectors_per_track, heads);
    const chs_s last = chs_encode(p.end_sector, sectors_per_track, heads);
    const auto start32 = static_cast<std::uint32_t>(p.start_sector);
    const auto end32 = static_cast<std::uint32_t>(p.end_sector);
    entry_bytes_s entry{};
    entry[0] = active ? std::byte{0x80} : std::byte{0x00};
    std::copy(first.begin(), first.end(), entry.begin() + 1);
    entry[4] = static_cast<std::byte>(p.type & 0xFF);
    std::copy(last.begin(), last.end(), entry.begin() + 5);
    store_le32(entry, 8, start32);
    store_le32(entry, 12, end32 - start32 + 1);
    return entry;
}

sector_s build_master_boot_record(std::span<const std::byte, sector_bytes> current, const table_entries_s& entries)
{
    sector_s out{};
    std::copy(current.begin(), current.end(), out.begin());
    const auto code = boot_code();
    std::copy(code.begin(), code.end(), out.begin());
    for (std::size_t i = 0; i < partition_entries; ++i)
        std::copy(entries[i].begin(), entries[i].end(), out.begin() + partition_table_at + i * partition_entry_bytes);
    out[510] = std::byte{0x55};
    out[511] = std::byte{0xAA};
    return out;
}

} // namespace tarn
