#include "partition/found_partition_volume.h"

#include "platform/found_volume.h"
#include "platform/physical_drives.h"

namespace tarn {

volume_item_s found_partition_volume(const drive_item_s& drive, const partition_item_s& find)
{
    volume_item_s volume;
    volume.volume_path = found_volume_path(drive.path, find.start_sector, find.length_sectors());
    // The name opens the volume too: the engines and the target-folder check take it as they
    // take a partition's device.
    volume.device = volume.volume_path;
    volume.fs_name = find.fs_name;
    volume.total_bytes = find.size_bytes();
    volume.disk_number = physical_drive_index(drive.path);
    return volume;
}

std::optional<volume_item_s> found_partition_volume(const QString& volume_path)
{
    const std::optional<device_location_s> location = locate_found_volume(volume_path);
    if (!location)
        return std::nullopt;
    volume_item_s volume;
    volume.volume_path = volume_path;
    volume.device = volume_path;
    volume.total_bytes = location->length.value_or(0);
    volume.disk_number = location->disk_number;
    return volume;
}

} // namespace tarn
