// tarnrecovery-cli partitions: the search's lines, and the repair with and without consent.

#include "tests/partition/partition_fixtures.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarn {
namespace {

struct cli_result_s {
    int exit_code = -1;
    QString out;
    QString err;
};

class cli_partitions : public ::testing::Test {
protected:
    void SetUp() override
    {
        image = dir.filePath("disk.img");
        ASSERT_EQ(test::make_sparse_file(image, 200'000ull * 512), 0);
        ASSERT_EQ(test::write_partition_table(image, "label: dos\n"
                                                     "start=2048, size=16384, type=7\n"
                                                     "start=18432, size=81900, type=c\n"),
                  0);
        ASSERT_EQ(test::make_ntfs_in_image(image, 2048, 16384), 0);
        ASSERT_EQ(test::make_fat32_in_image(image, 18432, 81900), 0);
        ASSERT_EQ(test::zero_partition_table(image), 0);
    }

    cli_result_s run(const QStringList& args, const QByteArray& input = {})
    {
        QProcess cli;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("TARN_DISKS", image);
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        cli.setProcessEnvironment(env);
        cli.start(QStringLiteral(TARNRECOVERY_CLI), args);
        cli_result_s result;
        if (!cli.waitForStarted())
            return result;
        cli.write(input);
        cli.closeWriteChannel();
        if (!cli.waitForFinished(120000))
            return result;
        result.exit_code = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
        result.out = QString::fromUtf8(cli.readAllStandardOutput());
        result.err = QString::fromUtf8(cli.readAllStandardError());
        return result;
    }

    QStringList backups() const
    {
        return QDir(dir.filePath("data/TarnRecovery")).entryList({"mbr-backup-*.bin"}, QDir::Files);
    }

    QTemporaryDir dir;
    QString image;
};

TEST_F(cli_partitions, lists_the_finds)
{
    const auto r = run({"partitions", "1"});
    EXPECT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "table\tnone\n"
                     "0\tNTFS\t2048\t18431\t8388608\t\n" // neither volume was given a label
                     "1\tFAT32\t18432\t100331\t41932800\t\n");
    EXPECT_TRUE(r.err.isEmpty()) << "no progress line when standard error is no terminal";
}

TEST_F(cli_partitions, repair_asks_first_and_no_writes_nothing)
{
    const QByteArray before = test::read_file_range(image, 0, 512);
    for (const QByteArray& answer : {QByteArray("n\n"), QByteArray("\n"), QByteArray()}) {
        const auto r = run({"partitions", "1", "--repair"}, answer);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_TRUE(r.err.contains("[y/N]"));
        EXPECT_TRUE(r.err.contains("nothing written"));
        // The question shows the table now and the one that would be written.
        EXPECT_TRUE(r.err.contains("partition table on the disk now (MBR):\n")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("that would be written (MBR):\n  1  type 0x07  sectors 2048-18431  NTFS\n"))
            << r.err.toStdString();
    }
    EXPECT_EQ(test::read_file_range(image, 0, 512), before);
    EXPECT_TRUE(backups().isEmpty());

    const auto yes = run({"partitions", "1", "--repair"}, "y\n");
    EXPECT_EQ(yes.exit_code, 0) << yes.err.toStdString();
    ASSERT_EQ(backups().size(), 1);
    EXPECT_TRUE(yes.out.contains("old sector 0 saved to " + dir.filePath("data/TarnRecovery/" + backups().front())));
    QString dump;
    ASSERT_EQ(test::run_tool("sfdisk", {"--dump", image}, &dump), 0);
    EXPECT_TRUE(dump.contains("1 : start=        2048, size=       16384, type=7, bootable")) << dump.toStdString();
    EXPECT_TRUE(dump.contains("2 : start=       18432, size=       81900, type=c\n")) << dump.toStdString();
}

TEST_F(cli_partitions, repair_with_yes_and_bad_usage)
{
    const auto r = run({"--json", "partitions", "1", "--repair", "--yes"});
    EXPECT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("\"written\":true"));
    EXPECT_EQ(backups().size(), 1);

    EXPECT_EQ(run({"partitions"}).exit_code, 2);
    EXPECT_EQ(run({"partitions", "2"}).exit_code, 2);
    EXPECT_EQ(run({"partitions", "1", "--yes"}).exit_code, 2);
    EXPECT_EQ(run({"partitions", "1", "--bogus"}).exit_code, 2);
}

TEST_F(cli_partitions, a_gpt_disk_is_named_left_alone_when_sound_and_rebuilt_when_gone)
{
    image = dir.filePath("gpt.img");
    ASSERT_EQ(test::make_gpt_disk(image), 0);
    const QByteArray before = test::read_file_range(image, 0, 34 * 512);
    const auto sound = run({"--json", "partitions", "1", "--repair"});
    EXPECT_EQ(sound.exit_code, 0) << sound.err.toStdString();
    EXPECT_TRUE(sound.out.startsWith("{\"table\":\"GPT\"}\n")) << sound.out.toStdString();
    EXPECT_TRUE(sound.out.contains("\"sound\":true"));
    EXPECT_TRUE(sound.err.contains("both GPT copies are sound")) << sound.err.toStdString();
    EXPECT_FALSE(sound.err.contains("[y/N]"));
    EXPECT_EQ(test::read_file_range(image, 0, 34 * 512), before);
    EXPECT_TRUE(backups().isEmpty());

    const std::uint64_t n = test::gpt_disk_sectors;
    ASSERT_EQ(test::zero_sectors(image, 1, 33), 0);
    ASSERT_EQ(test::zero_sectors(image, n - 33, 33), 0);
    const auto rebuilt = run({"partitions", "1", "--repair"}, "y\n");
    EXPECT_EQ(rebuilt.exit_code, 0) << rebuilt.err.toStdString();
    EXPECT_TRUE(rebuilt.out.startsWith("table\tGPT\n"));
    EXPECT_TRUE(rebuilt.err.contains("that would be written (GPT, as sector 0 protects a GPT whose two copies are both "
                                     "damaged):\n  1  basic data  sectors 2048-18431  NTFS\n"))
        << rebuilt.err.toStdString();
    const QString sectors = QStringLiteral("0, 1-33, %1-%2").arg(n - 33).arg(n - 1);
    EXPECT_TRUE(rebuilt.err.contains("Write sectors " + sectors + " of " + image)) << rebuilt.err.toStdString();
    EXPECT_TRUE(rebuilt.out.contains("old sectors " + sectors + " saved to ")) << rebuilt.out.toStdString();
    QStringList backup = QDir(dir.filePath("data/TarnRecovery")).entryList({"gpt-backup-*.bin"}, QDir::Files);
    EXPECT_EQ(backup.size(), 1);
    QString verdict;
    EXPECT_EQ(test::run_tool("sgdisk", {"-v", image}, &verdict), 0);
    EXPECT_TRUE(verdict.contains("No problems found")) << verdict.toStdString();
}

} // namespace
} // namespace tarn
