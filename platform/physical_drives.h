#pragma once
// The machine's whole disks in a stable order. In image mode (TARN_DISKS holds a
// colon-separated list of image files or block devices) those are the disks, in that order,
// instead of the machine's; one that cannot be read is left out and said so. Images opened in this run (opened_images.h) follow either.

#include "platform/disk_geometry.h"

#include <QString>
#include <QStringList>

namespace tarn {

bool image_mode();
// In image mode, why each image of TARN_DISKS that cannot be read is left out ("path: reason");
// the disks after it move up a place, in every list alike.
QStringList image_mode_refusals();
// Every whole disk the platform knows, in physical-drive order.
QStringList physical_drive_paths();
// The name of physical disk n, or an empty text when there is no such disk.
QString physical_drive_path(int n);
// Position of a whole-disk path in the physical-drive order, -1 when not listed.
int physical_drive_index(const QString& path);

// What a query-only handle tells of a disk, without needing the right to read it: a system disk
// answers from sysfs (a disk the user may not read is still a disk, and must not end the list);
// an image file, or any path in image mode, is opened. 0 on success, -1 when there is no medium.
int query_disk(const QString& path, std::uint64_t& size, disk_geometry_s& geometry);

} // namespace tarn
