#include "disk/volume_enumeration.h"
#include "platform/byte_source.h"
#include "tests/support/test_support.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

using namespace tarn;

namespace {

constexpr std::uint64_t mib = 1024 * 1024;

class VolumeList : public ::testing::Test {
protected:
    void TearDown() override { qunsetenv("TARN_DISKS"); }
    void use_disks(const QStringList& paths) { qputenv("TARN_DISKS", paths.join(QLatin1Char(':')).toUtf8()); }

    // Two partitions made by the real tools: FAT32 then FAT16.
    QString two_partition_disk(const QString& name)
    {
        const QString path = dir_.filePath(name);
        EXPECT_EQ(test::make_sparse_file(path, 64 * mib), 0);
        EXPECT_EQ(test::write_partition_table(path, "label: dos\nstart=2048, size=69632, type=c\n"
                                                    "start=71680, size=40960, type=6\n"),
                  0);
        EXPECT_EQ(test::format_fat(path, 2048, 69632, 32, "BIG"), 0);
        EXPECT_EQ(test::format_fat(path, 71680, 40960, 16, "SMALL"), 0);
        return path;
    }
    QTemporaryDir dir_;
};

// Free space is known where it can be counted (FAT12/16 tables, a FAT32 FSInfo count, an NTFS
// cluster bitmap, checked against ntfsinfo) and unknown otherwise (a FAT32 FSInfo that says "not
// known"), never a made-up 0.
TEST_F(VolumeList, FreeSpaceIsKnownOnlyWhereItIsCounted)
{
    const QString disk = two_partition_disk("free.img");
    QFile f(disk);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(2048 * 512 + 512 + 488)); // FSInfo's free count
    ASSERT_EQ(f.write(QByteArray(4, '\xFF')), 4);
    f.close();
    const QString ntfs = dir_.filePath("ntfs.img");
    ASSERT_EQ(test::make_sparse_file(ntfs, 16 * mib), 0);
    ASSERT_EQ(test::run_tool("mkntfs", {"-F", "-Q", "-q", ntfs}), 0);
    use_disks({two_partition_disk("mbr.img"), disk, ntfs});
    enumerate_volumes();
    const auto& list = volume_list();
    ASSERT_EQ(list.size(), 6u);
    // In mount-path order: free.img#1, #2, mbr.img#1, #2, ntfs.img#0.
    const std::array<std::pair<const char*, bool>, 5> expected{{{"FAT32", false}, {"FAT16", true}, {"FAT32", true},
                                                                {"FAT16", true}, {"NTFS", true}}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(list[i + 1].fs_name, expected[i].first) << i;
        EXPECT_EQ(list[i + 1].free_known, expected[i].second) << i;
        if (!expected[i].second) {
            EXPECT_EQ(list[i + 1].free_bytes, 0u) << i;
        }
    }
    QString info;
    ASSERT_EQ(test::run_tool("ntfsinfo", {"-m", ntfs}, &info), 0);
    const auto number_after = [&info](const QString& label) {
        return QRegularExpression(label + QStringLiteral("\\s*(\\d+)")).match(info).captured(1).toULongLong();
    };
    EXPECT_EQ(list[5].free_bytes, number_after("Free Clusters:") * number_after("Cluster Size:"));
}

TEST_F(VolumeList, PartitionsOfAnMbrDisk)
{
    use_disks({two_partition_disk("mbr.img")});
    enumerate_volumes();
    const auto& list = volume_list();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_TRUE(list[0].mount_path.isEmpty());
    EXPECT_TRUE(list[0].device.isEmpty());
    EXPECT_EQ(list[0].partition_number, 0);
    EXPECT_EQ(list[1].fs_name, "FAT32");
    EXPECT_EQ(list[1].label, "BIG");
    EXPECT_EQ(list[1].partition_number, 1);
    EXPECT_EQ(list[1].disk_number, 0);
    EXPECT_EQ(list[1].total_bytes, 69632 * 512u);
    EXPECT_GT(list[1].free_bytes, 0u); // from the FSInfo sector
    EXPECT_LT(list[1].free_bytes, list[1].total_bytes);
    EXPECT_EQ(list[2].fs_name, "FAT16");
    EXPECT_EQ(list[2].label, "SMALL");
    EXPECT_EQ(list[2].partition_number, 2);
    EXPECT_TRUE(list[1].volume_path.startsWith("\\\\?\\Volume{"));
    EXPECT_TRUE(list[1].volume_path.endsWith("}\\"));
    EXPECT_NE(list[1].volume_path, list[2].volume_path);
    EXPECT_EQ(list[1].mount_path, list[1].device); // not mounted: the device stands in
}

