#include "tests/images/image_set.h"

#include "tests/ntfs/ntfs_volume.h"
#include "tests/support/test_support.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>

namespace tarn::test {

namespace {

int qemu_convert(const QString& raw, const QString& out, const QStringList& format)
{
    return run_tool(QStringLiteral("qemu-img"), QStringList{QStringLiteral("convert"), QStringLiteral("-f"),
                                                            QStringLiteral("raw"), QStringLiteral("-O")}
                                                    + format + QStringList{raw, out});
}

int make_split(const QString& raw, const QString& stem, QString& made)
{
    made = stem + QStringLiteral(".001");
    return run_tool(QStringLiteral("split"), {QStringLiteral("-b"), QStringLiteral("16M"), QStringLiteral("-a"),
                                              QStringLiteral("3"), QStringLiteral("--numeric-suffixes=1"), raw,
                                              stem + QLatin1Char('.')});
}

// Compressed, in segments of 1 MiB: the random file keeps the image above one segment.
int make_e01(const QString& raw, const QString& stem, QString& made)
{
    made = stem + QStringLiteral(".E01");
    QString log;
    return run_tool(QStringLiteral("ewfacquire"), {QStringLiteral("-u"), QStringLiteral("-q"), QStringLiteral("-t"), stem,
                                                   QStringLiteral("-S"), QStringLiteral("1MiB"), QStringLiteral("-c"),
                                                   QStringLiteral("deflate:fast"), raw},
                    &log);
}

int make_vmdk(const QString& raw, const QString& stem, QString& made)
{
    made = stem + QStringLiteral(".vmdk");
    return qemu_convert(raw, made, {QStringLiteral("vmdk")});
}

// The exact size: without it the writer rounds the disk up to whole cylinders.
int make_vhd(const QString& raw, const QString& stem, QString& made)
{
    made = stem + QStringLiteral(".vhd");
    return qemu_convert(raw, made, {QStringLiteral("vpc"), QStringLiteral("-o"), QStringLiteral("force_size=on")});
}

int make_vhdx(const QString& raw, const QString& stem, QString& made)
{
    made = stem + QStringLiteral(".vhdx");
    return qemu_convert(raw, made, {QStringLiteral("vhdx")});
}

int make_qcow2(const QString& raw, const QString& stem, QString& made)
{
    made = stem + QStringLiteral(".qcow2");
    return qemu_convert(raw, made, {QStringLiteral("qcow2")});
}

QByteArray random_bytes(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

bool write_file(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

const std::vector<image_format_s>& image_formats()
{
    static const std::vector<image_format_s> formats = {
        {"split raw", make_split}, {"E01", make_e01},   {"VMDK", make_vmdk},
        {"VHD", make_vhd},         {"VHDX", make_vhdx}, {"QCOW2", make_qcow2},
    };
    return formats;
}

int image_set_c::build_fat()
{
    const QString disk = fat_raw();
    // A logical partition: the partition table is read through an extended boot record.
    if (make_sparse_file(disk, 40ull << 20) != 0
        || write_partition_table(disk, QStringLiteral("label: dos\nstart=2048, size=2048, type=83\n"
                                                      "start=6144, size=75776, type=5\nstart=8192, size=73728, type=c\n"))
               != 0
        || format_fat(disk, 8192, 73728, 32, QStringLiteral("LOGICAL")) != 0)
        return -1;
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) & 0xFF));
    if (!picture.save(path(QStringLiteral("picture.png"))) || !write_file(path(QStringLiteral("noise.bin")), random_bytes(2 << 20, 7))
        || !write_file(path(QStringLiteral("notes.txt")), QByteArray(3000, 'n')))
        return -1;
    const QString at = disk + QStringLiteral("@@%1").arg(8192 * 512);
    const auto copy = [&](const QString& name, const QString& to) {
        return run_mtools({QStringLiteral("mcopy"), QStringLiteral("-i"), at, path(name), to});
    };
    if (run_mtools({QStringLiteral("mmd"), QStringLiteral("-i"), at, QStringLiteral("::/Bilder")}) != 0
        || copy(QStringLiteral("picture.png"), QStringLiteral("::/Bilder/")) != 0
        || copy(QStringLiteral("noise.bin"), QStringLiteral("::/")) != 0
        || copy(QStringLiteral("notes.txt"), QStringLiteral("::/Bilder/")) != 0)
        return -1;
    return run_mtools({QStringLiteral("mdel"), QStringLiteral("-i"), at, QStringLiteral("::/Bilder/picture.png")});
}

int image_set_c::build()
{
    if (!dir_.isValid() || build_fat() != 0)
        return -1;
    return make_ntfs_volume(ntfs_raw(), 8ll << 20,
                            {QStringLiteral("mkdir"), QStringLiteral("/Alt"), QStringLiteral("fill"),
                             QStringLiteral("/Alt/brief.txt"), QStringLiteral("5000"), QStringLiteral("3"),
                             QStringLiteral("fill"), QStringLiteral("/Alt/daten.bin"), QStringLiteral("70000"),
                             QStringLiteral("4"), QStringLiteral("mkdir"), QStringLiteral("/Neu"),
                             QStringLiteral("fill"), QStringLiteral("/Neu/live.txt"), QStringLiteral("40"),
                             QStringLiteral("5"), QStringLiteral("rm"), QStringLiteral("/Alt/brief.txt")});
}

QString image_set_c::copy(const QString& raw, const image_format_s& format)
{
    const QString stem = path(QFileInfo(raw).completeBaseName() + QLatin1Char('-')
                              + QString::fromLatin1(format.name).remove(QLatin1Char(' ')).toLower());
    QString made;
    if (format.make(raw, stem, made) != 0 || !QFileInfo::exists(made))
        return {};
    return made;
}

} // namespace tarn::test
