// The table a repair plans from the table on the disk now and the finds: which entries stay,
// which a find replaces, which the finds push out, and which entry is active.

#include "partition/partition_table_plan.h"
#include "platform/byte_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarn {
namespace {

struct entry_spec {
    int slot;
    std::uint8_t status;
    std::uint8_t type;
    std::uint32_t start;
    std::uint32_t count;
};

sector_s table_sector(const std::vector<entry_spec>& entries)
{
    sector_s s{};
    for (std::size_t i = 0; i < 440; ++i)
        s[i] = static_cast<std::byte>(0x90); // someone else's boot code
    for (const auto& e : entries) {
        const std::span<std::byte> entry(s.data() + partition_table_at + e.slot * partition_entry_bytes, 16);
        entry[0] = std::byte{e.status};
        entry[1] = std::byte{0xAB}; // CHS bytes no tool of ours would write: they must survive as they are
        entry[4] = std::byte{e.type};
        store_le32(entry, 8, e.start);
        store_le32(entry, 12, e.count);
    }
    s[510] = std::byte{0x55};
    s[511] = std::byte{0xAA};
    return s;
}

partition_item_s ntfs(std::uint64_t start, std::uint64_t end)
{
    return {QStringLiteral("NTFS"), type_ntfs, start, end, {}};
}

partition_item_s fat32(std::uint64_t start, std::uint64_t end)
{
    return {QStringLiteral("FAT32"), type_fat32, start, end, {}};
}

// fates: per current slot e(mpty) k(ept) r(eplaced) l(ost); planned: per slot k(ept), the index
// of the find written there, or - (empty); active: the one slot with status 0x80, -1 for none.
struct plan_case {
    const char* name;
    std::vector<entry_spec> current;
    std::vector<partition_item_s> finds;
    std::string fates;
    std::string planned;
    int active;
};

const entry_spec linux_at_200k{2, 0x00, 0x83, 200'000, 50'000};

const plan_case cases[] = {
    {"intact table: the found FAT32 is written again, FAT16 and Linux stay",
     {{0, 0x80, 0x0C, 2048, 81900}, {1, 0x00, 0x06, 86016, 40960}, linux_at_200k},
     {fat32(2048, 83947)}, "rkke", "0kk-", 0},
    {"an unknown entry that a find overlaps is replaced",
     {{0, 0x00, 0x83, 2048, 100'000}}, {ntfs(4096, 20479)}, "reee", "0---", 0},
    {"entries keep their slots; finds fill the free ones in list order",
     {{1, 0x00, 0x83, 100'000, 1000}}, {ntfs(2048, 4095), fat32(4096, 8191)}, "ekee", "0k1-", 0},
    {"ranges that only touch do not overlap",
     {{0, 0x00, 0x06, 2048, 2048}}, {ntfs(4096, 8191)}, "keee", "k0--", 1},
    {"a find beyond 32 bits overlaps by its true position, not its low bits",
     {{0, 0x00, 0x83, 2048, 2048}}, {ntfs((1ull << 32) + 2048, (1ull << 32) + 4095)}, "keee", "k0--", 1},
    {"a kept active entry stays the only active one",
     {{1, 0x80, 0x83, 100'000, 1000}}, {ntfs(2048, 4095)}, "ekee", "0k--", 1},
    {"too many: the finds win, kept entries give up slots from the last one down",
     {{0, 0x00, 0x83, 500'000, 10}, {2, 0x80, 0x06, 600'000, 10}},
     {ntfs(2048, 4095), ntfs(8192, 10239), ntfs(20480, 22527)}, "kele", "k012", 1},
    {"four finds and a fifth: every slot goes to the first four",
     {{3, 0x00, 0x83, 900'000, 10}},
     {ntfs(1000, 1999), ntfs(2000, 2999), ntfs(3000, 3999), ntfs(4000, 4999), ntfs(5000, 5999)}, "eeel", "0123", 0},
    {"type 0 and zero-length entries hold no partition",
     {{0, 0x00, 0x00, 2048, 100}, {1, 0x00, 0x83, 5000, 0}}, {ntfs(100'000, 200'000)}, "eeee", "0---", 0},
};

char fate_code(entry_fate_e f)
{
    switch (f) {
    case entry_fate_e::empty: return 'e';
    case entry_fate_e::kept: return 'k';
    case entry_fate_e::replaced: return 'r';
    case entry_fate_e::lost: return 'l';
    }
    return '?';
}

TEST(partition_plan, table_driven)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const sector_s current = table_sector(c.current);
        const auto plan = plan_partition_table(current, c.finds, 63, 255);
        ASSERT_TRUE(plan.has_current);
        std::string fates, planned;
        int active = -1, actives = 0;
        for (std::size_t i = 0; i < partition_entries; ++i) {
            fates += fate_code(plan.fate[i]);
            const auto& slot = plan.planned[i];
            if (slot.entry.status() == 0x80) {
                active = static_cast<int>(i);
                ++actives;
            }
            if (slot.origin == slot_origin_e::empty) {
                planned += '-';
                EXPECT_EQ(slot.entry, table_entry_s{}) << "slot " << i << " is cleared";
            } else if (slot.origin == slot_origin_e::kept) {
                planned += 'k';
                EXPECT_EQ(slot.entry, plan.current[i]) << "slot " << i << " is kept byte for byte";
            } else {
                const auto find = std::ranges::find_if(c.finds, [&](const partition_item_s& f) {
                    return slot.entry.bytes == encode_entry(f, slot.entry.status() == 0x80, 63, 255);
                });
                ASSERT_NE(find, c.finds.end()) << "slot " << i << " holds no find's entry";
                planned += static_cast<char>('0' + (find - c.finds.begin()));
                EXPECT_EQ(slot.fs_name, find->fs_name);
            }
        }
        EXPECT_EQ(fates, c.fates);
        EXPECT_EQ(planned, c.planned);
        EXPECT_LE(actives, 1);
        EXPECT_EQ(active, c.active);
    }
}

TEST(partition_plan, a_sector_without_a_table_keeps_nothing)
{
    // Without the boot signature, or with a status byte other than 0x00 and 0x80 (the code
    // bytes of a partitionless volume's boot sector), the entries are no table.
    const std::vector<entry_spec> entries = {{0, 0x00, 0x83, 500'000, 10}};
    auto unsigned_sector = table_sector(entries);
    unsigned_sector[511] = std::byte{0};
    auto odd_status = table_sector(entries);
    odd_status[partition_table_at + 3 * partition_entry_bytes] = std::byte{0x01};
    for (const sector_s& sector : {unsigned_sector, odd_status}) {
        EXPECT_FALSE(holds_partition_table(sector));
        const auto plan = plan_partition_table(sector, {ntfs(2048, 4095)}, 63, 255);
        EXPECT_FALSE(plan.has_current);
        EXPECT_EQ(plan.current[0], table_entry_s{}) << "nothing of it is shown as a table";
        EXPECT_EQ(plan.planned[0].origin, slot_origin_e::found);
        EXPECT_EQ(plan.planned[1].origin, slot_origin_e::empty);
    }
    EXPECT_TRUE(holds_partition_table(table_sector(entries)));
}

} // namespace
} // namespace tarn
