// The FAT module on hand-made volumes read straight from memory: cases real formatting tools
// cannot produce.

#include "scan/fat_entry_check.h"
#include "scan/fat_name.h"
#include "tests/fat/fat_fixture.h"

#include "platform/byte_source.h"

#include <algorithm>
#include <functional>

using namespace tarn;
using namespace tarn::test;

namespace {

class FatModule : public fat_fixture_c {};

TEST_F(FatModule, TypeFollowsTheClusterCountAtEachBoundary)
{
    const struct {
        std::uint32_t clusters;
        std::uint8_t type;
    } cases[] = {{4085, fat_12}, {4086, fat_16}, {65525, fat_16}, {65526, fat_32}};
    for (const auto& c : cases) {
        fat_builder_c image(c.clusters, 1);
        ASSERT_EQ(use_memory(image), 1);
        fat_fs_s fs;
        fat_dir_s dir;
        ASSERT_EQ(mount(fs, dir), fr_ok) << c.clusters;
        EXPECT_EQ(fs.fs_type, c.type) << c.clusters;
        EXPECT_EQ(fs.max_cluster, c.clusters + 2);
        int status = -1;
        EXPECT_TRUE(list(dir, &status).empty());
        EXPECT_EQ(status, fr_ok);
    }
}

TEST_F(FatModule, DeletedShortEntryGetsPlaceholderAndNoLongName)
{
    fat_builder_c image(5000, 1);
    image.put_entry(0, 0, {"\xE5" "BCD    TXT", 0x20, 7, 100});
    image.put_entry(0, 1, {"LIVE    TXT", 0x20, 9, 5});
    ASSERT_EQ(use_memory(image), 1);
    fat_fs_s fs;
    fat_dir_s dir;
    ASSERT_EQ(mount(fs, dir), fr_ok);
    const auto items = list(dir);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, u"?BCD.TXT");
    EXPECT_EQ(items[0].attr, 0x20 | fat_attr_deleted);
    EXPECT_TRUE(items[0].long_name.empty());
    EXPECT_EQ(items[0].cluster, 7u);
    EXPECT_EQ(items[1].name, u"LIVE.TXT");
    EXPECT_EQ(items[1].attr, 0x20);
}

TEST_F(FatModule, ZeroEntryEndsTheDirectory)
{
    fat_builder_c image(5000, 1);
    image.put_entry(0, 0, {"A       TXT", 0x20, 5, 1});
    image.put_entry(0, 2, {"B       TXT", 0x20, 6, 1}); // entry 1 stays all zero
    ASSERT_EQ(use_memory(image), 1);
    fat_fs_s fs;
    fat_dir_s dir;
    ASSERT_EQ(mount(fs, dir), fr_ok);
    const auto items = list(dir);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, u"A.TXT");
}

