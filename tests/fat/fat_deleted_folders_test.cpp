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
const QString copy_time = QStringLiteral("2024-03-02 17:31:44");

struct file_s {
    QByteArray content;
    qint64 modified = 0;
    qint64 accessed = 0;
};
using file_map = std::map<QString, file_s>;

struct volume_s {
    QString image;
    file_map deleted; // every deleted file by its path from the root
};

class volume_maker_c {
public:
    explicit volume_maker_c(const QString& root) : root_(root) {}

    // count files of up to max_size bytes in the host folder (path unless given), each expected
    // deleted at path on the volume. The names need long-name entries; their short names differ
    // in the first six characters, which spares mtools a search for free "~N" tails.
    QStringList make_files(const QString& path, const QString& stem, int count, int max_size, QString host_folder = {})
    {
        if (host_folder.isEmpty())
            host_folder = path;
        QDir().mkpath(host(host_folder));
        QStringList made;
        for (int i = 1; i <= count; ++i) {
            const QString name = QStringLiteral("%1_%2_file.dat").arg(i, 5, 10, QLatin1Char('0')).arg(stem);
            const QString rel = path + "/" + name;
            // The path first makes every content unique; the rest is noise of varying length.
            QByteArray data = rel.toUtf8() + '\n';
            data.resize(data.size() + static_cast<int>(rng_.bounded(max_size)));
            for (qsizetype k = rel.size() + 1; k < data.size(); ++k)
                data[k] = static_cast<char>(rng_.generate());
            QFile out(host(host_folder) + "/" + name);
            EXPECT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(data);
            out.flush(); // a later flush would set the time again
            const qint64 mtime = first_mtime + 2 * next_++;
            out.setFileTime(QDateTime::fromSecsSinceEpoch(mtime, Qt::UTC), QFileDevice::FileModificationTime);
            expected_[rel] = {data, mtime, 0};
            made << out.fileName();
        }
        return made;
    }
    QString host(const QString& path) const { return root_ + "/" + path; }
    file_map take() { return std::move(expected_); }

private:
    QString root_;
    QRandomGenerator rng_{20240302};
    qint64 next_ = 0;
    file_map expected_;
};

// mtools at a fixed time, but with the sources' own modification times (-m): libfaketime would
// otherwise fake those too.
int mtools(const QStringList& args)
{
    QString output;
    const int rc = run_tool("faketime", QStringList{copy_time} + args, &output,
                            {"MTOOLS_SKIP_CHECK=1", "LC_ALL=C.UTF-8", "TZ=UTC", "NO_FAKE_STAT=1"});
    if (rc != 0)
        ADD_FAILURE() << args.join(' ').toStdString() << ": " << output.toStdString();
    return rc;
}

// FAT32, 4 KiB clusters: folders of 300 and 1,000 files, a folder split by a file copied in
// between its two batches, and a folder holding deleted folders two levels deep.
volume_s make_4k_volume(const QString& dir)
{
    volume_s v{dir + "/4k.img", {}};
    volume_maker_c m(dir + "/4k");
    m.make_files("Alpha", "alpha", 300, 12000);
    m.make_files("Beta", "beta", 1000, 6000);
    m.make_files("Nest", "nest", 30, 9000);
    m.make_files("Nest/Inner", "inner", 30, 9000);
    m.make_files("Nest/Inner/Deepest", "deepest", 30, 9000);
    const QStringList first = m.make_files("Gap", "first", 40, 9000);
    const QStringList second = m.make_files("Gap", "second", 40, 9000, "GapLater");
    EXPECT_EQ(format_fat(v.image, 0, 600000, 32, "FOURK", 8), 0);
    const QString i = QStringLiteral("-i");
    EXPECT_EQ(mtools(QStringList{"mcopy", "-s", "-m", i, v.image, m.host("Alpha"), m.host("Beta"), m.host("Nest"), "::/"}), 0);
    EXPECT_EQ(mtools({"mmd", i, v.image, "::/Gap"}), 0);
    // 40 files fill the folder's first cluster; the file copied next takes the clusters after
    // them, so the folder's second cluster comes after that file.
    EXPECT_EQ(mtools(QStringList{"mcopy", "-m", i, v.image} + first + QStringList{"::/Gap/"}), 0);
    QFile between(dir + "/between.bin");
    EXPECT_TRUE(between.open(QIODevice::WriteOnly));
    between.write(QByteArray(200000, 'b'));
    between.close();
    EXPECT_EQ(mtools({"mcopy", i, v.image, between.fileName(), "::/"}), 0);
    EXPECT_EQ(mtools(QStringList{"mcopy", "-m", i, v.image} + second + QStringList{"::/Gap/"}), 0);
    EXPECT_EQ(mtools({"mdeltree", i, v.image, "::/Alpha", "::/Beta", "::/Gap", "::/Nest"}), 0);
    v.deleted = m.take();
    return v;
}

