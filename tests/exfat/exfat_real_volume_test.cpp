// The exFAT engine on a volume made by mkfs.exfat and written and deleted through the FUSE
// driver, recovered through the recovery core as the window and the command line recover it,
// and held against The Sleuth Kit's fls and icat on the same image: small, multi-cluster and
// fragmented deleted files, a deleted folder with folders inside, a name of non-ASCII letters
// and one of 255 characters. The image is made once for the whole program.

#include "recovery/engine_table.h"
#include "recovery/exfat_tree.h"
#include "recovery/file_extraction.h"
#include "recovery/tree_extraction.h"
#include "scan/exfat_recovery.h"
#include "tests/exfat/exfat_volume.h"
#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace tarn;
using namespace tarn::test;

namespace {

struct original_s {
    QByteArray content;
    qint64 modified = 0; // as the driver reported it before the file was deleted
};

const QString non_ascii_name = QStringLiteral(u"Ærøskøbing straße ñandú Ωμέγα 日本語.txt");
const QString long_name = QString(251, QLatin1Char('L')) + QStringLiteral(".txt");

QByteArray noise(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray b(size, '\0');
    for (char& c : b)
        c = static_cast<char>(rng.generate());
    return b;
}

bool write_file(const QString& path, const QByteArray& content, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    return f.open(mode) && f.write(content) == content.size();
}

QByteArray sha256(const QByteArray& b)
{
    return QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex();
}

class RealVolume : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        if (const QString why = exfat_fuse_unavailable(); !why.isEmpty()) {
            skip_ = why;
            return;
        }
        image_ = dir_->filePath("card.img");
        ASSERT_EQ(format_exfat(image_, 64 << 20), 0);
        const QString mnt = dir_->filePath("mnt");
        ASSERT_TRUE(QDir().mkpath(mnt));
        exfat_mount_c mount(image_, mnt);
        ASSERT_TRUE(mount.mounted());
        write_volume(mnt);
        ASSERT_TRUE(mount.unmount());
    }
    static void TearDownTestSuite() { dir_.reset(); }

protected:
    void SetUp() override
    {
        if (!skip_.isEmpty())
            GTEST_SKIP() << "exFAT through FUSE: " << skip_.toStdString();
    }

    // Files written, their times taken, then deleted: frag_a was written in turns with frag_b,
    // which stays, then frag_c in turns with frag_d, both deleted, so that nothing tells which
    // free clusters were whose.
    static void write_volume(const QString& mnt)
    {
        std::map<QString, QByteArray> files = {
            {"small.txt", "a short note\n"},
            {"multi.bin", noise(300000, 1)},
            {"kept.txt", "still here\n"},
            {non_ascii_name, noise(5000, 2)},
            {long_name, noise(7000, 3)},
            {"Album/a.jpg", noise(50000, 4)},
            {"Album/Sub/b.bin", noise(9000, 5)},
            {"Album/Sub/Deeper/c.txt", noise(100, 6)},
            {"Album/Sub/Deeper/empty.txt", {}},
        };
        ASSERT_TRUE(QDir(mnt).mkpath("Album/Sub/Deeper"));
        for (const auto& [path, content] : files)
            ASSERT_TRUE(write_file(mnt + "/" + path, content)) << path.toStdString();
        for (const auto& pair : {std::pair{"frag_a.bin", "frag_b.bin"}, std::pair{"frag_c.bin", "frag_d.bin"}})
            for (int round = 0; round < 6; ++round)
                for (const char* name : {pair.first, pair.second}) {
                    const QByteArray part = noise(10000, static_cast<quint32>(round * 10 + name[5]));
                    files[name] += part;
                    ASSERT_TRUE(write_file(mnt + "/" + name, part, QIODevice::Append));
                }
        ::sync();
        for (const auto& [path, content] : files)
            if (path != "kept.txt" && path != "frag_b.bin")
                deleted_[path] = {content, QFileInfo(mnt + "/" + path).lastModified().toSecsSinceEpoch()};
        for (const auto& [path, content] : deleted_)
            ASSERT_TRUE(path.startsWith("Album/") || QFile::remove(mnt + "/" + path));
        ASSERT_TRUE(QDir(mnt + "/Album").removeRecursively());
    }

    static std::unique_ptr<QTemporaryDir> dir_;
    static QString skip_;
    static QString image_;
    static std::map<QString, original_s> deleted_;
};

