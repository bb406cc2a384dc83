#include "partition/found_partition_volume.h"

#include "platform/found_volume.h"
#include "platform/physical_drives.h"
#include "platform/volume_registry.h"

namespace tarn {

namespace {

// What names a volume by disk and partition numbers (the NTFS engine does) reaches a find through
// the number it is kept under for this run.
void register_number(volume_item_s& volume)
{
    if (const std::optional<device_location_s> location = locate_found_volume(volume.volume_path))
        volume.partition_number = register_found_volume(volume.volume_path, *location);
}

} // namespace

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
    register_number(volume);
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
    register_number(volume);
    return volume;
}

} // namespace tarn
