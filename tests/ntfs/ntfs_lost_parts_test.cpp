// The pieces of the lost-file search on hand-made bytes, for the damage real tools do not make:
// the record reader's checks (torn update sequence, attributes past the record, names, runs), the
// folder rebuild's loops, the copy's bounds, and the cluster map's range counts.

#include "libs/ntfs_scan/ntfs_record_decode.h"
#include "platform/memory_source.h"
#include "scan/ntfs_cluster_map.h"
#include "scan/ntfs_lost_copy.h"
#include "scan/ntfs_lost_parents.h"
#include "scan/ntfs_lost_search.h"
#include "scan/recovery_base.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace tarn;

namespace {

// A 1 KiB file record (NTFS 3.1 layout) built attribute by attribute, with its update sequence
// applied on the way out.
class record_maker {
public:
    explicit record_maker(std::uint32_t number, std::uint16_t flags = 1)
    {
        std::memcpy(bytes_.data(), "FILE", 4);
        store_le16(bytes_, 4, 0x30); // update sequence at 0x30, 3 entries
        store_le16(bytes_, 6, 3);
        store_le16(bytes_, 0x10, 7); // sequence
        store_le16(bytes_, 0x14, 0x38);
        store_le16(bytes_, 0x16, flags);
        store_le32(bytes_, 0x1C, 1024);
        store_le32(bytes_, 0x2C, number);
    }
    record_maker& attribute(std::uint32_t type, const std::vector<std::byte>& body, bool resident = true)
    {
        const std::size_t header = resident ? 24 : 64;
        const std::size_t length = (header + body.size() + 7) / 8 * 8;
        store_le32(bytes_, at_, type);
        store_le32(bytes_, at_ + 4, static_cast<std::uint32_t>(length));
        bytes_[at_ + 8] = std::byte{resident ? std::uint8_t{0} : std::uint8_t{1}};
        if (resident) {
            store_le32(bytes_, at_ + 16, static_cast<std::uint32_t>(body.size()));
            store_le16(bytes_, at_ + 20, static_cast<std::uint16_t>(header));
        } else {
            store_le16(bytes_, at_ + 32, static_cast<std::uint16_t>(header));
        }
        std::copy(body.begin(), body.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + header));
        last_ = at_;
        at_ += length;
        return *this;
    }
    // A non-resident $DATA of size bytes over the mapping pairs given.
    record_maker& data_runs(std::uint64_t size, const std::vector<std::byte>& pairs)
    {
        attribute(0x80, pairs, false);
        store_le64(bytes_, last_ + 48, size);
        store_le64(bytes_, last_ + 56, size);
        return *this;
    }
    record_maker& name(const std::u16string& text, std::uint64_t parent, std::uint8_t space = 1)
    {
        std::vector<std::byte> body(66 + 2 * text.size());
        store_le64(body, 0, parent);
        store_le64(body, 8, 133500000000000000ull); // created 2024-01-17
        store_le64(body, 16, 133600000000000000ull); // modified
        body[64] = std::byte{static_cast<std::uint8_t>(text.size())};
        body[65] = std::byte{space};
        for (std::size_t i = 0; i < text.size(); ++i)
            store_le16(body, 66 + 2 * i, text[i]);
        return attribute(0x30, body);
    }
    std::vector<std::byte> bytes(bool tear = false)
    {
        std::array<std::byte, 1024> out = bytes_;
        store_le32(out, at_, 0xFFFFFFFF);
        store_le32(out, 0x18, static_cast<std::uint32_t>(at_ + 8));
        store_le16(out, 0x30, 0x0042); // update sequence number
        for (std::size_t i = 1; i <= 2; ++i) {
            store_le16(out, 0x30 + 2 * i, load_le16(out, i * 512 - 2));
            store_le16(out, i * 512 - 2, tear && i == 2 ? 0x0041 : 0x0042);
        }
        return {out.begin(), out.end()};
    }

    std::size_t last_ = 0;

private:
    std::array<std::byte, 1024> bytes_{};
    std::size_t at_ = 0x38;
};

std::vector<std::byte> bytes_of(std::initializer_list<int> values)
{
    std::vector<std::byte> out;
    for (const int v : values)
        out.push_back(std::byte{static_cast<std::uint8_t>(v)});
    return out;
}

