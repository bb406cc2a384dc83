// Whole deleted folders on FAT32 volumes made by mkfs.fat and mtools, recovered through the
// recovery core as the window and the command line recover them, and held against The Sleuth
// Kit's tsk_recover and fls on the same images: folders of 300 to 3,000 files at 4 KiB and
// 512-byte clusters, a folder split by a file written between its clusters, and deleted
// folders inside deleted folders. Each image is made once for the whole program.

#include "recovery/engine_table.h"
#include "recovery/tree_extraction.h"
#include "scan/disk_sector_layer.h"
#include "scan/fat_recovery.h"
#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace tarn;
using namespace tarn::test;

namespace {

constexpr qint64 first_mtime = 1700000000; // the sources' times, 2 s apart: FAT keeps even seconds

struct file_s {
    QByteArray content;
    qint64 modified = 0;
    qint64 accessed = 0;
};
using file_map = std::map<QString, file_s>;

// One batch of files copied into a folder; a batch without files is a live file of 200 KB
// copied into the root in between.
struct batch_s {
    QString folder, stem;
    int count = 0, max_size = 0;
};

struct volume_s {
    QString image;
    file_map deleted; // every deleted file by its path from the root
};

// mtools at a fixed time, but with the sources' own modification times (-m): libfaketime would
// otherwise fake those too.
int mtools(const QStringList& args)
{
    QString output;
    const int rc = run_tool("faketime", QStringList{"2024-03-02 17:31:44"} + args, &output,
                            {"MTOOLS_SKIP_CHECK=1", "LC_ALL=C.UTF-8", "TZ=UTC", "NO_FAKE_STAT=1"});
    if (rc != 0)
        ADD_FAILURE() << args.join(' ').toStdString() << ": " << output.toStdString();
    return rc;
}

// The batch's files in a host folder of their own, each recorded as expected deleted. The long
// names differ in their first six characters, which spares mtools a search for "~N" tails.
QStringList make_files(const QString& host, const batch_s& b, QRandomGenerator& rng, file_map& expected)
{
    QDir().mkpath(host);
    QStringList made;
    for (int i = 1; i <= b.count; ++i) {
        const QString name = QStringLiteral("%1_%2_file.dat").arg(i, 5, 10, QLatin1Char('0')).arg(b.stem);
        const QString path = b.folder + "/" + name;
        QByteArray data = path.toUtf8() + '\n'; // unique; the rest is noise of varying length
        data.resize(data.size() + static_cast<int>(rng.bounded(b.max_size)));
        for (qsizetype k = path.size() + 1; k < data.size(); ++k)
            data[k] = static_cast<char>(rng.generate());
        QFile out(host + "/" + name);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(data);
        out.flush(); // a later flush would set the time again
        const qint64 mtime = first_mtime + 2 * static_cast<qint64>(expected.size());
        out.setFileTime(QDateTime::fromSecsSinceEpoch(mtime, Qt::UTC), QFileDevice::FileModificationTime);
        expected[path] = {data, mtime, 0};
        made << out.fileName();
    }
    return made;
}

// A FAT32 volume with the batches copied in order, then every top folder deleted whole.
volume_s make_volume(const QString& dir, const QString& name, int sectors_per_cluster, std::uint64_t sectors,
                     const std::vector<batch_s>& batches)
{
    volume_s v{dir + "/" + name + ".img", {}};
    EXPECT_EQ(format_fat(v.image, 0, sectors, 32, name.toUpper(), sectors_per_cluster), 0);
    QRandomGenerator rng(20240302);
    QStringList made, folders;
    for (const batch_s& b : batches) {
        const QString host = QStringLiteral("%1/%2-%3").arg(dir, name).arg(made.size());
        made << host;
        if (b.count == 0) {
            QFile between(host + ".bin");
            EXPECT_TRUE(between.open(QIODevice::WriteOnly) && between.write(QByteArray(200000, 'b')) == 200000);
            between.close();
            EXPECT_EQ(mtools({"mcopy", "-i", v.image, between.fileName(), "::/"}), 0);
            continue;
        }
        if (!folders.contains(b.folder)) {
            EXPECT_EQ(mtools({"mmd", "-i", v.image, "::/" + b.folder}), 0);
            folders << b.folder;
        }
        const QStringList files = make_files(host, b, rng, v.deleted);
        EXPECT_EQ(mtools(QStringList{"mcopy", "-m", "-i", v.image} + files + QStringList{"::/" + b.folder + "/"}), 0);
    }
    for (const QString& folder : folders) {
        if (!folder.contains('/')) {
            EXPECT_EQ(mtools({"mdeltree", "-i", v.image, "::/" + folder}), 0);
        }
    }
    return v;
}

// Every file below folder, by its path from there, with content and times (taken before the
// content is read, which would move the access time).
file_map read_tree(const QString& folder)
{
    file_map out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        file_s f{{}, info.lastModified().toSecsSinceEpoch(), info.lastRead().toSecsSinceEpoch()};
        QFile in(info.filePath());
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        f.content = in.readAll();
        out[QDir(folder).relativeFilePath(info.filePath())] = f;
    }
    return out;
}

