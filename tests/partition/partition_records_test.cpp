// Boot-sector recognition, CHS encoding and the master boot record builder.

#include "partition/boot_sector.h"
#include "partition/master_boot_record.h"
#include "partition/partition_table_plan.h"
#include "platform/byte_source.h"
#include "tests/partition/partition_fixtures.h"

#include <QVariant>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace tarn {
namespace {

std::vector<std::byte> bytes_of(const QByteArray& a)
{
    std::vector<std::byte> out(static_cast<std::size_t>(a.size()));
    std::memcpy(out.data(), a.constData(), out.size());
    return out;
}

void put_text(std::vector<std::byte>& b, std::size_t at, const char* text)
{
    std::memcpy(b.data() + at, text, std::strlen(text));
}

TEST(boot_sector, real_ntfs_sector_and_its_length)
{
    auto sector = bytes_of(test::real_ntfs_boot_sector(4096));
    ASSERT_EQ(sector.size(), 512u);
    EXPECT_TRUE(is_ntfs_boot(sector));
    EXPECT_FALSE(is_fat32_boot(sector)); // too short for the FAT32 test

    sector.resize(1024);
    store_le32(sector, 0x28, 1'000'000);
    store_le32(sector, 0x2C, 0);
    const auto item = partition_at(sector, 2048);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->fs_name, "NTFS");
    EXPECT_EQ(item->type, 7);
    EXPECT_EQ(item->start_sector, 2048u);
    EXPECT_EQ(item->length_sectors(), 1'000'001u);
    EXPECT_EQ(item->end_sector, 2048u + 1'000'000u);

    sector[511] = std::byte{0};
    EXPECT_FALSE(is_ntfs_boot(sector));
    EXPECT_FALSE(partition_at(sector, 2048));
}

TEST(boot_sector, ntfs_absurd_lengths)
{
    auto sector = bytes_of(test::real_ntfs_boot_sector(4096));
    sector.resize(1024);
    store_le32(sector, 0x28, 0);
    store_le32(sector, 0x2C, 0);
    EXPECT_FALSE(partition_at(sector, 100)) << "a volume of no sectors is no find";

    store_le32(sector, 0x28, 0xFFFFFFFF);
    store_le32(sector, 0x2C, 0xFFFFFFFF);
    EXPECT_FALSE(partition_at(sector, 100)) << "total + 1 wraps to zero";

    store_le32(sector, 0x28, 0xFFFFFF00);
    EXPECT_FALSE(partition_at(sector, 0x1000)) << "end beyond the largest sector number";

    store_le32(sector, 0x28, 0);
    store_le32(sector, 0x2C, 0x80000000); // 2^63
    const auto huge = partition_at(sector, 100);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->end_sector, 100u + (1ull << 63));
}

TEST(boot_sector, fat32_from_mkfs_is_accepted_by_its_parameter_block)
{
    auto sectors = bytes_of(test::real_fat32_boot_sectors());
    ASSERT_EQ(sectors.size(), 1024u);
    ASSERT_EQ(std::memcmp(sectors.data() + 3, "mkfs.fat", 8), 0);
    EXPECT_TRUE(is_fat32_boot(sectors));
    EXPECT_FALSE(is_ntfs_boot(sectors));
    const auto item = partition_at(sectors, 63);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->fs_name, "FAT32");
    EXPECT_EQ(item->type, 0x0C);
    EXPECT_EQ(item->length_sectors(), 81920u);

    // Each broken field alone makes a sector with a foreign OEM name fail.
    struct breakage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        int width;
    };
    const breakage cases[] = {
        {"bytes per sector", 11, 4096, 2},   {"sectors per cluster 0", 13, 0, 1},
        {"sectors per cluster 3", 13, 3, 1}, {"reserved sectors", 14, 0, 2},
        {"no FAT", 16, 0, 1},                {"three FATs", 16, 3, 1},
        {"root entries", 17, 512, 2},        {"16-bit FAT size", 22, 9, 2},
        {"32-bit FAT size", 36, 0, 4},       {"root cluster", 44, 1, 4},
        {"total sectors", 32, 0, 4},
    };
    for (const auto& c : cases) {
        auto broken = sectors;
        if (c.width == 1)
            broken[c.at] = static_cast<std::byte>(c.value);
        else if (c.width == 2)
            store_le16(broken, c.at, static_cast<std::uint16_t>(c.value));
        else
            store_le32(broken, c.at, c.value);
        EXPECT_FALSE(is_fat32_boot(broken)) << c.what;
    }
    auto wrong_type = sectors;
    put_text(wrong_type, 82, "FAT16   ");
    EXPECT_FALSE(is_fat32_boot(wrong_type));
}