TEST(NtfsRecordDecode, ReadsAndRejectsRecordsAsTheirBytesSay)
{
    struct case_s {
        const char* what;
        std::vector<std::byte> raw;
        ntfs_decode_e result;
        std::u16string name;
        std::uint64_t parent;
    };
    const std::vector<case_s> cases = {
        {"long name wins over its DOS alias, in either order",
         record_maker(70).name(u"REPORT~1.TXT", 64, 2).name(u"Report of the year.txt", 64, 1).bytes(),
         ntfs_decode_e::ok, u"Report of the year.txt", 64},
        {"a DOS name alone is used", record_maker(71).name(u"A.TXT", 5, 2).bytes(), ntfs_decode_e::ok, u"A.TXT", 5},
        {"POSIX name", record_maker(72).name(u"x:y", 5, 0).bytes(), ntfs_decode_e::ok, u"x:y", 5},
        {"torn: one stride's end does not match", record_maker(73).name(u"a", 5).bytes(true), ntfs_decode_e::bad_fixup,
         u"", 0},
        {"no signature", std::vector<std::byte>(1024), ntfs_decode_e::no_record, u"", 0},
        {"shorter than its record", [] { auto b = record_maker(74).name(u"a", 5).bytes(); b.resize(1000); return b; }(),
         ntfs_decode_e::no_record, u"", 0},
        {"attribute length past the record",
         [] { record_maker m(75); m.name(u"a", 5); auto b = m.bytes(); store_le32(b, m.last_ + 4, 4096); return b; }(),
         ntfs_decode_e::damaged, u"", 0},
        {"zero-length attribute does not loop",
         [] { record_maker m(76); m.name(u"a", 5); auto b = m.bytes(); store_le32(b, m.last_ + 4, 0); return b; }(),
         ntfs_decode_e::damaged, u"", 0},
        {"name longer than its value is passed over",
         [] { record_maker m(77); m.name(u"ab", 5); auto b = m.bytes(); b[m.last_ + 24 + 64] = std::byte{200}; return b; }(),
         ntfs_decode_e::ok, u"", 0},
    };
    for (const case_s& c : cases) {
        ntfs_decoded_record_s out;
        EXPECT_EQ(ntfs_decode_record(c.raw, out), c.result) << c.what;
        EXPECT_EQ(out.name, c.name) << c.what;
        if (c.result == ntfs_decode_e::ok) {
            EXPECT_EQ(out.parent, c.parent) << c.what;
        }
    }
}

TEST(NtfsRecordDecode, DataResidentOrRunsWithHolesAndTimes)
{
    ntfs_decoded_record_s out;
    ASSERT_EQ(ntfs_decode_record(record_maker(80).name(u"r", 5).attribute(0x80, bytes_of({1, 2, 3})).bytes(), out),
              ntfs_decode_e::ok);
    EXPECT_TRUE(out.resident);
    EXPECT_EQ(out.resident_bytes, bytes_of({1, 2, 3}));
    EXPECT_EQ(out.number, 80u);
    EXPECT_EQ(out.sequence, 7u);
    // No $STANDARD_INFORMATION: the name's times.
    EXPECT_EQ(out.created, ntfs_unix_time(133500000000000000ull));
    EXPECT_EQ(out.modified, ntfs_unix_time(133600000000000000ull));
    // 4 clusters at 100, a hole of 2, 3 clusters 10 back (at 90).
    ASSERT_EQ(ntfs_decode_record(
                  record_maker(81).name(u"n", 5).data_runs(9 * 4096, bytes_of({0x11, 4, 100, 0x01, 2, 0x11, 3, 0xF6, 0})).bytes(),
                  out),
              ntfs_decode_e::ok);
    ASSERT_EQ(out.runs.size(), 3u);
    EXPECT_EQ(out.runs[0].lcn, 100);
    EXPECT_EQ(out.runs[1].lcn, -1);
    EXPECT_EQ(out.runs[2].lcn, 90);
    EXPECT_EQ(out.data_size, 9u * 4096);
}

TEST(NtfsRecordDecode, MalformedRunListsEndCleanly)
{
    const std::vector<std::vector<std::byte>> bad = {
        bytes_of({0x11, 4}),                     // offset field past the end
        bytes_of({0x10, 4, 0}),                  // no length
        bytes_of({0x11, 0, 5, 0}),               // zero clusters
        bytes_of({0x11, 4, 0xF0, 0}),            // before the volume's start
        bytes_of({0x11, 4, 10}),                 // no end marker
        bytes_of({0x88, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 0, 0, 0, 0, 0}), // absurd length
    };
    for (const auto& pairs : bad) {
        std::vector<ntfs_run_s> runs;
        EXPECT_FALSE(ntfs_decode_runs(pairs, runs));
    }
}

