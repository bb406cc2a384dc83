#include "platform/device.h"
#include "platform/memory_source.h"
#include "platform/volume_facts.h"
#include "tests/support/test_support.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace tarn;

namespace {

// Every byte of the image tells its own offset, so any misplaced read shows.
std::byte pattern(std::uint64_t offset) { return static_cast<std::byte>((offset * 7 + offset / 511) & 0xFF); }

class Device : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = dir_.filePath("disk.img");
        QFile file(path_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray bytes(8 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(pattern(static_cast<std::uint64_t>(i)));
        file.write(bytes);
        file.close();
        ASSERT_EQ(test::write_partition_table(path_, "label: dos\nstart=63, size=2000, type=6\nstart=4096, size=8192, type=7\n"), 0);
        qputenv("TARN_DISKS", path_.toUtf8());
    }
    void TearDown() override { qunsetenv("TARN_DISKS"); }
    QTemporaryDir dir_;
    QString path_;
};

void expect_pattern(std::span<const std::byte> bytes, std::uint64_t disk_offset)
{
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != pattern(disk_offset + i)) {
            ADD_FAILURE() << "byte " << i << " of a read at disk offset " << disk_offset;
            return;
        }
}

TEST_F(Device, ImageVolumeIsAWindowOnItsDisk)
{
    enumerate_volume_facts();
    for (bool uncached : {false, true}) {
        auto volume = device_c::open(path_ + "#1", access_e::read, uncached);
        ASSERT_TRUE(volume);
        EXPECT_EQ(volume->size(), 2000u * 512);
        // Unaligned offsets and lengths around a start at sector 63.
        std::vector<std::byte> buffer(5000);
        ASSERT_EQ(volume->read_at(777, buffer), 5000);
        expect_pattern(buffer, 63 * 512 + 777);
        // A read across the end stops there; a read beyond it gives nothing.
        ASSERT_EQ(volume->read_at(2000 * 512 - 100, buffer), 100);
        expect_pattern(std::span(buffer).first(100), 63 * 512 + 2000 * 512 - 100);
        EXPECT_EQ(volume->read_at(2000 * 512, buffer), 0);

        partition_info_s info;
        ASSERT_EQ(volume->partition_info(info), 0);
        EXPECT_EQ(info.partition_number, 1);
        std::int32_t disk = -1;
        ASSERT_EQ(volume->disk_extents(disk), 0);
        EXPECT_EQ(disk, 0);
    }
}

TEST_F(Device, SequentialReadsAndSeekStayInsideTheDevice)
{
    auto disk = device_c::open(path_, access_e::read, true);
    ASSERT_TRUE(disk);
    std::vector<std::byte> block(128 * 1024);
    ASSERT_EQ(disk->seek(512), 0);
    ASSERT_EQ(disk->read(block), static_cast<std::int64_t>(block.size()));
    expect_pattern(block, 512);
    EXPECT_EQ(disk->position(), 512 + block.size());
    EXPECT_EQ(disk->seek(disk->size() + 1), -1);
    // A handle opened for reading never writes.
    const std::vector<std::byte> data(512, std::byte{0x11});
    EXPECT_LT(disk->write_at(0, data), 0);
}

TEST_F(Device, WritesGoWhereAskedAndNowhereElse)
{
    enumerate_volume_facts();
    auto volume = device_c::open(path_ + "#2", access_e::read_write, true);
    ASSERT_TRUE(volume);
    const std::vector<std::byte> data(512, std::byte{0xEE});
    ASSERT_EQ(volume->write_at(512, data), 512);
    EXPECT_LT(volume->write_at(volume->size() - 100, data), 0); // would cross the window's end
    ASSERT_EQ(volume->flush(), 0);
    volume.reset();

    auto disk = device_c::open(path_, access_e::read);
    std::vector<std::byte> back(1536);
    ASSERT_EQ(disk->read_at(4096 * 512, back), 1536);
    expect_pattern(std::span(back).first(512), 4096 * 512);
    EXPECT_EQ(std::vector<std::byte>(back.begin() + 512, back.begin() + 1024), data);
    expect_pattern(std::span(back).subspan(1024), 4096 * 512 + 1024);
}

