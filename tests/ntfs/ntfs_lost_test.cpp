// The lost-file search on a populated volume formatted again with mkntfs -Q: every file whose old
// record survives comes back under its old path, byte for byte as icat gave it before the
// format; the same with another cluster size; with new files written after the format, the lost
// files whose clusters they took are marked overwritten. The survivors are found independently:
// an old record survives where its bytes on disk are still those of the image before the format.

#include "disk/volume_enumeration.h"
#include "recovery/engine_table.h"
#include "recovery/tree_builder.h"
#include "recovery/tree_extraction.h"
#include "scan/ntfs_recovery.h"
#include "tests/ntfs/ntfs_volume.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace tarn;
using namespace tarn::test;

namespace {

constexpr qint64 volume_bytes = 256ll << 20;
constexpr qint64 record_bytes = 1024;
const QString format_time = QStringLiteral("2024-02-01 09:00:00");

struct old_entry_s {
    quint64 record = 0;
    bool directory = false;
    QByteArray bytes; // icat before the format
};

QByteArray read_range(const QString& image, qint64 at, qint64 count)
{
    QFile f(image);
    return f.open(QIODevice::ReadOnly) && f.seek(at) ? f.read(count) : QByteArray();
}

// Two folders of long names (one with a folder inside), a few resident files, a large file, two
// woven (fragmented) files and a sparse one: 121 files.
QStringList populate_commands()
{
    QStringList c{"mkdir", "/Berichte", "mkdir", "/Bilder", "mkdir", "/Bilder/Sommer 2024 – Ferien am Meer"};
    for (int i = 0; i < 60; ++i)
        c << "fill" << QString("/Berichte/Quartalsbericht Nummer %1 für die Geschäftsleitung.txt").arg(i)
          << QString::number(i % 10 == 0 ? 200 + i : 3000 + 7919 * i) << QString::number(100 + i);
    for (int i = 0; i < 45; ++i)
        c << "fill" << QString("/Bilder/Urlaubsfoto aus dem Jahr 2023 Nummer %1.jpg").arg(i) << QString::number(40000 + 1013 * i)
          << QString::number(200 + i);
    for (int i = 0; i < 12; ++i)
        c << "fill" << QString("/Bilder/Sommer 2024 – Ferien am Meer/Strand %1.png").arg(i) << QString::number(90000 + 77 * i)
          << QString::number(300 + i);
    c << "fill" << "/Berichte/Archiv gesamt.bin" << QString::number(12 << 20) << "7";
    c << "weave" << "/Bilder/Teil a.raw" << "/Bilder/Teil b.raw" << "600000" << "4096";
    c << "sparse" << "/Bilder/Abbild mit Löchern.img" << "3000000" << "65536";
    return c;
}

class NtfsLost : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        qputenv("XDG_STATE_HOME", dir_->filePath("state").toUtf8());
        before_ = dir_->filePath("before.img");
        ASSERT_EQ(make_ntfs_volume(before_, volume_bytes, populate_commands()), 0);
        QString listing, fsstat;
        ASSERT_EQ(run_tool("fls", {"-r", "-p", before_}, &listing), 0);
        ASSERT_EQ(run_tool("fsstat", {before_}, &fsstat), 0);
        // The old MFT: one run from its first cluster (mkntfs keeps a zone free for it to grow).
        const qint64 cluster = fsstat.section("Cluster Size: ", 1).section('\n', 0, 0).toLongLong();
        old_mft_ = fsstat.section("First Cluster of MFT: ", 1).section('\n', 0, 0).toLongLong() * cluster;
        ASSERT_GT(old_mft_, 0);
        for (const QString& line : listing.split('\n', Qt::SkipEmptyParts)) {
            const QString path = line.section('\t', 1);
            if (path.startsWith('$') || path.contains(':'))
                continue;
            old_entry_s entry;
            entry.record = line.section(' ', 1, 1).section('-', 0, 0).toULongLong();
            entry.directory = line.startsWith("d/d");
            old_[path] = entry;
        }
        for (auto it = old_.begin(); it != old_.end(); ++it)
            if (!it->directory)
                it->bytes = icat(it->record);
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    void TearDown() override { qunsetenv("TARN_DISKS"); }

