// The command-line tool on real block devices, without image mode: test volumes attached as
// read-only loop devices must give the same findings and bytes as the same images in image mode.
// A loop device attached at a partition's offset, described by a small test sysfs tree, stands in
// for a partition node (our kernels make none for loop devices). Needs root and losetup; skipped,
// saying so, where they are missing. Nothing is ever written to a loop device.

#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarn::test;

namespace {

// One read-only loop device, detached whatever the test's outcome.
class loop_device_c {
public:
    loop_device_c(const QString& image, std::uint64_t offset = 0, std::uint64_t size = 0)
    {
        QStringList args{"-r", "-f", "--show"};
        if (offset != 0 || size != 0)
            args << "-o" << QString::number(offset) << "--sizelimit" << QString::number(size);
        QString out;
        if (run_tool("losetup", args << image, &out) == 0 && out.trimmed().startsWith("/dev/loop"))
            path_ = out.trimmed();
    }
    ~loop_device_c()
    {
        if (!path_.isEmpty())
            run_tool("losetup", {"-d", path_});
    }
    loop_device_c(const loop_device_c&) = delete;
    loop_device_c& operator=(const loop_device_c&) = delete;
    const QString& path() const { return path_; }
    QString name() const { return path_.mid(5); }

private:
    QString path_;
};

QString why_loop_devices_are_missing()
{
    if (::geteuid() != 0)
        return "not running as root";
    if (!have_tool("losetup") || !QFile::exists("/dev/loop-control"))
        return "losetup or /dev/loop-control missing";
    return {};
}

QString sysfs_read_only(const QString& name)
{
    QFile f("/sys/block/" + name + "/ro");
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).trimmed() : QString();
}

bool write_text(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) == text.toUtf8().size();
}

// Every file below root with the SHA-256 of its bytes.
QMap<QString, QByteArray> digests_below(const QString& root)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            out.insert(QDir(root).relativeFilePath(f.fileName()), QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256));
    }
    return out;
}

QList<QStringList> rows_of(const QString& output)
{
    QList<QStringList> rows;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts))
        rows << line.split('\t');
    return rows;
}

class RealDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const QString why = why_loop_devices_are_missing(); !why.isEmpty())
            GTEST_SKIP() << "loop devices not available (" << why.toStdString() << "): real-device mode not tested";
        qunsetenv("TARN_DISKS");
        qunsetenv("TARN_SYSFS_ROOT");
    }

    int cli(const QStringList& args, QString* output, const QStringList& env = {})
    {
        return run_tool(qEnvironmentVariable("TARN_CLI"), args, output, QStringList{"TZ=UTC"} + env);
    }

    // Deleted files in a folder, a deleted folder and a live file, written with mtools into the
    // FAT file system at byte offset `at` of image.
    void fill_volume(const QString& image, std::uint64_t at)
    {
        const QString i = image + "@@" + QString::number(at);
        const QString a = dir_.filePath("src/a.bin"), b = dir_.filePath("src/Längerer Name.txt");
        QByteArray bytes(70000, '\0');
        for (int k = 0; k < bytes.size(); ++k)
            bytes[k] = static_cast<char>((k * 31) ^ (k >> 8));
        ASSERT_TRUE(write_text(a, QString::fromLatin1(bytes.toBase64())));
        ASSERT_TRUE(write_text(b, "kept words\n"));
        ASSERT_EQ(run_mtools({"mmd", "-i", i, "::/Gone", "::/Live"}), 0);
        ASSERT_EQ(run_mtools({"mcopy", "-i", i, a, b, "::/Gone/"}), 0);
        ASSERT_EQ(run_mtools({"mcopy", "-i", i, b, "::/Live/"}), 0);
        ASSERT_EQ(run_mtools({"mdeltree", "-i", i, "::/Gone"}), 0);
    }

    // Image mode's listing and recovered files for row `row` of image.
    void scan_in_image_mode(const QString& image, const QString& row, QString& listing)
    {
        ASSERT_EQ(cli({"scan", row, "--recover", dir_.filePath("image-out")}, &listing, {"TARN_DISKS=" + image}), 0)
            << listing.toStdString();
        ASSERT_FALSE(listing.isEmpty());
    }

    // The row of `volumes` whose mount path is device, scanned and recovered; both must match
    // image mode.
    void scan_device_volume(const QString& device, const QString& image_listing, const QStringList& env = {})
    {
        QString volumes;
        ASSERT_EQ(cli({"volumes"}, &volumes, env), 0) << volumes.toStdString();
        QString row;
        for (const QStringList& r : rows_of(volumes))
            if (r.value(1) == device)
                row = r.value(0);
        ASSERT_FALSE(row.isEmpty()) << volumes.toStdString();
        QString listing;
        const QString out = dir_.filePath("device-out");
        ASSERT_EQ(cli({"scan", row, "--recover", out}, &listing, env), 0) << listing.toStdString();
        EXPECT_EQ(listing, image_listing);
        const auto recovered = digests_below(out);
        EXPECT_FALSE(recovered.isEmpty());
        EXPECT_EQ(recovered, digests_below(dir_.filePath("image-out")));
    }

    QTemporaryDir dir_;
};

