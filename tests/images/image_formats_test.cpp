// Every image format against its raw image, through the command-line tool as a user runs it:
// the same volumes, the same files found by the FAT and NTFS scans and the deep scan, the same
// recovered bytes, the same partitions found; and images that cannot be read refused by name.

#include "platform/image_segments.h"
#include "tests/images/image_set.h"
#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <gtest/gtest.h>

#include <map>

#include <sys/stat.h>
#include <zlib.h>

using namespace tarn;
using namespace tarn::test;

namespace {

// Made once for every test of the program.
class disks_environment_c : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(set.build(), 0); }
    image_set_c set;
};
image_set_c* disks = nullptr;
const auto* environment = [] {
    auto* made = new disks_environment_c;
    disks = &made->set;
    return ::testing::AddGlobalTestEnvironment(made);
}();

struct run_s {
    int status = -1;
    QString output;
};

// The raw disks are disks 1 and 2 (TARN_DISKS); images come after them.
run_s cli(const QStringList& args)
{
    run_s run;
    run.status = run_tool(qEnvironmentVariable("TARN_CLI"), args, &run.output,
                          {"TARN_DISKS=" + disks->fat_raw() + ":" + disks->ntfs_raw(), "TZ=UTC"});
    return run;
}

std::vector<QJsonObject> json_rows(const QString& output)
{
    std::vector<QJsonObject> rows;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts))
        if (line.startsWith('{'))
            rows.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
    return rows;
}

// The row of the volume whose device is partition of disk (any partition when -1), and that
// volume's facts.
QString volume_row(const std::vector<QJsonObject>& rows, const QString& disk, QJsonObject& facts, int partition = -1)
{
    for (const auto& row : rows) {
        const QString device = row["mount_path"].toString();
        if (partition < 0 ? device.startsWith(disk + "#") : device == disk + "#" + QString::number(partition)) {
            facts = row;
            return QString::number(row["row"].toInt());
        }
    }
    return {};
}

// Relative path → SHA-256 of every file below root.
std::map<QString, QByteArray> tree_hashes(const QString& root)
{
    std::map<QString, QByteArray> hashes;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            hashes[QDir(root).relativeFilePath(file.fileName())] = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    }
    return hashes;
}

struct work_s {
    QString listing;
    std::map<QString, QByteArray> files;
};

// A scan or carve of a volume row with its files recovered into a folder of their own.
work_s recover(const QStringList& prefix, const QString& command, const QString& row, const QString& folder)
{
    const run_s run = cli(prefix + QStringList{command, row, "--recover", folder});
    EXPECT_EQ(run.status, 0) << run.output.toStdString();
    return {run.output, tree_hashes(folder)};
}

class ImageFormats : public ::testing::TestWithParam<image_format_s> {};

QString facts_text(QJsonObject facts)
{
    for (const char* key : {"row", "mount_path", "volume_path", "disk_number"})
        facts.remove(key);
    return QString::fromUtf8(QJsonDocument(facts).toJson(QJsonDocument::Compact));
}

