// The disk sector layer over image disks.

#include "platform/disk_geometry.h"
#include "tests/fat/fat_fixture.h"

using namespace tarn;
using namespace tarn::test;

namespace {

class DiskLayer : public fat_fixture_c {};

TEST_F(DiskLayer, ReadsAtMost128SectorsPerRequest)
{
    fat_builder_c image(5000, 1);
    image.bytes()[129 * 512 - 1] = std::byte{0x5A};
    ASSERT_EQ(use_image(image), 1);
    EXPECT_EQ(disk_init(0) & disk_status_not_ready, 0);
    std::vector<std::byte> out(130 * 512);
    EXPECT_EQ(disk_read(0, out, 1, 129), disk_parameter_error);
    EXPECT_EQ(disk_read(0, out, 1, 128), disk_ok);
    EXPECT_EQ(out[128 * 512 - 1], std::byte{0x5A});
    EXPECT_EQ(disk_read(0, std::span(out).first(512), 0, 2), disk_parameter_error); // buffer too small
    EXPECT_EQ(disk_read(0, out, image.bytes().size() / 512, 1), disk_error);          // past the end
    EXPECT_EQ(disk_read(1, out, 0, 1), disk_not_ready);
    EXPECT_EQ(disk_status(9), disk_status_not_ready);
}

TEST_F(DiskLayer, EnumerationStopsAtTheFirstGapAndRestartsCleanly)
{
    fat_builder_c image(5000, 1);
    ASSERT_EQ(image.save(path("a.img")), 0);
    ASSERT_EQ(image.save(path("c.img")), 0);
    EXPECT_EQ(use_disks({path("a.img"), path("missing.img"), path("c.img")}), 1);
    EXPECT_EQ(disk_drive_count(), 1);
    EXPECT_EQ(use_disks({path("a.img"), path("c.img")}), 2); // enumerate again: watcher restarted
    EXPECT_EQ(disk_rescan(), 2);
    disk_shutdown();
    EXPECT_EQ(disk_drive_count(), 0);
    std::vector<std::byte> out(512);
    EXPECT_EQ(disk_read(0, out, 0, 1), disk_not_ready);
}

TEST(DiskStatus, OnlyPresent512ByteSectorMediaAreReady)
{
    disk_geometry_s g;
    g.bytes_per_sector = 512;
    EXPECT_EQ(disk_status_from(true, 0, g, true), 0);
    EXPECT_EQ(disk_status_from(true, 0, g, false), disk_status_write_protected);
    EXPECT_EQ(disk_status_from(false, 0, g, true), disk_status_not_ready);
    EXPECT_EQ(disk_status_from(true, -1, g, true), disk_status_not_ready);
    g.bytes_per_sector = 4096;
    EXPECT_EQ(disk_status_from(true, 0, g, true), disk_status_not_ready);
}

} // namespace
