#include "platform/volume_facts.h"

#include "platform/device_location.h"
#include "platform/image_source.h"
#include "platform/mount_table.h"
#include "platform/opened_images.h"
#include "platform/partition_probe.h"
#include "platform/physical_drives.h"
#include "platform/sysfs.h"
#include "platform/volume_registry.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <algorithm>


namespace tarn {

namespace {

struct found_volume_s {
    volume_facts_s facts;
    device_location_s location;
    bool in_image = false; // also found under its device name "IMAGE#N"
};

// Volume paths keep the system's "\\?\Volume{GUID}\" shape. A partition entry's own GUID is
// used as it is; anything else is hashed into one, so the path stays the same across runs.
QString volume_path_for(const QString& identity)
{
    QUuid id(identity);
    if (id.isNull()) {
        const QByteArray digest = QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Md5);
        id = QUuid::fromRfc4122(digest);
    }
    return QStringLiteral("\\\\?\\Volume") + id.toString(QUuid::WithBraces) + QLatin1Char('\\');
}

void apply_probe(volume_facts_s& facts, const std::optional<filesystem_probe_s>& fs, std::uint64_t size)
{
    facts.total_bytes = size;
    facts.size_ok = true;
    if (!fs)
        return;
    facts.info_ok = true;
    facts.fs_name = fs->type;
    facts.label = fs->label;
    facts.free_ok = fs->free_bytes.has_value();
    facts.free_bytes = fs->free_bytes.value_or(0);
}

// Every partition of a disk image is a removable volume that is not mounted, named after its
// image and partition number.
void image_volumes(int disk_number, const QString& image, std::vector<found_volume_s>& out)
{
    const std::uint64_t disk_size = image_disk_size(image);
    if (disk_size < 512)
        return;
    partition_table_s table = probe_partition_table(image);
    // A table without partitions is none: a file system written on the whole disk can read as
    // one (an exFAT boot sector ends with the signature of a master boot record), and the system
    // takes such a disk whole too.
    if (table.entries.empty())
        table = {};
    std::vector<partition_entry_s> entries = table.entries;
    if (table.type.isEmpty()) // a file system on the whole disk, without a partition table
        entries.push_back({0, 0, disk_size, {}});
    const QString disk_identity = table.id.isEmpty() ? QFileInfo(image).canonicalFilePath() : table.id;
    for (const auto& entry : entries) {
        // A whole image with neither a table nor a file system is still offered: a deep scan can
        // reach it.
        const auto fs = probe_filesystem(image, entry.start, entry.size);
        found_volume_s v;
        v.in_image = true;
        v.location.file = image;
        v.location.offset = entry.start;
        v.location.length = entry.size;
        v.location.partition_number = entry.number;
        v.location.start_on_disk = entry.start;
        v.location.disk_number = disk_number;
        v.location.removable = true;
        v.facts.device = image + QLatin1Char('#') + QString::number(entry.number);
        const QString identity = !entry.uuid.isEmpty() ? entry.uuid
                                 : (entry.number == 0 && fs && !fs->uuid.isEmpty())
                                     ? fs->uuid
                                     : disk_identity + QLatin1Char('@') + QString::number(entry.start);
        v.facts.volume_path = volume_path_for(identity);
        v.facts.mount_paths = {v.facts.device};
        v.facts.drive_type = drive_removable;
        apply_probe(v.facts, fs, entry.size);
        out.push_back(std::move(v));
    }
}

// Partition GUIDs the system has published as links, keyed by the partition's node name.
QHash<QString, QString> partition_uuids()
{
    QHash<QString, QString> uuids;
    const QDir dir(QStringLiteral("/dev/disk/by-partuuid"));
    for (const auto& link : dir.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        uuids.insert(QFileInfo(link.canonicalFilePath()).fileName(), link.fileName());
    return uuids;
}

void system_volume(const mount_table_c& mounts, const QString& node, const device_location_s& location,
                   std::uint64_t size, const QString& identity, std::vector<found_volume_s>& out)
{
    const auto fs = probe_filesystem(node, 0, size);
    found_volume_s v;
    v.location = location;
    v.facts.device = node;
    QString id = identity;
    if (id.isEmpty())
        id = fs && !fs->uuid.isEmpty() ? fs->uuid : node + QStringLiteral("@0");
    v.facts.volume_path = volume_path_for(id);
    v.facts.mount_paths = mounts.mount_points(block_device_number(node));
    v.facts.drive_type = location.removable ? drive_removable : drive_fixed;
    apply_probe(v.facts, fs, size);
    if (v.facts.mount_paths.isEmpty()) {
        v.facts.mount_paths = {node};
    } else {
        space_s space;
        v.facts.size_ok = mounted_space(v.facts.mount_paths.front(), space);
        v.facts.total_bytes = space.total;
        v.facts.free_bytes = space.free;
        v.facts.free_ok = v.facts.size_ok;
    }
    out.push_back(std::move(v));
}

void system_disk_volumes(int disk_number, const QString& disk, const mount_table_c& mounts,
                         const QHash<QString, QString>& uuids, std::vector<found_volume_s>& out)
{
    const QString name = QFileInfo(disk).fileName();
    const QString sys = sysfs_path(QStringLiteral("/block/") + name);
    device_location_s base;
    base.disk_number = disk_number;
    base.removable = sysfs_value(sys + QStringLiteral("/removable")) == QLatin1String("1");
    bool any_partition = false;
    // The kernel gives an extended partition's container a node of its own; it is no volume.
    const std::vector<std::uint64_t> containers = probe_partition_table(disk).extended_starts;
    for (const auto& child : QDir(sys).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString number = sysfs_value(sys + QLatin1Char('/') + child + QStringLiteral("/partition"));
        if (number.isEmpty())
            continue;
        any_partition = true;
        device_location_s location = base;
        location.file = QStringLiteral("/dev/") + child;
        location.partition_number = number.toInt();
        location.start_on_disk = sysfs_value(sys + QLatin1Char('/') + child + QStringLiteral("/start")).toULongLong() * 512;
        if (std::find(containers.begin(), containers.end(), location.start_on_disk) != containers.end())
            continue;
        const std::uint64_t size = sysfs_value(sys + QLatin1Char('/') + child + QStringLiteral("/size")).toULongLong() * 512;
        const QString identity = uuids.value(child, disk + QLatin1Char('@') + QString::number(location.start_on_disk));
        system_volume(mounts, location.file, location, size, identity, out);
    }
    if (!any_partition) {
        device_location_s location = base;
        location.file = disk;
        system_volume(mounts, disk, location, sysfs_value(sys + QStringLiteral("/size")).toULongLong() * 512, {}, out);
    }
}

// A cloned disk, or one image listed twice, repeats its partitions' identifiers; each copy still
// needs a path of its own, or a scan of one would read the other. The first keeps its path, later
// ones get one derived from it and their disk number (stable while the disk order is).
void make_paths_distinct(std::vector<found_volume_s>& found)
{
    QSet<QString> used;
    for (auto& v : found) {
        if (used.contains(v.facts.volume_path))
            v.facts.volume_path =
                volume_path_for(v.facts.volume_path + QStringLiteral("@disk") + QString::number(v.location.disk_number));
        used.insert(v.facts.volume_path);
    }
}

} // namespace

std::vector<volume_facts_s> enumerate_volume_facts()
{
    std::vector<found_volume_s> found;
    const QStringList disks = physical_drive_paths();
    const mount_table_c mounts;
    const auto uuids = image_mode() ? QHash<QString, QString>() : partition_uuids();
    for (int n = 0; n < disks.size(); ++n) {
        if (image_mode() || is_opened_disk_image(disks[n]))
            image_volumes(n, disks[n], found);
        else
            system_disk_volumes(n, disks[n], mounts, uuids, found);
    }
    make_paths_distinct(found);
    std::vector<std::pair<QString, device_location_s>> names;
    std::vector<volume_facts_s> facts;
    for (auto& v : found) {
        names.emplace_back(v.facts.volume_path, v.location);
        if (v.in_image)
            names.emplace_back(v.facts.device, v.location);
        facts.push_back(std::move(v.facts));
    }
    replace_volume_registry(std::move(names));
    return facts;
}

} // namespace tarn