TEST_F(RealDevice, WholeVolumeOnALoopDeviceMatchesImageMode)
{
    const QString image = dir_.filePath("volume.img");
    ASSERT_EQ(format_fat(image, 0, 131072, 32, "LOOPVOL"), 0);
    fill_volume(image, 0);
    QString image_listing;
    scan_in_image_mode(image, "1", image_listing);

    loop_device_c loop(image);
    ASSERT_FALSE(loop.path().isEmpty());
    ASSERT_EQ(sysfs_read_only(loop.name()), "1");
    // A read-only loop device holding squashfs is an installed package, not a disk.
    const QString package = dir_.filePath("package.squashfs");
    ASSERT_EQ(run_tool("mksquashfs", {dir_.filePath("src"), package, "-quiet", "-noappend"}), 0);
    loop_device_c package_loop(package);
    ASSERT_FALSE(package_loop.path().isEmpty());
    QString drives;
    ASSERT_EQ(cli({"drives"}, &drives), 0);
    EXPECT_FALSE(drives.contains(package_loop.path() + "\t")) << drives.toStdString();
    // Loop devices come after every real disk.
    bool seen_loop = false;
    QString loop_row;
    for (const QStringList& r : rows_of(drives)) {
        const bool is_loop = r.value(1).startsWith("/dev/loop");
        EXPECT_FALSE(seen_loop && !is_loop) << drives.toStdString();
        seen_loop = seen_loop || is_loop;
        if (r.value(1) == loop.path()) {
            loop_row = r.value(0);
            EXPECT_EQ(r.value(2).toULongLong(), 131072ull * 512); // the true size
        }
    }
    ASSERT_FALSE(loop_row.isEmpty()) << drives.toStdString();
    scan_device_volume(loop.path(), image_listing);
}

