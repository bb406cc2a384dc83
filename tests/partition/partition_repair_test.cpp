// The partition table repair: writes the finds of a search back into sector 0 of an image and
// reads the result with sfdisk, an independent reader.

#include "partition/master_boot_record.h"
#include "partition/partition_repair.h"
#include "platform/byte_source.h"
#include "tests/partition/partition_fixtures.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

namespace tarn {
namespace {

drive_item_s image_drive(const QString& path)
{
    return {path, static_cast<std::uint64_t>(QFileInfo(path).size()), disk_geometry_s{0, media_fixed, 255, 63, 512}};
}

std::vector<std::byte> sector0(const QString& image)
{
    const QByteArray s = test::read_file_range(image, 0, 512);
    std::vector<std::byte> out(static_cast<std::size_t>(s.size()));
    std::memcpy(out.data(), s.constData(), out.size());
    return out;
}

// Each test keeps its backups in a folder of its own.
class partition_repair : public ::testing::Test {
protected:
    void SetUp() override { qputenv("XDG_DATA_HOME", data_home.path().toUtf8()); }
    QStringList backups() const
    {
        return QDir(data_home.filePath("TarnRecovery")).entryList({"mbr-backup-*.bin"}, QDir::Files);
    }
    // Searches the image and repairs it; returns the repair's result.
    int search_and_repair(const QString& image)
    {
        EXPECT_EQ(worker.set_drive(image_drive(image)), 0);
        worker.start_search();
        worker.wait();
        return worker.write_partition_table();
    }
    QTemporaryDir data_home;
    QTemporaryDir dir;
    partition_repair_c worker;
};

TEST_F(partition_repair, writes_the_finds_back_and_keeps_a_backup)
{
    const QString image = dir.filePath("disk.img");
    ASSERT_EQ(test::make_sparse_file(image, 200'000ull * 512), 0);
    ASSERT_EQ(test::write_partition_table(image, "label: dos\nlabel-id: 0x12345678\n"
                                                 "start=2048, size=16384, type=7, bootable\n"
                                                 "start=18432, size=81900, type=c\n"),
              0);
    ASSERT_EQ(test::make_ntfs_in_image(image, 2048, 16384), 0);
    ASSERT_EQ(test::make_fat32_in_image(image, 18432, 81900), 0);
    ASSERT_EQ(test::zero_partition_table(image), 0);
    const auto before = sector0(image);

    ASSERT_EQ(search_and_repair(image), 0);
    const auto after = sector0(image);
    const std::span<const std::byte> s(after);
    EXPECT_TRUE(std::equal(boot_code().begin(), boot_code().end(), after.begin()));
    EXPECT_EQ(load_le32(s, 440), 0x12345678u) << "disk signature kept";
    EXPECT_EQ(load_le16(s, 510), 0xAA55);
    EXPECT_EQ(s[446], std::byte{0x80});
    EXPECT_EQ(s[462], std::byte{0x00});
    EXPECT_TRUE(std::ranges::equal(s.subspan(447, 3), chs_encode(2048, 63, 255)));
    EXPECT_TRUE(std::ranges::equal(s.subspan(451, 3), chs_encode(18431, 63, 255)));

    QString dump;
    ASSERT_EQ(test::run_tool("sfdisk", {"--dump", image}, &dump), 0) << dump.toStdString();
    EXPECT_TRUE(dump.contains("label-id: 0x12345678"));
    EXPECT_TRUE(dump.contains("1 : start=        2048, size=       16384, type=7, bootable")) << dump.toStdString();
    EXPECT_TRUE(dump.contains("2 : start=       18432, size=       81900, type=c\n")) << dump.toStdString();
    EXPECT_FALSE(dump.contains("3 : ")) << "entries without a find stay empty";

    ASSERT_EQ(backups().size(), 1);
    const QString backup = worker.backup_path();
    EXPECT_EQ(QFileInfo(backup).fileName(), backups().front());
    EXPECT_TRUE(QFileInfo(backup).fileName().startsWith("mbr-backup-disk.img-"));
    EXPECT_EQ(test::read_file_range(backup, 0, 1024), QByteArray(reinterpret_cast<const char*>(before.data()), 512));

    // A second repair keeps a second backup rather than overwriting the first.
    ASSERT_EQ(worker.write_partition_table(), 0);
    EXPECT_EQ(backups().size(), 2);
}

// Each image: a table script, the file systems made under it, the table sfdisk reads after the
// repair and the slots that must come through byte for byte.
struct merge_case {
    const char* name;
    const char* table;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ntfs; // start, sectors
    QStringList after;
    std::vector<int> kept_slots;
};

TEST_F(partition_repair, entries_the_search_cannot_recognise_survive)
{
    const merge_case cases[] = {
        {"intact table: swap and Linux stay in their slots", nullptr, {},
         {"1 2048 81900 c *", "2 86016 40960 82", "3 129024 20480 83"}, {1, 2}},
        {"a stale Linux entry that a find overlaps is replaced", "start=2048, size=100000, type=83\n",
         {{4096, 16384}}, {"1 4096 16384 7 *"}, {}},
        {"more than four: the finds win and the last kept entry goes",
         "start=100000, size=1000, type=83\nstart=110000, size=1000, type=83\nstart=120000, size=1000, type=83\n",
         {{2048, 4096}, {20480, 4096}},
         {"1 100000 1000 83", "2 110000 1000 83", "3 2048 4096 7 *", "4 20480 4096 7"}, {0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString image = dir.filePath("merge.img");
        if (c.table) {
            ASSERT_EQ(test::make_sparse_file(image, 200'000ull * 512), 0);
            ASSERT_EQ(test::write_partition_table(image, QStringLiteral("label: dos\n") + c.table), 0);
        } else {
            ASSERT_EQ(test::make_intact_mixed_disk(image), 0);
        }
        for (const auto& [start, sectors] : c.ntfs)
            ASSERT_EQ(test::make_ntfs_in_image(image, start, sectors), 0);
        const auto before = sector0(image);

        ASSERT_EQ(search_and_repair(image), 0);
        EXPECT_EQ(test::dump_entries(image), c.after);
        const auto after = sector0(image);
        for (int slot : c.kept_slots) {
            const auto at = before.begin() + 446 + 16 * slot;
            EXPECT_TRUE(std::equal(at, at + 16, after.begin() + 446 + 16 * slot)) << "slot " << slot + 1;
        }
    }
}

TEST_F(partition_repair, a_confirmed_table_is_written_only_while_the_disk_still_matches_it)
{
    const QString image = dir.filePath("disk.img");
    ASSERT_EQ(test::make_intact_mixed_disk(image), 0);
    ASSERT_EQ(worker.set_drive(image_drive(image)), 0);
    worker.start_search();
    worker.wait();
    const auto preview = worker.preview_repair();
    ASSERT_TRUE(preview);
    EXPECT_FALSE(preview->plan.gpt);
    EXPECT_EQ(preview->plan.mbr.fate, (std::array{entry_fate_e::replaced, entry_fate_e::kept, entry_fate_e::kept,
                                              entry_fate_e::empty}));

    // Someone else changes the table between the question and the answer.
    ASSERT_EQ(test::patch_file(image, 446 + 32 + 4, QByteArray(1, '\x82')), 0);
    const auto changed = sector0(image);
    EXPECT_EQ(worker.write_partition_table(*preview), -1);
    EXPECT_EQ(sector0(image), changed);
    EXPECT_TRUE(backups().isEmpty());

    const auto fresh = worker.preview_repair();
    ASSERT_TRUE(fresh);
    ASSERT_EQ(worker.write_partition_table(*fresh), 0);
    EXPECT_EQ(test::dump_entries(image), (QStringList{"1 2048 81900 c *", "2 86016 40960 82", "3 129024 20480 82"}));
}

TEST_F(partition_repair, refuses_without_finds_without_a_drive_or_while_searching)
{
    const QString image = dir.filePath("disk.img");
    ASSERT_EQ(test::make_sparse_file(image, 100'000ull * 512), 0);
    ASSERT_EQ(test::write_partition_table(image, "label: dos\nstart=2048, size=16384, type=83\n"), 0);
    const auto before = sector0(image);

    EXPECT_EQ(worker.write_partition_table(), -1) << "no drive chosen";
    EXPECT_FALSE(worker.preview_repair());
    // Nothing found: writing would wipe the table the disk still has.
    EXPECT_EQ(search_and_repair(image), -1);
    EXPECT_FALSE(worker.preview_repair()) << "nothing to confirm";
    EXPECT_EQ(sector0(image), before);
    EXPECT_TRUE(backups().isEmpty());

    const QString large = dir.filePath("large.img");
    ASSERT_EQ(test::make_sparse_file(large, 256ull << 30), 0);
    ASSERT_EQ(test::make_ntfs_in_image(large, 2048, 4096), 0);
    ASSERT_EQ(worker.set_drive(image_drive(large)), 0);
    worker.start_search();
    while (worker.partition_count() == 0 && worker.isRunning())
        QThread::yieldCurrentThread();
    ASSERT_TRUE(worker.isRunning());
    const auto large_before = sector0(large);
    EXPECT_EQ(worker.write_partition_table(), -1) << "refused while the search runs";
    worker.stop_search();
    EXPECT_EQ(sector0(large), large_before);
}

TEST_F(partition_repair, nothing_is_written_when_the_backup_cannot_be_kept)
{
    const QString image = dir.filePath("disk.img");
    ASSERT_EQ(test::make_sparse_file(image, 20'000ull * 512), 0);
    ASSERT_EQ(test::make_ntfs_in_image(image, 2048, 4096), 0);
    const auto before = sector0(image);
    // The data folder cannot be made where a file stands.
    const QString blocked = dir.filePath("blocked");
    ASSERT_EQ(test::make_sparse_file(blocked, 1), 0);
    qputenv("XDG_DATA_HOME", blocked.toUtf8());
    EXPECT_EQ(search_and_repair(image), -1);
    EXPECT_EQ(sector0(image), before);
    EXPECT_TRUE(worker.backup_path().isEmpty());
}

} // namespace
} // namespace tarn
