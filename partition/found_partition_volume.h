#pragma once
// A partition the search found, as a volume the file scan and the deep scan take: read through a
// window of its disk, nothing written.

#include "disk/drive_item.h"
#include "disk/volume_item.h"
#include "partition/partition_item.h"

#include <optional>

namespace tarn {

volume_item_s found_partition_volume(const drive_item_s& drive, const partition_item_s& find);
// The volume a found-partition name (a scan file's volume) opens, its file system not known;
// nothing for any other name or one that opens nothing here.
std::optional<volume_item_s> found_partition_volume(const QString& volume_path);

} // namespace tarn
