#include "disk/drive_enumeration.h"
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

TEST_F(DriveList, MissingOrUnreadableDiskEndsTheList)
{
    const QString a = image("a.img", cylinder_bytes), c = image("c.img", cylinder_bytes);
    use_disks({a, dir_.filePath("missing.img"), c});
    enumerate_drives();
    EXPECT_EQ(drive_list().size(), 2u);

    use_disks({a, dir_.path(), c}); // a folder cannot be opened as a disk
    enumerate_drives();
    EXPECT_EQ(drive_list().size(), 2u);

    use_disks({a, image("empty.img", 0), c});
    enumerate_drives();
    EXPECT_EQ(drive_list().size(), 2u);

    use_disks({a, image("short.img", 300), c}); // shorter than one sector: no medium
    enumerate_drives();
    EXPECT_EQ(drive_list().size(), 2u);
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
