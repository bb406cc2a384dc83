// The NTFS engine on a volume written and deleted by libntfs-3g: the deleted set and its paths
// against fls -r -d, every recovered file against icat, the tree's rules, orphans, and the start-up
// failure on a volume that is not NTFS.

#include "disk/volume_enumeration.h"
#include "recovery/engine_table.h"
#include "recovery/ntfs_tree.h"
#include "recovery/tree_builder.h"
#include "recovery/tree_extraction.h"
#include "scan/ntfs_recovery.h"
#include "tests/ntfs/ntfs_volume.h"
#include "tests/support/test_support.h"
#include "tests/support/unchanged_images.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::test;

namespace {

QByteArray sha_of_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

class NtfsEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_STATE_HOME", dir_.filePath("state").toUtf8());
        image_ = dir_.filePath("ntfs.img");
        // Resident and non-resident, fragmented (woven), Unicode names; a deleted folder with its
        // files, deleted files in a live folder, a live folder with nothing deleted, and a folder
        // whose record is reused by a new file after its deletion (its file becomes an orphan).
        // A fresh mount allocates the lowest free record, so "reuses-old.bin" takes the record of
        // the folder "Old" deleted just before, while the rest is deleted only afterwards.
        ASSERT_EQ(make_ntfs_volume(image_, 96ll << 20,
                                   {"mkdir", "/Fotos", "mkdir", "/Fotos/Urlaub 2023",
                                    "fill", "/Fotos/Urlaub 2023/Strand.jpg", "900000", "2",
                                    "fill", "/Fotos/Urlaub 2023/klein.txt", "300", "3",
                                    "fill", "/Fotos/Überblick – 概要.pdf", "120000", "4",
                                    "weave", "/Fotos/a.bin", "/Fotos/b.bin", "400000", "4096",
                                    "mkdir", "/Keep", "fill", "/Keep/live.txt", "50", "5",
                                    "mkdir", "/Old", "fill", "/Old/orphan.bin", "7000", "9", "rm", "/Old/orphan.bin",
                                    "rm", "/Old", "remount", "fill", "/reuses-old.bin", "100", "1",
                                    "rm", "/Fotos/Urlaub 2023/Strand.jpg", "rm", "/Fotos/Urlaub 2023/klein.txt",
                                    "rm", "/Fotos/Urlaub 2023", "rm", "/Fotos/Überblick – 概要.pdf", "rm", "/Fotos/a.bin"}),
                  0);
        qputenv("TARN_DISKS", image_.toUtf8());
        images_.watch(image_);
        enumerate_volumes();
        ASSERT_EQ(volume_list().size(), 2u);
        volume_ = volume_list()[1];
    }
    void TearDown() override
    {
        qunsetenv("TARN_DISKS");
        EXPECT_EQ(images_.report(), QString());
    }

    void scan(ntfs_recovery_c& engine, const volume_item_s& volume)
    {
        engine.reset();
        engine.set_volume(volume);
        engine.start();
        ASSERT_TRUE(engine.wait(60000));
    }

    // Deleted regular files fls places, by record number, with their paths ($OrphanFiles for
    // those it cannot place); its nameless reserved entries left out.
    QMap<quint64, QString> fls_deleted_files()
    {
        QString out;
        EXPECT_EQ(run_tool("fls", {"-r", "-d", "-p", image_}, &out), 0);
        QMap<quint64, QString> files;
        for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
            if (!line.startsWith("-/r * ") || line.contains("OrphanFile-"))
                continue;
            const QString address = line.section(' ', 2, 2).section('-', 0, 0).remove(':');
            files.insert(address.toULongLong(), line.section('\t', 1));
        }
        return files;
    }

    QTemporaryDir dir_;
    QString image_;
    volume_item_s volume_;
    unchanged_images_c images_;
};

