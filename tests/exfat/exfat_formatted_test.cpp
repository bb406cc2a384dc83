// exFAT volumes formatted again over their files by mkfs.exfat (files written since in one
// case): the command line's search for lost files against the files put there before through
// the FUSE driver, The Sleuth Kit's orphans beside it.

#include "tests/exfat/exfat_volume.h"
#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <iostream>
#include <map>
#include <set>

using namespace tarn::test;

namespace {

struct format_case_s {
    const char* label;
    const char* cluster; // mkfs.exfat's cluster size, the same both times
    int cluster_bytes;
    int new_files;       // written after the format, over the first old files' clusters
};

struct listed_s {
    QString path;        // as listed, below the recovery folder
    bool overwritten = false;
    bool uncertain = false; // shown after "?": its clusters are a guess
    QString top;            // the folder below the folder of lost files
};

const QString photos = QStringLiteral(u"Photos/2023/Sommer – Ferien ñandú");
const QString deep = QStringLiteral("Projects/alpha/beta/gamma/delta");
const QString cyrillic = QStringLiteral(u"Фотографии/日本語 フォルダ");

QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

int format(const QString& image, const char* cluster, const QString& label)
{
    return run_tool(QStringLiteral("mkfs.exfat"), {"-c", cluster, "-b", "4K", "-L", label, image});
}

class ExfatFormatted : public ::testing::TestWithParam<format_case_s> {
protected:
    void SetUp() override
    {
        if (const QString why = exfat_fuse_unavailable(); !why.isEmpty())
            GTEST_SKIP() << "exFAT through FUSE: " << why.toStdString();
    }
    QString path(const QString& name) const { return dir_.filePath(name); }

    void put(const QString& mnt, const QString& on_volume, const QByteArray& content, bool append = false)
    {
        QFile f(mnt + "/" + on_volume);
        ASSERT_TRUE(f.open(append ? QIODevice::Append : QIODevice::WriteOnly)) << on_volume.toStdString();
        ASSERT_EQ(f.write(content), content.size());
        contents_[on_volume] += content;
    }

    // Early notes are written in the root first and moved into Documents, so that their data
    // lies before every folder: the clusters the new file system hands out first. One crowded
    // folder gets its entries before any data, so that its two clusters follow one another;
    // another grows into a second cluster apart from its first, a set split between them.
    void populate(const QString& mnt)
    {
        for (int i = 0; i < 4; ++i)
            put(mnt, QStringLiteral("early note %1.txt").arg(i), random_bytes(6000 + 1500 * i, 10 + i));
        ASSERT_TRUE(QDir(mnt).mkpath(photos));
        for (int i = 0; i < 40; ++i)
            put(mnt, photos + QStringLiteral("/Holiday picture number %1.jpeg").arg(i), {});
        for (const QString& folder : {QStringLiteral("Letters"), QStringLiteral("Documents"), deep, cyrillic})
            ASSERT_TRUE(QDir(mnt).mkpath(folder));
        for (int i = 0; i < 4; ++i) {
            const QString name = QStringLiteral("early note %1.txt").arg(i);
            ASSERT_TRUE(QDir(mnt).rename(name, "Documents/" + name));
            contents_["Documents/" + name] = contents_.extract(name).mapped();
        }
        put(mnt, "root note.txt", random_bytes(3000, 5)); // its entry goes with the old root
        for (int i = 0; i < 40; ++i)
            put(mnt, photos + QStringLiteral("/Holiday picture number %1.jpeg").arg(i), random_bytes(700 + 3301 * i, 100 + i));
        for (int i = 0; i < 30; ++i)
            put(mnt, QStringLiteral("Letters/Letter number %1 to the bank manager.txt").arg(i), random_bytes(1000 + 77 * i, 600 + i));
        for (int i = 0; i < 5; ++i)
            put(mnt, cyrillic + QStringLiteral(u"/写真 %1 Ærøskøbing.png").arg(i), random_bytes(2000 + 9999 * i, 200 + i));
        for (int i = 0; i < 6; ++i)
            put(mnt, QStringLiteral("Documents/Quarterly report %1.docx").arg(i), random_bytes(150 + 20011 * i, 300 + i));
        put(mnt, "Documents/" + QString(180, QLatin1Char('L')) + ".txt", random_bytes(7000, 6));
        put(mnt, "Documents/empty.txt", {});
        put(mnt, deep + "/deep.bin", random_bytes(300000, 7));
        // Written in turns with a file that stays: its chain is all that tells its clusters.
        for (int round = 0; round < 3; ++round) {
            put(mnt, "Documents/fragmented log.txt", random_bytes(40000, 400 + round), round > 0);
            put(mnt, "Documents/spacer.bin", random_bytes(5000, 500 + round), round > 0);
        }
    }

    // The files The Sleuth Kit finds without a folder on the image.
    int sleuthkit_orphans(const QString& image)
    {
        QString output;
        EXPECT_EQ(run_tool(QStringLiteral("fls"), {"-r", "-d", "-p", "-f", "exfat", image}, &output), 0);
        int orphans = 0;
        for (const QString& line : output.split('\n', Qt::SkipEmptyParts))
            orphans += line.contains("$OrphanFiles/") && line.at(2) == QLatin1Char('r') ? 1 : 0;
        return orphans;
    }

