#include "platform/device_location.h"

#include "platform/found_volume.h"
#include "platform/opened_images.h"
#include "platform/physical_drives.h"
#include "platform/sysfs.h"
#include "platform/volume_facts.h"
#include "platform/volume_registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace tarn {

namespace {

// A partition node of the system: its number and start from sysfs, its disk from the
// directory that holds it there (/sys/class/block/sda1 -> .../block/sda/sda1).
void fill_block_partition(const QString& node, device_location_s& location)
{
    const QString name = QFileInfo(node).fileName();
    const QString sys = sysfs_path(QStringLiteral("/class/block/") + name);
    const QString number = sysfs_value(sys + QStringLiteral("/partition"));
    QString disk = node;
    if (!number.isEmpty()) {
        location.partition_number = number.toInt();
        location.start_on_disk = sysfs_value(sys + QStringLiteral("/start")).toULongLong() * 512;
        disk = QStringLiteral("/dev/") + QFileInfo(QFileInfo(sys).canonicalFilePath()).dir().dirName();
    }
    location.disk_number = physical_drive_index(disk);
    const QString disk_name = QFileInfo(disk).fileName();
    location.removable = sysfs_value(sysfs_path(QStringLiteral("/block/%1/removable").arg(disk_name))) == QLatin1String("1");
}

// An image file may itself have "#" in its name: only a name that is no file can be one of
// its volumes.
bool names_volume(const QString& name)
{
    return name.startsWith(QLatin1String("\\\\?\\Volume{"))
           || ((image_mode() || !opened_disk_images().isEmpty()) && name.contains(QLatin1Char('#'))
               && !QFileInfo::exists(name));
}

} // namespace

std::optional<device_location_s> locate_device(const QString& name)
{
    if (name.isEmpty())
        return std::nullopt;
    if (is_found_volume_path(name))
        return locate_found_volume(name);
    if (names_volume(name)) {
        QString key = name;
        if (!key.endsWith(QLatin1Char('\\')) && key.startsWith(QLatin1String("\\\\?\\")))
            key += QLatin1Char('\\');
        if (auto found = find_registered_volume(key))
            return found;
        enumerate_volume_facts(); // the table may predate this volume
        return find_registered_volume(key);
    }
    struct stat st {};
    if (::stat(QFile::encodeName(name).constData(), &st) != 0)
        return std::nullopt;
    device_location_s location;
    location.file = name;
    if (S_ISBLK(st.st_mode) && !image_mode()) {
        fill_block_partition(name, location);
    } else {
        location.disk_number = physical_drive_index(name);
        location.removable = image_mode() || is_opened_disk_image(name);
    }
    return location;
}

} // namespace tarn
