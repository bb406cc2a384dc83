#include "disk/drive_enumeration.h"
#include "platform/physical_drives.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarn;

namespace {

constexpr std::uint64_t cylinder_bytes = 255ull * 63 * 512;

class DriveList : public ::testing::Test {
protected:
    QString image(const QString& name, std::uint64_t bytes)
    {
        const QString path = dir_.filePath(name);
        EXPECT_EQ(test::make_sparse_file(path, bytes), 0);
        return path;
    }
    void use_disks(const QStringList& paths) { qputenv("TARN_DISKS", paths.join(QLatin1Char(':')).toUtf8()); }
    void TearDown() override { qunsetenv("TARN_DISKS"); }
    QTemporaryDir dir_;
};

TEST_F(DriveList, HeaderThenEachDiskAtItsTrueSize)
{
    use_disks({image("a.img", 100 * cylinder_bytes + 12345), image("b.img", 3 * cylinder_bytes),
               image("c.img", cylinder_bytes - 512)});
    ASSERT_EQ(enumerate_drives(), 0);
    const auto& list = drive_list();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_TRUE(list[0].path.isEmpty());
    EXPECT_EQ(list[0].size, 0u);
    EXPECT_FALSE(list[0].geometry.has_value());
    EXPECT_EQ(list[1].size, 100 * cylinder_bytes + 12345); // the true size, not whole cylinders
    EXPECT_EQ(list[2].size, 3 * cylinder_bytes);
    EXPECT_EQ(list[3].size, cylinder_bytes - 512); // less than one cylinder, still all of it
    EXPECT_EQ(list[1].path, dir_.filePath("a.img"));
    ASSERT_TRUE(list[1].geometry.has_value());
    EXPECT_EQ(list[1].geometry->bytes_per_sector, 512u);
    EXPECT_EQ(list[1].geometry->sectors_per_track, 63u);
    EXPECT_EQ(list[1].geometry->tracks_per_cylinder, 255u);
    EXPECT_EQ(list[1].geometry->cylinders, 100);
}

// An image that cannot be read is left out of the list, and said so, with the image after it in
// its place (the volume list leaves it out too); a disk of the machine that cannot be measured
// still ends the list, like a gap in the numbering.
TEST_F(DriveList, AnUnreadableImageIsLeftOutAndNamed)
{
    const QString a = image("a.img", cylinder_bytes), c = image("c.img", cylinder_bytes);
    const struct {
        QString bad;
        const char* reason;
    } cases[] = {
        {dir_.filePath("missing.img"), "no such file"},
        {dir_.path(), "is not a disk image file"}, // a folder cannot be opened as a disk
        {image("empty.img", 0), "too small to hold a disk"},
        {image("short.img", 300), "too small to hold a disk"}, // shorter than one sector: no medium
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.bad.toStdString());
        use_disks({a, row.bad, c});
        enumerate_drives();
        ASSERT_EQ(drive_list().size(), 3u);
        EXPECT_EQ(drive_list()[2].path, c);
        const QStringList refusals = image_mode_refusals();
        ASSERT_EQ(refusals.size(), 1);
        EXPECT_TRUE(refusals[0].startsWith(row.bad + ": ") && refusals[0].contains(row.reason)) << refusals[0].toStdString();
        EXPECT_EQ(list_drives({a, row.bad, c}).size(), 2u);
    }
}

TEST_F(DriveList, AtMostTenDisks)
{
    QStringList disks;
    for (int i = 0; i < 11; ++i)
        disks << image(QStringLiteral("d%1.img").arg(i), cylinder_bytes);
    use_disks(disks);
    enumerate_drives();
    ASSERT_EQ(drive_list().size(), 11u);
    EXPECT_EQ(drive_list()[10].path, disks[9]);
}

TEST_F(DriveList, NoReadableDiskLeavesOnlyTheHeader)
{
    use_disks({dir_.filePath("nothing.img")});
    enumerate_drives();
    ASSERT_EQ(drive_list().size(), 1u);
    EXPECT_FALSE(drive_list()[0].geometry.has_value());
}

TEST_F(DriveList, RefreshReplacesTheList)
{
    const QString a = image("a.img", cylinder_bytes), b = image("b.img", cylinder_bytes);
    use_disks({a, b});
    enumerate_drives();
    ASSERT_EQ(drive_list().size(), 3u);
    QFile::remove(b);
    enumerate_drives();
    ASSERT_EQ(drive_list().size(), 2u);
    EXPECT_TRUE(drive_list()[0].path.isEmpty());
}

} // namespace
