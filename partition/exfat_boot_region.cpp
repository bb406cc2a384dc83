#include "partition/exfat_boot_region.h"

#include "platform/byte_source.h"

#include <algorithm>
#include <cstring>

namespace tarn {

namespace {

std::uint32_t region_checksum(std::span<const std::byte> region)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 11 * sector_bytes; ++i) {
        if (i == 106 || i == 107 || i == 112) // the volume flags and the percent in use change
            continue;
        sum = ((sum & 1) != 0 ? 0x80000000u : 0u) + (sum >> 1) + std::to_integer<std::uint32_t>(region[i]);
    }
    return sum;
}

bool checksum_holds(std::span<const std::byte> region)
{
    const std::uint32_t sum = region_checksum(region);
    for (std::size_t at = 11 * sector_bytes; at < 12 * sector_bytes; at += 4)
        if (load_le32(region, at) != sum)
            return false;
    return true;
}

} // namespace

std::optional<exfat_boot_s> exfat_boot(std::span<const std::byte> sectors)
{
    if (sectors.size() < sector_bytes || std::memcmp(sectors.data() + 3, "EXFAT   ", 8) != 0
        || sectors[510] != std::byte{0x55} || sectors[511] != std::byte{0xAA}
        || std::any_of(sectors.begin() + 11, sectors.begin() + 64, [](std::byte b) { return b != std::byte{0}; }))
        return std::nullopt;
    const unsigned sector_shift = std::to_integer<unsigned>(sectors[108]);
    const unsigned cluster_shift = std::to_integer<unsigned>(sectors[109]);
    const unsigned fats = std::to_integer<unsigned>(sectors[110]);
    // Sectors of 512 bytes to 4 KiB, clusters up to 32 MiB, one or two FATs.
    if (sector_shift < 9 || sector_shift > 12 || sector_shift + cluster_shift > 25 || (fats != 1 && fats != 2))
        return std::nullopt;
    const unsigned scale = sector_shift - 9; // the volume's sectors in 512-byte sectors
    exfat_boot_s boot;
    const std::uint64_t length = load_le64(sectors, 72);
    boot.fat_at = std::uint64_t{load_le32(sectors, 80)} << scale;
    boot.heap_at = std::uint64_t{load_le32(sectors, 88)} << scale;
    boot.cluster_sectors = std::uint64_t{1} << (cluster_shift + scale);
    boot.root_cluster = load_le32(sectors, 96);
    const std::uint64_t clusters = load_le32(sectors, 92);
    if (length == 0 || length > (UINT64_MAX >> 3) || load_le32(sectors, 80) < 24 || load_le32(sectors, 84) == 0
        || boot.heap_at <= boot.fat_at || boot.root_cluster < 2 || boot.root_cluster >= clusters + 2)
        return std::nullopt;
    boot.length = length << scale;
    if (boot.heap_at > boot.length || clusters > (boot.length - boot.heap_at) / boot.cluster_sectors)
        return std::nullopt;
    if (scale == 0 && sectors.size() >= exfat_region_sectors * sector_bytes && !checksum_holds(sectors))
        return std::nullopt;
    return boot;
}

bool exfat_fat_start(std::span<const std::byte> sector)
{
    return sector.size() >= 8 && load_le32(sector, 0) == 0xFFFFFFF8u && load_le32(sector, 4) == 0xFFFFFFFFu;
}

QString exfat_label(std::span<const std::byte> entries)
{
    for (std::size_t at = 0; at + 32 <= entries.size(); at += 32) {
        const auto type = std::to_integer<unsigned>(entries[at]);
        if (type == 0)
            break; // the end of the folder
        if (type != 0x83)
            continue;
        const unsigned count = std::min(11u, std::to_integer<unsigned>(entries[at + 1]));
        QString label;
        for (unsigned i = 0; i < count; ++i)
            label += QChar(load_le16(entries, at + 2 + 2 * i));
        return label;
    }
    return {};
}

} // namespace tarn
