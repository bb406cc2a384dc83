#pragma once
// Disk images for the partition tests, made with the real tools (sfdisk, mkntfs, mkfs.fat,
// mtools) in sparse files.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "partition/partition_item.h"

#include <cstdint>
#include <ostream>

namespace tarn {
// Readable failures for lists of finds.
void PrintTo(const partition_item_s& p, std::ostream* os);
} // namespace tarn

namespace tarn::test {

// Formats NTFS with mkntfs in a scratch file of `sectors` sectors (the volume's own start field
// says first_sector) and copies it into the image at that sector, keeping holes sparse.
int make_ntfs_in_image(const QString& image, std::uint64_t first_sector, std::uint64_t sectors,
                       const QString& label = {});

// Runs tool with args and a scratch file of `sectors` sectors as its last argument, then copies
// the file into the image at that sector, keeping holes sparse (for tools that cannot write at an
// offset: mkfs.exfat, mkfs.ext4).
int make_volume_in_image(const QString& image, std::uint64_t first_sector, std::uint64_t sectors, const QString& tool,
                         const QStringList& args);

// FAT32 with mkfs.fat in the window of an image, one sector per cluster so that even a small
// volume has the cluster count of FAT32 (mtools goes by that count).
int make_fat32_in_image(const QString& image, std::uint64_t first_sector, std::uint64_t sectors);

// The first `bytes` bytes of a fresh mkntfs volume (sectors long) / mkfs.fat FAT32 volume.
QByteArray real_ntfs_boot_sector(std::uint64_t sectors);
QByteArray real_fat32_boot_sectors();

// Writes bytes into an existing file at offset without changing its size otherwise.
int patch_file(const QString& path, std::uint64_t offset, const QByteArray& bytes);
QByteArray read_file_range(const QString& path, std::uint64_t offset, std::uint64_t bytes);

// Zeroes the four partition entries of sector 0.
int zero_partition_table(const QString& image);

// A disk of 200,000 sectors whose table is intact: FAT32 at 2048 (81900 sectors, active), a swap
// area at 86016 (40960 sectors, type 0x82) and a Linux entry (type 0x83, no file system) at 129024
// (20480 sectors). The search recognises only the FAT32 volume. 0 on success.
int make_intact_mixed_disk(const QString& image);

// A GPT disk of 200,000 sectors made by sgdisk with fixed GUIDs: NTFS at 2048 (16384 sectors)
// and FAT32 at 18432 (81900 sectors), both of the basic data type. 0 on success.
inline constexpr std::uint64_t gpt_disk_sectors = 200'000;
int make_gpt_disk(const QString& image);

// Zeroes `sectors` sectors from `first` on.
int zero_sectors(const QString& image, std::uint64_t first, std::uint64_t sectors);

// The lines of `mmls` that list partitions, each as "start end" in sectors, in the order listed.
QStringList mmls_partitions(const QString& image);

// The entries of `sfdisk --dump`, each as "N start size type" with " *" when active; empty
// when sfdisk fails.
QStringList dump_entries(const QString& image);

} // namespace tarn::test