// How many files of got are exact copies (content and modification time) of the file at their
// path in want; the first few that are not go to faults.
std::size_t exact_copies(const file_map& want, const file_map& got, QStringList& faults)
{
    std::size_t n = 0;
    for (const auto& [path, f] : got) {
        const auto it = want.find(path);
        const bool same = it != want.end() && it->second.content == f.content && it->second.modified == f.modified;
        n += same ? 1 : 0;
        if (!same && faults.size() < 5)
            faults << path;
    }
    return n;
}

// The access times fls reports for deleted files, by path.
std::map<QString, qint64> fls_access_times(const QString& image)
{
    QString output;
    EXPECT_EQ(run_tool("fls", {"-r", "-d", "-m", "/", "-z", "UTC", image}, &output), 0);
    std::map<QString, qint64> out;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split('|');
        if (f.size() >= 11)
            out[f[1].section('/', 1).remove(" (deleted)")] = f[7].toLongLong();
    }
    return out;
}

class DeletedFolders : public ::testing::TestWithParam<int> {
public:
    static void SetUpTestSuite()
    {
        qputenv("TZ", "UTC");
        tzset();
        dir_ = std::make_unique<QTemporaryDir>();
        // 4 KiB clusters: folders of 300 and 1,000 files, folders deleted inside a deleted
        // folder, and a folder whose first 40 files fill its first cluster before a live file
        // takes the clusters after them, so that its second cluster lies after that file.
        volumes_.push_back(make_volume(dir_->path(), "4k", 8, 600000,
                                       {{"Alpha", "alpha", 300, 12000}, {"Beta", "beta", 1000, 6000},
                                        {"Nest", "nest", 30, 9000}, {"Nest/Inner", "inner", 30, 9000},
                                        {"Nest/Inner/Deepest", "deepest", 30, 9000}, {"Gap", "first", 40, 9000},
                                        {}, {"Gap", "second", 40, 9000}}));
        // 512-byte clusters: a folder of 3,000 files, one of 300 holding one of 100.
        volumes_.push_back(make_volume(dir_->path(), "512", 1, 140000,
                                       {{"Gamma", "gamma", 3000, 1500}, {"Delta", "delta", 300, 3000},
                                        {"Delta/Sub", "sub", 100, 3000}}));
    }
    static void TearDownTestSuite()
    {
        volumes_.clear();
        dir_.reset();
    }

protected:
    void TearDown() override { disk_shutdown(); }

    static std::unique_ptr<QTemporaryDir> dir_;
    static std::vector<volume_s> volumes_;
};