TEST_F(RealDevice, PartitionNodeAtItsOffsetReadsItsOwnPartition)
{
    // Partition 1 FAT32; partition 2 an extended container holding a small FAT16 logical one.
    const QString image = dir_.filePath("disk.img");
    ASSERT_EQ(make_sparse_file(image, 96ull << 20), 0);
    ASSERT_EQ(write_partition_table(image, "label: dos\nstart=2048, size=131072, type=c\n"
                                           "start=135168, size=40960, type=5\nstart=137216, size=38912, type=6\n"),
              0);
    ASSERT_EQ(format_fat(image, 2048, 131072, 32, "PART1"), 0);
    ASSERT_EQ(format_fat(image, 137216, 38912, 16, "LOGICAL"), 0);
    fill_volume(image, 2048ull * 512);
    QString image_listing;
    scan_in_image_mode(image, "1", image_listing);

    loop_device_c disk(image);
    loop_device_c part(image, 2048ull * 512, 131072ull * 512);
    loop_device_c container(image, 135168ull * 512, 1024); // the kernel's node for a container is 1 KiB
    ASSERT_FALSE(disk.path().isEmpty() || part.path().isEmpty() || container.path().isEmpty());
    const QString sys = dir_.filePath("sys");
    const QString d = sys + "/block/" + disk.name();
    ASSERT_TRUE(write_text(d + "/size", "196608\n") && write_text(d + "/removable", "0\n") && write_text(d + "/ro", "1\n"));
    const struct {
        const loop_device_c& node;
        int number;
        std::uint64_t start, size;
    } children[] = {{part, 1, 2048, 131072}, {container, 2, 135168, 2}};
    ASSERT_TRUE(QDir().mkpath(sys + "/class/block"));
    ASSERT_TRUE(QFile::link("../../block/" + disk.name(), sys + "/class/block/" + disk.name()));
    for (const auto& c : children) {
        const QString p = d + "/" + c.node.name();
        ASSERT_TRUE(write_text(p + "/partition", QString::number(c.number)) && write_text(p + "/start", QString::number(c.start))
                    && write_text(p + "/size", QString::number(c.size)));
        ASSERT_TRUE(QFile::link("../../block/" + disk.name() + "/" + c.node.name(), sys + "/class/block/" + c.node.name()));
    }
    const QStringList env{"TARN_SYSFS_ROOT=" + sys};

    QString drives;
    ASSERT_EQ(cli({"drives"}, &drives, env), 0);
    ASSERT_EQ(rows_of(drives).size(), 1) << drives.toStdString();
    EXPECT_EQ(rows_of(drives)[0].value(1), disk.path());
    QString volumes;
    ASSERT_EQ(cli({"volumes"}, &volumes, env), 0);
    // The container is no volume; the partition is number 1 of disk 0.
    ASSERT_EQ(rows_of(volumes).size(), 1) << volumes.toStdString();
    const QStringList v = rows_of(volumes)[0];
    EXPECT_EQ(v.mid(1, 3), (QStringList{part.path(), "FAT32", "PART1"}));
    EXPECT_EQ(v.mid(6, 2), (QStringList{"1", "0"}));
    scan_device_volume(part.path(), image_listing, env);
}

// A volume mounted (read-only, through FUSE, as desktops mount NTFS) cannot be recovered onto
// itself: a target folder on it is refused before anything is scanned or written.
TEST_F(RealDevice, ATargetOnTheScannedVolumeIsRefused)
{
    if (!QFile::exists("/dev/fuse") || !have_tool("ntfs-3g"))
        GTEST_SKIP() << "no FUSE or ntfs-3g here: the refusal of a target on a mounted volume is not tested";
    const QString image = dir_.filePath("ntfs.img");
    ASSERT_EQ(make_sparse_file(image, 16 << 20), 0);
    ASSERT_EQ(run_tool("mkntfs", {"-F", "-Q", "-q", image}), 0);
    loop_device_c loop(image);
    ASSERT_FALSE(loop.path().isEmpty());
    const QString mount = dir_.filePath("mnt");
    ASSERT_TRUE(QDir().mkpath(mount));
    ASSERT_EQ(run_tool("ntfs-3g", {"-o", "ro", loop.path(), mount}), 0);
    QString volumes;
    EXPECT_EQ(cli({"volumes"}, &volumes), 0);
    QString row;
    for (const QStringList& r : rows_of(volumes))
        if (r.value(1) == mount)
            row = r.value(0);
    EXPECT_FALSE(row.isEmpty()) << volumes.toStdString();
    for (const char* command : {"scan", "carve"}) {
        QString output;
        EXPECT_EQ(cli({command, row, "--recover", mount + "/recovered"}, &output), 1) << command;
        EXPECT_TRUE(output.contains("lies on the volume being scanned")) << output.toStdString();
    }
    run_tool("umount", {mount});
    // ntfs-3g leaves the device only once its process has gone.
    for (int i = 0; i < 50 && run_tool("fuser", {"-s", loop.path()}) == 0; ++i)
        QThread::msleep(100);
}

} // namespace
