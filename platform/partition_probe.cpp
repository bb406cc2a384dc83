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
    if (fs.type == QLatin1String("FAT32"))
        fs.free_bytes = fat32_free_bytes(input, offset, size);
    else if (fs.type == QLatin1String("FAT16") || fs.type == QLatin1String("FAT12"))
        fs.free_bytes = fat16_free_bytes(input, offset, size, fs.type == QLatin1String("FAT16") ? 16 : 12);
    return fs;
}

} // namespace tarn
