#include "scan/exfat_boot.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace tarn {

namespace {

constexpr std::uint32_t min_sector_shift = 9;
constexpr std::uint32_t max_sector_shift = 12;
constexpr std::uint32_t max_cluster_shift = 25; // 32 MiB
constexpr std::uint32_t max_clusters = 0xFFFFFFF5;
constexpr std::size_t boot_sector_bytes = 512; // the fields all lie in the first 512 bytes

std::uint8_t byte_at(std::span<const std::byte> b, std::size_t at)
{
    return std::to_integer<std::uint8_t>(b[at]);
}

bool names_exfat(std::span<const std::byte> sector)
{
    static constexpr char name[] = "EXFAT   ";
    for (std::size_t i = 0; i < 8; ++i)
        if (byte_at(sector, 3 + i) != static_cast<std::uint8_t>(name[i]))
            return false;
    return true;
}

// The layout of a boot sector, when its fields agree with one another: the FAT lies after the
// boot regions and before the heap, holds an entry for every cluster, and the heap lies within
// the volume. All arithmetic is 64-bit, so a crafted field cannot wrap a count.
std::optional<exfat_layout_s> parse_boot_sector(std::span<const std::byte> s)
{
    if (!names_exfat(s) || load_le16(s, 510) != 0xAA55)
        return std::nullopt;
    // Where FAT keeps its parameter block, exFAT keeps zeros: a FAT volume never passes.
    if (std::any_of(s.begin() + 11, s.begin() + 64, [](std::byte b) { return b != std::byte{0}; }))
        return std::nullopt;
    exfat_layout_s l;
    l.sector_shift = byte_at(s, 108);
    const std::uint32_t per_cluster_shift = byte_at(s, 109);
    l.fat_count = byte_at(s, 110);
    if (l.sector_shift < min_sector_shift || l.sector_shift > max_sector_shift
        || per_cluster_shift > max_cluster_shift - l.sector_shift || (l.fat_count != 1 && l.fat_count != 2))
        return std::nullopt;
    l.cluster_shift = l.sector_shift + per_cluster_shift;
    const std::uint64_t volume_sectors = load_le64(s, 72);
    const std::uint64_t fat_sector = load_le32(s, 80);
    const std::uint64_t fat_sectors = load_le32(s, 84);
    const std::uint64_t heap_sector = load_le32(s, 88);
    l.cluster_count = load_le32(s, 92);
    l.root_cluster = load_le32(s, 96);
    l.serial = load_le32(s, 100);
    l.active_fat = (load_le16(s, 106) & 1) != 0 && l.fat_count == 2 ? 1 : 0;
    if (volume_sectors >> (64 - max_sector_shift) != 0 || fat_sector < 2 * exfat_boot_sectors || fat_sectors == 0
        || l.cluster_count == 0 || l.cluster_count > max_clusters)
        return std::nullopt;
    const std::uint64_t fat_entries_sectors = ((std::uint64_t{l.cluster_count} + 2) * 4 + (1u << l.sector_shift) - 1) >> l.sector_shift;
    const std::uint64_t heap_clusters_sectors = std::uint64_t{l.cluster_count} << per_cluster_shift;
    if (fat_sectors < fat_entries_sectors || fat_sector + fat_sectors * l.fat_count > heap_sector
        || heap_sector > volume_sectors || heap_clusters_sectors > volume_sectors - heap_sector)
        return std::nullopt;
    l.volume_bytes = volume_sectors << l.sector_shift;
    l.fat_bytes = fat_sectors << l.sector_shift;
    l.fat_offset = (fat_sector << l.sector_shift) + l.active_fat * l.fat_bytes;
    l.heap_offset = heap_sector << l.sector_shift;
    if (!l.in_heap(l.root_cluster))
        return std::nullopt;
    return l;
}

struct copy_s {
    std::optional<exfat_layout_s> layout;
    bool read = false;       // its boot sector could be read
    bool says_exfat = false; // it names itself exFAT, sound or not
    bool checksum_ok = false;
};

// One copy of the boot region at byte offset at, for a volume whose sectors are 1 << shift bytes
// (0: whatever its own boot sector says).
copy_s read_copy(byte_source_c& source, std::uint64_t at, std::uint32_t shift)
{
    copy_s copy;
    std::vector<std::byte> sector(boot_sector_bytes);
    if (source.read_at(at, sector) != static_cast<std::int64_t>(sector.size()))
        return copy;
    copy.read = true;
    copy.says_exfat = names_exfat(sector);
    copy.layout = parse_boot_sector(sector);
    if (!copy.layout || (shift != 0 && copy.layout->sector_shift != shift)) {
        copy.layout.reset();
        return copy;
    }
    const std::size_t sector_bytes = std::size_t{1} << copy.layout->sector_shift;
    std::vector<std::byte> region(sector_bytes * exfat_boot_sectors);
    if (source.read_at(at, region) != static_cast<std::int64_t>(region.size()))
        return copy;
    const std::uint32_t sum = exfat_boot_checksum(region, sector_bytes);
    const std::span<const std::byte> stored = std::span<const std::byte>(region).subspan(sector_bytes * 11);
    copy.checksum_ok = true;
    for (std::size_t i = 0; i + 4 <= stored.size(); i += 4)
        copy.checksum_ok = copy.checksum_ok && load_le32(stored, i) == sum;
    return copy;
}

} // namespace

std::uint32_t exfat_boot_checksum(std::span<const std::byte> region, std::size_t sector_bytes)
{
    std::uint32_t sum = 0;
    const std::size_t end = std::min(region.size(), sector_bytes * 11);
    for (std::size_t i = 0; i < end; ++i) {
        if (i == 106 || i == 107 || i == 112)
            continue;
        sum = exfat_sum32(sum, region[i]);
    }
    return sum;
}

exfat_status_e read_exfat_boot(byte_source_c& source, exfat_layout_s& out)
{
    const copy_s main = read_copy(source, 0, 0);
    // The backup lies 12 sectors in; when the main copy cannot tell the sector size, each size
    // is tried, and the backup must give the same one itself.
    copy_s backup;
    if (main.layout) {
        backup = read_copy(source, std::uint64_t{exfat_boot_sectors} << main.layout->sector_shift, main.layout->sector_shift);
    } else {
        for (std::uint32_t shift = min_sector_shift; shift <= max_sector_shift && !backup.layout; ++shift) {
            copy_s tried = read_copy(source, std::uint64_t{exfat_boot_sectors} << shift, shift);
            if (tried.layout || !backup.read)
                backup = tried;
        }
    }
    const copy_s* chosen = main.layout && main.checksum_ok       ? &main
                           : backup.layout && backup.checksum_ok ? &backup
                           : main.layout                         ? &main
                           : backup.layout                       ? &backup
                                                                 : nullptr;
    if (chosen == nullptr) {
        if (!main.read && !backup.read)
            return exfat_status_e::io_error;
        return main.says_exfat || backup.says_exfat ? exfat_status_e::damaged : exfat_status_e::not_exfat;
    }
    out = *chosen->layout;
    out.from_backup = chosen == &backup;
    out.checksum_ok = chosen->checksum_ok;
    return exfat_status_e::ok;
}

} // namespace tarn
