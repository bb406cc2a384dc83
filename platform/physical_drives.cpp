#include "platform/physical_drives.h"

#include "platform/sysfs.h"

#include <QCollator>
#include <QDir>
#include <QFile>

#include <algorithm>

namespace tarn {

namespace {

// Block devices that are not disks a user would recover from, or are views of other disks.
bool is_whole_disk(const QString& name)
{
    static const QStringList skipped = {"ram", "zram", "sr", "fd", "dm-", "md", "nbd"};
    for (const auto& prefix : skipped)
        if (name.startsWith(prefix))
            return false;
    // Unattached loop devices report size 0.
    return sysfs_value(QStringLiteral("/sys/block/%1/size").arg(name)).toULongLong() > 0;
}

QStringList system_disks()
{
    QStringList names = QDir(QStringLiteral("/sys/block")).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    names.erase(std::remove_if(names.begin(), names.end(), [](const QString& n) { return !is_whole_disk(n); }),
                names.end());
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(), collator);
    QStringList paths;
    for (const auto& name : names)
        paths << QStringLiteral("/dev/") + name;
    return paths;
}

} // namespace

bool image_mode() { return qEnvironmentVariableIsSet("TARN_DISKS"); }

QStringList physical_drive_paths()
{
    if (image_mode())
        return qEnvironmentVariable("TARN_DISKS").split(QLatin1Char(':'));
    return system_disks();
}

QString physical_drive_path(int n)
{
    const auto paths = physical_drive_paths();
    return n >= 0 && n < paths.size() ? paths[n] : QString();
}

int physical_drive_index(const QString& path)
{
    if (path.isEmpty())
        return -1;
    return static_cast<int>(physical_drive_paths().indexOf(path));
}

} // namespace tarn