// The free count of FAT12 and FAT16 comes from their tables; mtools counts the same clusters.
std::uint64_t mtools_free_bytes(const QString& image, std::uint64_t offset)
{
    QString out;
    const QString target = image + "@@" + QString::number(offset);
    EXPECT_EQ(test::run_tool("mdir", {"-i", target, "::/"}, &out, {"MTOOLS_SKIP_CHECK=1"}), 0);
    for (const auto& line : out.split('\n')) // "   50 092 032 bytes free"
        if (line.endsWith("bytes free"))
            return line.section("bytes", 0, 0).remove(' ').toULongLong();
    ADD_FAILURE() << "no free count in mdir's output";
    return 0;
}

TEST_F(VolumeList, FreeSpaceOfSmallFatVolumesMatchesAnIndependentCount)
{
    const QString disk = two_partition_disk("free.img");
    const QString file = dir_.filePath("payload.bin");
    ASSERT_EQ(test::make_sparse_file(file, 300000), 0);
    ASSERT_EQ(test::run_tool("mcopy", {"-i", disk + "@@" + QString::number(71680 * 512), file, "::/"}, nullptr,
                             {"MTOOLS_SKIP_CHECK=1"}),
              0);
    const QString floppy = dir_.filePath("floppy.img");
    ASSERT_EQ(test::format_fat(floppy, 0, 2880, 12, "FLOPPY"), 0);
    ASSERT_EQ(test::run_tool("mcopy", {"-i", floppy, file, "::/"}, nullptr, {"MTOOLS_SKIP_CHECK=1"}), 0);

    use_disks({disk, floppy});
    enumerate_volumes();
    const auto& list = volume_list();
    ASSERT_EQ(list.size(), 4u);
    // "floppy.img#0" sorts before "free.img#1" and "free.img#2".
    EXPECT_EQ(list[1].fs_name, "FAT12");
    EXPECT_EQ(list[1].free_bytes, mtools_free_bytes(floppy, 0));
    EXPECT_LT(list[1].free_bytes, list[1].total_bytes - 300000);
    EXPECT_EQ(list[3].fs_name, "FAT16");
    EXPECT_EQ(list[3].free_bytes, mtools_free_bytes(disk, 71680 * 512));
}

TEST_F(VolumeList, VolumePathsAreStableAndOpenTheRightWindow)
{
    use_disks({two_partition_disk("mbr.img")});
    enumerate_volumes();
    const auto first = volume_list();
    enumerate_volumes();
    ASSERT_EQ(volume_list().size(), first.size());
    EXPECT_EQ(volume_list()[2].volume_path, first[2].volume_path);
}