    QTemporaryDir dir_;
    std::map<QString, QByteArray> contents_;
};

// Lines of scan --lost: path, size, times, id and the overwritten column, by the path below the
// top folder named by its cluster (the old root, which held the top folders' entries, is gone).
std::map<QString, listed_s> read_listing(const QString& output)
{
    std::map<QString, listed_s> listed;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split('\t');
        if (f.size() < 6 || line.startsWith("Disk# "))
            continue;
        QStringList parts = f[0].split('/');
        const bool uncertain = parts.last().startsWith('?');
        if (uncertain)
            parts.last().remove(0, 1);
        const QString below = parts.mid(2).join('/');
        listed[below] = {parts.join('/'), f[5] == "overwritten", uncertain, parts.value(1)};
    }
    return listed;
}

TEST_P(ExfatFormatted, EveryFileWhoseFolderSurvivedIsBackByteExactUnderItsPath)
{
    const format_case_s& c = GetParam();
    const QString image = path("card.img"), mnt = path("mnt");
    ASSERT_EQ(make_sparse_file(image, 96 << 20), 0);
    ASSERT_EQ(format(image, c.cluster, "OLD"), 0);
    ASSERT_TRUE(QDir().mkpath(mnt));
    {
        exfat_mount_c mount(image, mnt);
        ASSERT_TRUE(mount.mounted());
        populate(mnt);
        ::sync();
        ASSERT_TRUE(mount.unmount());
    }
    if (HasFatalFailure())
        return;
    ASSERT_EQ(format(image, c.cluster, "NEW"), 0);
    if (c.new_files > 0) {
        exfat_mount_c mount(image, mnt);
        ASSERT_TRUE(mount.mounted());
        for (int i = 0; i < c.new_files; ++i)
            put(mnt, QStringLiteral("after format %1.bin").arg(i), random_bytes(8000, 900 + i));
        ASSERT_TRUE(mount.unmount());
    }

    QString output;
    ASSERT_EQ(run_tool(qEnvironmentVariable("TARN_CLI"), {"scan", "1", "--lost", "--overwritten", "--recover", path("out")},
                       &output, {"TARN_DISKS=" + image, "TZ=UTC"}),
              0)
        << output.toStdString();
    std::map<QString, std::set<QString>> tops; // old top folder: the names it was listed under
    const std::map<QString, listed_s> listed = read_listing(output);
    int exact = 0, overwritten = 0, expected = 0, zeroed = 0;
    for (const auto& [name, content] : contents_) {
        // Files of the root went with it; the top folders' own names did too.
        if (!name.contains('/'))
            continue;
        ++expected;
        const auto found = listed.find(name.section('/', 1));
        ASSERT_NE(found, listed.end()) << c.label << ": " << name.toStdString() << " not listed\n" << output.toStdString();
        tops[name.section('/', 0, 0)].insert(found->second.top);
        QFile recovered(path("out/" + found->second.path));
        ASSERT_TRUE(recovered.open(QIODevice::ReadOnly)) << c.label << ": " << found->second.path.toStdString();
        const QByteArray bytes = recovered.readAll();
        const bool same = sha256(bytes) == sha256(content);
        // mkfs.exfat clears some clusters past the new root that its bitmap leaves free: what
        // they held is gone for any reader, and nothing on the volume says so.
        if (!same && !content.isEmpty() && bytes.count('\0') == bytes.size()) {
            ++zeroed;
            continue;
        }
        overwritten += found->second.overwritten ? 1 : 0;
        exact += same ? 1 : 0;
        // Only the files written in turns lost what tells their clusters (where they have more
        // than one), and say so.
        const bool in_turns = name.endsWith("fragmented log.txt") || name.endsWith("spacer.bin");
        EXPECT_EQ(found->second.uncertain, in_turns && content.size() > c.cluster_bytes) << name.toStdString();
        // A marked file holds new bytes; every other one is the original, byte for byte.
        if (!found->second.uncertain)
            EXPECT_NE(same, found->second.overwritten) << c.label << ": " << name.toStdString();
    }
    // The spacer is listed too: it was on the old file system.
    EXPECT_EQ(listed.size(), static_cast<std::size_t>(expected)) << output.toStdString();
    EXPECT_EQ(overwritten > 0, c.new_files > 0) << c.label;
    EXPECT_LE(zeroed, 1) << c.label;
    // Each old top folder is one folder named by its cluster, and no two share one.
    std::set<QString> names;
    for (const auto& [top, under] : tops) {
        ASSERT_EQ(under.size(), 1u) << top.toStdString();
        EXPECT_TRUE(QRegularExpression("^#\\d{8}$").match(*under.begin()).hasMatch()) << under.begin()->toStdString();
        EXPECT_TRUE(names.insert(*under.begin()).second);
    }
    std::cout << c.label << ": " << listed.size() << " files listed by name, " << exact << " byte-exact, " << overwritten
              << " marked overwritten, " << zeroed << " cleared by the format; The Sleuth Kit: " << sleuthkit_orphans(image) << " orphan files\n";
}

INSTANTIATE_TEST_SUITE_P(Volumes, ExfatFormatted,
                         ::testing::Values(format_case_s{"4 KiB clusters, formatted again", "4K", 4096, 0},
                                           format_case_s{"4 KiB clusters, three files written since", "4K", 4096, 3},
                                           format_case_s{"32 KiB clusters, formatted again", "32K", 32768, 0}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

} // namespace
