#include "platform/partition_probe.h"

#include "platform/byte_source.h"
#include "platform/image_source.h"
#include "platform/probe_staging.h"

#include <QFile>

#include <array>
#include <memory>
#include <vector>

#include <blkid.h>
#include <fcntl.h>
#include <unistd.h>

namespace tarn {

namespace {

struct fd_closer {
    int fd;
    ~fd_closer()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Where a probe reads: the file itself, or the reader of an image in a container format, which
// libblkid is shown through a staged copy.
struct probe_input_s {
    fd_closer file{-1};
    std::shared_ptr<image_source_c> image;
    std::uint64_t size = 0;

    bool open(const QString& path)
    {
        QString error;
        image = open_container_image(path, error);
        if (image) {
            size = image->size();
            return true;
        }
        if (!error.isEmpty())
            return false;
        file.fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        const off_t end = file.fd >= 0 ? ::lseek(file.fd, 0, SEEK_END) : 0;
        size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
        return file.fd >= 0;
    }

    bool read(std::uint64_t at, std::span<std::byte> out) const
    {
        const auto want = static_cast<std::int64_t>(out.size());
        if (image)
            return image->read_at(at, out) == want;
        return ::pread(file.fd, out.data(), out.size(), static_cast<off_t>(at)) == want;
    }