TEST_F(FatModule, NamesLowerCaseFlagsCodePage936AndLongNames)
{
    fat_builder_c image(5000, 1);
    image.put_entry(0, 0, {"README  TXT", 0x20, 5, 1, 0x5821, 0x5000, 0x5821, 0x5000, 0x08}); // base lower
    image.put_entry(0, 1, {"\xD6\xD0\xCE\xC4\xD7\xFA  \x80  ", 0x20, 6, 1});                 // "中文", unmapped, euro
    image.put_entry(0, 2, {"\x05" "ABC    TXT", 0x20, 7, 1});                                  // real first byte 0xE5
    const char sfn[] = "LONGFI~1TXT";
    const auto sum = sfn_checksum(std::span<const std::byte, 11>(reinterpret_cast<const std::byte*>(sfn), 11));
    const std::u16string name = u"Übergrößenträger-名字.txt"; // 24 characters: two entries
    image.put_raw(0, 3, long_name_entry(name.substr(13), 0x42, sum).data());
    image.put_raw(0, 4, long_name_entry(name.substr(0, 13), 0x01, sum).data());
    image.put_entry(0, 5, {sfn, 0x20, 8, 1});
    // The same name deleted: every entry carries the deletion mark.
    auto first = long_name_entry(name.substr(13), 0x42, sum);
    auto second = long_name_entry(name.substr(0, 13), 0x01, sum);
    first[0] = second[0] = std::byte{0xE5};
    image.put_raw(0, 6, first.data());
    image.put_raw(0, 7, second.data());
    image.put_entry(0, 8, {"\xE5ONGFI~1TXT", 0x20, 9, 1});
    // A long name whose checksum does not match its short entry is not used.
    image.put_raw(0, 9, long_name_entry(u"wrong", 0x41, static_cast<std::uint8_t>(sum + 1)).data());
    image.put_entry(0, 10, {sfn, 0x20, 10, 1});
    ASSERT_EQ(use_memory(image), 1);
    fat_fs_s fs;
    fat_dir_s dir;
    ASSERT_EQ(mount(fs, dir), fr_ok);
    const auto items = list(dir);
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0].name, u"readme.TXT");
    EXPECT_EQ(items[1].name, u"中文?.€");
    // The stored 0x05 stands for 0xE5, a lead byte that pairs with the "A" after it.
    EXPECT_EQ(items[2].name, std::u16string(1, cp936_to_unicode(0xE541)) + u"BC.TXT");
    EXPECT_EQ(items[3].long_name, name);
    EXPECT_EQ(items[3].name, u"LONGFI~1.TXT");
    EXPECT_EQ(items[4].long_name, name);
    EXPECT_TRUE(items[4].attr & fat_attr_deleted);
    EXPECT_TRUE(items[5].long_name.empty());
}

// A deleted long name is taken only when what survives of it still fits its short entry.
TEST_F(FatModule, DeletedLongNamesAreTakenOnlyWhole)
{
    const struct {
        const char* label;
        std::u16string name;   // the long name as it was written
        const char* alias;     // the short name it was written with
        std::size_t lost_tail; // long-name entries (from the name's end) a newer entry took
        bool taken;
    } cases[] = {
        {"complete", u"Long File Name Document.txt", "LONGFI~1TXT", 0, true},
        {"end taken by a newer entry", u"Long File Name Document.txt", "LONGFI~1TXT", 1, false},
        {"exactly two parts", u"abcdefghijklmnopqrstuv.txt", "ABCDEF~1TXT", 0, true},
        {"exact parts, end taken", u"abcdefghijklmnopqrstuv.txt", "ABCDEF~1TXT", 1, false},
        {"first letter disagrees", u"Report for March.pdf", "ZEPORT~1PDF", 0, false},
        {"no extension", u"A folder with a long name", "AFOLDE~1   ", 0, true},
    };
    for (const auto& c : cases) {
        fat_builder_c image(5000, 1);
        const std::uint8_t sum = short_name_checksum(c.alias);
        const std::size_t parts = (c.name.size() + 12) / 13;
        std::uint32_t slot = 0;
        for (std::size_t p = parts - c.lost_tail; p >= 1; --p) {
            auto entry = long_name_entry(std::u16string_view(c.name).substr((p - 1) * 13, 13),
                                         static_cast<std::uint8_t>(p | (p == parts ? 0x40 : 0)), sum);
            entry[0] = std::byte{0xE5};
            image.put_raw(0, slot++, entry.data());
        }
        std::string deleted_alias = c.alias;
        deleted_alias[0] = '\xE5';
        image.put_entry(0, slot, {deleted_alias.c_str(), 0x20, 7, 100});
        ASSERT_EQ(use_memory(image), 1);
        fat_fs_s fs;
        fat_dir_s dir;
        ASSERT_EQ(mount(fs, dir), fr_ok);
        const auto items = list(dir);
        ASSERT_EQ(items.size(), 1u) << c.label;
        EXPECT_EQ(items[0].long_name, c.taken ? c.name : std::u16string()) << c.label;
    }
}