TEST(boot_sector, fat32_windows_oem_names)
{
    // A Windows OEM name is enough on its own: the parameter block is left broken here.
    std::vector<std::byte> sectors(1024);
    sectors[510] = sectors[1022] = std::byte{0x55};
    sectors[511] = sectors[1023] = std::byte{0xAA};
    store_le32(sectors, 32, 5000);
    for (const char* oem : {"MSDOS5.0", "MSWIN4.1", "MSDOSxyz", "MSWIN\x01\x02\x03"}) {
        put_text(sectors, 3, oem);
        EXPECT_TRUE(is_fat32_boot(sectors)) << oem;
    }
    for (const char* oem : {"MSDOX5.0", "mswin4.1", "XSWIN4.1"}) {
        put_text(sectors, 3, oem);
        EXPECT_FALSE(is_fat32_boot(sectors)) << oem;
    }

    put_text(sectors, 3, "MSWIN4.1");
    store_le32(sectors, 32, 0);
    EXPECT_TRUE(is_fat32_boot(sectors));
    EXPECT_FALSE(partition_at(sectors, 10)) << "a FAT32 volume of no sectors is no find";

    store_le32(sectors, 32, 5000);
    sectors[1023] = std::byte{0};
    EXPECT_FALSE(is_fat32_boot(sectors)) << "the information sector must end in 0x55 0xAA";
    auto real = bytes_of(test::real_fat32_boot_sectors());
    real[1022] = std::byte{0};
    EXPECT_FALSE(is_fat32_boot(real));
}

TEST(boot_sector, short_spans_are_never_boot_sectors)
{
    const std::vector<std::byte> none;
    EXPECT_FALSE(is_ntfs_boot(none));
    EXPECT_FALSE(is_fat32_boot(none));
    EXPECT_FALSE(partition_at(none, 0));
    auto ntfs = bytes_of(test::real_ntfs_boot_sector(4096));
    EXPECT_FALSE(is_ntfs_boot(std::span(ntfs).first(511)));
}

