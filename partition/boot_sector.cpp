#include "partition/boot_sector.h"

#include "partition/exfat_boot_region.h"
#include "platform/byte_source.h"

#include <QString>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

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

// The label in a FAT boot sector's extended parameter block (at `at`, after its signature
// 0x29); empty without one, or for the name formatting tools write when none was given.
QString fat_label(std::span<const std::byte> b, std::size_t signature_at, std::size_t at)
{
    if (b[signature_at] != std::byte{0x29})
        return {};
    const QString label = QString::fromLatin1(reinterpret_cast<const char*>(b.data() + at), 11).trimmed();
    return label == QLatin1String("NO NAME") ? QString() : label;
}

std::vector<std::byte> read_sectors(const sector_reader& read, std::uint64_t sector, std::uint64_t count)
{
    std::vector<std::byte> out(count * sector_bytes);
    if (!read || !read(sector, out))
        out.clear();
    return out;
}

// The NTFS volume name, from the resident $VOLUME_NAME attribute of record 3 of the MFT.
QString ntfs_label(std::span<const std::byte> record)
{
    if (record.size() < 48 || std::memcmp(record.data(), "FILE", 4) != 0)
        return {};
    for (std::size_t at = load_le16(record, 0x14); at + 24 <= record.size();) {
        const std::uint32_t type = load_le32(record, at);
        const std::uint32_t length = load_le32(record, at + 4);
        if (type == 0xFFFFFFFFu || length < 24 || length > record.size() - at)
            break;
        if (type == 0x60 && record[at + 8] == std::byte{0}) { // resident
            const std::uint32_t size = load_le32(record, at + 16);
            const std::size_t value = at + load_le16(record, at + 20);
            if (value > record.size() || size > record.size() - value)
                break;
            QString name;
            for (std::size_t i = 0; i + 1 < size; i += 2)
                name += QChar(load_le16(record, value + i));
            return name;
        }
        at += length;
    }
    return {};
}

// Where the $MFT lies from the volume's start, and how large one record is; 0 when the boot
// sector does not say.
std::uint64_t ntfs_mft_sector(std::span<const std::byte> b, std::uint64_t& record_bytes)
{
    const unsigned raw = std::to_integer<unsigned>(b[13]);
    // Up to 128 sectors as a count; larger clusters as a negative power of two.
    const std::uint64_t cluster_sectors = raw <= 0x80 ? raw : (raw >= 0xF0 ? std::uint64_t{1} << (256 - raw) : 0);
    const auto per_record = static_cast<std::int8_t>(std::to_integer<unsigned>(b[0x40]));
    record_bytes = per_record > 0 ? cluster_sectors * sector_bytes * static_cast<std::uint64_t>(per_record)
                                  : (per_record < -31 ? 0 : std::uint64_t{1} << -per_record);
    const std::uint64_t lcn = load_le64(b, 0x30);
    if (load_le16(b, 11) != sector_bytes || cluster_sectors == 0 || lcn > UINT64_MAX / 128 / cluster_sectors
        || record_bytes < sector_bytes || record_bytes > 4096)
        return 0;
    return lcn * cluster_sectors;
}

bool is_mft_record(const sector_reader& read, std::uint64_t sector)
{
    const std::vector<std::byte> first = read_sectors(read, sector, 1);
    return !first.empty() && std::memcmp(first.data(), "FILE", 4) == 0;
}

// An NTFS boot sector at start: the main one, or the copy in the volume's last sector when the
// MFT is found only where the copy's volume would begin.
bool ntfs_at(std::span<const std::byte> b, std::uint64_t start, const sector_reader& read, partition_item_s& item,
             std::uint64_t& length)
{
    // The NTFS count leaves out the backup boot sector that follows the volume. A count of 0
    // describes no volume, and the largest count wraps to 0 when the backup is added.
    const std::uint64_t total = load_le64(b, 0x28);
    if (total == 0)
        return false;
    length = total + 1;
    item.fs_name = QStringLiteral("NTFS");
    item.type = type_ntfs;
    item.start_sector = start;
    std::uint64_t record_bytes = 0;
    const std::uint64_t mft = ntfs_mft_sector(b, record_bytes);
    if (mft == 0 || !read)
        return true;
    if (!is_mft_record(read, start + mft) && start >= total && is_mft_record(read, start - total + mft))
        item.start_sector = start - total;
    item.label = ntfs_label(read_sectors(read, item.start_sector + mft + 3 * record_bytes / sector_bytes,
                                         record_bytes / sector_bytes));
    return true;
}