TEST_F(VolumeList, GptBareAndEmptyDisksSortedByMountPath)
{
    const QString gpt = dir_.filePath("b-gpt.img");
    ASSERT_EQ(test::make_sparse_file(gpt, 48 * mib), 0);
    ASSERT_EQ(test::write_partition_table(gpt, "label: gpt\nstart=2048, size=81920, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n"), 0);
    ASSERT_EQ(test::format_fat(gpt, 2048, 81920, 16, "GPTVOL"), 0);
    const QString bare = dir_.filePath("a-bare.img");
    ASSERT_EQ(test::format_fat(bare, 0, 8192, 12, "FLOPPY"), 0);
    const QString blank = dir_.filePath("c-blank.img");
    ASSERT_EQ(test::make_sparse_file(blank, 8 * mib), 0);

    use_disks({gpt, blank, bare});
    enumerate_volumes();
    const auto& list = volume_list();
    ASSERT_EQ(list.size(), 4u);
    // A disk with neither a table nor a file system is a volume of no known file system, for the
    // deep scan.
    EXPECT_EQ(list[3].mount_path, blank + "#0");
    EXPECT_TRUE(list[3].fs_name.isEmpty());
    EXPECT_EQ(list[3].total_bytes, static_cast<std::uint64_t>(QFileInfo(blank).size())); // the deep scan counts against it
    EXPECT_FALSE(list[3].free_known);
    EXPECT_EQ(list[1].label, "FLOPPY"); // "a-bare.img#0" sorts before "b-gpt.img#1"
    EXPECT_EQ(list[1].fs_name, "FAT12");
    EXPECT_EQ(list[1].partition_number, 0);
    EXPECT_EQ(list[1].disk_number, 2);
    EXPECT_EQ(list[2].label, "GPTVOL");
    EXPECT_EQ(list[2].partition_number, 1);
    EXPECT_EQ(list[2].disk_number, 0);
    // A GPT entry's own GUID is the volume's identity.
    EXPECT_EQ(list[2].volume_path.size(), QString("\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\").size());
}

TEST_F(VolumeList, FiltersAndOrderOverFacts)
{
    use_disks({two_partition_disk("mbr.img")});
    auto facts = enumerate_volume_facts();
    ASSERT_EQ(facts.size(), 2u);
    facts[0].mount_paths = {"/mnt/b"};
    facts[1].mount_paths = {"/mnt/B", "/mnt/other"};
    auto list = build_volume_list(facts, false);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].mount_path, "/mnt/B"); // 'B' (0x42) before 'b' (0x62)
    EXPECT_EQ(list[2].mount_path, "/mnt/b");

    facts[0].drive_type = drive_fixed;
    EXPECT_EQ(build_volume_list(facts, false).size(), 2u); // fixed volumes need administrator rights
    EXPECT_EQ(build_volume_list(facts, true).size(), 3u);
    facts[0].drive_type = drive_optical;
    EXPECT_EQ(build_volume_list(facts, true).size(), 2u);
    facts[0].drive_type = drive_removable;

    facts[1].info_ok = false; // listed with its size, without a name or free bytes
    list = build_volume_list(facts, false);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_TRUE(list[1].fs_name.isEmpty());
    EXPECT_EQ(list[1].total_bytes, facts[1].total_bytes);
    EXPECT_NE(list[1].total_bytes, 0u);
    EXPECT_FALSE(list[1].free_known);

    facts[1].mount_paths.clear(); // no mount path: no numbers, not listed
    EXPECT_EQ(build_volume_list(facts, true).size(), 2u);
    facts[0].volume_path.chop(1); // not ending in a backslash
    EXPECT_EQ(build_volume_list(facts, true).size(), 1u);
}

// Tables that no partitioning tool writes: entries that overlap, run past the end of the
// disk, or start beyond it.
TEST_F(VolumeList, DamagedPartitionTablesNeverEscapeTheDisk)
{
    const QString path = dir_.filePath("damaged.img");
    ASSERT_EQ(test::make_sparse_file(path, 32 * mib), 0);
    ASSERT_EQ(test::format_fat(path, 2048, 40960, 16, "INNER"), 0);
    std::array<std::byte, 512> mbr{};
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    auto entry = [&](int i, std::uint8_t type, std::uint32_t start, std::uint32_t count) {
        const std::size_t at = 446 + 16 * static_cast<std::size_t>(i);
        mbr[at + 4] = std::byte{type};
        store_le32(mbr, at + 8, start);
        store_le32(mbr, at + 12, count);
    };
    entry(0, 0x06, 2048, 40960);
    entry(1, 0x06, 4096, 16384);         // overlaps the first
    entry(2, 0x06, 60000, 1000000);      // runs past the end of the 65536-sector disk
    entry(3, 0x06, 0xFFFFFF00, 0x1000);  // starts far beyond it
    mbr[510] = std::byte{0x55};
    mbr[511] = std::byte{0xAA};
    ASSERT_EQ(file.write(reinterpret_cast<const char*>(mbr.data()), 512), 512);
    file.close();

    use_disks({path});
    const auto facts = enumerate_volume_facts();
    for (const auto& f : facts)
        EXPECT_NE(f.device, path + "#4");
    enumerate_volumes();
    const auto& list = volume_list();
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list[1].label, "INNER");
    for (const auto& v : list)
        EXPECT_LE(v.total_bytes, 32 * mib);
}

TEST_F(VolumeList, TinyAndUnreadableDisksListNothing)
{
    const QString tiny = dir_.filePath("tiny.img");
    ASSERT_EQ(test::make_sparse_file(tiny, 100), 0);
    use_disks({tiny, dir_.filePath("missing.img"), dir_.path()});
    enumerate_volumes();
    EXPECT_EQ(volume_list().size(), 1u);
}

} // namespace
