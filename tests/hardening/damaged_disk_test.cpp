// Every engine and the lost-partition search on damaged disks, run as a user runs them: volumes
// made by mkfs.fat, mtools, mkntfs and mkfs.exfat and a partitioned disk made by sfdisk, then damaged — bytes
// flipped at random in the boot sector, the FATs, a folder's clusters or the MFT's records, the
// disk cut short at several points, all zeros, random bytes. Every command ends within its bound
// and exits 0 or 1 (never a crash), the damaged image stays as it was, and what the damage left
// readable is still listed.

#include "tests/exfat/exfat_volume.h"
#include "tests/ntfs/ntfs_volume.h"
#include "tests/partition/partition_fixtures.h"
#include "tests/support/test_support.h"
#include "tests/support/unchanged_images.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace tarn::test;

namespace {

// A command that takes longer than this hangs: the slowest of these scans takes well under a
// second in the normal build.
constexpr int command_bound_ms = 120000;

struct region_s {
    qint64 offset = 0;
    qint64 bytes = 0;
};

// A test disk and where its metadata lies.
struct disk_s {
    QString name;
    QByteArray bytes;
    region_s boot;
    region_s tables; // the FATs, or the MFT's first records; only boot sectors lie before it
    region_s folder; // the clusters of /Docs, or its MFT record
};

QByteArray read_all(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint32 le(const QByteArray& b, int at, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<quint8>(b[at + i]);
    return v;
}

// The sectors The Sleuth Kit gives for /Docs on a FAT volume: its clusters, found independently.
region_s folder_sectors(const QString& image)
{
    QString inode;
    QString stat;
    if (run_tool("ifind", {"-n", "/Docs", image}, &inode) != 0
        || run_tool("istat", {image, inode.trimmed()}, &stat) != 0)
        return {};
    const QStringList sectors = stat.section("Sectors:", 1).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    if (sectors.isEmpty())
        return {};
    return {sectors.first().toLongLong() * 512, static_cast<qint64>(sectors.size()) * 512};
}

disk_s fat_disk(const QString& dir, int bits, std::uint64_t sectors)
{
    const QString image = dir + QString("/fat%1.img").arg(bits);
    const QString note = dir + "/note.txt";
    QFile source(note);
    if (!source.open(QIODevice::WriteOnly) || source.write(QByteArray(7000, 'n')) != 7000)
        return {};
    source.close();
    const bool made = format_fat(image, 0, sectors, bits, "DAMAGED", bits == 32 ? 1 : 0) == 0
                      && run_mtools({"mmd", "-i", image, "::/Docs", "::/Old"}) == 0
                      && run_mtools({"mcopy", "-i", image, note, "::/Docs/letter.txt"}) == 0
                      && run_mtools({"mcopy", "-i", image, note, "::/Docs/kept.txt"}) == 0
                      && run_mtools({"mcopy", "-i", image, note, "::/Old/inner.txt"}) == 0
                      && run_mtools({"mcopy", "-i", image, note, "::/report.txt"}) == 0
                      && run_mtools({"mdel", "-i", image, "::/Docs/letter.txt", "::/report.txt"}) == 0
                      && run_mtools({"mdeltree", "-i", image, "::/Old"}) == 0;
    if (!made)
        return {};
    disk_s disk{QString("FAT%1").arg(bits), read_all(image), {}, {}, {}};
    const QByteArray& b = disk.bytes;
    const qint64 reserved = le(b, 14, 2), fats = static_cast<quint8>(b[16]);
    const qint64 fat_sectors = bits == 32 ? le(b, 36, 4) : le(b, 22, 2);
    disk.boot = {0, 512};
    disk.tables = {reserved * 512, fats * fat_sectors * 512};
    disk.folder = folder_sectors(image);
    return disk;
}

disk_s ntfs_disk(const QString& dir)
{
    const QString image = dir + "/ntfs.img";
    if (make_ntfs_volume(image, 16ll << 20,
                         {"mkdir", "/Docs", "fill", "/Docs/letter.txt", "7000", "1", "fill", "/Docs/kept.txt", "7000", "2",
                          "mkdir", "/Old", "fill", "/Old/inner.txt", "3000", "3", "fill", "/report.txt", "7000", "4", "rm",
                          "/Docs/letter.txt", "rm", "/report.txt", "rm", "/Old/inner.txt", "rm", "/Old"})
        != 0)
        return {};
    disk_s disk{"NTFS", read_all(image), {}, {}, {}};
    const QByteArray& b = disk.bytes;
    const qint64 cluster = le(b, 11, 2) * static_cast<quint8>(b[13]);
    const qint64 mft = static_cast<qint64>(le(b, 0x30, 4)) * cluster;
    QString inode;
    run_tool("ifind", {"-n", "/Docs", image}, &inode);
    disk.boot = {0, 512};
    disk.tables = {mft, 64 * 1024}; // the system files' records, which opening the volume reads
    disk.folder = {mft + inode.trimmed().toLongLong() * 1024, 1024};
    return disk;
}

// The same folders and files on exFAT, their sets written by hand (a mount needs root).
disk_s exfat_disk(const QString& dir)
{
    tarn::test::exfat_image_c image(dir, 16 << 20);
    if (image.bytes().empty())
        return {};
    std::uint32_t next = image.free_cluster(2);
    const auto data = [&](bool live) {
        const std::uint32_t first = next;
        next += 2;
        std::fill_n(image.bytes().begin() + static_cast<qsizetype>(image.cluster_offset(first)), 7000, std::byte{'n'});
        if (live)
            image.allocate(first, 2, false);
        return first;
    };
    const std::uint32_t docs = next++, old = next++;
    image.allocate(docs, 1, true);
    std::size_t slot = static_cast<std::size_t>(image.root_slot(0x00));
    slot += image.put_set(image.root_cluster(), slot, {u"Docs", 0x10, docs, 4096, UINT64_MAX, false, false});
    slot += image.put_set(image.root_cluster(), slot, {u"Old", 0x10, old, 4096, UINT64_MAX, true, true});
    image.put_set(image.root_cluster(), slot, {u"report.txt", 0x20, data(false), 7000});
    const std::size_t kept = image.put_set(docs, 0, {u"kept.txt", 0x20, data(true), 7000, UINT64_MAX, true, false});
    image.put_set(docs, kept, {u"letter.txt", 0x20, data(false), 7000});
    image.put_set(old, 0, {u"inner.txt", 0x20, data(false), 7000});
    disk_s disk{"exFAT", QByteArray(reinterpret_cast<const char*>(image.bytes().data()), static_cast<qsizetype>(image.bytes().size())),
                {}, {}, {}};
    const QByteArray& b = disk.bytes;
    disk.boot = {0, 512};
    disk.tables = {le(b, 80, 4) * 512, le(b, 84, 4) * 512};
    disk.folder = {static_cast<qint64>(image.cluster_offset(docs)), 4096};
    return disk;
}

disk_s partitioned_disk(const QString& dir)
{
    const QString image = dir + "/mixed.img";
    if (make_intact_mixed_disk(image) != 0)
        return {};
    disk_s disk{"MBR disk", read_all(image), {}, {}, {}};
    disk.boot = {0, 512};
    disk.tables = {2048 * 512, 1024}; // the FAT32 partition's boot and information sectors
    disk.folder = {86016ll * 512, 4096}; // the swap area's header
    return disk;
}

QByteArray flipped(QByteArray bytes, region_s where, int count, std::mt19937& random)
{
    if (where.bytes <= 0)
        return {};
    for (int i = 0; i < count; ++i) {
        const qint64 at = where.offset + static_cast<qint64>(random() % static_cast<quint64>(where.bytes));
        bytes[at] = static_cast<char>(bytes[at] ^ static_cast<char>(1 + random() % 255));
    }
    return bytes;
}

struct damage_s {
    const char* name;
    std::function<QByteArray(const disk_s&, std::mt19937&)> apply;
    // Text the scan of the first volume must still print; empty when the damage may take it all.
    const char* survives;
    // Nothing of the disk is left but its boot sectors: a file listed would be noise read as one.
    bool lists_nothing = false;
};

QByteArray noise(qsizetype bytes, std::mt19937& random)
{
    QByteArray out(bytes, '\0');
    for (char& c : out)
        c = static_cast<char>(random());
    return out;
}

const damage_s damages[] = {
    {"boot sector flips", [](const disk_s& d, std::mt19937& r) { return flipped(d.bytes, d.boot, 24, r); }, ""},
    {"table flips", [](const disk_s& d, std::mt19937& r) { return flipped(d.bytes, d.tables, 200, r); }, ""},
    // Deleted names outside /Docs come from other clusters or records.
    {"folder flips", [](const disk_s& d, std::mt19937& r) { return flipped(d.bytes, d.folder, 64, r); }, "eport.txt"},
    {"cut to an eighth", [](const disk_s& d, std::mt19937&) { return d.bytes.left(d.bytes.size() / 8); }, ""},
    // A disk image taken from a dying disk is often short: what it holds is still read.
    {"cut in half", [](const disk_s& d, std::mt19937&) { return d.bytes.left(d.bytes.size() / 2); }, "eport.txt"},
    {"cut at an odd byte", [](const disk_s& d, std::mt19937&) { return d.bytes.left(d.bytes.size() * 3 / 4 + 777); }, ""},
    {"all zeros", [](const disk_s& d, std::mt19937&) { return QByteArray(d.bytes.size(), '\0'); }, ""},
    {"random bytes", [](const disk_s& d, std::mt19937& r) { return noise(d.bytes.size(), r); }, ""},
    {"noise past the boot sectors",
     [](const disk_s& d, std::mt19937& r) {
         return d.bytes.left(d.tables.offset) + noise(d.bytes.size() - d.tables.offset, r);
     },
     "", true},
};

struct run_s {
    int exit = -1; // -1: crashed, -2: killed after the bound
    QString output;
    qint64 ms = 0;
};

run_s run_cli(const QStringList& args, const QString& disk)
{
    QProcess process;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("TARN_DISKS", disk);
    env.insert("TZ", "UTC");
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(qEnvironmentVariable("TARN_CLI"), args);
    run_s run;
    if (!process.waitForFinished(command_bound_ms)) {
        process.kill();
        process.waitForFinished();
        run.exit = -2;
    } else if (process.exitStatus() == QProcess::NormalExit) {
        run.exit = process.exitCode();
    }
    run.output = QString::fromUtf8(process.readAll());
    run.ms = clock.elapsed();
    return run;
}

// The rows 'volumes' lists.
QStringList volume_rows(const QString& listing)
{
    QStringList rows;
    for (const QString& line : listing.split('\n', Qt::SkipEmptyParts))
        if (const QString row = line.section('\t', 0, 0); row.toInt() > 0)
            rows << row;
    return rows;
}

class DamagedDisks : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        disks_ = new std::vector<disk_s>{fat_disk(dir_->path(), 12, 8192), fat_disk(dir_->path(), 16, 40960),
                                         fat_disk(dir_->path(), 32, 70000), ntfs_disk(dir_->path()),
                                         exfat_disk(dir_->path()), partitioned_disk(dir_->path())};
    }
    static void TearDownTestSuite()
    {
        delete disks_;
        delete dir_;
    }

protected:
    static QTemporaryDir* dir_;
    static std::vector<disk_s>* disks_;
};

