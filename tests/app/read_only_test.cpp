// The read-only promise as a test: every command that scans, carves, resumes, searches or
// recovers leaves the disk image it reads exactly as it was — same bytes, same modification
// time — whether the image is a disk of TARN_DISKS or one opened with --image.

#include "tests/ntfs/ntfs_volume.h"
#include "tests/support/test_support.h"
#include "tests/support/unchanged_images.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarn::test;

namespace {

// A FAT32 and an NTFS volume, each with a deleted file and a deleted folder, made once.
class ReadOnly : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        const QString fat = dir_->filePath("fat32.img");
        const QString note = dir_->filePath("note.txt");
        QFile source(note);
        ASSERT_TRUE(source.open(QIODevice::WriteOnly) && source.write(QByteArray(9000, 'n')) == 9000);
        source.close();
        ASSERT_EQ(format_fat(fat, 0, 140000, 32, "READONLY"), 0);
        ASSERT_EQ(run_mtools({"mmd", "-i", fat, "::/Old"}), 0);
        ASSERT_EQ(run_mtools({"mcopy", "-i", fat, note, "::/Old/"}), 0);
        ASSERT_EQ(run_mtools({"mcopy", "-i", fat, note, "::/"}), 0);
        ASSERT_EQ(run_mtools({"mdeltree", "-i", fat, "::/Old"}), 0);
        ASSERT_EQ(run_mtools({"mdel", "-i", fat, "::/note.txt"}), 0);
        const QString ntfs = dir_->filePath("ntfs.img");
        ASSERT_EQ(make_ntfs_volume(ntfs, 16ll << 20,
                                   {"mkdir", "/Alt", "fill", "/Alt/brief.txt", "5000", "3", "fill", "/keep.txt", "700", "4",
                                    "rm", "/Alt/brief.txt", "rm", "/Alt"}),
                  0);
        images_ = {fat, ntfs};
        blank_ = dir_->filePath("blank.img");
        ASSERT_EQ(make_sparse_file(blank_, 1 << 20), 0);
    }
    static void TearDownTestSuite() { delete dir_; }

protected:
    static QTemporaryDir* dir_;
    static QStringList images_;
    static QString blank_;
};

QTemporaryDir* ReadOnly::dir_ = nullptr;
QStringList ReadOnly::images_;
QString ReadOnly::blank_;

TEST_F(ReadOnly, NoCommandChangesTheImageItReads)
{
    const QString cli = qEnvironmentVariable("TARN_CLI");
    int run = 0;
    for (const QString& image : images_) {
        for (const bool opened : {false, true}) {
            // Through image mode, or as an image opened after image mode's one blank disk (its
            // disk and volume are then the second row).
            const QStringList front = opened ? QStringList{"--image", image} : QStringList{};
            const QStringList env{"TARN_DISKS=" + (opened ? blank_ : image)};
            const QString row = opened ? "2" : "1";
            const QString out = dir_->filePath(QString("out%1").arg(run++));
            const QString saved = out + ".sav";
            const QList<QStringList> commands = {{"volumes"},
                                                 {"scan", row, "--recover", out + "/scan"},
                                                 {"carve", row, "--recover", out + "/carve", "--save", saved},
                                                 {"resume", saved, "--recover", out + "/resume"},
                                                 {"partitions", row}};
            for (const QStringList& command : commands) {
                unchanged_images_c guard;
                guard.watch(image);
                QString output;
                const int rc = run_tool(cli, front + command, &output, env);
                const std::string what =
                    (QFileInfo(image).fileName() + (opened ? " --image " : " ") + command.join(' ')).toStdString();
                EXPECT_TRUE(rc == 0 || rc == 1) << what << ": " << output.toStdString();
                EXPECT_EQ(guard.report(), QString()) << what;
            }
            // The scan found the deleted files, so the promise was kept while reading them.
            EXPECT_TRUE(QFileInfo::exists(out + "/scan")) << image.toStdString();
        }
    }
}

} // namespace
