#include "platform/physical_drives.h"

#include "platform/device.h"
#include "platform/opened_images.h"
#include "platform/partition_probe.h"
#include "platform/sysfs.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QFile>

#include <algorithm>
#include <mutex>

#include <sys/stat.h>

namespace tarn {

namespace {

QString block_value(const QString& name, const char* what)
{
    return sysfs_value(sysfs_path(QStringLiteral("/block/%1/%2").arg(name, QLatin1String(what))));
}

// Block devices that are not disks a user would recover from, or are views of other disks.
bool is_whole_disk(const QString& name)
{
    static const QStringList skipped = {"ram", "zram", "sr", "fd", "dm-", "md", "nbd"};
    for (const auto& prefix : skipped)
        if (name.startsWith(prefix))
            return false;
    // Unattached loop devices report size 0.
    return block_value(name, "size").toULongLong() > 0;
}

bool is_loop(const QString& name) { return name.startsWith(QLatin1String("loop")); }

// Read-only loop devices holding squashfs are installed packages and images, never disks that
// lost data; listing them could push a real disk past the ten-disk limit.
bool is_package_image(const QString& name)
{
    if (!is_loop(name) || block_value(name, "ro") != QLatin1String("1"))
        return false;
    const std::uint64_t size = block_value(name, "size").toULongLong() * 512;
    const auto fs = probe_filesystem(QStringLiteral("/dev/") + name, 0, size);
    return fs && fs->type == QLatin1String("squashfs");
}

QStringList system_disks()
{
    QStringList names = QDir(sysfs_path(QStringLiteral("/block"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString& n) { return !is_whole_disk(n) || is_package_image(n); }),
                names.end());
    QCollator collator;
    collator.setNumericMode(true);
    // Real disks first, then loop devices: files attached as disks come after the machine's own.
    std::sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
        if (is_loop(a) != is_loop(b))
            return !is_loop(a);
        return collator.compare(a, b) < 0;
    });
    QStringList paths;
    for (const auto& name : names)
        paths << QStringLiteral("/dev/") + name;
    return paths;
}

// What a file is now (kind, identity, size, time), so that a checked list is checked again once
// one of its files changed.
QString file_state(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("-");
    return QStringLiteral("%1.%2.%3.%4.%5.%6")
        .arg(st.st_mode)
        .arg(st.st_dev)
        .arg(st.st_ino)
        .arg(st.st_size)
        .arg(st.st_mtim.tv_sec)
        .arg(st.st_mtim.tv_nsec);
}

struct image_disks_s {
    QString state;
    QStringList usable;
    QStringList refusals;
};

// The images of TARN_DISKS split into those that can be read and the reasons of the others,
// checked once for each state of the list and its files: the disk order is asked for often, and
// a container's tables are read to check it.
image_disks_s image_mode_disks()
{
    static std::mutex mutex;
    static image_disks_s known;
    const QStringList paths = qEnvironmentVariable("TARN_DISKS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    QString state;
    for (const auto& path : paths)
        state += path + QLatin1Char('|') + file_state(path) + QLatin1Char('|');
    const std::lock_guard lock(mutex);
    if (state == known.state && !state.isEmpty())
        return known;
    image_disks_s checked{state, {}, {}};
    for (const auto& path : paths) {
        QString error;
        if (check_disk_image(path, error) == 0)
            checked.usable << path;
        else
            checked.refusals << error;
    }
    known = checked;
    return checked;
}

} // namespace

bool image_mode() { return qEnvironmentVariableIsSet("TARN_DISKS"); }

QStringList image_mode_refusals() { return image_mode() ? image_mode_disks().refusals : QStringList(); }

QStringList physical_drive_paths()
{
    QStringList paths = image_mode() ? image_mode_disks().usable : system_disks();
    QStringList absolute;
    for (const auto& path : paths)
        absolute << QFileInfo(path).absoluteFilePath();
    // Images opened in this run come after the disks; one already listed keeps its place.
    for (const auto& image : opened_disk_images())
        if (!absolute.contains(image))
            paths << image;
    return paths;
}

QString physical_drive_path(int n)
{
    const auto paths = physical_drive_paths();
    return n >= 0 && n < paths.size() ? paths[n] : QString();
}

int query_disk(const QString& path, std::uint64_t& size, disk_geometry_s& geometry)
{
    const QString name = QFileInfo(path).fileName();
    const QString size_text = block_value(name, "size");
    if (image_mode() || !path.startsWith(QLatin1String("/dev/")) || size_text.isEmpty()) {
        const auto device = device_c::open(path, access_e::read);
        if (!device || device->geometry(geometry) != 0)
            return -1;
        size = device->size();
        return 0;
    }
    const std::uint32_t sector = block_value(name, "queue/logical_block_size").toUInt();
    size = size_text.toULongLong() * 512; // sysfs counts 512-byte units whatever the sector size
    if (size == 0 || size < sector)
        return -1;
    geometry = synthetic_geometry(size, sector ? sector : 512, block_value(name, "removable") == QLatin1String("1"));
    return 0;
}

int physical_drive_index(const QString& path)
{
    if (path.isEmpty())
        return -1;
    return static_cast<int>(physical_drive_paths().indexOf(path));
}

} // namespace tarn
