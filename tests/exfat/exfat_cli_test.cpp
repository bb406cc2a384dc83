// tarnrecovery-cli on exFAT images written straight from their first sector, as cards are: the
// volume is listed with the free space its bitmap counts, scanned and recovered; one whose boot
// regions are both damaged is reported as such, with exit status 1.

#include "platform/byte_source.h"
#include "tests/exfat/exfat_volume.h"
#include "tests/support/test_support.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using namespace tarn;
using namespace tarn::test;

namespace {

int cli(const QString& disk, const QStringList& args, QString* output)
{
    return run_tool(qEnvironmentVariable("TARN_CLI"), args, output, {"TARN_DISKS=" + disk, "TZ=UTC"});
}

TEST(ExfatCli, ACardWithoutPartitionTableIsListedScannedAndRecovered)
{
    QTemporaryDir dir;
    exfat_image_c image(dir.path(), 16 << 20);
    ASSERT_FALSE(image.bytes().empty());
    // A deleted folder holding a deleted file, in the root.
    const std::uint32_t folder = image.free_cluster(2);
    const std::uint32_t data = folder + 1;
    std::memset(image.bytes().data() + image.cluster_offset(data), 'p', 9000);
    image.put_set(image.root_cluster(), static_cast<std::size_t>(image.root_slot(0x00)), {u"Fotos", 0x10, folder, 4096});
    image.put_set(folder, 0, {u"IMG_0001.JPG", 0x20, data, 9000});
    const QString path = dir.filePath("card.img");
    ASSERT_EQ(image.save(path), 0);

    QString output;
    ASSERT_EQ(cli(path, {"volumes"}, &output), 0) << output.toStdString();
    const QStringList row = output.split('\n').filter("exFAT").value(0).split('\t');
    ASSERT_GE(row.size(), 6) << output.toStdString();
    EXPECT_EQ(row[0], "1");
    EXPECT_EQ(row[3], "TESTCARD");
    // The free clusters as the bitmap marks them: all but the bitmap's, the up-case table's and
    // the root folder's.
    std::uint64_t free_clusters = 0;
    for (std::uint32_t c = 2; c < image.cluster_count() + 2; ++c)
        free_clusters += image.free_cluster(c) == c ? 1 : 0;
    EXPECT_GT(free_clusters, image.cluster_count() - 6u);
    EXPECT_EQ(row[5].toULongLong(), free_clusters * 4096) << output.toStdString();

    const QString out = dir.filePath("out");
    ASSERT_EQ(cli(path, {"scan", "1", "--recover", out}, &output), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("Fotos/IMG_0001.JPG\t9000\t")) << output.toStdString();
    QFile copy(out + "/Fotos/IMG_0001.JPG");
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray(9000, 'p'));

    // Both boot regions name more clusters than the volume has.
    for (std::size_t at : {92u, 12 * 512u + 92})
        store_le32(image.bytes(), at, 0x7FFFFFFF);
    ASSERT_EQ(image.save(path), 0);
    ASSERT_EQ(cli(path, {"volumes"}, &output), 0);
    if (output.contains("exFAT")) { // as the probe still takes it
        EXPECT_EQ(cli(path, {"scan", "1"}, &output), 1);
        EXPECT_TRUE(output.contains("damaged")) << output.toStdString();
    }
}

} // namespace