TEST_P(ImageFormats, ReadsAsItsRawImageDoes)
{
    const image_format_s format = GetParam();
    const QString fat = disks->copy(disks->fat_raw(), format);
    const QString ntfs = disks->copy(disks->ntfs_raw(), format);
    ASSERT_FALSE(fat.isEmpty());
    ASSERT_FALSE(ntfs.isEmpty());
    const QStringList images = {"--image", fat, "--image", ntfs};

    const run_s volumes = cli(QStringList{"--json"} + images + QStringList{"volumes"});
    ASSERT_EQ(volumes.status, 0) << volumes.output.toStdString();
    const auto rows = json_rows(volumes.output);
    QJsonObject raw_fat, image_fat, raw_ntfs, image_ntfs;
    const QString raw_fat_row = volume_row(rows, disks->fat_raw(), raw_fat, 5);
    const QString fat_row = volume_row(rows, fat, image_fat, 5);
    const QString raw_ntfs_row = volume_row(rows, disks->ntfs_raw(), raw_ntfs, 0);
    const QString ntfs_row = volume_row(rows, ntfs, image_ntfs, 0);
    ASSERT_FALSE(fat_row.isEmpty() || ntfs_row.isEmpty()) << volumes.output.toStdString();
    EXPECT_EQ(raw_fat["fs_name"].toString(), "FAT32");
    EXPECT_EQ(rows.size(), 6u); // the empty primary partition too, on each FAT disk
    EXPECT_EQ(image_fat["disk_number"].toInt(), 2);
    EXPECT_EQ(facts_text(image_fat).toStdString(), facts_text(raw_fat).toStdString());
    EXPECT_EQ(facts_text(image_ntfs).toStdString(), facts_text(raw_ntfs).toStdString());

    const QString out = disks->path(QString::fromLatin1(format.name).remove(' '));
    const work_s fat_scan = recover(images, "scan", fat_row, out + "/fat");
    const work_s raw_fat_scan = recover(images, "scan", raw_fat_row, out + "/fat-raw");
    EXPECT_TRUE(fat_scan.listing.contains("Bilder/#icture.png")) << fat_scan.listing.toStdString();
    EXPECT_EQ(fat_scan.listing.toStdString(), raw_fat_scan.listing.toStdString());
    EXPECT_EQ(fat_scan.files, raw_fat_scan.files);

    const work_s ntfs_scan = recover(images, "scan", ntfs_row, out + "/ntfs");
    const work_s raw_ntfs_scan = recover(images, "scan", raw_ntfs_row, out + "/ntfs-raw");
    EXPECT_TRUE(ntfs_scan.listing.contains("brief.txt")) << ntfs_scan.listing.toStdString();
    EXPECT_EQ(ntfs_scan.listing.toStdString(), raw_ntfs_scan.listing.toStdString());
    EXPECT_EQ(ntfs_scan.files, raw_ntfs_scan.files);

    const work_s carved = recover(images, "carve", fat_row, out + "/carve");
    const work_s raw_carved = recover(images, "carve", raw_fat_row, out + "/carve-raw");
    EXPECT_TRUE(carved.listing.contains("\tpng")) << carved.listing.toStdString();
    EXPECT_EQ(carved.listing.toStdString(), raw_carved.listing.toStdString());
    EXPECT_EQ(carved.files, raw_carved.files);

    // Drives 1 and 2 are the raw disks, 3 and 4 their images. The search finds the same
    // partitions; a repair is refused and leaves the image as it was.
    for (const auto& [raw_drive, drive] : {std::pair{"1", "3"}, std::pair{"2", "4"}}) {
        const run_s raw_search = cli(images + QStringList{"partitions", raw_drive});
        const run_s search = cli(images + QStringList{"partitions", drive});
        EXPECT_EQ(search.status, 0) << search.output.toStdString();
        EXPECT_EQ(search.output.toStdString(), raw_search.output.toStdString());
        EXPECT_FALSE(search.output.trimmed().isEmpty());
    }
    const QByteArray before = tree_hashes(QFileInfo(fat).absolutePath())[QFileInfo(fat).fileName()];
    EXPECT_NE(cli(images + QStringList{"partitions", "3", "--repair", "--yes"}).status, 0);
    EXPECT_EQ(tree_hashes(QFileInfo(fat).absolutePath())[QFileInfo(fat).fileName()], before);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ImageFormats, ::testing::ValuesIn(image_formats()),
                         [](const auto& test) { return QString::fromLatin1(test.param.name).remove(' ').toStdString(); });