std::unique_ptr<QTemporaryDir> DeletedFolders::dir_;
std::vector<volume_s> DeletedFolders::volumes_;

TEST_P(DeletedFolders, EveryFileComesBackWholeUnderItsNameAndAtLeastWhatTheSleuthKitRecovers)
{
    const volume_s& v = volumes_.at(static_cast<std::size_t>(GetParam()));
    ASSERT_FALSE(v.deleted.empty());
    qputenv("TARN_DISKS", v.image.toUtf8());
    ASSERT_EQ(disk_enumerate(), 1);
    fat_recovery_c engine;
    volume_item_s volume;
    volume.volume_path = v.image;
    engine.set_volume(volume);
    engine.start();
    ASSERT_TRUE(engine.wait(120000));

    // Part of every volume's folders lies where only the search for unreached clusters finds it.
    EXPECT_GT(engine.orphan_stats().runs, 0u);
    // The 140,000 clusters of the 512-byte volume hold about 10,000 clusters of files: the search
    // ends a margin past them instead of reading every free cluster to the volume's end.
    if (GetParam() == 1) {
        EXPECT_LT(engine.orphan_stats().free_clusters, 100000u);
    }
    // Everything has its folder: the tree has the root alone, nothing lost.
    const std::unique_ptr<TreeModel> tree = engine_entry(scanner_fat)->build_tree(engine, false);
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->root().children.size(), 1u);
    const std::vector<branch_folder_s> branch = list_branch(scanner_fat, engine, *tree->root().children[0], false);
    std::size_t rows = 0;
    for (const branch_folder_s& folder : branch)
        for (const recovery_item_s& row : folder.rows) {
            ++rows;
            EXPECT_TRUE(row.name.startsWith('#')) << row.name.toStdString(); // still marked as deleted
        }
    EXPECT_EQ(rows, v.deleted.size()); // nothing found twice, nothing made up
    const QString out = dir_->path() + QStringLiteral("/ours%1").arg(GetParam());
    EXPECT_EQ(extract_branch(engine, scanner_fat, branch, out), 0);
    const file_map ours = read_tree(out);
    QStringList faults;
    const std::size_t ours_exact = exact_copies(v.deleted, ours, faults);
    EXPECT_EQ(ours_exact, v.deleted.size()) << faults.join(' ').toStdString();

    // The access date as The Sleuth Kit reads it, for the files it lists under their folder.
    std::size_t dated = 0;
    for (const auto& [path, accessed] : fls_access_times(v.image))
        if (const auto it = ours.find(path); it != ours.end()) {
            EXPECT_EQ(it->second.accessed, accessed) << path.toStdString();
            ++dated;
        }
    EXPECT_GT(dated, 0u);

    const QString theirs = dir_->path() + QStringLiteral("/tsk%1").arg(GetParam());
    ASSERT_EQ(run_tool("tsk_recover", {v.image, theirs}), 0);
    // Its orphans have other names and no folders: they count when their content is an original's.
    QSet<QByteArray> originals;
    for (const auto& [path, f] : v.deleted)
        originals.insert(QCryptographicHash::hash(f.content, QCryptographicHash::Sha1));
    std::size_t tsk_exact = 0;
    const file_map tsk = read_tree(theirs);
    for (const auto& [path, f] : tsk)
        tsk_exact += originals.contains(QCryptographicHash::hash(f.content, QCryptographicHash::Sha1)) ? 1 : 0;
    EXPECT_GE(rows, tsk.size());
    EXPECT_GE(ours_exact, tsk_exact);
    std::printf("%s: %zu deleted files; ours %zu found, %zu exact; tsk_recover %zu written, %zu exact\n",
                qPrintable(QFileInfo(v.image).fileName()), v.deleted.size(), rows, ours_exact, tsk.size(), tsk_exact);
}

INSTANTIATE_TEST_SUITE_P(Volumes, DeletedFolders, ::testing::Values(0, 1));

} // namespace
