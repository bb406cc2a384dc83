// tarnrecovery-cli scan, run as a user would run it, on image disks.

#include "scan/fat_name.h"
#include "tests/fat/fat_builder.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::test;

namespace {

class CliScan : public ::testing::Test {
protected:
    int cli(const QString& disk, const QStringList& args, QString* output)
    {
        return run_tool(qEnvironmentVariable("TARN_CLI"), args, output, {"TARN_DISKS=" + disk, "TZ=UTC"});
    }
    QStringList lines_of(const QString& output)
    {
        QStringList out;
        for (const QString& l : output.split('\n', Qt::SkipEmptyParts))
            if (!l.startsWith("Disk# "))
                out << l;
        return out;
    }
    QTemporaryDir dir_;
};

TEST_F(CliScan, ListsAndRecoversDeletedFilesOfAPartition)
{
    const QString image = dir_.filePath("disk.img");
    ASSERT_EQ(make_sparse_file(image, 48ull << 20), 0);
    ASSERT_EQ(write_partition_table(image, "label: dos\nstart=2048, size=90000, type=6\n"), 0);
    ASSERT_EQ(format_fat(image, 2048, 90000, 16, "CLI"), 0);
    QFile src(dir_.filePath("Über.txt"));
    ASSERT_TRUE(src.open(QIODevice::WriteOnly));
    const QByteArray content(5000, 'x');
    src.write(content);
    src.close();
    const QStringList env = {"MTOOLS_SKIP_CHECK=1", "LC_ALL=C.UTF-8", "TZ=UTC"};
    const QString at = image + "@@1048576";
    ASSERT_EQ(run_tool("faketime", {"2024-01-15 10:00:00", "mmd", "-i", at, "::/Ordner"}, nullptr, env), 0);
    ASSERT_EQ(run_tool("faketime", {"2024-01-15 10:00:00", "mcopy", "-i", at, src.fileName(), "::/Ordner/"}, nullptr, env), 0);
    ASSERT_EQ(run_tool("mdel", {"-i", at, "::/Ordner/Über.txt"}, nullptr, env), 0);

    QString output;
    ASSERT_EQ(cli(image, {"scan", "1"}, &output), 0) << output.toStdString();
    const QStringList lines = lines_of(output);
    ASSERT_EQ(lines.size(), 1) << output.toStdString();
    const QStringList f = lines[0].split('\t');
    ASSERT_EQ(f.size(), 5);
    EXPECT_EQ(f[0], "Ordner/#ber.txt");
    EXPECT_EQ(f[1], "5000");
    EXPECT_EQ(f[2], "1705312800");

    // On a terminal, standard output holds what a pipe gets: the rows and nothing else. The
    // progress line on standard error ends at 100 % with its line break, before any row.
    const QStringList env_of_run = {"TARN_DISKS=" + image, "TZ=UTC"};
    const QString tool = qEnvironmentVariable("TARN_CLI");
    QString on_terminal;
    ASSERT_EQ(run_tool("script", {"-qefc", tool + " scan 1 2>/dev/null", "/dev/null"}, &on_terminal, env_of_run), 0);
    EXPECT_EQ(on_terminal.remove('\r').toStdString(), output.toStdString());
    QString progress;
    ASSERT_EQ(run_tool("script", {"-qefc", tool + " scan 1 >" + dir_.filePath("rows"), "/dev/null"}, &progress, env_of_run), 0);
    EXPECT_TRUE(progress.contains(QRegularExpression("\r\033\\[Kscanning: 100%, \\d+ entries read, \\d+ found\r\n$")))
        << progress.toStdString();
    QFile rows(dir_.filePath("rows"));
    ASSERT_TRUE(rows.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(rows.readAll()).toStdString(), output.toStdString());

    const QString target = dir_.filePath("out");
    ASSERT_EQ(cli(image, {"scan", "1", "--recover", target}, &output), 0) << output.toStdString();
    // Listed with "#" as deleted, written under the long name the disk kept whole.
    QFile recovered(target + "/Ordner/Über.txt");
    ASSERT_TRUE(recovered.open(QIODevice::ReadOnly));
    EXPECT_EQ(recovered.readAll(), content);

    EXPECT_EQ(cli(image, {"scan", "7"}, &output), 2);
    EXPECT_EQ(cli(image, {"scan"}, &output), 2);
    EXPECT_EQ(cli(image, {"scan", "1", "--recover"}, &output), 2);
}

TEST_F(CliScan, HostileNamesStayInsideTheTargetFolder)
{
    fat_builder_c image(5000, 1);
    const std::u16string evil = u"../../evil";
    const char sfn[] = "\xE5" "VIL~1     ";
    auto part = long_name_entry(evil, 0x41, short_name_checksum("EVIL~1     "));
    part[0] = std::byte{0xE5};
    image.put_raw(0, 0, part.data());
    image.put_entry(0, 1, {sfn, 0x20, 10, 4});
    image.put_entry(0, 2, {"\xE5" "/\x01" "B    TXT", 0x20, 11, 4});
    image.put_entry(0, 3, {"\xE5" ".         ", 0x20, 12, 4});
    image.put_entry(0, 4, {"\xE5" "AME    TXT", 0x20, 13, 4});
    image.put_entry(0, 5, {"\xE5" "AME    TXT", 0x20, 14, 4}); // the same name again
    const QString disk = dir_.filePath("hostile.img");
    ASSERT_EQ(image.save(disk), 0);
    const QString target = dir_.filePath("inside/out");
    QString output;
    ASSERT_EQ(cli(disk, {"scan", "1", "--recover", target}, &output), 0) << output.toStdString();
    EXPECT_TRUE(lines_of(output).join('\n').contains("#./../evil")) << output.toStdString(); // shown as on disk
    // A control character of a name is printed as an escape, never raw.
    EXPECT_TRUE(output.contains("#/\\x01B.TXT\t")) << output.toStdString();
    EXPECT_FALSE(output.contains(QChar(0x01)));
    QStringList written;
    QDirIterator it(dir_.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        if (!f.endsWith(".img"))
            written << QDir(target).relativeFilePath(f);
    }
    written.sort();
    EXPECT_EQ(written, QStringList({"#.", "#AME (2).TXT", "#AME.TXT", "#__B.TXT", ".._.._evil"}));
}

// A volume the engine cannot read is a failure with its reason, never an empty listing.
TEST_F(CliScan, UnreadableVolumesFailWithTheirReason)
{
    const auto patch = [](const QString& path, qint64 at, QByteArray bytes) {
        QFile f(path);
        return f.open(QIODevice::ReadWrite) && f.seek(at) && f.write(bytes) == bytes.size();
    };
    const struct {
        const char* label;
        QStringList mkfs; // after "-C IMAGE"-style creation below
        std::function<bool(const QString&)> damage;
        const char* reason;
    } cases[] = {
        {"4096-byte sectors", {"-F", "16", "-S", "4096"}, [](const QString&) { return true; }, "no file system"},
        {"root cluster beyond the volume", {"-F", "32"},
         [&](const QString& img) { return patch(img, 44, QByteArray("\xF0\xFF\xFF\x00", 4)); }, "damaged"},
        {"image cut inside its FAT", {"-F", "32"},
         [](const QString& img) { return QFile::resize(img, 40 * 512); }, "could not be read"},
    };
    for (const auto& c : cases) {
        const QString image = dir_.filePath(QString("cut-%1.img").arg(&c - cases));
        ASSERT_EQ(run_tool("mkfs.fat", QStringList{"-C", "-i", "1234ABCD", "--invariant"} + c.mkfs + QStringList{image, "65536"}), 0)
            << c.label;
        ASSERT_TRUE(c.damage(image)) << c.label;
        QString volumes;
        ASSERT_EQ(cli(image, {"volumes"}, &volumes), 0);
        ASSERT_TRUE(volumes.contains("\tFAT")) << c.label << ": " << volumes.toStdString();
        QString output;
        EXPECT_EQ(cli(image, {"scan", "1"}, &output), 1) << c.label;
        EXPECT_TRUE(output.contains(c.reason)) << c.label << ": " << output.toStdString();
    }
}

// Two disks that are clones of each other (the same partition identifiers) are still two disks:
// each volume has its own path and number, and each scan reads its own disk.
TEST_F(CliScan, ClonedDisksAreScannedEachOnItsOwn)
{
    const QString a = dir_.filePath("a.img"), b = dir_.filePath("b.img");
    ASSERT_EQ(make_sparse_file(a, 48ull << 20), 0);
    ASSERT_EQ(write_partition_table(a, "label: dos\nlabel-id: 0x1234abcd\nstart=2048, size=90000, type=c\n"), 0);
    ASSERT_EQ(format_fat(a, 2048, 90000, 32, "CLONE"), 0);
    const QString note = dir_.filePath("note.txt"), other = dir_.filePath("other.txt");
    for (const QString& f : {note, other}) {
        QFile out(f);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(3000, f == note ? 'n' : 'o'));
    }
    ASSERT_EQ(run_mtools({"mcopy", "-i", a + "@@1048576", note, other, "::/"}), 0);
    ASSERT_TRUE(QFile::copy(a, b));
    ASSERT_EQ(run_mtools({"mdel", "-i", b + "@@1048576", "::/note.txt"}), 0);

