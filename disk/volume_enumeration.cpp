#include "disk/volume_enumeration.h"

#include "libs/ntfs_scan/ntfs_scan_source.h"
#include "platform/device.h"
#include "platform/system.h"

#include <algorithm>

namespace tarn {

namespace {

struct volume_record_s {
    volume_item_s item;
    int drive_type = drive_unknown;
};

// Partition and disk number come from the volume's own handle; -1 where it cannot tell.
void ask_volume_numbers(volume_record_s& record)
{
    record.item.partition_number = -1;
    record.item.disk_number = -1;
    if (record.drive_type != drive_fixed && record.drive_type != drive_removable)
        return;
    QString name = record.item.volume_path;
    name.chop(1);
    const auto device = device_c::open(name, access_e::read, true);
    if (!device)
        return;
    partition_info_s info;
    if (device->partition_info(info) == 0)
        record.item.partition_number = info.partition_number;
    std::int32_t disk = -1;
    if (device->disk_extents(disk) == 0)
        record.item.disk_number = disk;
}

bool well_formed(const QString& volume_path)
{
    return volume_path.startsWith(QLatin1String("\\\\?\\")) && volume_path.endsWith(QLatin1Char('\\'));
}

// An unmounted NTFS volume keeps no free count the probe can read cheaply: it is counted from
// the volume's cluster bitmap.
void count_ntfs_free(volume_record_s& record)
{
    QString name = record.item.volume_path;
    name.chop(1);
    std::uint64_t free_bytes = 0;
    auto device = device_c::open(name, access_e::read);
    if (device && ntfs_count_free(std::move(device), free_bytes) == 0 && free_bytes <= record.item.total_bytes) {
        record.item.free_bytes = free_bytes;
        record.item.free_known = true;
    }
}

volume_record_s make_record(const volume_facts_s& f)
{
    volume_record_s record;
    record.item.device = f.device;
    record.item.volume_path = f.volume_path;
    record.item.mount_path = f.mount_paths.value(0);
    if (!record.item.mount_path.isEmpty()) {
        record.drive_type = f.drive_type;
        // A volume without a known file system still has a size: the deep scan counts its bytes
        // against it.
        if (f.size_ok)
            record.item.total_bytes = f.total_bytes;
        if (f.info_ok) {
            record.item.label = f.label;
            record.item.fs_name = f.fs_name;
            if (f.size_ok) {
                record.item.free_bytes = f.free_bytes;
                record.item.free_known = f.free_ok;
            }
        }
    }
    ask_volume_numbers(record);
    if (record.item.fs_name == QLatin1String("NTFS") && !record.item.free_known && record.item.total_bytes != 0)
        count_ntfs_free(record);
    return record;
}

} // namespace

std::vector<volume_item_s>& volume_list()
{
    static std::vector<volume_item_s> list;
    return list;
}

std::vector<volume_item_s> build_volume_list(const std::vector<volume_facts_s>& facts, bool admin)
{
    std::vector<volume_record_s> records;
    for (const auto& f : facts) {
        if (f.device.isEmpty() || !well_formed(f.volume_path))
            continue;
        volume_record_s record = make_record(f);
        const int type = record.drive_type;
        if (type == drive_optical || type == drive_remote || (type == drive_fixed && !admin))
            continue;
        records.push_back(std::move(record));
    }
    // Ordered by mount path as 16-bit code units, case-sensitive: QString's own comparison.
    std::stable_sort(records.begin(), records.end(), [](const volume_record_s& a, const volume_record_s& b) {
        return QString::compare(a.item.mount_path, b.item.mount_path, Qt::CaseSensitive) < 0;
    });
    std::vector<volume_item_s> list;
    list.push_back({});
    for (auto& record : records)
        if (record.item.partition_number != -1 && record.item.disk_number != -1)
            list.push_back(std::move(record.item));
    return list;
}

void enumerate_volumes()
{
    volume_list() = build_volume_list(enumerate_volume_facts(), is_admin());
}

} // namespace tarn