TEST_F(FatModule, DeletedFileReadsFollowingClustersLiveFileFollowsItsChain)
{
    fat_builder_c image(5000, 1);
    for (std::uint32_t c : {100u, 101u, 102u, 200u, 300u})
        image.fill_cluster(c, static_cast<std::byte>(c & 0xFF));
    image.set_fat(100, 200);
    image.set_fat(200, 300);
    image.set_fat(300, 0xFFFF);
    ASSERT_EQ(use_memory(image), 1);
    fat_fs_s fs;
    fat_dir_s dir;
    ASSERT_EQ(mount(fs, dir), fr_ok);
    const std::uint32_t size = 3 * 512 - 10;
    for (int deleted : {1, 0}) {
        fat_file_s file;
        file.fs = &fs;
        file.id = fs.id;
        file.flag = fat_file_read;
        file.fsize = size;
        file.sclust = 100;
        std::vector<std::byte> out(4096);
        std::uint32_t got = 0;
        // An odd first step exercises the partial-sector path as well.
        ASSERT_EQ(f_read(file, std::span(out).first(100), got, deleted), fr_ok);
        std::uint32_t total = got;
        ASSERT_EQ(f_read(file, std::span(out).subspan(100), got, deleted), fr_ok);
        total += got;
        ASSERT_EQ(total, size);
        const std::uint8_t expect[3] = {100, static_cast<std::uint8_t>(deleted ? 101 : 200),
                                        static_cast<std::uint8_t>(deleted ? 102 : 300 & 0xFF)};
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(std::to_integer<int>(out[k * 512 + 7]), expect[k]) << "deleted " << deleted << " part " << k;
    }
}

// Runs of following clusters are read together; the run must end exactly where the chain
// leaves it, also across a read that starts inside a sector.
TEST_F(FatModule, LiveChainWithRunsIsReadInChainOrder)
{
    fat_builder_c image(5000, 1);
    const std::uint32_t chain[] = {100, 101, 102, 400, 401, 150};
    for (std::uint32_t i = 0; i < 6; ++i) {
        image.fill_cluster(chain[i], static_cast<std::byte>(chain[i] & 0xFF));
        image.set_fat(chain[i], i + 1 < 6 ? chain[i + 1] : 0xFFFF);
    }
    image.fill_cluster(103, std::byte{0xEE});
    image.fill_cluster(402, std::byte{0xEE});
    ASSERT_EQ(use_memory(image), 1);
    fat_fs_s fs;
    fat_dir_s dir;
    ASSERT_EQ(mount(fs, dir), fr_ok);
    for (std::uint32_t first : {0u, 300u, 512u}) {
        fat_file_s file{&fs, fs.id, fat_file_read};
        file.fsize = 6 * 512;
        file.sclust = 100;
        std::vector<std::byte> out(6 * 512);
        std::uint32_t got = 0, total = 0;
        if (first > 0) {
            ASSERT_EQ(f_read(file, std::span(out).first(first), got, 0), fr_ok);
            total = got;
        }
        ASSERT_EQ(f_read(file, std::span(out).subspan(total), got, 0), fr_ok);
        total += got;
        ASSERT_EQ(total, 6u * 512);
        for (std::uint32_t i = 0; i < 6; ++i)
            EXPECT_EQ(std::to_integer<std::uint32_t>(out[i * 512 + 511]), chain[i] & 0xFF) << "first " << first << " part " << i;
    }
}

TEST_F(FatModule, ReadPastTheVolumeOrIntoFreeChainFails)
{
    fat_builder_c image(5000, 1);
    ASSERT_EQ(use_memory(image), 1);
    fat_fs_s fs;
    fat_dir_s dir;
    ASSERT_EQ(mount(fs, dir), fr_ok);
    std::vector<std::byte> out(4096);
    std::uint32_t got = 0;
    fat_file_s file{&fs, fs.id, fat_file_read};
    file.fsize = 3 * 512;
    file.sclust = 5001; // the last cluster: the next one lies beyond the volume
    EXPECT_EQ(f_read(file, out, got, 1), fr_int_err);
    EXPECT_EQ(got, 512u);
    EXPECT_EQ(f_read(file, out, got, 1), fr_int_err); // the error sticks
    fat_file_s live{&fs, fs.id, fat_file_read};
    live.fsize = 2 * 512;
    live.sclust = 10; // FAT entry 0: the chain is broken
    EXPECT_EQ(f_read(live, out, got, 0), fr_int_err);
    EXPECT_EQ(got, 512u);
    fat_file_s stale = live;
    stale.id = static_cast<std::uint16_t>(fs.id + 1);
    EXPECT_EQ(f_read(stale, out, got, 0), fr_invalid_object);
}

