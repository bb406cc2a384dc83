// The disk sector layer over image disks.

#include "platform/disk_geometry.h"
#include "tests/fat/fat_fixture.h"

#include <atomic>
#include <thread>

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

// An image of the list that cannot be read is left out, as in every other list of disks: the
// image after it takes its number.
TEST_F(DiskLayer, EnumerationLeavesOutAMissingImageAndRestartsCleanly)
{
    fat_builder_c image(5000, 1);
    ASSERT_EQ(image.save(path("a.img")), 0);
    ASSERT_EQ(image.save(path("c.img")), 0);
    EXPECT_EQ(use_disks({path("a.img"), path("missing.img"), path("c.img")}), 2);
    EXPECT_EQ(disk_drive_count(), 2);
    EXPECT_EQ(use_disks({path("a.img"), path("c.img")}), 2); // enumerate again: watcher restarted
    EXPECT_EQ(disk_rescan(), 2);
    disk_shutdown();
    EXPECT_EQ(disk_drive_count(), 0);
    std::vector<std::byte> out(512);
    EXPECT_EQ(disk_read(0, out, 0, 1), disk_not_ready);
}

// Reads go on while the disks are read again (an image opened in the window): a read waits for
// the rescan instead of failing, and nothing is noted as unreadable.
TEST_F(DiskLayer, ReadsDuringRescansNeverFail)
{
    fat_builder_c image(5000, 1);
    ASSERT_EQ(image.save(path("a.img")), 0);
    ASSERT_EQ(image.save(path("b.img")), 0);
    ASSERT_EQ(use_disks({path("a.img"), path("b.img")}), 2);
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, failed{0};
    std::thread reader([&] {
        std::vector<std::byte> out(8 * 512);
        for (std::uint64_t sector = 0; !done.load(); sector = (sector + 8) % 4000, ++reads)
            if (disk_read(1, out, sector, 8) != disk_ok)
                ++failed;
    });
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(disk_rescan(), 2);
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(failed.load(), 0) << "of " << reads.load();
    EXPECT_TRUE(disk_take_failures(1).empty());
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