TEST(chs, encoding)
{
    auto chs = [](std::uint64_t l) {
        const auto c = chs_encode(l, 63, 255);
        return std::vector<int>{std::to_integer<int>(c[0]), std::to_integer<int>(c[1]), std::to_integer<int>(c[2])};
    };
    EXPECT_EQ(chs(0), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(chs(2048), (std::vector<int>{0x20, 0x21, 0x00}));
    EXPECT_EQ(chs(16'450'559), (std::vector<int>{0xFE, 0xFF, 0xFF})); // cylinder 1023, the last one
    EXPECT_EQ(chs(16'450'560), (std::vector<int>{0x00, 0x01, 0x00})); // cylinder 1024 wraps to 0
    EXPECT_EQ(chs(2048 + (1ull << 32)), chs(2048)) << "only the low 32 bits count";
    EXPECT_EQ(chs_encode(2048, 0, 255), chs_s{});
}

partition_item_s item(const char* fs, int type, std::uint64_t start, std::uint64_t end)
{
    return {QString::fromLatin1(fs), type, start, end, {}};
}

TEST(master_boot_record, entries_signature_and_code)
{
    std::array<std::byte, 512> current{};
    for (std::size_t i = 0; i < current.size(); ++i)
        current[i] = static_cast<std::byte>(i * 7);
    const std::vector<partition_item_s> found = {item("NTFS", 7, 2048, 206847), item("FAT32", 12, 206848, 411647)};
    const auto mbr = build_master_boot_record(current, plan_partition_table(current, found, 63, 255).entries());
    const std::span<const std::byte> s(mbr);

    EXPECT_TRUE(std::equal(boot_code().begin(), boot_code().end(), mbr.begin()));
    EXPECT_TRUE(std::equal(current.begin() + 440, current.begin() + 446, mbr.begin() + 440)) << "disk signature kept";
    EXPECT_EQ(load_le16(s, 510), 0xAA55);

    const auto e1 = s.subspan(446, 16);
    EXPECT_EQ(e1[0], std::byte{0x80});
    EXPECT_EQ(e1[1], std::byte{0x20});
    EXPECT_EQ(e1[2], std::byte{0x21});
    EXPECT_EQ(e1[3], std::byte{0x00});
    EXPECT_EQ(e1[4], std::byte{0x07});
    EXPECT_TRUE(std::ranges::equal(e1.subspan(5, 3), chs_encode(206847, 63, 255)));
    EXPECT_EQ(load_le32(e1, 8), 2048u);
    EXPECT_EQ(load_le32(e1, 12), 204800u);

    const auto e2 = s.subspan(462, 16);
    EXPECT_EQ(e2[0], std::byte{0x00});
    EXPECT_EQ(e2[4], std::byte{0x0C});
    EXPECT_EQ(load_le32(e2, 8), 206848u);
    EXPECT_EQ(load_le32(e2, 12), 204800u);

    EXPECT_TRUE(std::ranges::all_of(s.subspan(478, 32), [](std::byte b) { return b == std::byte{0}; }))
        << "entries without a find are cleared";
}

TEST(master_boot_record, five_finds_and_starts_beyond_32_bits)
{
    const std::array<std::byte, 512> current{};
    std::vector<partition_item_s> found;
    for (std::uint64_t i = 0; i < 5; ++i)
        found.push_back(item("NTFS", 7, 2048 + i * 10000, 2048 + i * 10000 + 9999));
    found[3] = item("FAT32", 12, (1ull << 32) + 4096, (1ull << 32) + 4096 + 99);
    const auto mbr = build_master_boot_record(current, plan_partition_table(current, found, 63, 255).entries());
    const std::span<const std::byte> s(mbr);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(s[446 + 16 * i] == std::byte{0x80}, i == 0);
    EXPECT_EQ(load_le32(s, 446 + 48 + 8), 4096u);
    EXPECT_EQ(load_le32(s, 446 + 48 + 12), 100u);
    EXPECT_EQ(load_le32(s, 446 + 32 + 8), 2048u + 20000u) << "the fifth find is not written";
}

TEST(boot_code, message_offsets_point_at_the_messages)
{
    const auto code = boot_code();
    const char* messages[] = {"Invalid partition table", "Error loading operating system", "Missing operating system"};
    for (int i = 0; i < 3; ++i) {
        // The byte is the message's address minus 0x0700; the code runs at 0x0600.
        const std::size_t at = 0x100 + std::to_integer<std::size_t>(code[437 + i]);
        ASSERT_LT(at + std::strlen(messages[i]), code.size());
        EXPECT_EQ(std::memcmp(code.data() + at, messages[i], std::strlen(messages[i]) + 1), 0) << messages[i];
    }
}

TEST(partition_item, travels_in_a_variant_by_name)
{
    register_partition_item_type();
    EXPECT_TRUE(QMetaType::fromName("partition_item_s").isValid());
    const auto p = item("FAT32", 12, 63, 162);
    const QVariant v = QVariant::fromValue(p);
    EXPECT_EQ(v.value<partition_item_s>(), p);
    EXPECT_EQ(p.size_bytes(), 100u * 512);
}

} // namespace
} // namespace tarn
