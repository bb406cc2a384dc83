// Our master boot record boots: a PC emulator starts from a disk image whose sector 0 the
// repair wrote, and its firmware console (on the serial port) shows what the boot code did.

#include "partition/partition_repair.h"
#include "tests/partition/partition_fixtures.h"
#include "tests/support/test_support.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarn {
namespace {

const QString emulator = QStringLiteral("qemu-system-x86_64");
constexpr std::uint64_t marker_sector = 2048;

// Runs the emulator on image until the console shows `expected` (or the emulator ends, or a
// generous bound passes) and returns the console text.
QString boot(const QString& image, const QString& expected)
{
    const QString console = image + ".console";
    QProcess qemu;
    qemu.setProcessChannelMode(QProcess::MergedChannels);
    qemu.start(emulator, {"-nographic", "-no-reboot", "-net", "none", "-m", "16", "-drive",
                          "file=" + image + ",format=raw", "-device", "isa-debug-exit,iobase=0xf4,iosize=0x04",
                          "-serial", "file:" + console, "-monitor", "none"});
    if (!qemu.waitForStarted())
        return QStringLiteral("could not start ") + emulator;
    QString text;
    const QDeadlineTimer bound(120000);
    while (!qemu.waitForFinished(100) && !bound.hasExpired()) {
        QFile file(console);
        if (file.open(QIODevice::ReadOnly))
            text = QString::fromLatin1(file.readAll());
        if (text.contains(expected))
            break;
    }
    qemu.kill();
    qemu.waitForFinished();
    QFile file(console);
    if (file.open(QIODevice::ReadOnly))
        text = QString::fromLatin1(file.readAll());
    return text.isEmpty() ? QString::fromLocal8Bit(qemu.readAll()) : text;
}

class boot_code : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(emulator).isEmpty())
            GTEST_SKIP() << emulator.toStdString() << " is not installed (scripts/deps installs it); boot tests skipped";
        qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
        // The disk: a partition whose boot sector prints a marker; the repair finds it and
        // writes our master boot record.
        image = dir.filePath("boot.img");
        ASSERT_EQ(test::make_sparse_file(image, 8192 * 512), 0);
        QFile marker(QStringLiteral(BOOT_MARKER_BIN));
        ASSERT_TRUE(marker.open(QIODevice::ReadOnly));
        ASSERT_EQ(test::patch_file(image, marker_sector * 512, marker.readAll()), 0);
        partition_repair_c worker;
        ASSERT_EQ(worker.set_drive({image, 8192 * 512, disk_geometry_s{0, media_fixed, 255, 63, 512}}), 0);
        worker.start_search();
        worker.wait();
        ASSERT_EQ(worker.partition_count(), 1u);
        ASSERT_EQ(worker.write_partition_table(), 0);

        // The first boot of the run tells whether the emulator can run here at all.
        static const QString first = boot(image, "TARN-BOOT-MARKER");
        if (!first.contains("Booting from"))
            GTEST_SKIP() << "the emulator cannot run here: " << first.toStdString();
    }
    QTemporaryDir dir;
    QString image;
};

TEST_F(boot_code, starts_the_active_partition_with_the_boot_drive_in_dl)
{
    const QString text = boot(image, "TARN-BOOT-MARKER");
    EXPECT_TRUE(text.contains("TARN-BOOT-MARKER drive 0x80")) << text.toStdString();
}

TEST_F(boot_code, a_partition_without_boot_signature_is_missing_operating_system)
{
    ASSERT_EQ(test::patch_file(image, marker_sector * 512 + 510, QByteArray(2, '\0')), 0);
    const QString text = boot(image, "Missing operating system");
    EXPECT_TRUE(text.contains("Missing operating system")) << text.toStdString();
    EXPECT_FALSE(text.contains("TARN-BOOT-MARKER"));
}

TEST_F(boot_code, a_bad_status_byte_is_an_invalid_partition_table)
{
    ASSERT_EQ(test::patch_file(image, 446, QByteArray(1, '\x01')), 0);
    const QString text = boot(image, "Invalid partition table");
    EXPECT_TRUE(text.contains("Invalid partition table")) << text.toStdString();
    EXPECT_FALSE(text.contains("TARN-BOOT-MARKER"));
}

TEST_F(boot_code, an_unreadable_boot_sector_is_an_error_loading)
{
    ASSERT_EQ(test::patch_file(image, 446 + 8, QByteArray("\xff\xff\xff\x7f", 4)), 0); // far past the disk
    const QString text = boot(image, "Error loading operating system");
    EXPECT_TRUE(text.contains("Error loading operating system")) << text.toStdString();
}

TEST_F(boot_code, without_an_active_entry_the_firmware_boots_elsewhere)
{
    ASSERT_EQ(test::patch_file(image, 446, QByteArray(1, '\0')), 0);
    const QString text = boot(image, "No bootable device");
    EXPECT_TRUE(text.contains("No bootable device")) << text.toStdString();
    EXPECT_FALSE(text.contains("TARN-BOOT-MARKER"));
    EXPECT_FALSE(text.contains("operating system"));
    EXPECT_FALSE(text.contains("partition table"));
}

} // namespace
} // namespace tarn
