#include "partition/sector_backup.h"

#include "partition/partition_item.h"
#include "platform/byte_source.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <array>
#include <string_view>

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

QByteArray as_bytes(std::span<const std::byte> bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// The file's bytes; empty when the runs do not fit one index sector or are no whole sectors.
QByteArray backup_content(std::span<const sector_write_s> runs)
{
    if (runs.size() == 1 && runs[0].lba == 0 && runs[0].bytes.size() == sector_bytes)
        return as_bytes(runs[0].bytes);
    if (runs.empty() || runs.size() > backup_max_runs)
        return {};
    std::array<std::byte, sector_bytes> index{};
    constexpr std::string_view magic = "TARNSECT";
    std::ranges::transform(magic, index.begin(), [](char c) { return static_cast<std::byte>(c); });
    store_le32(index, 8, static_cast<std::uint32_t>(runs.size()));
    QByteArray out;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].bytes.empty() || runs[i].bytes.size() % sector_bytes != 0)
            return {};
        store_le64(index, 16 + 16 * i, runs[i].lba);
        store_le64(index, 24 + 16 * i, runs[i].bytes.size() / sector_bytes);
        out += as_bytes(runs[i].bytes);
    }
    return as_bytes(index) + out;
}

} // namespace

QString backup_folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/TarnRecovery");
}

int save_sector_backup(const QString& disk_path, const QString& kind, std::span<const sector_write_s> runs,
                       QString& saved_to)
{
    const QByteArray content = backup_content(runs);
    if (content.isEmpty())
        return -1;
    const QDir folder(backup_folder());
    if (!folder.mkpath(QStringLiteral(".")))
        return -1;
    const QString time = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString path = unused_name(folder, QStringLiteral("%1-backup-%2-%3").arg(kind, disk_label(disk_path), time));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    if (file.write(content) != content.size() || !file.commit())
        return -1;
    saved_to = path;
    return 0;
}

} // namespace tarn
