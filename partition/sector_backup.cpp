#include "partition/sector_backup.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace tarn {

namespace {

// "/dev/nvme0n1" -> "nvme0n1"; anything unfit for a file name becomes '_'.
QString disk_label(const QString& disk_path)
{
    QString label = QFileInfo(disk_path).fileName();
    label.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return label.isEmpty() ? QStringLiteral("disk") : label;
}

QString unused_name(const QDir& folder, const QString& stem)
{
    QString name = stem + QStringLiteral(".bin");
    for (int n = 2; folder.exists(name); ++n)
        name = stem + QStringLiteral("-%1.bin").arg(n);
    return folder.filePath(name);
}

} // namespace

QString backup_folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/TarnRecovery");
}

int save_sector_backup(const QString& disk_path, std::span<const std::byte> sector, QString& saved_to)
{
    const QDir folder(backup_folder());
    if (!folder.mkpath(QStringLiteral(".")))
        return -1;
    const QString time = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString path = unused_name(folder, QStringLiteral("mbr-backup-%1-%2").arg(disk_label(disk_path), time));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    const auto size = static_cast<qint64>(sector.size());
    if (file.write(reinterpret_cast<const char*>(sector.data()), size) != size || !file.commit())
        return -1;
    saved_to = path;
    return 0;
}

} // namespace tarn