// Each file that cannot be read is named with its reason; nothing of it is listed, the good
// image beside it is, and the exit status says that not everything asked for was read.
TEST(ImageErrors, UnreadableImagesAreRefusedByName)
{
    const image_format_s& e01 = image_formats()[1];
    const image_format_s& vhdx = image_formats()[4];
    const image_format_s& qcow2 = image_formats()[5];
    const QString good = disks->copy(disks->ntfs_raw(), vhdx);
    const QString segmented = disks->copy(disks->fat_raw(), e01);
    ASSERT_FALSE(good.isEmpty() || segmented.isEmpty());
    ASSERT_TRUE(QFile::exists(ewf_segment_name(segmented, 3)));
    const QString dir = disks->path("bad");
    ASSERT_TRUE(QDir().mkpath(dir));
    const auto copy_to = [&dir](const QString& from, const QString& name) {
        QFile::copy(from, dir + "/" + name);
        return dir + "/" + name;
    };
    const auto cut = [](const QString& path, qint64 size) { return QFile::resize(path, size); };

    // Segments 1 and 3 of the E01 without 2; the first segment alone, cut in half.
    const QString gap = copy_to(segmented, "gap.E01");
    copy_to(ewf_segment_name(segmented, 3), "gap.E03");
    const QString halved = copy_to(segmented, "half.E01");
    ASSERT_TRUE(cut(halved, QFileInfo(halved).size() / 2));
    const QString second = copy_to(ewf_segment_name(segmented, 2), "second.E02");
    copy_to(disks->fat_raw(), "split.001");
    copy_to(disks->fat_raw(), "split.003");
    const QString cut_vhdx = copy_to(good, "cut.vhdx");
    // Cut inside its tables: a copy cut among its data blocks opens, and the missing blocks fail
    // as reads do on a bad disk.
    ASSERT_TRUE(cut(cut_vhdx, 2 << 20));
    const QString base = disks->copy(disks->ntfs_raw(), qcow2);
    const QString child = dir + "/child.qcow2";
    ASSERT_EQ(run_tool("qemu-img", {"create", "-q", "-f", "qcow2", "-b", base, "-F", "qcow2", child}), 0);
    const QString vmdk_base = disks->copy(disks->ntfs_raw(), image_formats()[2]);
    const QString vmdk_child = dir + "/child.vmdk";
    ASSERT_EQ(run_tool("qemu-img", {"create", "-q", "-f", "vmdk", "-b", vmdk_base, "-F", "vmdk", vmdk_child}), 0);
    QFile tiny(dir + "/tiny.img");
    ASSERT_TRUE(tiny.open(QIODevice::WriteOnly) && tiny.write(QByteArray(100, 'x')) == 100);
    tiny.close();

    const struct {
        QString file;
        const char* reason;
    } cases[] = {
        {gap, "segment 2 is missing"},
        {halved, "is cut short"},
        {second, "open its first segment"},
        {dir + "/split.001", "split.002 is missing"},
        {cut_vhdx, "cannot be read as VHDX image"},
        {child, "backing image"},
        {vmdk_child, "changes to a parent image"},
        {tiny.fileName(), "too small to hold a disk"},
        {dir, "is not a disk image file"},
        {dir + "/absent.E01", "no such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const run_s run = cli({"--json", "--image", c.file, "--image", good, "volumes"});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.output.contains(c.file + ": ")) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(c.reason)) << run.output.toStdString();
        QJsonObject facts;
        EXPECT_TRUE(volume_row(json_rows(run.output), c.file, facts).isEmpty());
        EXPECT_FALSE(volume_row(json_rows(run.output), good, facts).isEmpty());
        // The same file among the TARN_DISKS images: left out of both lists alike and named;
        // the disk after it is disk 1 in both.
        const QStringList env = {"TARN_DISKS=" + c.file + ":" + disks->fat_raw()};
        for (const char* command : {"drives", "volumes"}) {
            QString output;
            EXPECT_EQ(run_tool(qEnvironmentVariable("TARN_CLI"), {"--json", command}, &output, env), 1) << command;
            EXPECT_TRUE(output.contains(c.file + ": ") && output.contains(c.reason)) << output.toStdString();
            const std::vector<QJsonObject> rows = json_rows(output);
            ASSERT_FALSE(rows.empty()) << output.toStdString();
            EXPECT_EQ(rows.front()[command == std::string("drives") ? "path" : "disk_number"].toVariant(),
                      command == std::string("drives") ? QVariant(disks->fat_raw()) : QVariant(0))
                << output.toStdString();
        }
    }
}

// Split raw images whose pieces are numbered from .000 and from .001 open whole whichever piece
// is chosen: the disk has the raw image's size and its volumes.
TEST(ImageErrors, SplitImagesOpenWholeFromAnyPiece)
{
    const QString raw = disks->fat_raw();
    const run_s plain = cli({"--json", "volumes"});
    QJsonObject raw_facts;
    ASSERT_FALSE(volume_row(json_rows(plain.output), raw, raw_facts, 5).isEmpty());
    for (const int first : {0, 1}) {
        const QString stem = disks->path(QStringLiteral("from%1/disk.raw").arg(first));
        ASSERT_TRUE(QDir().mkpath(QFileInfo(stem).path()));
        ASSERT_EQ(run_tool("split", {"-b", "16M", "-a", "3", QStringLiteral("--numeric-suffixes=%1").arg(first), raw, stem + "."}), 0);
        for (int piece = first; piece < first + 3; ++piece) {
            const QString chosen = stem + QStringLiteral(".%1").arg(piece, 3, 10, QLatin1Char('0'));
            SCOPED_TRACE(chosen.toStdString());
            const run_s drives = cli({"--json", "--image", chosen, "drives"});
            ASSERT_EQ(drives.status, 0) << drives.output.toStdString();
            const std::vector<QJsonObject> rows = json_rows(drives.output);
            ASSERT_EQ(rows.size(), 3u) << drives.output.toStdString();
            EXPECT_EQ(rows[2]["size"].toVariant().toULongLong(), static_cast<qulonglong>(QFileInfo(raw).size()));
            const run_s volumes = cli({"--json", "--image", chosen, "volumes"});
            QJsonObject facts;
            ASSERT_FALSE(volume_row(json_rows(volumes.output), chosen, facts, 5).isEmpty()) << volumes.output.toStdString();
            EXPECT_EQ(facts["total_bytes"], raw_facts["total_bytes"]);
            EXPECT_EQ(facts["fs_name"], raw_facts["fs_name"]);
        }
    }
}

TEST(ImageErrors, EwfSegmentsAreNamedAsTheirWritersNameThem)
{
    EXPECT_EQ(ewf_segment_name("/d/x.E01", 2), "/d/x.E02");
    EXPECT_EQ(ewf_segment_name("/d/x.E01", 99), "/d/x.E99");
    EXPECT_EQ(ewf_segment_name("/d/x.E01", 100), "/d/x.EAA");
    EXPECT_EQ(ewf_segment_name("/d/x.E01", 100 + 26 * 26), "/d/x.FAA");
    EXPECT_EQ(ewf_segment_name("/d/x.e01", 101), "/d/x.eab");
    EXPECT_EQ(ewf_segment_name("/d/x.E01", 100 + 26 * 26 * 22), ""); // past ZZZ
    EXPECT_EQ(ewf_segment_name("/d/x.img", 2), "");
}

} // namespace