// An exFAT boot region at start: the main one, or the backup twelve sectors on when the FAT is
// found only where the backup's volume would begin. The checksum is taken over the whole region,
// read from the disk when the sectors at hand end before it.
bool exfat_at(std::span<const std::byte> b, std::uint64_t start, const sector_reader& read, partition_item_s& item,
              std::uint64_t& length)
{
    std::vector<std::byte> region;
    if (b.size() < exfat_region_sectors * sector_bytes)
        region = read_sectors(read, start, exfat_region_sectors);
    const std::optional<exfat_boot_s> boot = exfat_boot(region.empty() ? b : std::span<const std::byte>(region));
    if (!boot)
        return false;
    length = boot->length;
    item.fs_name = QStringLiteral("exFAT");
    item.type = type_ntfs;
    item.start_sector = start;
    if (!read)
        return true;
    if (!exfat_fat_start(read_sectors(read, start + boot->fat_at, 1)) && start >= exfat_region_sectors
        && exfat_fat_start(read_sectors(read, start - exfat_region_sectors + boot->fat_at, 1)))
        item.start_sector = start - exfat_region_sectors;
    const std::uint64_t root = item.start_sector + boot->heap_at + (boot->root_cluster - 2) * boot->cluster_sectors;
    item.label = exfat_label(read_sectors(read, root, std::min<std::uint64_t>(boot->cluster_sectors, 8)));
    return true;
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

std::optional<QString> fat12_16_kind(std::span<const std::byte> b)
{
    if (b.size() < sector_bytes || !has_boot_signature(b, 0) || load_le16(b, 11) != sector_bytes
        || !bytes_equal(b, 54, "FAT", 3))
        return std::nullopt;
    const unsigned cluster_sectors = std::to_integer<unsigned>(b[13]);
    const unsigned fats = std::to_integer<unsigned>(b[16]);
    const std::uint64_t reserved = load_le16(b, 14);
    const std::uint64_t root_entries = load_le16(b, 17);
    const std::uint64_t fat_sectors = load_le16(b, 22);
    const std::uint64_t total = load_le16(b, 19) != 0 ? load_le16(b, 19) : load_le32(b, 32);
    if (cluster_sectors == 0 || !std::has_single_bit(cluster_sectors) || reserved == 0 || (fats != 1 && fats != 2)
        || root_entries == 0 || root_entries * 32 % sector_bytes != 0 || fat_sectors == 0
        || std::to_integer<unsigned>(b[21]) < 0xF0)
        return std::nullopt;
    const std::uint64_t before_data = reserved + fats * fat_sectors + root_entries * 32 / sector_bytes;
    if (total <= before_data)
        return std::nullopt;
    const std::uint64_t clusters = (total - before_data) / cluster_sectors;
    if (clusters >= 65525) // the count of FAT32, whose parameter block differs
        return std::nullopt;
    return clusters < 4085 ? QStringLiteral("FAT12") : QStringLiteral("FAT16");
}

std::optional<partition_item_s> partition_at(std::span<const std::byte> sectors, std::uint64_t start,
                                             const sector_reader& read)
{
    partition_item_s item;
    item.start_sector = start;
    std::uint64_t length = 0;
    if (is_ntfs_boot(sectors)) {
        if (!ntfs_at(sectors, start, read, item, length))
            return std::nullopt;
    } else if (is_fat32_boot(sectors)) {
        length = load_le32(sectors, 0x20);
        item.fs_name = QStringLiteral("FAT32");
        item.type = type_fat32;
        item.label = fat_label(sectors, 66, 71);
    } else if (const std::optional<QString> kind = fat12_16_kind(sectors)) {
        length = load_le16(sectors, 19) != 0 ? load_le16(sectors, 19) : load_le32(sectors, 32);
        item.fs_name = *kind;
        item.type = *kind == QLatin1String("FAT12") ? type_fat12 : type_fat16;
        item.label = fat_label(sectors, 38, 43);
    } else if (!exfat_at(sectors, start, read, item, length)) {
        return std::nullopt;
    }
    // A zero length would leave the search where it is; an end past the largest sector number
    // has no representation.
    if (length == 0 || length - 1 > std::numeric_limits<std::uint64_t>::max() - item.start_sector)
        return std::nullopt;
    item.end_sector = item.start_sector + length - 1;
    return item;
}

} // namespace tarn