TEST_F(Device, GeometryIsSyntheticAndNeedsAMedium)
{
    auto disk = device_c::open(path_, access_e::read);
    disk_geometry_s g;
    ASSERT_EQ(disk->geometry(g), 0);
    EXPECT_EQ(g.bytes_per_sector, 512u);
    EXPECT_EQ(g.tracks_per_cylinder, 255u);
    EXPECT_EQ(g.sectors_per_track, 63u);
    EXPECT_EQ(g.cylinders, 8 * 1024 * 1024 / (255 * 63 * 512));
    EXPECT_TRUE(disk->check_verify());
    EXPECT_TRUE(disk->is_writable());

    const QString tiny = dir_.filePath("tiny.img");
    ASSERT_EQ(test::make_sparse_file(tiny, 511), 0);
    auto small = device_c::open(tiny, access_e::read);
    ASSERT_TRUE(small);
    EXPECT_FALSE(small->check_verify());
    EXPECT_EQ(small->geometry(g), -1);
}

TEST_F(Device, UnknownNamesDoNotOpen)
{
    EXPECT_FALSE(device_c::open("", access_e::read));
    EXPECT_FALSE(device_c::open(dir_.filePath("none.img"), access_e::read));
    EXPECT_FALSE(device_c::open(dir_.path(), access_e::read));
    EXPECT_FALSE(device_c::open(path_ + "#9", access_e::read));
    EXPECT_FALSE(device_c::open("\\\\?\\Volume{12345678-1234-1234-1234-123456789abc}\\", access_e::read));
}

TEST_F(Device, ImageWithAHashInItsNameOpensAsDiskAndVolume)
{
    const QString odd = dir_.filePath("disk#1.img");
    ASSERT_TRUE(QFile::copy(path_, odd));
    qputenv("TARN_DISKS", odd.toUtf8());
    auto disk = device_c::open(odd, access_e::read);
    ASSERT_TRUE(disk);
    EXPECT_EQ(disk->size(), 8u * 1024 * 1024);
    auto volume = device_c::open(odd + "#2", access_e::read);
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->size(), 8192u * 512);
}

// A volume's bytes seen in place are the bytes a read gives, at offsets off its pages (the window
// starts at sector 63); nothing is mapped past its end or from a device read uncached. An image cut
// short under a map reads as zeros where it was cut, and the map says so.
TEST_F(Device, MappedRangesShowTheVolumeAndSurviveItsImageShrinking)
{
    enumerate_volume_facts();
    auto volume = device_c::open(path_ + "#1", access_e::read);
    ASSERT_TRUE(volume);
    for (const auto& [at, n] : std::vector<std::pair<std::uint64_t, std::size_t>>{{0, 1}, {777, 5000}, {4095, 8193}, {2000 * 512 - 100, 100}}) {
        const mapped_bytes_c map = volume->map_at(at, n);
        ASSERT_EQ(map.bytes().size(), n) << at;
        expect_pattern(map.bytes(), 63 * 512 + at);
        EXPECT_FALSE(map.damaged());
    }
    EXPECT_TRUE(volume->map_at(2000 * 512 - 10, 11).empty());
    auto uncached = device_c::open(path_ + "#1", access_e::read, true);
    ASSERT_TRUE(uncached);
    EXPECT_EQ(uncached->map_at(0, 512).empty(), uncached->uncached());

    QFile file(path_);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const mapped_bytes_c whole = mapped_bytes_c::map(file.handle(), 0, 1 << 20);
    const mapped_bytes_c other = mapped_bytes_c::map(file.handle(), 1 << 20, 4096);
    ASSERT_FALSE(whole.empty());
    EXPECT_TRUE(mapped_bytes_c::map(file.handle(), (8 << 20) - 100, 8192).empty()); // pages past the end cannot be brought in
    ASSERT_TRUE(QFile::resize(path_, 64 * 1024));
    expect_pattern(whole.bytes().subspan(512, 63 * 1024), 512); // past the partition table
    EXPECT_FALSE(whole.damaged());
    const std::span<const std::byte> cut = whole.bytes().subspan(512 * 1024, 8192);
    EXPECT_TRUE(std::all_of(cut.begin(), cut.end(), [](std::byte b) { return b == std::byte{0}; }));
    EXPECT_TRUE(whole.damaged());
    EXPECT_FALSE(other.damaged());
}

TEST(MemorySource, ReadsClampAtTheEnd)
{
    memory_source_c source(std::vector<std::byte>(10, std::byte{1}));
    std::vector<std::byte> out(8);
    EXPECT_EQ(source.read_at(4, out), 6);
    EXPECT_EQ(source.read_at(10, out), 0);
    EXPECT_EQ(source.read_at(~0ull, out), 0);
}

} // namespace