// FAT32, 512-byte clusters: a folder of 3,000 files, and one of 300 with a folder of 100 in it.
volume_s make_512_volume(const QString& dir)
{
    volume_s v{dir + "/512.img", {}};
    volume_maker_c m(dir + "/512");
    m.make_files("Gamma", "gamma", 3000, 1500);
    m.make_files("Delta", "delta", 300, 3000);
    m.make_files("Delta/Sub", "sub", 100, 3000);
    EXPECT_EQ(format_fat(v.image, 0, 140000, 32, "SMALL", 1), 0);
    const QString i = QStringLiteral("-i");
    EXPECT_EQ(mtools(QStringList{"mcopy", "-s", "-m", i, v.image, m.host("Gamma"), m.host("Delta"), "::/"}), 0);
    EXPECT_EQ(mtools({"mdeltree", i, v.image, "::/Gamma", "::/Delta"}), 0);
    v.deleted = m.take();
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

// The first few paths where two listings differ: missing, extra, or other content or times.
QStringList differences(const file_map& want, const file_map& got)
{
    QStringList out;
    for (const auto& [path, f] : want) {
        const auto it = got.find(path);
        if (it == got.end())
            out << "missing " + path;
        else if (it->second.content != f.content)
            out << "content " + path;
        else if (it->second.modified != f.modified)
            out << QStringLiteral("modified %1: %2 for %3").arg(path).arg(it->second.modified).arg(f.modified);
    }
    out = out.mid(0, 5);
    for (const auto& [path, f] : got)
        if (!want.contains(path) && out.size() < 10)
            out << "extra " + path;
    return out;
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
        volumes_ = {make_4k_volume(dir_->path()), make_512_volume(dir_->path())};
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
    // Everything has its folder: the tree has the root alone, nothing lost.
    const std::unique_ptr<TreeModel> tree = engine_entry(scanner_fat)->build_tree(engine);
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->root().children.size(), 1u);
    const std::vector<branch_folder_s> branch = list_branch(scanner_fat, engine, *tree->root().children[0]);
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
    EXPECT_EQ(differences(v.deleted, ours).join('\n').toStdString(), "");

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
    QSet<QByteArray> originals;
    for (const auto& [path, f] : v.deleted)
        originals.insert(QCryptographicHash::hash(f.content, QCryptographicHash::Sha1));
    std::size_t tsk_exact = 0;
    const file_map tsk = read_tree(theirs);
    for (const auto& [path, f] : tsk)
        tsk_exact += originals.contains(QCryptographicHash::hash(f.content, QCryptographicHash::Sha1)) ? 1 : 0;
    EXPECT_GE(ours.size(), tsk.size());
    EXPECT_GE(v.deleted.size(), tsk_exact); // every one of ours is exact, as checked above
    std::printf("%s: %zu deleted files, ours %zu found and exact; tsk_recover %zu written, %zu exact\n",
                qPrintable(QFileInfo(v.image).fileName()), v.deleted.size(), ours.size(), tsk.size(), tsk_exact);
}

INSTANTIATE_TEST_SUITE_P(Volumes, DeletedFolders, ::testing::Values(0, 1));

} // namespace
