#pragma once
// Disk images for the page tests, made with sfdisk, mkntfs and mkfs.fat: a disk whose NTFS and
// FAT32 partitions are still there but whose partition table was zeroed.

#include "disk/drive_item.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace tarn::test {

// NTFS at sectors 2048..18431 and FAT32 at 18432..100331 in a sparse image of `bytes` bytes
// (at least 200,000 sectors), the four table entries zeroed. 0 on success.
int make_lost_partitions_image(const QString& image, std::uint64_t bytes);

// The drive record the drive list makes for the image (whole cylinders, real geometry).
drive_item_s image_drive(const QString& image);

QByteArray sector0(const QString& image);

} // namespace tarn::test