TEST_F(NtfsEngine, DeletedFilesAgreeWithFlsAndComeBackByteExact)
{
    ntfs_recovery_c engine;
    scan(engine, volume_);
    ASSERT_EQ(engine.get_failure(), scan_failure_e::none);
    EXPECT_DOUBLE_EQ(engine.get_progress(), 1.0);
    const auto tree = build_tree(scanner_ntfs, engine, false);
    ASSERT_TRUE(tree);
    // Our listing: every file of every top folder, with its path.
    QMap<quint64, QString> ours;
    const QString out = dir_.filePath("out");
    for (const auto& top : tree->root().children) {
        const bool root = top.get() == tree->root().children.front().get();
        const auto branch = list_branch(scanner_ntfs, engine, *top, false);
        for (std::size_t i = 0; i < branch.size(); ++i)
            for (const recovery_item_s& row : branch[i].rows)
                ours.insert(row.id, ((root ? QStringList() : QStringList{"$OrphanFiles"})
                                     + branch_path(branch, static_cast<int>(i)) + QStringList{row.name})
                                        .join('/'));
        EXPECT_EQ(extract_branch(engine, scanner_ntfs, branch, root ? out : out + "/orphans"), 0);
    }
    EXPECT_EQ(ours, fls_deleted_files());
    EXPECT_TRUE(ours.values().contains("Fotos/Urlaub 2023/Strand.jpg"));
    EXPECT_TRUE(ours.values().contains("$OrphanFiles/orphan.bin"));
    for (auto it = ours.begin(); it != ours.end(); ++it) {
        QString icat;
        const QString copy = dir_.filePath("icat.bin");
        ASSERT_EQ(run_tool("sh", {"-c", QString("icat '%1' %2 > '%3'").arg(image_).arg(it.key()).arg(copy)}), 0);
        const QString mine = it.value().startsWith("$OrphanFiles/") ? out + "/orphans/" + it.value().mid(13)
                                                                    : out + "/" + it.value();
        EXPECT_EQ(sha_of_file(mine), sha_of_file(copy)) << it.value().toStdString();
    }
}

TEST_F(NtfsEngine, TreeShowsOnlyFoldersAboveDeletedFilesAndNoSystemRecords)
{
    ntfs_recovery_c engine;
    scan(engine, volume_);
    scan(engine, volume_); // a second scan closes the first context before opening its own
    const auto tree = build_tree(scanner_ntfs, engine, false);
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->root().children.size(), 2u);
    const TreeNode& top = *tree->root().children[0];
    EXPECT_EQ(top.name, "/");
    ASSERT_EQ(top.children.size(), 1u); // "Fotos"; "Keep" holds nothing deleted
    EXPECT_EQ(top.children[0]->name, "Fotos");
    ASSERT_EQ(top.children[0]->children.size(), 1u);
    EXPECT_EQ(top.children[0]->children[0]->name, "Urlaub 2023");
    EXPECT_EQ(tree->root().children[1]->name, orphan_folder_name());
    recovery_rows rows;
    list_folder(scanner_ntfs, engine, &top, rows, false);
    for (const recovery_item_s& row : rows)
        EXPECT_GT(row.id, 11u) << row.name.toStdString();
    const auto* holiday = top.children[0]->children[0]->record.get<ntfs_record_s>();
    QString path;
    ASSERT_EQ(engine.get_file_path(holiday->record_number(), path), 0);
    EXPECT_TRUE(path.endsWith("/Fotos/Urlaub 2023")) << path.toStdString();
}