    static QByteArray icat(quint64 record)
    {
        const QString out = dir_->filePath("icat.bin");
        if (run_tool("sh", {"-c", QString("icat '%1' %2 > '%3'").arg(before_).arg(record).arg(out)}) != 0)
            return {};
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The image before the format, formatted again with mkntfs -Q at the given cluster size, then
    // the edit commands run on it.
    static QString formatted(const QString& name, const QString& cluster, const QStringList& after)
    {
        const QString image = dir_->filePath(name);
        QFile::remove(image);
        if (!QFile::copy(before_, image)
            || run_tool("faketime", {format_time, "mkntfs", "-F", "-Q", "-q", "-c", cluster, image}) != 0)
            return {};
        if (!after.isEmpty() && run_tool(qEnvironmentVariable("TARN_NTFS_EDIT"), QStringList{image} + after) != 0)
            return {};
        return image;
    }

    // The expected lost paths: each old entry whose record is unchanged on image, under the part of
    // its old path below the deepest folder whose record did not survive.
    static QMap<QString, const old_entry_s*> survivors(const QString& image)
    {
        const auto survived = [&](const old_entry_s& e) {
            const qint64 at = old_mft_ + static_cast<qint64>(e.record) * record_bytes;
            return read_range(image, at, record_bytes) == read_range(before_, at, record_bytes);
        };
        QMap<QString, const old_entry_s*> out;
        for (auto it = old_.cbegin(); it != old_.cend(); ++it) {
            if (it->directory || !survived(*it))
                continue;
            QStringList parts = it.key().split('/');
            for (int depth = parts.size() - 1; depth > 0; --depth)
                if (!survived(old_.value(QStringList(parts.mid(0, depth)).join('/')))) {
                    parts = parts.mid(depth);
                    break;
                }
            out.insert(parts.join('/'), &*it);
        }
        return out;
    }

    static inline QTemporaryDir* dir_ = nullptr;
    static inline QString before_;
    static inline qint64 old_mft_ = 0;
    static inline QMap<QString, old_entry_s> old_; // by old path
};

struct lost_row_s {
    recovery_item_s row;
    QString written; // where the extraction put it
};

// Scans image with the lost search, lists every file of the folder of lost files with its path
// below it, and writes them all out under out.
QMap<QString, lost_row_s> scan_lost(const QString& image, const QString& out, ntfs_recovery_c& engine)
{
    qputenv("TARN_DISKS", image.toUtf8());
    enumerate_volumes();
    QMap<QString, lost_row_s> rows;
    if (volume_list().size() != 2)
        return rows;
    engine.reset();
    engine.set_volume(volume_list()[1]);
    engine.set_lost_search(true);
    engine.start();
    if (!engine.wait(120000))
        return rows;
    const auto tree = build_tree(scanner_ntfs, engine, false);
    if (!tree)
        return rows;
    for (const auto& top : tree->root().children) {
        if (top->name != orphan_folder_name())
            continue;
        const auto branch = list_branch(scanner_ntfs, engine, *top, false);
        for (std::size_t i = 0; i < branch.size(); ++i)
            for (const recovery_item_s& row : branch[i].rows) {
                const QString path = (branch_path(branch, static_cast<int>(i)) + QStringList{row.name}).join('/');
                rows.insert(path, {row, out + '/' + path});
            }
        extract_branch(engine, scanner_ntfs, branch, out);
    }
    return rows;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

TEST_F(NtfsLost, EverySurvivingRecordComesBackUnderItsPathByteExact)
{
    struct case_s {
        const char* what;
        QString cluster;
        QStringList after; // written after the format
        // Whether some lost file is marked overwritten; unset: either (with another cluster
        // size, mkntfs itself writes its files where the old data lay).
        std::optional<bool> overwrites;
        int at_least; // survivors expected
    };
    const std::vector<case_s> cases = {
        {"same cluster size", "4096", {}, false, 100},
        {"another cluster size", "8192", {}, std::nullopt, 100},
        // The new MFT's bitmap and the MFT itself fill 64 KiB clusters over most of the old MFT.
        {"clusters of 64 KiB", "65536", {}, std::nullopt, 10},
        {"new files after the format", "4096",
         {"mkdir", "/Neu", "fill", "/Neu/erste.bin", QString::number(20 << 20), "11", "fill", "/Neu/zweite.txt", "500", "12"},
         true, 100},
    };
    int n = 0;
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        const QString image = formatted(QString("formatted-%1.img").arg(n), c.cluster, c.after);
        ASSERT_FALSE(image.isEmpty());
        const QMap<QString, const old_entry_s*> expected = survivors(image);
        ntfs_recovery_c engine;
        const QString out = dir_->filePath(QString("out-%1").arg(n++));
        const QMap<QString, lost_row_s> found = scan_lost(image, out, engine);
        ASSERT_EQ(engine.get_failure(), scan_failure_e::none);
        EXPECT_DOUBLE_EQ(engine.get_progress(), 1.0);
        EXPECT_EQ(found.keys(), expected.keys());
        EXPECT_GE(expected.size(), c.at_least);
        QStringList overwritten;
        for (auto it = found.cbegin(); it != found.cend(); ++it) {
            const old_entry_s* old = expected.value(it.key());
            if (old == nullptr)
                continue;
            EXPECT_EQ(it->row.size, static_cast<quint64>(old->bytes.size())) << it.key().toStdString();
            EXPECT_TRUE(it->row.id & ntfs_lost_id);
            // A file marked overwritten holds new bytes; every other one is the old file, whole.
            if (it->row.overwritten) {
                overwritten << it.key();
                EXPECT_NE(contents(it->written), old->bytes) << it.key().toStdString();
            } else {
                EXPECT_TRUE(contents(it->written) == old->bytes) << it.key().toStdString();
            }
        }
        if (c.overwrites) {
            EXPECT_EQ(!overwritten.isEmpty(), *c.overwrites) << overwritten.join(", ").toStdString();
        }
    }
}

// A copy of the MFT left in free space of a volume that was never formatted (as an MFT moved
// elsewhere leaves behind) holds the same records as the MFT: nothing is listed twice.
TEST_F(NtfsLost, RecordsTheMftStillHoldsAreNotListedAgain)
{
    const QString image = dir_->filePath("copied-mft.img");
    QFile::remove(image);
    ASSERT_TRUE(QFile::copy(before_, image));
    const QByteArray mft = read_range(before_, old_mft_, 256 * record_bytes);
    QFile f(image);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(volume_bytes - (16 << 20)) && f.write(mft) == mft.size());
    f.close();
    ntfs_recovery_c engine;
    const QMap<QString, lost_row_s> found = scan_lost(image, dir_->filePath("out-copy"), engine);
    EXPECT_EQ(engine.get_failure(), scan_failure_e::none);
    EXPECT_TRUE(found.isEmpty()) << found.keys().join(", ").toStdString();
}

// The command line lists the lost files under the folder of lost files and writes them out; the
// search stays off without --lost.
TEST_F(NtfsLost, CommandLineListsAndRecoversLostFiles)
{
    const QString image = formatted("formatted-cli.img", "4096", {});
    ASSERT_FALSE(image.isEmpty());
    const QStringList env{"TARN_DISKS=" + image};
    const QString cli = qEnvironmentVariable("TARN_CLI");
    QString plain, listing;
    ASSERT_EQ(run_tool(cli, {"scan", "1"}, &plain, env), 0) << plain.toStdString();
    EXPECT_FALSE(plain.contains("Berichte"));
    const QString target = dir_->filePath("cli-out");
    ASSERT_EQ(run_tool(cli, {"scan", "1", "--lost", "--recover", target}, &listing, env), 0) << listing.toStdString();
    const QStringList rows = listing.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(rows.size(), survivors(image).size());
    const QString file = "Bilder/Sommer 2024 – Ferien am Meer/Strand 3.png";
    EXPECT_TRUE(listing.contains(orphan_folder_name() + '/' + file + '\t')) << listing.toStdString();
    EXPECT_TRUE(contents(target + '/' + orphan_folder_name() + '/' + file) == old_.value(file).bytes);
}

} // namespace
