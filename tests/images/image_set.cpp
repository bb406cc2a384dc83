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
    return run_tool("qemu-img", QStringList{"convert", "-f", "raw", "-O"} + format + QStringList{raw, out});
}

int make_split(const QString& raw, const QString& stem, QString& made)
{
    made = stem + ".001";
    return run_tool("split", {"-b", "16M", "-a", "3", "--numeric-suffixes=1", raw, stem + "."});
}

// Compressed, in segments of 1 MiB: the random file keeps the image above one segment.
int make_e01(const QString& raw, const QString& stem, QString& made)
{
    made = stem + ".E01";
    QString log;
    return run_tool("ewfacquire", {"-u", "-q", "-t", stem, "-S", "1MiB", "-c", "deflate:fast", raw}, &log);
}

int make_vmdk(const QString& raw, const QString& stem, QString& made)
{
    return qemu_convert(raw, made = stem + ".vmdk", {"vmdk"});
}

// The exact size: without it the writer rounds the disk up to whole cylinders.
int make_vhd(const QString& raw, const QString& stem, QString& made)
{
    return qemu_convert(raw, made = stem + ".vhd", {"vpc", "-o", "force_size=on"});
}

int make_vhdx(const QString& raw, const QString& stem, QString& made)
{
    return qemu_convert(raw, made = stem + ".vhdx", {"vhdx"});
}

int make_qcow2(const QString& raw, const QString& stem, QString& made)
{
    return qemu_convert(raw, made = stem + ".qcow2", {"qcow2"});
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
        || write_partition_table(disk, "label: dos\nstart=2048, size=2048, type=83\n"
                                       "start=6144, size=75776, type=5\nstart=8192, size=73728, type=c\n") != 0
        || format_fat(disk, 8192, 73728, 32, "LOGICAL") != 0)
        return -1;
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) & 0xFF));
    QByteArray noise(2 << 20, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    if (!picture.save(path("picture.png")) || !write_file(path("noise.bin"), noise)
        || !write_file(path("notes.txt"), QByteArray(3000, 'n')))
        return -1;
    const QString at = disk + QStringLiteral("@@%1").arg(8192 * 512);
    const auto copy = [&](const QString& name, const QString& to) { return run_mtools({"mcopy", "-i", at, path(name), to}); };
    if (run_mtools({"mmd", "-i", at, "::/Bilder"}) != 0 || copy("picture.png", "::/Bilder/") != 0
        || copy("noise.bin", "::/") != 0 || copy("notes.txt", "::/Bilder/") != 0)
        return -1;
    return run_mtools({"mdel", "-i", at, "::/Bilder/picture.png"});
}

int image_set_c::build()
{
    if (!dir_.isValid() || build_fat() != 0)
        return -1;
    return make_ntfs_volume(ntfs_raw(), 8ll << 20,
                            {"mkdir", "/Alt", "fill", "/Alt/brief.txt", "5000", "3", "fill", "/Alt/daten.bin", "70000",
                             "4", "mkdir", "/Neu", "fill", "/Neu/live.txt", "40", "5", "rm", "/Alt/brief.txt"});
}

QString image_set_c::copy(const QString& raw, const image_format_s& format)
{
    const QString stem =
        path(QFileInfo(raw).completeBaseName() + "-" + QString::fromLatin1(format.name).remove(' ').toLower());
    QString made;
    if (format.make(raw, stem, made) != 0 || !QFileInfo::exists(made))
        return {};
    return made;
}

} // namespace tarn::test