TEST_F(NtfsEngine, AVolumeThatIsNoNtfsFailsWithOneLogEntry)
{
    const QString fat = dir_.filePath("fat.img");
    ASSERT_EQ(format_fat(fat, 0, 65536, 16, "NOTNTFS"), 0);
    qputenv("TARN_DISKS", fat.toUtf8());
    enumerate_volumes();
    ASSERT_EQ(volume_list().size(), 2u);
    volume_item_s volume = volume_list()[1];
    volume.fs_name = "NTFS";
    ntfs_recovery_c engine;
    scan(engine, volume);
    EXPECT_EQ(engine.get_failure(), scan_failure_e::no_file_system);
    EXPECT_TRUE(engine.findings().empty());
    EXPECT_FALSE(build_tree(scanner_ntfs, engine, false));
    QFile log(dir_.filePath("state/Velloran.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList entries = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries[0].endsWith("[ntfs_recovery:105] ntfs_scan_startup failed with return value (-2)"));
}

// A sound NTFS volume with 2 MiB clusters (as Windows formats large disks) is beyond what the
// reader opens: it is said to be, not taken for a damaged boot sector.
TEST_F(NtfsEngine, ClustersOverSixtyFourKibAreSaidToBeUnsupported)
{
    const QString large = dir_.filePath("large-clusters.img");
    ASSERT_EQ(make_sparse_file(large, 2ull << 30), 0);
    ASSERT_EQ(run_tool("mkntfs", {"-F", "-Q", "-q", "-c", "2097152", large}), 0);
    qputenv("TARN_DISKS", large.toUtf8());
    enumerate_volumes();
    ASSERT_EQ(volume_list().size(), 2u);
    ASSERT_EQ(volume_list()[1].fs_name, "NTFS");
    ntfs_recovery_c engine;
    scan(engine, volume_list()[1]);
    EXPECT_EQ(engine.get_failure(), scan_failure_e::unsupported);
    EXPECT_TRUE(scan_failure_text(engine.get_failure()).contains("cluster size is not supported"));
}

// A deleted file whose name holds tabs, a line break and an escape sequence is one row of the
// listing, its name printed with escapes; --json gives the name as it is.
TEST_F(NtfsEngine, NamesNeverForgeRowsOrReachTheTerminal)
{
    const QString image = dir_.filePath("forging.img");
    QFile content(dir_.filePath("content"));
    ASSERT_TRUE(content.open(QIODevice::WriteOnly) && content.write(QByteArray(3000, 'x')) == 3000);
    content.close();
    const QString name = "a\t9\t0\t0\t1\nFAKE\x1b[2J.txt";
    ASSERT_EQ(make_ntfs_volume(image, 16 << 20, {"put", "/" + name, content.fileName(), "rm", "/" + name}), 0);
    const QStringList env = {"TARN_DISKS=" + image, "TZ=UTC"};
    QString listing, json;
    ASSERT_EQ(run_tool(qEnvironmentVariable("TARN_CLI"), {"scan", "1"}, &listing, env), 0) << listing.toStdString();
    const QStringList rows = listing.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 1) << listing.toStdString();
    EXPECT_EQ(rows[0].split('\t').size(), 5) << rows[0].toStdString();
    EXPECT_TRUE(rows[0].contains("\\t9\\t0\\t0\\t1\\nFAKE\\x1b[2J.txt\t")) << rows[0].toStdString();
    EXPECT_FALSE(listing.contains(QChar(0x1b)));
    ASSERT_EQ(run_tool(qEnvironmentVariable("TARN_CLI"), {"--json", "scan", "1"}, &json, env), 0);
    EXPECT_TRUE(QJsonDocument::fromJson(json.trimmed().toUtf8()).object()["path"].toString().endsWith(name.mid(1))) << json.toStdString();
}

// A deleted sparse file whose runs claim far more than the volume holds (60 holes of nearly the
// volume's size each, 1 GB on 16 MiB) is written
// no larger than the volume, and marked as not recovered whole: recovery never fills the target
// disk with what is not there.
TEST_F(NtfsEngine, WhatAFileWritesIsBoundedByTheVolume)
{
    const QString image = dir_.filePath("sparse.img");
    ASSERT_EQ(make_ntfs_volume(image, 16 << 20, {"sparse", "/big.bin", QString::number(60ll << 24), QString::number(1 << 24), "rm", "/big.bin"}), 0);
    const QString target = dir_.filePath("out");
    QString output;
    EXPECT_EQ(run_tool(qEnvironmentVariable("TARN_CLI"), {"scan", "1", "--recover", target}, &output, {"TARN_DISKS=" + image}), 1)
        << output.toStdString();
    const QFileInfo written(target + "/big.bin");
    ASSERT_TRUE(written.exists()) << output.toStdString();
    EXPECT_GT(written.size(), 0);
    EXPECT_LE(written.size(), 16 << 20);
}

} // namespace
