#include "partition/boot_sector.h"

#include "platform/byte_source.h"

#include <bit>
#include <cstring>
#include <limits>

namespace tarn {

namespace {

constexpr std::size_t boot_signature_at = 510;

bool bytes_equal(std::span<const std::byte> b, std::size_t at, const char* text, std::size_t n)
{
    return std::memcmp(b.data() + at, text, n) == 0;
}

bool has_boot_signature(std::span<const std::byte> b, std::size_t sector_at)
{
    return b[sector_at + boot_signature_at] == std::byte{0x55} && b[sector_at + boot_signature_at + 1] == std::byte{0xAA};
}

// Windows writes "MSWIN4.1" or "MSDOS5.0"; the last three bytes vary between versions.
bool has_windows_oem_name(std::span<const std::byte> b)
{
    return bytes_equal(b, 3, "MSWIN", 5) || bytes_equal(b, 3, "MSDOS", 5);
}

// Linux, cameras and phones write other OEM names ("mkfs.fat", "EXFAT   ", a maker's name), so
// a sector whose parameter block describes a plausible FAT32 volume counts whatever its name.
bool has_sound_fat32_parameters(std::span<const std::byte> b)
{
    const unsigned sectors_per_cluster = std::to_integer<unsigned>(b[13]);
    const unsigned fat_count = std::to_integer<unsigned>(b[16]);
    return load_le16(b, 11) == 512
        && sectors_per_cluster != 0 && std::has_single_bit(sectors_per_cluster)
        && load_le16(b, 14) >= 1                       // reserved sectors hold the boot sector
        && (fat_count == 1 || fat_count == 2)
        && load_le16(b, 17) == 0                       // FAT32 keeps its root in a cluster chain
        && load_le16(b, 22) == 0 && load_le32(b, 36) > 0 // FAT size lives in the 32-bit field
        && load_le32(b, 44) >= 2                       // clusters 0 and 1 are reserved
        && load_le32(b, 32) > 0
        && bytes_equal(b, 82, "FAT32   ", 8);
}

} // namespace

bool is_ntfs_boot(std::span<const std::byte> sector)
{
    return sector.size() >= sector_bytes && has_boot_signature(sector, 0) && bytes_equal(sector, 3, "NTFS    ", 8);
}

bool is_fat32_boot(std::span<const std::byte> sectors)
{
    if (sectors.size() < 2 * sector_bytes || !has_boot_signature(sectors, 0) || !has_boot_signature(sectors, sector_bytes))
        return false;
    return has_windows_oem_name(sectors) || has_sound_fat32_parameters(sectors);
}

std::optional<partition_item_s> partition_at(std::span<const std::byte> sectors, std::uint64_t start)
{
    partition_item_s item;
    std::uint64_t length = 0;
    if (is_ntfs_boot(sectors)) {
        // The NTFS count leaves out the backup boot sector that follows the volume. A count of 0
        // describes no volume, and the largest count wraps to 0 when the backup is added.
        const std::uint64_t total = load_le64(sectors, 0x28);
        if (total == 0)
            return std::nullopt;
        length = total + 1;
        item.fs_name = QStringLiteral("NTFS");
        item.type = type_ntfs;
    } else if (is_fat32_boot(sectors)) {
        length = load_le32(sectors, 0x20);
        item.fs_name = QStringLiteral("FAT32");
        item.type = type_fat32;
    } else {
        return std::nullopt;
    }
    // A zero length would leave the search where it is; an end past the largest sector number
    // has no representation.
    if (length == 0 || length - 1 > std::numeric_limits<std::uint64_t>::max() - start)
        return std::nullopt;
    item.start_sector = start;
    item.end_sector = start + length - 1;
    return item;
}

} // namespace tarn