TEST_F(FatModule, LoopingDirectoryChainEnds)
{
    fat_builder_c image(5000, 1);
    image.put_entry(0, 0, {"LOOP       ", 0x10, 10});
    image.set_fat(10, 10);
    for (std::uint32_t i = 0; i < 16; ++i)
        image.put_entry(10, i, {"X       BIN", 0x20, 20, 1});
    ASSERT_EQ(use_memory(image), 1);
    fat_fs_s fs;
    fat_dir_s dir;
    ASSERT_EQ(mount(fs, dir), fr_ok);
    dir.sclust = dir.clust = 10;
    ASSERT_EQ(f_readdir(dir, nullptr), fr_ok);
    int status = -1;
    EXPECT_EQ(list(dir, &status).size(), 65536u); // entry indexes 0 to 65,535, then the end
    EXPECT_EQ(status, fr_ok);
    dir.sclust = 1;
    EXPECT_EQ(f_readdir(dir, nullptr), fr_int_err);
    dir.sclust = 5002;
    EXPECT_EQ(f_readdir(dir, nullptr), fr_int_err);
}

TEST_F(FatModule, MountsFromSectorZeroOrFromThePartitionStart)
{
    fat_builder_c bare(5000, 2);
    bare.put_entry(0, 0, {"BARE    TXT", 0x20, 5, 1});
    ASSERT_EQ(use_memory(bare), 1);
    fat_fs_s fs;
    fat_dir_s dir;
    ASSERT_EQ(mount(fs, dir, 0, 0), fr_ok);
    EXPECT_EQ(list(dir).at(0).name, u"BARE.TXT");
    disk_shutdown();

    fat_builder_c part(70000, 1, 2048);
    part.put_entry(0, 0, {"PART    TXT", 0x20, 5, 1});
    part.add_mbr();
    ASSERT_EQ(use_memory(part), 1);
    fat_fs_s fs2;
    fat_dir_s dir2;
    ASSERT_EQ(mount(fs2, dir2, 1, 2048), fr_ok);
    EXPECT_EQ(fs2.fs_type, fat_32);
    EXPECT_EQ(fs2.fat_base, 2048u + 32);
    EXPECT_EQ(list(dir2).at(0).name, u"PART.TXT");
    EXPECT_EQ(mount(fs2, dir2, 1, 0), fr_no_filesystem); // sector 0 is a partition table
}

TEST_F(FatModule, DamagedBootSectorsAreRefused)
{
    const struct {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        int width;
    } cases[] = {
        {"4096-byte sectors", 11, 4096, 2}, {"three FATs", 16, 3, 1},      {"no FAT", 16, 0, 1},
        {"3 sectors per cluster", 13, 3, 1}, {"no reserved sectors", 14, 0, 2}, {"odd root entries", 17, 17, 2},
        {"total below system", 19, 10, 2},  {"FAT too small", 22, 1, 2},     {"no signature", 510, 0, 2},
        {"no root entries", 17, 0, 2},      {"huge total", 32, 0xFFFFFFFF, 4},
    };
    for (const auto& c : cases) {
        fat_builder_c image(5000, 1);
        std::span<std::byte> b(image.bytes().data(), 512);
        if (c.width == 1)
            b[c.at] = static_cast<std::byte>(c.value);
        else if (c.width == 2)
            store_le16(b, c.at, static_cast<std::uint16_t>(c.value));
        else {
            store_le16(b, 19, 0);
            store_le32(b, c.at, c.value);
        }
        ASSERT_EQ(use_memory(image), 1);
        fat_fs_s fs;
        fat_dir_s dir;
        EXPECT_EQ(mount(fs, dir), fr_no_filesystem) << c.what;
        EXPECT_EQ(fs.fs_type, fat_none) << c.what;
    }
}