    // The descriptor libblkid reads [offset, offset + length) from; staged owns a staged copy.
    int blkid_fd(std::uint64_t offset, std::uint64_t length, stage_e what, fd_closer& staged) const
    {
        if (!image)
            return file.fd;
        staged.fd = stage_probe_file(*image, offset, length, what);
        return staged.fd;
    }
};

struct probe_deleter {
    void operator()(blkid_struct_probe* p) const { blkid_free_probe(p); }
};
using probe_ptr = std::unique_ptr<blkid_struct_probe, probe_deleter>;

QString lookup(blkid_probe pr, const char* name)
{
    const char* value = nullptr;
    if (blkid_probe_lookup_value(pr, name, &value, nullptr) != 0 || value == nullptr)
        return {};
    return QString::fromUtf8(value);
}

QString program_fs_name(const QString& type, const QString& version)
{
    if (type == QLatin1String("ntfs"))
        return QStringLiteral("NTFS");
    if (type == QLatin1String("vfat") || type == QLatin1String("msdos"))
        return version.startsWith(QLatin1String("FAT")) ? version : QStringLiteral("FAT");
    if (type == QLatin1String("exfat"))
        return QStringLiteral("exFAT");
    return type;
}

// FAT32 keeps a free-cluster count in its FSInfo sector; 0xFFFFFFFF means "not known".
std::optional<std::uint64_t> fat32_free_bytes(const probe_input_s& input, std::uint64_t offset, std::uint64_t size)
{
    std::array<std::byte, 512> boot{};
    if (!input.read(offset, boot))
        return std::nullopt;
    const std::uint32_t bytes_per_sector = load_le16(boot, 11);
    const std::uint32_t sectors_per_cluster = std::to_integer<std::uint32_t>(boot[13]);
    const std::uint32_t fsinfo_sector = load_le16(boot, 48);
    if (bytes_per_sector < 512 || sectors_per_cluster == 0 || fsinfo_sector == 0 || fsinfo_sector == 0xFFFF)
        return std::nullopt;
    const std::uint64_t fsinfo_at = std::uint64_t{fsinfo_sector} * bytes_per_sector;
    std::array<std::byte, 512> info{};
    if (fsinfo_at + info.size() > size || !input.read(offset + fsinfo_at, info))
        return std::nullopt;
    if (load_le32(info, 0) != 0x41615252 || load_le32(info, 484) != 0x61417272)
        return std::nullopt;
    const std::uint32_t free_clusters = load_le32(info, 488);
    if (free_clusters == 0xFFFFFFFF)
        return std::nullopt;
    const std::uint64_t free_bytes = std::uint64_t{free_clusters} * sectors_per_cluster * bytes_per_sector;
    if (free_bytes > size)
        return std::nullopt;
    return free_bytes;
}

// FAT12 and FAT16 keep no free count, but their tables are small (at most 128 KiB): count the
// free entries of the clusters the volume really has.
std::optional<std::uint64_t> fat16_free_bytes(const probe_input_s& input, std::uint64_t offset, std::uint64_t size,
                                              unsigned bits)
{
    std::array<std::byte, 512> boot{};
    if (!input.read(offset, boot))
        return std::nullopt;
    const std::uint64_t bytes_per_sector = load_le16(boot, 11);
    const std::uint64_t sectors_per_cluster = std::to_integer<std::uint64_t>(boot[13]);
    const std::uint64_t reserved = load_le16(boot, 14);
    const std::uint64_t fats = std::to_integer<std::uint64_t>(boot[16]);
    const std::uint64_t root_sectors = bytes_per_sector ? (load_le16(boot, 17) * 32 + bytes_per_sector - 1) / bytes_per_sector : 0;
    const std::uint64_t total = load_le16(boot, 19) ? load_le16(boot, 19) : load_le32(boot, 32);
    const std::uint64_t fat_sectors = load_le16(boot, 22);
    const std::uint64_t meta = reserved + fats * fat_sectors + root_sectors;
    if (bytes_per_sector < 512 || sectors_per_cluster == 0 || reserved == 0 || fat_sectors == 0 || total <= meta
        || total * bytes_per_sector > size)
        return std::nullopt;
    const std::uint64_t clusters = (total - meta) / sectors_per_cluster;
    const std::uint64_t table_bytes = (clusters + 2) * bits / 8 + 2;
    if (clusters > 65524 || table_bytes > fat_sectors * bytes_per_sector)
        return std::nullopt;
    std::vector<std::byte> table(table_bytes);
    if (!input.read(offset + reserved * bytes_per_sector, table))
        return std::nullopt;
    std::uint64_t free_clusters = 0;
    for (std::uint64_t n = 2; n < clusters + 2; ++n) {
        std::uint32_t entry = bits == 16 ? load_le16(table, n * 2) : load_le16(table, n * 3 / 2);
        if (bits == 12)
            entry = n % 2 ? entry >> 4 : entry & 0xFFF;
        free_clusters += entry == 0;
    }
    return free_clusters * sectors_per_cluster * bytes_per_sector;
}

// exFAT keeps no free count, but its allocation bitmap is small (a bit per cluster): the root
// folder's first cluster names it, and its clusters are counted where the FAT links them one
// after another, as formatting lays them out. Anything else leaves the count unknown.
std::optional<std::uint64_t> exfat_free_bytes(const probe_input_s& input, std::uint64_t offset, std::uint64_t size)
{
    std::array<std::byte, 512> boot{};
    if (!input.read(offset, boot))
        return std::nullopt;
    const unsigned sector_shift = std::to_integer<unsigned>(boot[108]);
    const unsigned cluster_shift = sector_shift + std::to_integer<unsigned>(boot[109]);
    const std::uint64_t heap_at = std::uint64_t{load_le32(boot, 88)} << sector_shift;
    const std::uint64_t clusters = load_le32(boot, 92);
    const std::uint64_t root = load_le32(boot, 96);
    const unsigned active = (load_le16(boot, 106) & 1) != 0 && std::to_integer<unsigned>(boot[110]) == 2 ? 1 : 0;
    const std::uint64_t fat_at = (std::uint64_t{load_le32(boot, 80)} + active * std::uint64_t{load_le32(boot, 84)}) << sector_shift;
    if (sector_shift < 9 || sector_shift > 12 || cluster_shift > 25 || clusters == 0 || root < 2 || root >= clusters + 2
        || heap_at + (clusters << cluster_shift) > size)
        return std::nullopt;
    const auto cluster_at = [&](std::uint64_t c) { return offset + heap_at + ((c - 2) << cluster_shift); };
    std::vector<std::byte> entries(std::min<std::size_t>(std::size_t{1} << cluster_shift, 64 << 10));
    if (!input.read(cluster_at(root), entries))
        return std::nullopt;
    for (std::size_t at = 0; at + 32 <= entries.size() && entries[at] != std::byte{0}; at += 32) {
        if (entries[at] != std::byte{0x81} || (std::to_integer<unsigned>(entries[at + 1]) & 1) != active)
            continue;
        const std::uint64_t first = load_le32(entries, at + 20);
        const std::uint64_t bytes = (clusters + 7) / 8;
        const std::uint64_t span = (bytes + (1u << cluster_shift) - 1) >> cluster_shift;
        if (load_le64(entries, at + 24) < bytes || first < 2 || first + span > clusters + 2)
            return std::nullopt;
        std::vector<std::byte> links(span * 4);
        if (!input.read(offset + fat_at + first * 4, links))
            return std::nullopt;
        for (std::uint64_t i = 0; i + 1 < span; ++i)
            if (load_le32(links, i * 4) != first + i + 1)
                return std::nullopt;
        std::vector<std::byte> bitmap(bytes);
        if (!input.read(cluster_at(first), bitmap))
            return std::nullopt;
        std::uint64_t used = 0;
        for (std::uint64_t c = 0; c < clusters; ++c)
            used += (std::to_integer<unsigned>(bitmap[c / 8]) >> (c % 8)) & 1;
        return (clusters - used) << cluster_shift;
    }
    return std::nullopt;
}

using free_counter_fn = std::optional<std::uint64_t> (*)(const probe_input_s&, std::uint64_t, std::uint64_t);

// The file systems whose free space the probe counts, by the program's name for them.
const std::pair<const char*, free_counter_fn> free_counters[] = {
    {"FAT32", fat32_free_bytes},
    {"FAT16", [](const probe_input_s& in, std::uint64_t at, std::uint64_t size) { return fat16_free_bytes(in, at, size, 16); }},
    {"FAT12", [](const probe_input_s& in, std::uint64_t at, std::uint64_t size) { return fat16_free_bytes(in, at, size, 12); }},
    {"exFAT", exfat_free_bytes},
};

} // namespace

partition_table_s probe_partition_table(const QString& disk_path)
{
    partition_table_s table;
    probe_input_s input;
    if (!input.open(disk_path) || input.size < 512)
        return table;
    const std::uint64_t disk_size = input.size;
    fd_closer staged{-1};
    const int fd = input.blkid_fd(0, disk_size, stage_e::partition_table, staged);
    probe_ptr pr(blkid_new_probe());
    if (!pr || fd < 0 || blkid_probe_set_device(pr.get(), fd, 0, 0) != 0)
        return table;
    blkid_probe_enable_superblocks(pr.get(), 0);
    blkid_probe_enable_partitions(pr.get(), 1);
    blkid_partlist list = blkid_probe_get_partitions(pr.get());
    if (list == nullptr)
        return table;
    if (blkid_parttable root = blkid_partlist_get_table(list)) {
        table.type = QString::fromUtf8(blkid_parttable_get_type(root));
        if (const char* id = blkid_parttable_get_id(root))
            table.id = QString::fromUtf8(id);
    }
    const int count = blkid_partlist_numof_partitions(list);
    for (int i = 0; i < count; ++i) {
        blkid_partition part = blkid_partlist_get_partition(list, i);
        if (part == nullptr)
            continue;
        const auto start = blkid_partition_get_start(part);
        const auto length = blkid_partition_get_size(part);
        if (start < 0 || length <= 0)
            continue;
        if (blkid_partition_is_extended(part)) {
            table.extended_starts.push_back(static_cast<std::uint64_t>(start) * 512);
            continue;
        }
        partition_entry_s entry;
        entry.number = blkid_partition_get_partno(part);
        entry.start = static_cast<std::uint64_t>(start) * 512;
        if (entry.start >= disk_size)
            continue;
        entry.size = std::min(static_cast<std::uint64_t>(length) * 512, disk_size - entry.start);
        if (const char* uuid = blkid_partition_get_uuid(part))
            entry.uuid = QString::fromUtf8(uuid);
        table.entries.push_back(entry);
    }
    return table;
}

std::optional<filesystem_probe_s> probe_filesystem(const QString& path, std::uint64_t offset, std::uint64_t size)
{
    probe_input_s input;
    if (size < 512 || !input.open(path))
        return std::nullopt;
    fd_closer staged{-1};
    const int fd = input.blkid_fd(offset, size, stage_e::filesystem, staged);
    probe_ptr pr(blkid_new_probe());
    if (!pr || fd < 0
        || blkid_probe_set_device(pr.get(), fd, static_cast<blkid_loff_t>(offset), static_cast<blkid_loff_t>(size)) != 0)
        return std::nullopt;
    blkid_probe_enable_partitions(pr.get(), 0);
    blkid_probe_enable_superblocks(pr.get(), 1);
    blkid_probe_set_superblocks_flags(pr.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_VERSION | BLKID_SUBLKS_UUID);
    if (blkid_do_safeprobe(pr.get()) != 0)
        return std::nullopt;
    const QString type = lookup(pr.get(), "TYPE");
    if (type.isEmpty())
        return std::nullopt;
    filesystem_probe_s fs;
    fs.type = program_fs_name(type, lookup(pr.get(), "VERSION"));
    fs.label = lookup(pr.get(), "LABEL");
    fs.uuid = lookup(pr.get(), "UUID");
    for (const auto& [name, count] : free_counters)
        if (fs.type == QLatin1String(name))
            fs.free_bytes = count(input, offset, size);
    return fs;
}

} // namespace tarn
