// Reading a GPT from hostile bytes: headers whose fields point outside the disk, ask for huge
// arrays or overlap the usable sectors are refused; entries that overlap or stray outside the
// usable sectors make a copy unsound; what the plan keeps from such a copy; GUIDs.

#include "partition/disk_table.h"
#include "partition/partition_types.h"
#include "partition/repair_plan.h"
#include "platform/byte_source.h"
#include "platform/memory_source.h"
#include "tests/partition/partition_fixtures.h"
#include "tests/support/test_support.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace tarn {
namespace {

constexpr std::uint64_t small_sectors = 4096;

// A disk of small_sectors made by sgdisk: Linux data at 2048-2559, 2560-3071 and 3072-3583.
std::vector<std::byte> sgdisk_disk()
{
    QTemporaryDir dir;
    const QString image = dir.filePath("small.img");
    EXPECT_EQ(test::make_sparse_file(image, small_sectors * 512), 0);
    EXPECT_EQ(test::run_tool("sgdisk", {"-n", "1:2048:2559", "-n", "2:2560:3071", "-n", "3:3072:3583", image}), 0);
    const QByteArray bytes = test::read_file_range(image, 0, small_sectors * 512);
    std::vector<std::byte> out(static_cast<std::size_t>(bytes.size()));
    std::memcpy(out.data(), bytes.constData(), out.size());
    return out;
}

std::span<std::byte, sector_bytes> sector_at(std::vector<std::byte>& disk, std::uint64_t lba)
{
    return std::span<std::byte, sector_bytes>(disk.data() + lba * sector_bytes, sector_bytes);
}

// The header CRC recomputed after a field was changed, as a forger would.
void reseal_header(std::span<std::byte, sector_bytes> header)
{
    const std::uint32_t size = std::clamp<std::uint32_t>(load_le32(header, 12), 0, sector_bytes);
    store_le32(header, 16, 0);
    store_le32(header, 16, gpt_crc32(header.first(size)));
}

// Both copies' entry CRCs and header CRCs recomputed after the entries were changed.
void reseal_both(std::vector<std::byte>& disk)
{
    for (std::uint64_t lba : {std::uint64_t{1}, small_sectors - 1}) {
        auto header = sector_at(disk, lba);
        const std::uint64_t entries = load_le64(header, 72);
        store_le32(header, 88, gpt_crc32(std::span(disk).subspan(entries * sector_bytes, 128 * 128)));
        reseal_header(header);
    }
}

TEST(gpt_header, hostile_fields_are_refused)
{
    auto disk = sgdisk_disk();
    const sector_s good = [&] { sector_s s{}; std::ranges::copy(sector_at(disk, 1), s.begin()); return s; }();
    ASSERT_TRUE(parse_gpt_header(good, 1, small_sectors));
    EXPECT_FALSE(parse_gpt_header(good, 1, small_sectors - 40)) << "a disk shorter than the header says";
    EXPECT_FALSE(parse_gpt_header(good, 2, small_sectors)) << "read elsewhere than its own LBA";

    struct mutation {
        const char* name;
        std::function<void(std::span<std::byte>)> change;
        bool reseal = true;
    };
    const mutation cases[] = {
        {"CRC not matching", [](auto h) { h[60] ^= std::byte{1}; }, false},
        {"revision 2", [](auto h) { store_le32(h, 8, 0x00020000); }},
        {"header of 91 bytes", [](auto h) { store_le32(h, 12, 91); }},
        {"header larger than its sector", [](auto h) { store_le32(h, 12, 513); }},
        {"2^32-1 entries of 2^31 bytes", [](auto h) { store_le32(h, 80, 0xFFFFFFFF); store_le32(h, 84, 0x80000000); }},
        {"no entries", [](auto h) { store_le32(h, 80, 0); }},
        {"entries of 100 bytes", [](auto h) { store_le32(h, 84, 100); }},
        {"array past the disk's end", [](auto h) { store_le64(h, 72, small_sectors - 8); }},
        {"array at 2^64-1", [](auto h) { store_le64(h, 72, ~std::uint64_t{0}); }},
        {"array over the usable sectors", [](auto h) { store_le64(h, 72, 34); }},
        {"array over sector 0", [](auto h) { store_le64(h, 72, 0); }},
        {"first usable after last usable", [](auto h) { store_le64(h, 40, 4000); store_le64(h, 48, 3000); }},
        {"last usable past the disk", [](auto h) { store_le64(h, 48, small_sectors); }},
        {"usable sectors over the header", [](auto h) { store_le64(h, 40, 1); }},
        {"alternate header past the disk", [](auto h) { store_le64(h, 32, small_sectors); }},
        {"alternate header inside the usable sectors", [](auto h) { store_le64(h, 32, 3000); }},
        {"alternate array would overlap the usable sectors", [](auto h) { store_le64(h, 48, small_sectors - 20); }},
    };
    for (const auto& m : cases) {
        SCOPED_TRACE(m.name);
        sector_s bad = good;
        m.change(bad);
        if (m.reseal)
            reseal_header(bad);
        EXPECT_FALSE(parse_gpt_header(bad, 1, small_sectors));
    }
}

TEST(gpt_copies, unsound_entries_and_a_copy_made_from_the_other)
{
    auto disk = sgdisk_disk();
    {
        memory_source_c source(disk);
        disk_table_s table;
        ASSERT_EQ(read_disk_table(source, disk.size(), table), 0);
        EXPECT_TRUE(table.primary.sound && table.backup.sound);
        EXPECT_TRUE(gpt_copies_agree(table.primary, table.backup));
        EXPECT_EQ(table_kind(table), table_kind_e::gpt);
        // What the repair writes from one copy is the other, byte for byte.
        EXPECT_TRUE(std::ranges::equal(build_gpt_header(mirrored_header(*table.primary.header)),
                                       sector_at(disk, small_sectors - 1)));
    }
    struct entry_case {
        const char* name;
        std::uint64_t entry3_first, entry3_last;
    };
    for (const auto& c : {entry_case{"overlapping entry 2", 3000, 3583}, entry_case{"past the usable sectors", 3072, small_sectors - 2},
                          entry_case{"ending before it starts", 3583, 3072}}) {
        SCOPED_TRACE(c.name);
        auto bad = disk;
        for (std::uint64_t array : {std::uint64_t{2}, small_sectors - 33}) {
            store_le64(std::span(bad), array * sector_bytes + 2 * 128 + 32, c.entry3_first);
            store_le64(std::span(bad), array * sector_bytes + 2 * 128 + 40, c.entry3_last);
        }
        reseal_both(bad);
        memory_source_c source(bad);
        disk_table_s table;
        ASSERT_EQ(read_disk_table(source, bad.size(), table), 0);
        EXPECT_TRUE(table.primary.entries_intact);
        EXPECT_FALSE(table.primary.sound || table.backup.sound);
    }
}

// Writes the plan's runs into the disk's bytes.
void apply(std::vector<std::byte>& disk, const repair_plan_s& plan)
{
    for (const sector_write_s& run : plan.writes)
        std::ranges::copy(run.bytes, disk.begin() + static_cast<std::ptrdiff_t>(run.lba * sector_bytes));
}

std::vector<guid_s> some_guids()
{
    std::vector<guid_s> out(repair_fresh_guids);
    std::ranges::generate(out, random_guid);
    return out;
}

TEST(gpt_plan, a_new_table_keeps_the_entries_of_a_surviving_copy_that_no_find_overlaps)
{
    auto disk = sgdisk_disk();
    // Entry 3 overlaps entry 2 in both copies: neither is sound, both survive.
    for (std::uint64_t array : {std::uint64_t{2}, small_sectors - 33})
        store_le64(std::span(disk), array * sector_bytes + 2 * 128 + 32, 3000);
    reseal_both(disk);
    const std::vector<std::byte> entry2(disk.begin() + 2 * 512 + 128, disk.begin() + 2 * 512 + 256);
    memory_source_c source(disk);
    disk_table_s table;
    ASSERT_EQ(read_disk_table(source, disk.size(), table), 0);
    const std::vector<partition_item_s> finds = {{"NTFS", type_ntfs, 2048, 2559, {}}};
    const auto guids = some_guids();
    const auto plan = plan_repair(table, finds, guids, 63, 255);
    ASSERT_TRUE(plan && plan->gpt);
    EXPECT_EQ(plan->gpt->reason, gpt_reason_e::protective_mbr);
    EXPECT_EQ(plan->gpt->current_kind, table_kind_e::gpt);
    ASSERT_EQ(plan->gpt->current.size(), 3u);
    EXPECT_EQ(plan->gpt->current[0].fate, entry_fate_e::replaced);
    EXPECT_EQ(plan->gpt->current[1].fate, entry_fate_e::kept);
    EXPECT_EQ(plan->gpt->current[2].fate, entry_fate_e::lost) << "it overlaps the kept entry";
    EXPECT_EQ(plan->gpt->planned[0].origin, slot_origin_e::found);
    EXPECT_EQ(plan->gpt->planned[0].type, gpt_type_for_fs("NTFS"));

    apply(disk, *plan);
    EXPECT_TRUE(std::ranges::equal(std::span(disk).subspan(2 * 512 + 128, 128), entry2)) << "kept byte for byte";
    memory_source_c after(disk);
    ASSERT_EQ(read_disk_table(after, disk.size(), table), 0);
    EXPECT_TRUE(gpt_copies_agree(table.primary, table.backup));
    EXPECT_EQ(table.primary.header->disk_guid, guids[0]);
    EXPECT_EQ(table.primary.used.size(), 2u);
    // The same inputs and GUIDs plan the same bytes: what the confirmation relies on.
    EXPECT_EQ(plan_repair(table, finds, guids, 63, 255), plan_repair(table, finds, guids, 63, 255));
}

TEST(gpt_plan, no_mbr_entry_is_written_with_more_than_32_bits)
{
    const std::uint64_t high = 1ull << 32;
    disk_table_s small; // 200,000 sectors without any table
    small.sectors = 200'000;
    const std::vector<partition_item_s> fits = {{"NTFS", type_ntfs, 2048, 18431, {}}};
    EXPECT_FALSE(gpt_needed(small, fits));
    // A find whose length field takes it past 2^32 sectors (and past the disk): an MBR would
    // hold its end cut to 32 bits, a GPT cannot hold it at all. Nothing is written for it.
    const std::vector<partition_item_s> huge = {{"NTFS", type_ntfs, 2048, high + 10, {}}};
    EXPECT_EQ(gpt_needed(small, huge), gpt_reason_e::find_over_32_bits);
    EXPECT_FALSE(plan_repair(small, huge, some_guids(), 63, 255));
    const std::vector<partition_item_s> both = {fits[0], {"FAT32", type_fat32, 20480, high + 10, {}}};
    const auto plan = plan_repair(small, both, some_guids(), 63, 255);
    ASSERT_TRUE(plan && plan->gpt);
    EXPECT_EQ(plan->gpt->planned.size(), 1u);
    EXPECT_EQ(plan->gpt->left_out, std::vector{both[1]});

    // A disk one sector over 2 TiB: a GPT even for finds an MBR could hold.
    disk_table_s large;
    large.sectors = high + 1;
    EXPECT_EQ(gpt_needed(large, fits), gpt_reason_e::disk_over_2tib);
    large.sectors = high;
    EXPECT_FALSE(gpt_needed(large, fits));
}

TEST(gpt_plan, an_mbr_over_2_tib_becomes_a_gpt_keeping_the_entries_it_can)
{
    disk_table_s disk;
    disk.sectors = (1ull << 32) + 100'000;
    const std::vector<partition_item_s> mbr = {
        {"", 0x83, 2048, 6143, {}}, {"", 0x07, 8192, 12287, {}}, {"", 0xA5, 20000, 29999, {}}};
    disk.sector0 = build_master_boot_record(sector_s{}, {encode_entry(mbr[0], true, 63, 255), encode_entry(mbr[1], false, 63, 255),
                                                        encode_entry(mbr[2], false, 63, 255), {}});
    const std::vector<partition_item_s> finds = {{"NTFS", type_ntfs, 8192, 12287, {}}};
    const auto guids = some_guids();
    const auto plan = plan_repair(disk, finds, guids, 63, 255);
    ASSERT_TRUE(plan && plan->gpt);
    EXPECT_EQ(plan->now, table_kind_e::mbr);
    EXPECT_EQ(plan->gpt->reason, gpt_reason_e::disk_over_2tib);
    EXPECT_EQ(plan->gpt->current_kind, table_kind_e::mbr);
    ASSERT_EQ(plan->gpt->current.size(), 3u);
    EXPECT_EQ(plan->gpt->current[0].fate, entry_fate_e::kept);
    EXPECT_EQ(plan->gpt->current[1].fate, entry_fate_e::replaced);
    EXPECT_EQ(plan->gpt->current[2].fate, entry_fate_e::lost) << "type 0xA5 has no GPT type here";
    ASSERT_EQ(plan->gpt->planned.size(), 2u);
    EXPECT_EQ(plan->gpt->planned[0].type, guid_from_text("0FC63DAF-8483-4772-8E79-3D69D8477DE4"));
    EXPECT_EQ(plan->gpt->planned[1].fs_name, "NTFS");
    // Two of the fresh GUIDs went to the entries, the first to the disk.
    const auto primary = std::ranges::find(plan->writes, std::uint64_t{1}, &sector_write_s::lba);
    ASSERT_NE(primary, plan->writes.end());
    EXPECT_TRUE(std::ranges::equal(std::span(primary->bytes).subspan(56, 16), guids[0]));
}

TEST(gpt_types, guids_lie_on_the_disk_mixed_endian_and_fresh_ones_are_version_4)
{
    const guid_s basic = guid_from_text("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
    // Fields 1-3 little-endian on the disk.
    EXPECT_EQ(basic[0], std::byte{0xA2});
    EXPECT_EQ(basic[4], std::byte{0xE5});
    EXPECT_EQ(basic[6], std::byte{0x33});
    EXPECT_EQ(basic[8], std::byte{0x87});
    EXPECT_EQ(guid_text(basic), "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
    EXPECT_EQ(gpt_type_for_fs("exFAT"), basic);
    EXPECT_EQ(gpt_type_for_mbr(0x07), basic);
    const guid_s a = random_guid();
    EXPECT_NE(a, random_guid());
    EXPECT_EQ(std::to_integer<int>(a[7]) >> 4, 4) << "version 4";
    EXPECT_EQ(std::to_integer<int>(a[8]) & 0xC0, 0x80) << "RFC 4122 variant";
}

} // namespace
} // namespace tarn
