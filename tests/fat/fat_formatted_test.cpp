// Volumes formatted again over their files, and a FAT that lost two folders: the command line's
// search for lost files against the files put there before, The Sleuth Kit's orphans beside it.

#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>
#include <map>

using namespace tarn::test;

namespace {

const QString old_time = QStringLiteral("2023-06-01 09:00:00");
const QString new_time = QStringLiteral("2024-02-01 12:00:00");

struct volume_case_s {
    const char* label;
    int bits;
    std::uint64_t sectors;
    int cluster_sectors;
    bool format_again;   // mkfs.fat over the populated volume
    int new_files;       // written after that format, over the old files' clusters
    bool free_folders;   // the FAT frees the clusters of two folders, nothing else changes
    bool lost_search;    // scan --lost
};

struct listed_s {
    QString path;
    bool overwritten = false;
};

class FatFormatted : public ::testing::TestWithParam<volume_case_s> {
protected:
    QString path(const QString& name) const { return dir_.filePath(name); }

    // A file of the source tree, remembered under its path on the volume.
    QString source(const QString& volume_path, int size)
    {
        const QString file = path("src/" + QString::number(originals_.size()) + "_" + volume_path.section('/', -1));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        const QByteArray data = random_bytes(size, static_cast<quint32>(originals_.size() * 7919 + size));
        out.write(data);
        originals_[volume_path] = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
        return file;
    }
    void copy(const QString& image, const QString& folder, const QString& name, int size, const QString& time = old_time)
    {
        const QString on_volume = folder.isEmpty() ? name : folder + '/' + name;
        ASSERT_EQ(run_mtools({"mcopy", "-i", image, source(on_volume, size), "::/" + on_volume}, time), 0);
    }

    // Photos/2023 and Documents hold files with long names; Documents also holds four files
    // written first in the root and moved there after its own cluster was taken, so that their
    // data lies before every folder (the clusters a new file system hands out first).
    void populate(const QString& image)
    {
        ASSERT_TRUE(QDir(dir_.path()).mkpath("src"));
        for (int i = 0; i < 4; ++i)
            copy(image, {}, QStringLiteral("early note %1.txt").arg(i), 6000 + 1500 * i);
        ASSERT_EQ(run_mtools({"mmd", "-i", image, "::/Photos", "::/Photos/2023", "::/Documents"}, old_time), 0);
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(run_mtools({"mmove", "-i", image, QStringLiteral("::/early note %1.txt").arg(i), "::/Documents/"},
                                 old_time),
                      0);
        for (int i = 0; i < 4; ++i)
            originals_.insert({QStringLiteral("Documents/early note %1.txt").arg(i),
                               originals_.extract(QStringLiteral("early note %1.txt").arg(i)).mapped()});
        for (int i = 0; i < 18; ++i)
            copy(image, "Photos/2023", QStringLiteral("Holiday picture number %1.jpeg").arg(i), 700 + 3301 * i);
        for (int i = 0; i < 6; ++i)
            copy(image, "Photos", QStringLiteral("Portrait_%1.png").arg(i), 2000 + 999 * i);
        for (int i = 0; i < 8; ++i)
            copy(image, "Documents", QStringLiteral("Quarterly report %1.docx").arg(i), 150 + 20011 * i);
    }

