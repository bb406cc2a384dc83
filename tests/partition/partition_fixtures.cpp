#include "tests/partition/partition_fixtures.h"

#include "tests/support/test_support.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace tarn {
void PrintTo(const partition_item_s& p, std::ostream* os)
{
    *os << p.fs_name.toStdString() << " type " << p.type << " sectors " << p.start_sector << "-" << p.end_sector
        << " label \"" << p.label.toStdString() << '"';
}
} // namespace tarn

namespace tarn::test {

int make_volume_in_image(const QString& image, std::uint64_t first_sector, std::uint64_t sectors, const QString& tool,
                         const QStringList& args)
{
    QTemporaryDir dir;
    const QString volume = dir.filePath(QStringLiteral("volume.img"));
    if (make_sparse_file(volume, sectors * 512) != 0 || run_tool(tool, args + QStringList{volume}) != 0)
        return -1;
    const QStringList copy = {QStringLiteral("if=") + volume, QStringLiteral("of=") + image, QStringLiteral("bs=512"),
                              QStringLiteral("seek=%1").arg(first_sector), QStringLiteral("conv=notrunc,sparse"),
                              QStringLiteral("status=none")};
    return run_tool(QStringLiteral("dd"), copy) == 0 ? 0 : -1;
}

int make_ntfs_in_image(const QString& image, std::uint64_t first_sector, std::uint64_t sectors, const QString& label)
{
    // The boot sector's start field has 32 bits; mkntfs refuses larger starts.
    const std::uint64_t start_field = first_sector > 0xFFFFFFFFu ? 0 : first_sector;
    QStringList format = {QStringLiteral("-F"), QStringLiteral("-Q"), QStringLiteral("-q"),
                          QStringLiteral("-p"), QString::number(start_field), QStringLiteral("-H"),
                          QStringLiteral("255"), QStringLiteral("-S"), QStringLiteral("63")};
    if (!label.isEmpty())
        format << QStringLiteral("-L") << label;
    return make_volume_in_image(image, first_sector, sectors, QStringLiteral("mkntfs"), format);
}

int make_fat32_in_image(const QString& image, std::uint64_t first_sector, std::uint64_t sectors)
{
    const QStringList args = {QStringLiteral("-F"), QStringLiteral("32"), QStringLiteral("-s"), QStringLiteral("1"), QStringLiteral("-g"), QStringLiteral("255/63"),
                              QStringLiteral("-i"), QStringLiteral("1234ABCD"), QStringLiteral("--invariant"),
                              QStringLiteral("--offset=%1").arg(first_sector), QStringLiteral("-h"),
                              QString::number(first_sector), image, QString::number(sectors / 2)};
    return run_tool(QStringLiteral("mkfs.fat"), args) == 0 ? 0 : -1;
}

QByteArray real_ntfs_boot_sector(std::uint64_t sectors)
{
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("disk.img"));
    if (make_sparse_file(image, sectors * 512) != 0 || make_ntfs_in_image(image, 0, sectors) != 0)
        return {};
    return read_file_range(image, 0, 512);
}

QByteArray real_fat32_boot_sectors()
{
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("fat32.img"));
    if (format_fat(image, 0, 81920, 32, QStringLiteral("TARN")) != 0)
        return {};
    return read_file_range(image, 0, 1024);
}

int patch_file(const QString& path, std::uint64_t offset, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(static_cast<qint64>(offset)))
        return -1;
    return file.write(bytes) == bytes.size() ? 0 : -1;
}

QByteArray read_file_range(const QString& path, std::uint64_t offset, std::uint64_t bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(static_cast<qint64>(offset)))
        return {};
    return file.read(static_cast<qint64>(bytes));
}

int zero_partition_table(const QString& image)
{
    return patch_file(image, 446, QByteArray(64, '\0'));
}

int make_intact_mixed_disk(const QString& image)
{
    const QString table = QStringLiteral("label: dos\nlabel-id: 0x0BADF00D\n"
                                         "start=2048, size=81900, type=c, bootable\n"
                                         "start=86016, size=40960, type=82\n"
                                         "start=129024, size=20480, type=83\n");
    if (make_sparse_file(image, 200'000ull * 512) != 0 || write_partition_table(image, table) != 0)
        return -1;
    if (make_fat32_in_image(image, 2048, 81900) != 0)
        return -1;
    // A swap area: a real header, but nothing the search reads as a file system.
    QTemporaryDir dir;
    const QString swap = dir.filePath(QStringLiteral("swap.img"));
    if (make_sparse_file(swap, 40960ull * 512) != 0
        || run_tool(QStringLiteral("mkswap"), {QStringLiteral("-U"), QStringLiteral("0badf00d-0000-4000-8000-000000000001"),
                                                QStringLiteral("-L"), QStringLiteral("OLDSWAP"), swap}) != 0)
        return -1;
    return patch_file(image, 86016ull * 512, read_file_range(swap, 0, 4096));
}

int make_gpt_disk(const QString& image)
{
    const QStringList table = {QStringLiteral("-U"), QStringLiteral("0C1DA6E1-5B7E-4C4B-9D53-1E0B5E6A7C01"),
                               QStringLiteral("-n"), QStringLiteral("1:2048:18431"), QStringLiteral("-t"), QStringLiteral("1:0700"),
                               QStringLiteral("-u"), QStringLiteral("1:5F1C2B3A-0D4E-4F60-8172-9A3B4C5D6E01"),
                               QStringLiteral("-n"), QStringLiteral("2:18432:100331"), QStringLiteral("-t"), QStringLiteral("2:0700"),
                               QStringLiteral("-u"), QStringLiteral("2:5F1C2B3A-0D4E-4F60-8172-9A3B4C5D6E02"), image};
    if (make_sparse_file(image, gpt_disk_sectors * 512) != 0 || run_tool(QStringLiteral("sgdisk"), table) != 0)
        return -1;
    if (make_ntfs_in_image(image, 2048, 16384) != 0)
        return -1;
    return make_fat32_in_image(image, 18432, 81900);
}

int zero_sectors(const QString& image, std::uint64_t first, std::uint64_t sectors)
{
    return patch_file(image, first * 512, QByteArray(static_cast<qsizetype>(sectors * 512), '\0'));
}

QStringList mmls_partitions(const QString& image)
{
    QString listing;
    if (run_tool(QStringLiteral("mmls"), {image}, &listing) != 0)
        return {};
    // "004:  000       0000002048   0000018431   0000016384   Basic data partition"
    static const QRegularExpression row(QStringLiteral(R"(^\d+:\s+\d+\s+(\d+)\s+(\d+)\s+\d+)"),
                                        QRegularExpression::MultilineOption);
    QStringList out;
    for (const auto& m : row.globalMatch(listing))
        out << QStringLiteral("%1 %2").arg(m.captured(1).toULongLong()).arg(m.captured(2).toULongLong());
    return out;
}

QStringList dump_entries(const QString& image)
{
    QString dump;
    if (run_tool(QStringLiteral("sfdisk"), {QStringLiteral("--dump"), image}, &dump) != 0)
        return {};
    static const QRegularExpression entry(
        QStringLiteral(R"((\d+) : start=\s*(\d+), size=\s*(\d+), type=(\w+)(, bootable)?)"));
    QStringList out;
    for (const QString& line : dump.split(u'\n')) {
        const auto m = entry.match(line);
        if (m.hasMatch())
            out << QStringLiteral("%1 %2 %3 %4%5").arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4),
                                                     m.hasCaptured(5) ? QStringLiteral(" *") : QString());
    }
    return out;
}

} // namespace tarn::test