// A volume of 64 clusters of 4 KiB: records in a free cluster, in a used one, in the room past the
// MFT's end (in a used cluster), a torn one; and the extension record of a file.
TEST(NtfsLostSearch, ReadsOnlyWhereRecordsCanRemainAndStopsWhenAsked)
{
    std::vector<std::byte> bytes(64 * 4096);
    const auto place = [&](std::size_t at, const std::vector<std::byte>& record) {
        std::copy(record.begin(), record.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    };
    place(3 * 4096, record_maker(100).name(u"free.txt", 5).bytes());
    place(5 * 4096, record_maker(101).name(u"in a used cluster.txt", 5).bytes());
    place(10 * 4096 + 3072, record_maker(102).name(u"past the MFT.txt", 5).bytes());
    place(7 * 4096 + 1024, record_maker(103).name(u"torn.txt", 5).bytes(true));
    place(8 * 4096, [] { auto b = record_maker(104).name(u"extension", 5).bytes(); b[0x20] = std::byte{100}; return b; }());
    ntfs_layout_s layout;
    layout.cluster_bytes = 4096;
    layout.clusters = 64;
    layout.bitmap.assign(8, 0);
    layout.bitmap[0] = 0x20;  // cluster 5
    layout.bitmap[1] = 0x04;  // cluster 10
    layout.mft_tail = {{10 * 4096 + 3072, 1024}};
    const ntfs_cluster_map_c map(layout);
    memory_source_c volume(std::move(bytes));
    recovery_control_s control;
    const ntfs_lost_search_s found = ntfs_lost_search_c(volume, map, control, 0.25).run();
    std::vector<std::u16string> names;
    for (const ntfs_lost_found_s& f : found.records)
        names.push_back(f.record.name);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"free.txt", u"past the MFT.txt"}));
    ASSERT_EQ(found.records.size(), 2u);
    EXPECT_EQ(found.records[1].at, 10u * 4096 + 3072);
    EXPECT_EQ(found.torn, 1u);
    EXPECT_DOUBLE_EQ(control.progress.load(), 1.0);
    control.stop = stop_keep;
    const ntfs_lost_search_s stopped = ntfs_lost_search_c(volume, map, control, 0.25).run();
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(stopped.records.empty());
}

ntfs_lost_found_s folder(std::uint64_t number, std::uint64_t parent, bool directory = true, std::uint16_t parent_seq = 1)
{
    ntfs_lost_found_s f;
    ntfs_decoded_record_s& r = f.record;
    r.has_number = true;
    r.number = number;
    r.sequence = 1;
    r.parent = parent;
    r.parent_sequence = parent_seq;
    r.directory = directory;
    r.name.assign(1, u'x');
    return f;
}

TEST(NtfsLostParents, RebuildsFoldersAndCutsLoops)
{
    // 0: under the old root; 1 in 0; 2 in 1; 3 names a folder whose sequence differs (a later
    // occupant of its number): top; 4 and 5 name each other; 6 is its own parent; 7 names a file.
    const std::vector<ntfs_lost_found_s> records = {folder(64, 5),       folder(65, 64), folder(66, 65, false),
                                                        folder(67, 64, false, 9), folder(68, 69), folder(69, 68),
                                                        folder(70, 70),      folder(71, 66, false)};
    const std::vector<std::size_t> parents = ntfs_lost_parents(records);
    // The loop is cut once, where the walk closes it.
    const std::size_t top = ntfs_lost_top;
    EXPECT_EQ(parents, (std::vector<std::size_t>{top, 0, 1, top, 5, top, top, top}));

    // A chain of 40,000 folders named "x": no path grows past NTFS's 32,767 units ("x" and its
    // separator: 16,383 folders), the chain starts again at the top where it would.
    std::vector<ntfs_lost_found_s> chain;
    for (std::uint64_t i = 0; i < 40000; ++i)
        chain.push_back(folder(100 + i, i == 0 ? 5 : 99 + i));
    const std::vector<std::size_t> cut = ntfs_lost_parents(chain);
    EXPECT_EQ(std::count(cut.begin(), cut.end(), top), 3);
    EXPECT_EQ(cut[16383], top);
    EXPECT_EQ(cut[16384], 16383u);
}