std::unique_ptr<QTemporaryDir> RealVolume::dir_;
QString RealVolume::skip_;
QString RealVolume::image_;
std::map<QString, original_s> RealVolume::deleted_;

// Deleted files by path, with their entry numbers, as fls -r -d lists them.
std::map<QString, QString> fls_deleted(const QString& image)
{
    QString output;
    EXPECT_EQ(run_tool("fls", {"-r", "-d", "-p", "-f", "exfat", image}, &output), 0);
    std::map<QString, QString> out;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
        if (!line.startsWith("r/r * "))
            continue;
        const QString rest = line.mid(6);
        out[rest.section('\t', 1)] = rest.section(':', 0, 0);
    }
    return out;
}

TEST_F(RealVolume, EveryDeletedFileComesBackAsTheSleuthKitListsItAndTheirCopiesAgree)
{
    exfat_recovery_c engine;
    volume_item_s volume;
    volume.volume_path = image_;
    engine.set_volume(volume);
    engine.start();
    ASSERT_TRUE(engine.wait(120000));
    ASSERT_EQ(engine.get_failure(), scan_failure_e::none);
    EXPECT_EQ(engine.label(), "TESTCARD");
    EXPECT_TRUE(engine.metadata().upcase->from_volume());

    const std::unique_ptr<TreeModel> tree = engine_entry(scanner_exfat)->build_tree(engine, false);
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->root().children.size(), 1u);
    const std::vector<branch_folder_s> branch = list_branch(scanner_exfat, engine, *tree->root().children[0], false);
    std::map<QString, recovery_item_s> rows; // by path, under the name the disk keeps
    for (std::size_t i = 0; i < branch.size(); ++i)
        for (const recovery_item_s& row : branch[i].rows) {
            const QString name = row.disk_name.isEmpty() ? row.name : row.disk_name;
            rows[(branch_path(branch, static_cast<int>(i)) + QStringList{name}).join('/')] = row;
        }
    // The deleted set is fls's, whole names and all; the kept files are not in it.
    const std::map<QString, QString> fls = fls_deleted(image_);
    QStringList ours, theirs;
    for (const auto& [path, row] : rows)
        ours << path;
    for (const auto& [path, inode] : fls)
        theirs << path;
    EXPECT_EQ(ours, theirs);
    QStringList originals;
    for (const auto& [path, f] : deleted_)
        originals << path;
    EXPECT_EQ(ours, originals);

    const QString out = dir_->filePath("ours");
    EXPECT_EQ(extract_branch(engine, scanner_exfat, branch, out), 0);
    int same_as_icat = 0, exact = 0, only_ours = 0;
    for (const auto& [path, f] : deleted_) {
        const recovery_item_s& row = rows[path];
        const bool lost_track = path == "frag_c.bin" || path == "frag_d.bin";
        EXPECT_EQ(row.modified, f.modified) << path.toStdString();
        EXPECT_EQ(row.size, static_cast<std::uint64_t>(f.content.size()));
        // Where a chain is gone the clusters are a guess, and the name says so.
        EXPECT_EQ(row.name.startsWith('?'), lost_track || path == "frag_a.bin") << path.toStdString();
        // A name too long for the target's file system is written shortened.
        const QString folder = path.contains('/') ? path.section('/', 0, -2) + "/" : QString();
        const QString written = path.size() < 200 ? out + "/" + folder + written_name(row)
                                                  : QDir(out).entryInfoList({"LLLL*"}, QDir::Files).value(0).filePath();
        QFile copy(written);
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray ours_bytes = copy.readAll();
        QProcess icat;
        icat.start("icat", {"-f", "exfat", image_, fls.at(path)});
        ASSERT_TRUE(icat.waitForFinished(60000));
        const QByteArray tsk_bytes = icat.readAllStandardOutput();
        same_as_icat += sha256(ours_bytes) == sha256(tsk_bytes) ? 1 : 0;
        exact += ours_bytes == f.content ? 1 : 0;
        only_ours += ours_bytes == f.content && tsk_bytes != f.content ? 1 : 0;
        if (!lost_track) {
            EXPECT_EQ(sha256(ours_bytes), sha256(f.content)) << path.toStdString();
            EXPECT_EQ(sha256(ours_bytes), sha256(tsk_bytes)) << path.toStdString();
        }
    }
    std::printf("%zu deleted files; fls lists %zu; ours: %d exact copies, %d with icat's SHA-256, %d exact where "
                "icat's is not\n", deleted_.size(), fls.size(), exact, same_as_icat, only_ours);
}

} // namespace