QTemporaryDir* DamagedDisks::dir_ = nullptr;
std::vector<disk_s>* DamagedDisks::disks_ = nullptr;

TEST_F(DamagedDisks, EveryCommandEndsAndKeepsWhatIsReadable)
{
    std::mt19937 random(1807);
    qint64 slowest = 0;
    int runs = 0;
    for (const disk_s& disk : *disks_) {
        ASSERT_FALSE(disk.bytes.isEmpty() || disk.folder.bytes == 0) << disk.name.toStdString() << " was not made";
        for (const damage_s& damage : damages) {
            const QByteArray bytes = damage.apply(disk, random);
            const QString label = disk.name + ", " + damage.name;
            const QString image = dir_->filePath(QString("case%1.img").arg(runs));
            QFile out(image);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
            out.close();
            unchanged_images_c guard;
            guard.watch(image);

            const run_s listing = run_cli({"volumes"}, image);
            QList<QStringList> commands = {{"partitions", "1"}};
            for (const QString& row : volume_rows(listing.output)) {
                const QString target = dir_->filePath(QString("out%1-%2").arg(runs).arg(row));
                commands.append({"scan", row, "--recover", target + "/scan"});
                commands.append({"carve", row, "--recover", target + "/carve"});
            }
            QString first_scan;
            for (const QStringList& command : commands) {
                const run_s run = run_cli(command, image);
                ++runs;
                slowest = std::max(slowest, run.ms);
                const std::string what = (label + ": " + command.join(' ')).toStdString();
                EXPECT_NE(run.exit, -2) << what << " did not end within its bound";
                EXPECT_TRUE(run.exit == 0 || run.exit == 1) << what << " exit " << run.exit << "\n"
                                                            << run.output.right(2000).toStdString();
                if (command[0] == "scan" && first_scan.isNull())
                    first_scan = run.output;
                if (command[0] == "scan" && damage.lists_nothing) {
                    EXPECT_FALSE(run.output.contains('\t')) << what << " listed noise:\n" << run.output.toStdString();
                }
            }
            if (*damage.survives && disk.name != "MBR disk") {
                EXPECT_TRUE(first_scan.contains(damage.survives))
                    << label.toStdString() << ": lost " << damage.survives << "\n" << first_scan.toStdString();
            }
            EXPECT_EQ(guard.report(), QString()) << label.toStdString();
        }
    }
    std::printf("%d commands on damaged disks, the slowest %lld ms\n", runs, static_cast<long long>(slowest));
}

// The lost-partition search goes by the partitions' own boot sectors: a destroyed partition
// table or a disk cut inside its last partition still shows the FAT32 partition.
TEST_F(DamagedDisks, PartitionSearchFindsWhatTheTableLost)
{
    const disk_s& disk = disks_->back();
    ASSERT_FALSE(disk.bytes.isEmpty());
    std::mt19937 random(5);
    const QByteArray cases[] = {flipped(disk.bytes, {446, 64}, 40, random),
                                QByteArray(512, '\0') + disk.bytes.mid(512), disk.bytes.left(100000 * 512 + 333)};
    for (const QByteArray& bytes : cases) {
        const QString image = dir_->filePath("search.img");
        QFile out(image);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        out.close();
        const run_s run = run_cli({"partitions", "1"}, image);
        EXPECT_EQ(run.exit, 0) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(QRegularExpression("\\b2048\\b.*FAT32|FAT32.*\\b2048\\b")))
            << run.output.toStdString();
    }
}

} // namespace
