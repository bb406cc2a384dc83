#include "disk/drive_enumeration.h"

#include "disk/volume_item.h"
#include "platform/physical_drives.h"

namespace tarn {

namespace {

constexpr int max_drives = 10;

} // namespace

std::vector<drive_item_s>& drive_list()
{
    static std::vector<drive_item_s> list;
    return list;
}

std::vector<drive_item_s> list_drives(const QStringList& paths)
{
    std::vector<drive_item_s> list(1);
    for (int n = 0; n < max_drives && n < paths.size(); ++n) {
        // A disk that cannot be measured ends the list, like a gap in the numbering.
        disk_geometry_s geometry;
        std::uint64_t size = 0;
        if (query_disk(paths[n], size, geometry) != 0)
            break;
        drive_item_s item;
        item.path = paths[n];
        // The disk's true size: whole cylinders of the synthetic geometry would hide its last
        // megabytes from the list and from the partition search.
        item.size = size;
        item.geometry = geometry;
        list.push_back(std::move(item));
    }
    return list;
}

int enumerate_drives()
{
    drive_list() = list_drives(physical_drive_paths());
    return 0;
}

void register_disk_meta_types()
{
    qRegisterMetaType<drive_item_s>("drive_item_s");
    qRegisterMetaType<volume_item_s>("volume_item_s");
}

} // namespace tarn