    const QString disks = a + ":" + b;
    QString volumes;
    ASSERT_EQ(run_tool(qEnvironmentVariable("TARN_CLI"), {"volumes"}, &volumes, {"TARN_DISKS=" + disks}), 0);
    const QStringList rows = volumes.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2) << volumes.toStdString();
    const QStringList va = rows[0].split('\t'), vb = rows[1].split('\t');
    EXPECT_EQ(va[1], a + "#1");
    EXPECT_EQ(vb[1], b + "#1");
    EXPECT_EQ(va[7], "0");
    EXPECT_EQ(vb[7], "1");
    EXPECT_NE(va[8], vb[8]); // distinct volume paths
    QString listing;
    ASSERT_EQ(cli(disks, {"scan", "1"}, &listing), 0) << listing.toStdString();
    EXPECT_FALSE(listing.contains("#ote.txt")) << listing.toStdString();
    ASSERT_EQ(cli(disks, {"scan", "2"}, &listing), 0) << listing.toStdString();
    EXPECT_TRUE(listing.contains("#ote.txt")) << listing.toStdString();
}

// mtools reuses the first slot of a deleted long name for a new short-named file: what is left
// of the long name has lost its end and must not be shown as the name.
TEST_F(CliScan, ALongNameCutByANewEntryFallsBackToTheShortName)
{
    const QString image = dir_.filePath("lfn.img");
    ASSERT_EQ(format_fat(image, 0, 65536, 16, "LFN"), 0);
    const QString doc = dir_.filePath("Long File Name Document.txt"), small = dir_.filePath("b.txt");
    for (const QString& f : {doc, small}) {
        QFile out(f);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(700, 'd'));
    }
    ASSERT_EQ(run_mtools({"mmd", "-i", image, "::/Docs"}), 0);
    ASSERT_EQ(run_mtools({"mcopy", "-i", image, doc, "::/Docs/"}), 0);
    ASSERT_EQ(run_mtools({"mdel", "-i", image, "::/Docs/Long File Name Document.txt"}), 0);
    ASSERT_EQ(run_mtools({"mcopy", "-i", image, small, "::/Docs/"}), 0);
    QString listing;
    ASSERT_EQ(cli(image, {"scan", "1"}, &listing), 0) << listing.toStdString();
    EXPECT_TRUE(listing.contains("Docs/#ONGFI~1.TXT\t700")) << listing.toStdString();
    EXPECT_FALSE(listing.contains("ong File Name")) << listing.toStdString();
}