    // The folder's first cluster, from its entry in the root region of a FAT16 volume.
    std::uint32_t root_folder_cluster(const QByteArray& bytes, const char* name11)
    {
        const auto u16 = [&](int at) { return std::uint32_t(std::uint8_t(bytes[at])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8; };
        const std::uint32_t reserved = u16(14), fat_sectors = u16(22), roots = u16(17);
        const int root = int((reserved + 2 * fat_sectors) * 512);
        for (std::uint32_t i = 0; i < roots; ++i)
            if (bytes.mid(root + int(i) * 32, 11) == QByteArray(name11))
                return u16(root + int(i) * 32 + 26);
        return 0;
    }
    // Frees the folder's first cluster in both FATs, as a damaged FAT does.
    void free_cluster(QByteArray& bytes, std::uint32_t cluster)
    {
        const auto u16 = [&](int at) { return std::uint32_t(std::uint8_t(bytes[at])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8; };
        const std::uint32_t reserved = u16(14), fat_sectors = u16(22);
        for (std::uint32_t copy = 0; copy < 2; ++copy) {
            const int at = int((reserved + copy * fat_sectors) * 512 + cluster * 2);
            bytes[at] = 0;
            bytes[at + 1] = 0;
        }
    }

    // The files The Sleuth Kit finds without a folder on the image.
    int sleuthkit_orphans(const QString& image)
    {
        QString output;
        EXPECT_EQ(run_tool(QStringLiteral("fls"), {"-r", "-d", "-p", image}, &output), 0);
        int orphans = 0;
        for (const QString& line : output.split('\n', Qt::SkipEmptyParts))
            orphans += line.contains("$OrphanFiles/") && line.startsWith("r/r") ? 1 : 0;
        return orphans;
    }

    QTemporaryDir dir_;
    std::map<QString, QByteArray> originals_;
};

// The path a listed lost file should match among the originals: below the folder of lost files
// come the top folders, named by their cluster where the format took their entries.
QString comparable(const QString& listed, bool lost_search)
{
    return lost_search ? listed.section('/', 2) : listed;
}

TEST_P(FatFormatted, EveryFileBackUnderItsPathByteExact)
{
    const volume_case_s& c = GetParam();
    const QString image = path("vol.img");
    ASSERT_EQ(format_fat(image, 0, c.sectors, c.bits, "OLD", c.cluster_sectors), 0);
    populate(image);
    if (HasFatalFailure())
        return;
    if (c.format_again) {
        QStringList args = {"-F", QString::number(c.bits), "-i", "5678ABCD", "--invariant", "-n", "NEW",
                            "-s", QString::number(c.cluster_sectors), image};
        ASSERT_EQ(run_tool(QStringLiteral("mkfs.fat"), args), 0);
    }
    QStringList new_files;
    for (int i = 0; i < c.new_files; ++i)
        copy(image, {}, QStringLiteral("after format %1.bin").arg(i), 2500, new_time);
    // The top folders' own entries went with the old root: their files are compared below them.
    std::map<QString, QByteArray> expected;
    for (const auto& [name, digest] : originals_)
        if (!name.startsWith("after format"))
            expected[c.lost_search ? name.section('/', 1) : name] = digest;
    if (c.free_folders) {
        QFile file(image);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        for (const char* name : {"PHOTOS     ", "DOCUME~1   "}) {
            const std::uint32_t cluster = root_folder_cluster(bytes, name);
            ASSERT_GE(cluster, 2u) << name;
            free_cluster(bytes, cluster);
        }
        file.seek(0);
        file.write(bytes);
    }

    QStringList args = {"scan", "1", "--recover", path("out")};
    if (c.lost_search)
        args << "--lost" << "--overwritten";
    QString output;
    ASSERT_EQ(run_tool(qEnvironmentVariable("TARN_CLI"), args, &output, {"TARN_DISKS=" + image, "TZ=UTC"}), 0)
        << output.toStdString();
    std::map<QString, listed_s> listed;
    int overwritten = 0;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split('\t');
        if (f.size() < 5 || line.startsWith("Disk# "))
            continue;
        const bool marked = f.size() > 5 && f[5] == "overwritten";
        overwritten += marked ? 1 : 0;
        listed[comparable(f[0], c.lost_search)] = {f[0], marked};
    }
    int exact = 0;
    for (const auto& [name, digest] : expected) {
        const auto found = listed.find(name);
        ASSERT_NE(found, listed.end()) << c.label << ": " << name.toStdString() << " not listed\n" << output.toStdString();
        QFile recovered(path("out/" + found->second.path));
        ASSERT_TRUE(recovered.open(QIODevice::ReadOnly)) << c.label << ": " << found->second.path.toStdString();
        const bool same = QCryptographicHash::hash(recovered.readAll(), QCryptographicHash::Sha256) == digest;
        // A marked file holds new bytes; every other one is the original, byte for byte.
        EXPECT_NE(same, found->second.overwritten) << c.label << ": " << name.toStdString();
        exact += same ? 1 : 0;
    }
    EXPECT_EQ(listed.size(), expected.size()) << c.label << "\n" << output.toStdString();
    EXPECT_EQ(overwritten > 0, c.new_files > 0) << c.label;
    if (overwritten > 0) {
        // Unless asked for, the marked files are left out, and the run says how many.
        QString again;
        EXPECT_EQ(run_tool(qEnvironmentVariable("TARN_CLI"), {"scan", "1", "--lost", "--recover", path("out2")}, &again,
                           {"TARN_DISKS=" + image, "TZ=UTC"}),
                  0);
        EXPECT_TRUE(again.contains(QStringLiteral("%1 overwritten file(s) not written").arg(overwritten))) << again.toStdString();
        int written = 0;
        for (const auto& [name, entry] : listed)
            written += QFile::exists(path("out2/" + entry.path)) ? 1 : 0;
        EXPECT_EQ(written, int(listed.size()) - overwritten);
    }
    std::cout << c.label << ": " << listed.size() << " files listed by name, " << exact << " byte-exact, " << overwritten
              << " marked overwritten; The Sleuth Kit: " << sleuthkit_orphans(image) << " orphan files\n";
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, FatFormatted,
    ::testing::Values(volume_case_s{"FAT32 formatted again", 32, 140000, 1, true, 0, false, true},
                      volume_case_s{"FAT16 formatted again", 16, 60000, 4, true, 0, false, true},
                      volume_case_s{"FAT32 formatted, ten files written since", 32, 140000, 1, true, 10, false, true},
                      volume_case_s{"FAT16 whose FAT freed two folders", 16, 60000, 4, false, 0, true, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

} // namespace
