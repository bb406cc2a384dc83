#include "partition/gpt_header.h"

#include "platform/byte_source.h"

#include <zlib.h>

#include <algorithm>

namespace tarn {

namespace {

constexpr std::array<std::byte, 8> signature = {std::byte{'E'}, std::byte{'F'}, std::byte{'I'}, std::byte{' '},
                                                std::byte{'P'}, std::byte{'A'}, std::byte{'R'}, std::byte{'T'}};
constexpr std::size_t crc_at = 16;

struct region_s {
    std::uint64_t first;
    std::uint64_t count;
};

// Every part inside sectors 1 to disk_sectors - 1 (sector 0 is the MBR's), none overlapping.
bool disjoint_inside(std::span<const region_s> regions, std::uint64_t disk_sectors)
{
    for (std::size_t i = 0; i < regions.size(); ++i) {
        const region_s& a = regions[i];
        if (a.first == 0 || a.count == 0 || a.first >= disk_sectors || a.count > disk_sectors - a.first)
            return false;
        for (std::size_t j = 0; j < i; ++j) {
            const region_s& b = regions[j];
            if (a.first < b.first + b.count && b.first < a.first + a.count)
                return false;
        }
    }
    return true;
}

bool sound_layout(const gpt_header_s& h, std::uint64_t disk_sectors)
{
    if (h.alternate_lba >= disk_sectors || h.first_usable > h.last_usable || h.last_usable >= disk_sectors
        || h.entries_lba >= disk_sectors)
        return false;
    // One copy before the usable sectors and the other after them.
    const bool primary = h.my_lba < h.first_usable && h.alternate_lba > h.last_usable;
    const bool backup = h.my_lba > h.last_usable && h.alternate_lba < h.first_usable;
    const std::uint64_t n = h.array_sectors();
    if (!(primary || backup) || (primary && h.alternate_lba < n))
        return false;
    const region_s regions[] = {{h.my_lba, 1},
                                {h.entries_lba, n},
                                {h.alternate_lba, 1},
                                {h.mirror_entries_lba(), n},
                                {h.first_usable, h.last_usable - h.first_usable + 1}};
    return disjoint_inside(regions, disk_sectors);
}

} // namespace

std::uint32_t gpt_crc32(std::span<const std::byte> bytes)
{
    // The CRC-32 of zlib is the one GPT uses (polynomial 0x04C11DB7, reflected, inverted).
    uLong crc = crc32(0L, Z_NULL, 0);
    for (std::size_t at = 0; at < bytes.size();) {
        const auto piece = static_cast<uInt>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data() + at), piece);
        at += piece;
    }
    return static_cast<std::uint32_t>(crc);
}

std::optional<gpt_header_s> parse_gpt_header(std::span<const std::byte, sector_bytes> sector, std::uint64_t lba,
                                             std::uint64_t disk_sectors)
{
    if (!std::ranges::equal(sector.first(signature.size()), signature) || load_le32(sector, 8) >> 16 != 1)
        return std::nullopt;
    gpt_header_s h;
    h.header_bytes = load_le32(sector, 12);
    if (h.header_bytes < gpt_header_min_bytes || h.header_bytes > sector_bytes)
        return std::nullopt;
    std::array<std::byte, sector_bytes> zeroed{};
    std::ranges::copy(sector, zeroed.begin());
    store_le32(zeroed, crc_at, 0);
    if (gpt_crc32(std::span(zeroed).first(h.header_bytes)) != load_le32(sector, crc_at))
        return std::nullopt;
    h.my_lba = load_le64(sector, 24);
    h.alternate_lba = load_le64(sector, 32);
    h.first_usable = load_le64(sector, 40);
    h.last_usable = load_le64(sector, 48);
    std::copy_n(sector.begin() + 56, h.disk_guid.size(), h.disk_guid.begin());
    h.entries_lba = load_le64(sector, 72);
    h.entry_count = load_le32(sector, 80);
    h.entry_bytes = load_le32(sector, 84);
    h.entries_crc = load_le32(sector, 88);
    h.reserved.assign(sector.begin() + gpt_header_min_bytes, sector.begin() + h.header_bytes);
    if (h.my_lba != lba || h.entry_bytes < gpt_entry_min_bytes || h.entry_bytes % gpt_entry_min_bytes != 0
        || h.entry_count == 0 || h.array_bytes() > gpt_array_max_bytes || !sound_layout(h, disk_sectors))
        return std::nullopt;
    return h;
}

std::array<std::byte, sector_bytes> build_gpt_header(const gpt_header_s& h)
{
    std::array<std::byte, sector_bytes> out{};
    std::ranges::copy(signature, out.begin());
    store_le32(out, 8, gpt_revision);
    store_le32(out, 12, h.header_bytes);
    store_le64(out, 24, h.my_lba);
    store_le64(out, 32, h.alternate_lba);
    store_le64(out, 40, h.first_usable);
    store_le64(out, 48, h.last_usable);
    std::ranges::copy(h.disk_guid, out.begin() + 56);
    store_le64(out, 72, h.entries_lba);
    store_le32(out, 80, h.entry_count);
    store_le32(out, 84, h.entry_bytes);
    store_le32(out, 88, h.entries_crc);
    const std::size_t reserved = std::min<std::size_t>(h.reserved.size(), sector_bytes - gpt_header_min_bytes);
    std::copy_n(h.reserved.begin(), reserved, out.begin() + gpt_header_min_bytes);
    const std::uint32_t covered = std::clamp<std::uint32_t>(h.header_bytes, gpt_header_min_bytes, sector_bytes);
    store_le32(out, crc_at, gpt_crc32(std::span(out).first(covered)));
    return out;
}

gpt_header_s mirrored_header(const gpt_header_s& header)
{
    gpt_header_s out = header;
    out.my_lba = header.alternate_lba;
    out.alternate_lba = header.my_lba;
    out.entries_lba = header.mirror_entries_lba();
    return out;
}

} // namespace tarn