namespace {

bool patch(const QString& path, qint64 at, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.seek(at) && file.write(bytes) == bytes.size();
}

QByteArray be64(quint64 v)
{
    QByteArray b(8, '\0');
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<char>(v >> (56 - 8 * i));
    return b;
}

// Sets a VHD footer's size (at footer_at) and makes its checksum right again.
bool set_vhd_size(const QString& path, qint64 footer_at, quint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(footer_at))
        return false;
    QByteArray footer = file.read(512);
    footer.replace(48, 8, be64(size));
    footer.replace(64, 4, QByteArray(4, '\0'));
    quint32 sum = 0;
    for (const char c : footer)
        sum += static_cast<unsigned char>(c);
    sum = ~sum;
    footer.replace(64, 4, be64(sum).right(4));
    return file.seek(footer_at) && file.write(footer) == 512;
}

} // namespace

// Containers crafted to steer the reading libraries (extents outside their folder, FIFOs where a
// file belongs, disks larger than their tables, parents) are refused by name at once.
TEST(ImageErrors, CraftedContainersAreRefusedBeforeTheLibraryOpensThem)
{
    const QString dir = disks->path("crafted");
    ASSERT_TRUE(QDir().mkpath(dir));
    const auto made = [&dir](const char* format, const QString& name, const QStringList& options = {}) {
        const QString file = dir + "/" + name;
        return run_tool("qemu-img", QStringList{"create", "-q", "-f", format} + options + QStringList{file, "4M"}) == 0 ? file : QString();
    };
    const auto descriptor = [&dir](const QString& name, const QString& extent) {
        QFile file(dir + "/" + name);
        const QByteArray text = "# Disk DescriptorFile\nversion=1\nCID=fffffffe\nparentCID=ffffffff\ncreateType=\"monolithicFlat\"\n"
                                "RW 8192 FLAT \"" + extent.toUtf8() + "\" 0\n";
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName() : QString();
    };
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/fifo-flat.vmdk").constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/fifo.img").constData(), 0600), 0);
    QFile small(dir + "/small-flat.vmdk");
    ASSERT_TRUE(small.open(QIODevice::WriteOnly) && small.resize(1 << 20));
    small.close();

    const QString huge_qcow = made("qcow2", "huge.qcow2"), wrapped_qcow = made("qcow2", "wrapped.qcow2");
    ASSERT_TRUE(patch(huge_qcow, 24, be64(1ull << 62)) && patch(wrapped_qcow, 24, be64(~0ull - 511)));
    const QString sparse_vmdk = made("vmdk", "sparse.vmdk");
    QByteArray capacity(8, '\0');
    qToLittleEndian<quint64>(1ull << 53, capacity.data()); // sectors: 2^62 bytes
    ASSERT_TRUE(patch(sparse_vmdk, 12, capacity));
    const QString fixed = made("vpc", "fixed.vhd", {"-o", "subformat=fixed"}), dynamic = made("vpc", "dynamic.vhd");
    ASSERT_TRUE(set_vhd_size(fixed, QFileInfo(fixed).size() - 512, 1ull << 62));
    ASSERT_TRUE(set_vhd_size(dynamic, 0, 1ull << 62) && set_vhd_size(dynamic, QFileInfo(dynamic).size() - 512, 1ull << 62));
    // A VHDX whose file parameters say it has a parent.
    const QString child = made("vhdx", "child.vhdx");
    QFile vhdx(child);
    ASSERT_TRUE(vhdx.open(QIODevice::ReadOnly));
    const QByteArray bytes = vhdx.readAll();
    vhdx.close();
    const qsizetype metadata = bytes.indexOf("metadata", 192 << 10);
    const qsizetype item = bytes.indexOf(QByteArray::fromHex("3767a1ca36fa434db3b633f0aa44e76b"), metadata);
    ASSERT_TRUE(metadata > 0 && item > metadata);
    const qsizetype flags = metadata + qFromLittleEndian<quint32>(bytes.constData() + item + 16) + 4;
    ASSERT_TRUE(patch(child, flags, QByteArray(1, static_cast<char>(bytes[flags] | 2))));
    // An E01 whose second segment is a FIFO; a split image with an empty piece.
    const QString segmented = disks->copy(disks->fat_raw(), image_formats()[1]);
    ASSERT_TRUE(QFile::copy(segmented, dir + "/fifo.E01") && QFile::copy(ewf_segment_name(segmented, 3), dir + "/fifo.E03"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/fifo.E02").constData(), 0600), 0);
    ASSERT_TRUE(QFile::copy(disks->fat_raw(), dir + "/gap.001") && QFile::copy(disks->fat_raw(), dir + "/gap.003"));
    QFile empty(dir + "/gap.002");
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    // An E01 whose chunk table places its first chunk past the segment's end (checksums made right).
    const QString misplaced = dir + "/misplaced.E01";
    for (int n = 1; !ewf_segment_name(segmented, n).isEmpty() && QFile::exists(ewf_segment_name(segmented, n)); ++n)
        ASSERT_TRUE(QFile::copy(ewf_segment_name(segmented, n), ewf_segment_name(misplaced, n)));
    QFile e01(misplaced);
    ASSERT_TRUE(e01.open(QIODevice::ReadWrite));
    QByteArray segment = e01.readAll();
    const qsizetype table = segment.indexOf(QByteArray("table") + QByteArray(11, '\0'));
    ASSERT_GT(table, 0);
    const qsizetype entries = table + 76 + 24;
    const quint32 count = qFromLittleEndian<quint32>(segment.constData() + table + 76);
    qToLittleEndian<quint32>(0x7FFFFFF0u | (qFromLittleEndian<quint32>(segment.constData() + entries) & 0x80000000u),
                             segment.data() + entries);
    qToLittleEndian<quint32>(static_cast<quint32>(adler32(1, reinterpret_cast<const Bytef*>(segment.constData() + entries), count * 4)),
                             segment.data() + entries + count * 4);
    ASSERT_TRUE(e01.seek(0) && e01.write(segment) == segment.size());
    e01.close();

    const struct {
        QString file;
        const char* reason;
    } cases[] = {
        {descriptor("escape.vmdk", "../../../../etc/passwd"), "no plain file in its own folder"},
        {descriptor("memory.vmdk", "/proc/self/mem"), "no plain file in its own folder"},
        {descriptor("fifo.vmdk", "fifo-flat.vmdk"), "no plain file in its own folder"},
        {descriptor("short.vmdk", "small-flat.vmdk"), "claims more than its file holds"},
        {sparse_vmdk, "claims a disk of 4611686018427387904 bytes, but its grain directory would lie past its end"},
        {huge_qcow, "claims a disk of 4611686018427387904 bytes"},
        {wrapped_qcow, "claims a disk of"},
        {fixed, "claims a disk of 4611686018427387904 bytes"},
        {dynamic, "claims a disk of 4611686018427387904 bytes"},
        {child, "changes to a parent image"},
        {dir + "/fifo.E01", "fifo.E02: is no plain file"},
        {dir + "/fifo.img", "is not a disk image file"},
        {dir + "/gap.001", "gap.002 is empty"},
        {misplaced, "its chunk table places chunk 0 past its end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        ASSERT_FALSE(c.file.isEmpty());
        const run_s run = cli({"--image", c.file, "drives"});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.output.contains(c.reason)) << run.output.toStdString();
        QString listed;
        EXPECT_EQ(run_tool(qEnvironmentVariable("TARN_CLI"), {"drives"}, &listed, {"TARN_DISKS=" + c.file}), 1);
        EXPECT_TRUE(listed.contains(c.reason)) << listed.toStdString();
    }
}

// A QCOW2 whose cluster table points past its end: every read fails. The deep scan says the
// volume could not be read and exits 1, instead of finishing with nothing found.
TEST(ImageErrors, AScanInWhichEveryReadFailedIsAFailure)
{
    const QString image = disks->path("unreadable.qcow2");
    ASSERT_EQ(run_tool("qemu-img", {"create", "-q", "-f", "qcow2", image, "4M"}), 0);
    ASSERT_EQ(run_tool("qemu-io", {"-f", "qcow2", "-c", "write -P 0x55 0 4M", image}), 0);
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray head = file.read(48);
    const quint32 entries = qFromBigEndian<quint32>(head.constData() + 36);
    const quint64 table = qFromBigEndian<quint64>(head.constData() + 40);
    ASSERT_TRUE(file.seek(static_cast<qint64>(table)));
    for (quint32 i = 0; i < entries; ++i)
        ASSERT_EQ(file.write(be64((1ull << 63) | ((1ull << 40) + i * 65536ull))), 8);
    file.close();
    QString output;
    EXPECT_EQ(run_tool(qEnvironmentVariable("TARN_CLI"), {"carve", "1"}, &output, {"TARN_DISKS=" + image}), 1);
    EXPECT_TRUE(output.contains("carve: row 1: the volume could not be read")) << output.toStdString();
}