// A lost file's copy from a volume in memory of 16 clusters of 512 bytes, cluster c filled with c.
std::int32_t copy_from_volume(const ntfs_decoded_record_s& record, QByteArray& written)
{
    std::vector<std::byte> volume(16 * 512);
    for (std::size_t i = 0; i < volume.size(); ++i)
        volume[i] = std::byte{static_cast<std::uint8_t>(i / 512)};
    memory_source_c source(std::move(volume));
    QTemporaryDir dir;
    QFile out(dir.filePath("out"));
    if (!out.open(QIODevice::WriteOnly))
        return -100;
    const std::int32_t result = copy_lost_file(source, 512, record, out);
    out.close();
    out.open(QIODevice::ReadOnly);
    written = out.readAll();
    return result;
}

TEST(NtfsLostCopy, RunsHolesAndBounds)
{
    struct case_s {
        const char* what;
        std::vector<ntfs_run_s> runs;
        std::uint64_t size, initialized;
        std::int32_t result;
        QByteArray bytes;
    };
    const auto fill = [](int value, int count) { return QByteArray(count, static_cast<char>(value)); };
    const std::vector<case_s> cases = {
        {"two runs and a hole, cut at the size", {{3, 1}, {-1, 1}, {5, 2}}, 1536 + 100, 1636, recovery_ok,
         fill(3, 512) + fill(0, 512) + fill(5, 512) + fill(6, 100)},
        {"past the initialised size: zeros", {{3, 2}}, 1024, 600, recovery_ok, fill(3, 512) + fill(4, 88) + fill(0, 424)},
        {"a run outside the volume stops the copy", {{2, 1}, {15, 4}}, 2560, 2560, recovery_incomplete, fill(2, 512)},
        {"a run far past any volume", {{std::int64_t{1} << 59, std::uint64_t{1} << 59}}, 1024, 1024, recovery_incomplete,
         QByteArray()},
        {"runs shorter than the size", {{1, 1}}, 1024, 1024, recovery_incomplete, fill(1, 512)},
        {"a size past the volume is cut and marked", {{-1, std::uint64_t{1} << 40}}, std::uint64_t{1} << 40,
         std::uint64_t{1} << 40, recovery_incomplete, fill(0, 16 * 512)},
    };
    ntfs_decoded_record_s listed;
    listed.attribute_list = true; // its $DATA lies in a record not read
    QByteArray nothing;
    EXPECT_EQ(copy_from_volume(listed, nothing), recovery_incomplete);
    for (const case_s& c : cases) {
        ntfs_decoded_record_s record;
        record.has_data = true;
        record.runs = c.runs;
        record.data_size = c.size;
        record.initialized_size = c.initialized;
        QByteArray written;
        EXPECT_EQ(copy_from_volume(record, written), c.result) << c.what;
        EXPECT_EQ(written, c.bytes) << c.what;
    }
}

TEST(NtfsClusterMap, RangeCountsAgreeWithTheBitmapAndTheTailIsSearchable)
{
    ntfs_layout_s layout;
    layout.cluster_bytes = 4096;
    layout.clusters = 1000;
    std::mt19937 random(7);
    layout.bitmap.resize(125);
    for (auto& b : layout.bitmap)
        b = static_cast<std::uint8_t>(random());
    layout.mft_tail = {{4096 * 12 + 3072, 1024}, {4096 * 10, 100}, {4096 * 10 + 50, 4096}};
    const std::vector<std::uint8_t> bits = layout.bitmap;
    const ntfs_cluster_map_c map(layout);
    const auto used = [&](std::uint64_t c) { return c < 1000 && (bits[c / 8] >> (c % 8)) & 1; };
    for (int trial = 0; trial < 2000; ++trial) {
        const std::uint64_t first = random() % 1100, count = random() % 300;
        std::uint64_t expected = 0;
        for (std::uint64_t c = first; c < first + count; ++c)
            expected += used(c) ? 1 : 0;
        ASSERT_EQ(map.used_in(first, count), expected) << first << "+" << count;
    }
    EXPECT_EQ(map.used_in(5, ~std::uint64_t{0}), map.used_in(5, 995));
    for (std::uint64_t c = 0; c < 1000; ++c)
        if (used(c) && c != 10 && c != 11 && c != 12) {
            ASSERT_FALSE(map.searchable(c * 4096 + 512)) << c;
        }
    EXPECT_TRUE(map.searchable(4096 * 12 + 3072));
    EXPECT_TRUE(map.searchable(4096 * 11 + 8)); // the touching ranges merged
    EXPECT_FALSE(map.searchable(4096 * 1000 + 512)); // past the volume
}

} // namespace