// Folders nested 30,000 deep (a damaged or hostile volume): listed, not a crash.
TEST_F(CliScan, FoldersNestedThirtyThousandDeepAreListed)
{
    constexpr std::uint32_t depth = 30000;
    fat_builder_c image(40000, 1);
    for (std::uint32_t level = 0; level < depth; ++level) {
        image.put_entry(level == 0 ? 0 : level + 1, 0, {"D          ", 0x10, level + 2});
        image.set_fat(level + 2, 0xFFFF);
    }
    image.put_entry(depth + 1, 0, {"\xE5" "EEP    TXT", 0x20, depth + 2, 4});
    image.fill_cluster(depth + 2, std::byte{'z'});
    const QString disk = dir_.filePath("deep.img");
    ASSERT_EQ(image.save(disk), 0);
    QString output;
    ASSERT_EQ(cli(disk, {"scan", "1"}, &output), 0) << output.left(300).toStdString();
    const QStringList lines = lines_of(output);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].count("D/"), int(depth));
    EXPECT_TRUE(lines[0].contains("/#EEP.TXT\t4\t"));
}

// Entries found only in a folder cluster no folder can be told for: listed and written under
// the folder of lost entries, never among the root's files, even when the root shows none.
TEST_F(CliScan, LostEntriesKeepTheirOwnTopFolder)
{
    fat_builder_c image(5000, 1);
    image.put_entry(150, 0, {"\xE5" "OST    TXT", 0x20, 160, 3});
    image.fill_cluster(160, std::byte{'L'});
    const QString disk = dir_.filePath("lost.img");
    ASSERT_EQ(image.save(disk), 0);
    const QString target = dir_.filePath("lost-out");
    QString output;
    ASSERT_EQ(cli(disk, {"scan", "1", "--recover", target}, &output), 0) << output.toStdString();
    ASSERT_EQ(lines_of(output).size(), 1) << output.toStdString();
    EXPECT_TRUE(lines_of(output)[0].startsWith("(orphan files)/#OST.TXT\t3\t")) << output.toStdString();
    QFile recovered(target + "/(orphan files)/#OST.TXT");
    ASSERT_TRUE(recovered.open(QIODevice::ReadOnly));
    EXPECT_EQ(recovered.readAll(), "LLL");
}

} // namespace