TEST_F(FatModule, UnregisteredOrMissingVolume)
{
    fat_dir_s dir;
    f_mount(0, nullptr);
    EXPECT_EQ(f_opendir(dir, u"/"), fr_not_enabled);
    EXPECT_EQ(f_mount(10, nullptr), fr_invalid_drive);
    fat_fs_s fs;
    fat_partition_table()[0] = fat_partition_s{3, 0, 0}; // no such drive
    f_mount(0, &fs);
    EXPECT_EQ(f_opendir(dir, u"/"), fr_not_ready);
}

TEST_F(FatModule, OpensSubdirectoriesByPath)
{
    fat_builder_c image(5000, 1);
    image.put_entry(0, 0, {"SUB        ", 0x10, 10});
    image.put_entry(0, 1, {"FILE    TXT", 0x20, 11, 1});
    image.set_fat(10, 0xFFFF);
    image.put_entry(10, 0, {"INNER   TXT", 0x20, 12, 1});
    ASSERT_EQ(use_memory(image), 1);
    fat_fs_s fs;
    fat_dir_s dir;
    ASSERT_EQ(mount(fs, dir), fr_ok);
    ASSERT_EQ(f_opendir(dir, u"0:/sub"), fr_ok);
    EXPECT_EQ(list(dir).at(0).name, u"INNER.TXT");
    EXPECT_EQ(f_opendir(dir, u"/file.txt"), fr_no_path);
    EXPECT_EQ(f_opendir(dir, u"/none"), fr_no_path);
}

} // namespace

// The check that keeps file data out of folders: one well-formed entry, then one byte changed.
TEST(FatSlots, OnlyWellFormedEntriesFollowedByZerosReadAsAFolder)
{
    fat_fs_s fs;
    fs.fs_type = fat_16;
    fs.max_cluster = 5002;
    const auto sector_of = [](const std::function<void(fat_builder_c&)>& fill) {
        fat_builder_c image(5000, 1);
        fill(image);
        std::array<std::byte, fat_sector_size> sector{};
        std::copy_n(image.bytes().begin() + image.cluster_offset(10), sector.size(), sector.begin());
        return sector;
    };
    const auto one = sector_of([](fat_builder_c& b) { b.put_entry(10, 0, {"ONE     TXT", 0x20, 20, 10}); });
    const struct {
        const char* label;
        std::size_t at;
        std::string_view bytes;
        bool entries;
    } cases[] = {
        {"well formed", 0, "O", true},       {"deleted", 0, "\xE5", true},
        {"lower case", 1, "n", false},        {"illegal character", 2, "*", false},
        {"month 13", 24, "\xA1\x59", false}, {"hour 24", 23, "\xC0", false},
        {"reserved attribute bits", 11, "\x60", false},
        {"cluster past the volume", 26, "\x70\x17", false},
        {"a byte after the never-used slot", 70, "\x01", false},
        {"long-name part", 11, "\x0F", false}, // its order, cluster and text do not fit
    };
    for (const auto& c : cases) {
        auto sector = one;
        for (std::size_t k = 0; k < c.bytes.size(); ++k)
            sector[c.at + k] = static_cast<std::byte>(c.bytes[k]);
        EXPECT_EQ(check_fat_slots(sector, fs, false).entries, c.entries) << c.label;
    }
    EXPECT_EQ(check_fat_slots(one, fs, false).used, 1u);
    EXPECT_FALSE(check_fat_slots(one, fs, true).entries); // behind an earlier never-used slot only zeros
    const fat_slots_s start = check_fat_slots(sector_of([](fat_builder_c& b) {
        b.put_entry(10, 0, {".          ", 0x10, 10});
        b.put_entry(10, 1, {"..         ", 0x10, 7});
        b.put_entry(10, 2, {"\xE5" "NE     TXT", 0x20, 40, 5});
    }), fs, false);
    EXPECT_TRUE(start.folder_start);
    EXPECT_EQ(start.self, 10u);
    EXPECT_EQ(start.parent, 7u);
    EXPECT_EQ(start.first_data, 40u);
}
